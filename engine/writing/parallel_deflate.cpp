#include "engine/writing/parallel_deflate.h"

#include <zlib.h>

#include <algorithm>
#include <new>
#include <stdexcept>

#include "engine/writing/zip_writer.h"

namespace corvane {

namespace {
constexpr size_t kWindow = 32 << 10;  // what deflate can look back
// zlib's memory level: a hash table half the default size finds as many matches in sheet XML
// and keeps to the cache better (7 % fewer instructions at level 2, same size).
constexpr int kMemLevel = 7;
}

struct DeflatePool::Job {
  ByteBuffer in, dict, out;
  uint32_t crc = 0;
  bool last = false;
  bool done = false;  // guarded by the pool's mutex
  std::exception_ptr error;
};

// A zlib stream kept by one thread and reset for each chunk.
class DeflatePool::Compressor {
 public:
  explicit Compressor(int level) {
    if (deflateInit2(&z_, level, Z_DEFLATED, -15, kMemLevel, Z_DEFAULT_STRATEGY) != Z_OK)
      throw std::bad_alloc();
  }
  ~Compressor() { deflateEnd(&z_); }
  Compressor(const Compressor&) = delete;
  Compressor& operator=(const Compressor&) = delete;

  void deflateChunk(Job& job) {
    deflateReset(&z_);
    if (!job.dict.empty())
      deflateSetDictionary(&z_, reinterpret_cast<const Bytef*>(job.dict.data()),
                           static_cast<uInt>(job.dict.size()));
    job.out.clear();
    z_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(job.in.data()));
    z_.avail_in = static_cast<uInt>(job.in.size());
    const int flush = job.last ? Z_FINISH : Z_SYNC_FLUSH;
    size_t want = deflateBound(&z_, static_cast<uLong>(job.in.size())) + 64;
    for (;;) {
      char* p = job.out.room(want);
      z_.next_out = reinterpret_cast<Bytef*>(p);
      z_.avail_out = static_cast<uInt>(want);
      int rc = deflate(&z_, flush);
      job.out.commit(reinterpret_cast<char*>(z_.next_out));
      if (rc == Z_STREAM_END || (flush == Z_SYNC_FLUSH && z_.avail_out != 0)) break;
      if (rc != Z_OK && rc != Z_BUF_ERROR) throw std::runtime_error("deflate failed");
      want = 64 << 10;
    }
    job.crc = static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(job.in.data()), static_cast<uInt>(job.in.size())));
  }

 private:
  z_stream z_{};
};

unsigned DeflatePool::WorkersFor(unsigned cores) { return cores > 1 ? cores - 1 : 0; }

DeflatePool::DeflatePool(int level, unsigned workers) : level_(level), helper_(new Compressor(level)) {
  try {
    for (unsigned i = 0; i < workers; ++i) threads_.emplace_back([this] { work(); });
  } catch (...) {
    // Without threads the calling thread deflates everything itself.
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  if (stop_) {
    work_.notify_all();
    for (std::thread& t : threads_) t.join();
    threads_.clear();
    stop_ = false;
  }
}

DeflatePool::~DeflatePool() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  work_.notify_all();
  for (std::thread& t : threads_) t.join();
}

void DeflatePool::Run(Job& job, Compressor& z) {
  try {
    z.deflateChunk(job);
  } catch (...) {
    job.error = std::current_exception();
  }
}

void DeflatePool::work() {
  std::unique_ptr<Compressor> z;
  std::exception_ptr startError;
  try {
    z = std::make_unique<Compressor>(level_);
  } catch (...) {
    startError = std::current_exception();
  }
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    work_.wait(lock, [this] { return stop_ || !queue_.empty(); });
    if (queue_.empty()) return;
    Job* job = queue_.front();
    queue_.pop_front();
    lock.unlock();
    if (z)
      Run(*job, *z);
    else
      job->error = startError;
    lock.lock();
    job->done = true;
    done_.notify_all();
  }
}

void DeflatePool::submit(Job* job) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    job->done = false;
    queue_.push_back(job);
  }
  work_.notify_one();
}

void DeflatePool::await(Job* job) {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!job->done) {
    if (queue_.empty()) {
      done_.wait(lock);
      continue;
    }
    Job* other = queue_.front();
    queue_.pop_front();
    lock.unlock();
    Run(*other, *helper_);
    lock.lock();
    other->done = true;
  }
}

DeflatedEntry::DeflatedEntry(DeflatePool& pool, ZipWriter& zip, std::string_view name, bool zip64)
    : pool_(pool), zip_(zip), buf_(kChunk + (kChunk >> 2)) {
  zip_.begin(name, zip64);
}

DeflatedEntry::~DeflatedEntry() {
  for (auto& job : inflight_) pool_.await(job.get());
}

void DeflatedEntry::submit(bool last) {
  std::unique_ptr<DeflatePool::Job> job;
  if (!spare_.empty()) {
    job = std::move(spare_.back());
    spare_.pop_back();
  } else {
    job = std::make_unique<DeflatePool::Job>();
    job->in.reserve(buf_.capacity());
  }
  job->in.swap(buf_);
  buf_.clear();
  job->dict.clear();
  job->dict.append(dict_.view());
  job->last = last;
  // The next chunk's dictionary: the last 32 KiB of all text so far.
  if (job->in.size() >= kWindow) {
    dict_.clear();
    dict_.append(job->in.tail(kWindow));
  } else {
    std::string_view keep = dict_.tail(kWindow - job->in.size());
    ByteBuffer next(kWindow);
    next.append(keep);
    next.append(job->in.view());
    dict_.swap(next);
  }
  raw_ += job->in.size();
  pool_.submit(job.get());
  inflight_.push_back(std::move(job));
  // Enough chunks waiting to keep every thread busy; beyond that the writer helps.
  size_t limit = 2 * static_cast<size_t>(pool_.workers()) + 2;
  while (inflight_.size() > limit) retire();
}

void DeflatedEntry::retire() {
  std::unique_ptr<DeflatePool::Job> job = std::move(inflight_.front());
  inflight_.pop_front();
  pool_.await(job.get());
  if (job->error) std::rethrow_exception(job->error);
  zip_.data(job->out.data(), job->out.size());
  crc_ = static_cast<uint32_t>(crc32_combine(crc_, job->crc, static_cast<z_off_t>(job->in.size())));
  spare_.push_back(std::move(job));
}

void DeflatedEntry::finish() {
  submit(true);
  while (!inflight_.empty()) retire();
  zip_.end(crc_, raw_);
}

}  // namespace corvane

// Deflating a zip entry on every core. The entry's text is cut into chunks as it is written;
// each chunk is deflated on its own, primed with the 32 KiB before it as its dictionary and
// ended with a sync flush (the last with the stream's end), so the pieces join into the one
// deflate stream a single deflater would have made, nearly as small. Their CRCs are joined
// with crc32_combine. The thread that writes the text helps deflating whenever it would
// otherwise wait, and the pieces go into the archive in order.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

#include "engine/writing/xml_out.h"

namespace corvane {

class ZipWriter;

// Threads that deflate chunks, kept for the length of one save.
class DeflatePool {
 public:
  // `level`: zlib's compression level; `workers`: threads besides the caller's.
  DeflatePool(int level, unsigned workers);
  ~DeflatePool();
  DeflatePool(const DeflatePool&) = delete;
  DeflatePool& operator=(const DeflatePool&) = delete;

  // Worker threads a machine with `cores` cores gets: one fewer, as the writing thread deflates too.
  static unsigned WorkersFor(unsigned cores);
  int level() const { return level_; }
  unsigned workers() const { return static_cast<unsigned>(threads_.size()); }

  struct Job;
  class Compressor;

 private:
  friend class DeflatedEntry;
  void submit(Job* job);
  // Returns once `job` is done, deflating queued chunks on the calling thread meanwhile.
  void await(Job* job);
  void work();
  static void Run(Job& job, Compressor& z);

  const int level_;
  std::mutex mutex_;
  std::condition_variable work_, done_;
  std::deque<Job*> queue_;
  bool stop_ = false;
  std::unique_ptr<Compressor> helper_;  // the calling thread's
  std::vector<std::thread> threads_;
};

// One zip entry written through a pool: append text to out(), call flushIfFull() between
// pieces, and finish() at the end.
class DeflatedEntry {
 public:
  static constexpr size_t kChunk = 512 << 10;  // priming with 32 KiB costs under 3 %

  // `zip64`: the entry may pass 4 GiB.
  DeflatedEntry(DeflatePool& pool, ZipWriter& zip, std::string_view name, bool zip64);
  // Without finish(): waits for its chunks and writes nothing more (the save failed).
  ~DeflatedEntry();
  DeflatedEntry(const DeflatedEntry&) = delete;
  DeflatedEntry& operator=(const DeflatedEntry&) = delete;

  ByteBuffer& out() { return buf_; }
  void flushIfFull() {
    if (buf_.size() >= kChunk) submit(false);
  }
  void finish();

 private:
  void submit(bool last);
  void retire();

  DeflatePool& pool_;
  ZipWriter& zip_;
  ByteBuffer buf_;
  std::deque<std::unique_ptr<DeflatePool::Job>> inflight_;
  std::vector<std::unique_ptr<DeflatePool::Job>> spare_;
  ByteBuffer dict_;  // the last 32 KiB of text handed over
  uint32_t crc_ = 0;
  uint64_t raw_ = 0;
};

}  // namespace corvane

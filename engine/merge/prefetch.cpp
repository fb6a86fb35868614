#include "engine/merge/prefetch.h"

#include <algorithm>
#include <unordered_map>

namespace corvane {

namespace {

// Hands out the sheets that were read ahead, once each; anything else comes from the reader.
class PrefetchedReader final : public WorkbookReader {
 public:
  PrefetchedReader(std::unique_ptr<WorkbookReader> inner,
                   std::unordered_map<size_t, std::shared_ptr<SheetData>> loaded)
      : inner_(std::move(inner)), loaded_(std::move(loaded)) {}
  const std::vector<SheetInfo>& sheets() const override { return inner_->sheets(); }
  std::shared_ptr<SheetData> loadSheet(size_t index) override {
    auto it = loaded_.find(index);
    if (it == loaded_.end()) return inner_->loadSheet(index);
    auto data = std::move(it->second);
    loaded_.erase(it);
    return data;
  }
  std::shared_ptr<const StyleTable> styles() override { return inner_->styles(); }

 private:
  std::unique_ptr<WorkbookReader> inner_;
  std::unordered_map<size_t, std::shared_ptr<SheetData>> loaded_;
};

// Opens the workbook and reads the named worksheets as the merge will ask for them: the
// first worksheet of that exact name.
std::unique_ptr<WorkbookReader> ReadAhead(const Prefetcher::Job& job) {
  auto reader = OpenWorkbookFile(job.path);
  std::unordered_map<size_t, std::shared_ptr<SheetData>> loaded;
  const auto& infos = reader->sheets();
  for (const std::string& name : job.sheets) {
    for (size_t i = 0; i < infos.size(); ++i) {
      if (infos[i].kind != SheetKind::Worksheet || infos[i].name != name) continue;
      if (!loaded.count(i)) loaded.emplace(i, reader->loadSheet(i));
      break;
    }
  }
  reader->styles();
  return std::make_unique<PrefetchedReader>(std::move(reader), std::move(loaded));
}

}  // namespace

unsigned Prefetcher::DefaultWorkers() {
  unsigned n = std::thread::hardware_concurrency();
  return n <= 1 ? 0 : std::min(n, 4u);
}

Prefetcher::Prefetcher(std::vector<Job> jobs, unsigned workers)
    : jobs_(std::move(jobs)), slots_(jobs_.size()), lookahead_(workers) {
  for (unsigned i = 0; i < workers && i < jobs_.size(); ++i) threads_.emplace_back([this] { work(); });
}

Prefetcher::~Prefetcher() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    stop_ = true;
  }
  changed_.notify_all();
  for (auto& t : threads_) t.join();
}

void Prefetcher::work() {
  std::unique_lock<std::mutex> lock(mu_);
  for (;;) {
    changed_.wait(lock, [this] {
      return stop_ || nextToRead_ >= jobs_.size() || nextToRead_ < consumed_ + lookahead_;
    });
    if (stop_ || nextToRead_ >= jobs_.size()) return;
    size_t k = nextToRead_++;
    if (k + 1 < consumed_) {  // the merge passed over it (it waits for consumed_ - 1 only)
      slots_[k].state = Slot::Failed;
      continue;
    }
    slots_[k].state = Slot::Reading;
    lock.unlock();
    std::unique_ptr<WorkbookReader> reader;
    try {
      reader = ReadAhead(jobs_[k]);
    } catch (...) {
      // Read again when the merge gets there, so that the failure is its own.
    }
    lock.lock();
    if (k + 1 < consumed_) reader.reset();  // passed over while it was read
    slots_[k].reader = std::move(reader);
    slots_[k].state = slots_[k].reader ? Slot::Done : Slot::Failed;
    changed_.notify_all();
  }
}

std::unique_ptr<WorkbookReader> Prefetcher::open(const std::string& path) {
  std::unique_ptr<WorkbookReader> reader;
  {
    std::unique_lock<std::mutex> lock(mu_);
    // The merge may pass over a job whose file went away since the jobs were planned.
    size_t k = consumed_;
    while (k < jobs_.size() && k < consumed_ + lookahead_ + 1 && jobs_[k].path != path) ++k;
    if (k < jobs_.size() && jobs_[k].path == path && !threads_.empty()) {
      for (size_t j = consumed_; j < k; ++j) slots_[j].reader.reset();
      consumed_ = k + 1;
      changed_.notify_all();
      // A worker takes it, if none has yet: it is within reach of every one of them.
      changed_.wait(lock, [&] { return slots_[k].state == Slot::Done || slots_[k].state == Slot::Failed; });
      reader = std::move(slots_[k].reader);
    }
  }
  if (reader) {
    ++served_;
    return reader;
  }
  return OpenWorkbookFile(path);
}

}  // namespace corvane

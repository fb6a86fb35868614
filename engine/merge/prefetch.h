// Reads the workbooks a merge will open next on other threads while it pastes, so that
// reading, the larger part of a merge before its save, uses every core.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/automation/workbook_open.h"

namespace corvane {

class Prefetcher final : public WorkbookSource {
 public:
  // One workbook the merge will open, and the worksheets it will copy from it, by name.
  struct Job {
    std::string path;
    std::vector<std::string> sheets;
  };

  // Jobs in the order the merge opens them. `workers` threads read up to `workers` jobs
  // ahead of the one the merge is at, so memory holds no more than that many workbooks' sheets.
  Prefetcher(std::vector<Job> jobs, unsigned workers);
  ~Prefetcher() override;  // waits for reads under way, discards what was read

  // The reader of the next job when it is `path`, with its sheets already read; otherwise, or
  // when reading it ahead failed, the file read now, so failures surface where they would.
  std::unique_ptr<WorkbookReader> open(const std::string& path) override;

  // How many opens were served from a read done ahead (for tests).
  int served() const { return served_; }

  // Threads worth using for a merge on this machine: none on a single core.
  static unsigned DefaultWorkers();

 private:
  struct Slot {
    enum State { Waiting, Reading, Done, Failed } state = Waiting;
    std::unique_ptr<WorkbookReader> reader;
  };
  void work();

  std::vector<Job> jobs_;
  std::vector<Slot> slots_;
  size_t lookahead_;
  size_t nextToRead_ = 0;  // the first job no worker has taken
  size_t consumed_ = 0;    // jobs the merge has been handed or passed over
  bool stop_ = false;
  int served_ = 0;
  std::mutex mu_;
  std::condition_variable changed_;
  std::vector<std::thread> threads_;
};

}  // namespace corvane

// Host queries that may block for as long as a mount does not answer (a network server that is
// gone, a FUSE connection nobody serves) run here on worker threads, so the caller never waits
// longer than it chooses. Queries are grouped in lanes (the mount point of the path a query
// touches): each lane has at most one worker, which runs its queries in order, so a mount that
// hangs holds up its own lane only and never more than one thread. Each query gives an answer
// to run on the owner's thread; the owner learns of waiting answers through a descriptor that
// becomes readable, or waits for one answer with a deadline.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace quillon {

class BlockingWork {
 public:
  using Clock = std::chrono::steady_clock;
  using Answer = std::function<void()>;
  // Runs on a worker; what it returns runs later on the owner's thread.
  using Query = std::function<Answer()>;

  BlockingWork();
  // Queued queries and waiting answers are dropped; a query still running ends on its worker
  // and its answer is dropped.
  ~BlockingWork();
  BlockingWork(const BlockingWork&) = delete;
  BlockingWork& operator=(const BlockingWork&) = delete;

  // Queues the query on its lane and gives its ticket (counting up from 1).
  std::uint64_t Post(const std::string& lane, Query query);

  // Waits until the ticket's answer has arrived or the deadline passed; an arrived answer runs
  // now (other answers keep waiting). True when it ran.
  bool WaitFor(std::uint64_t ticket, Clock::time_point deadline);
  // Runs every answer that has arrived, in order of arrival; gives how many ran.
  int RunAnswers();
  // Runs answers as they arrive until no query is queued or running, or the deadline passed;
  // true when all are done.
  bool RunUntilIdle(Clock::time_point deadline);

  // Readable while answers wait to run.
  int Descriptor() const;
  // Whether the ticket's query has given its answer (run or waiting).
  bool Answered(std::uint64_t ticket) const;
  // Whether the lane has a query that has been running for longer than the limit.
  bool Stalled(const std::string& lane, Clock::duration limit) const;

 private:
  struct Shared;
  static void Work(const std::shared_ptr<Shared>& shared, const std::string& lane);

  std::shared_ptr<Shared> shared_;
};

}  // namespace quillon

#include "util/BlockingWork.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>
#include <unordered_set>
#include <utility>

#include "util/UniqueFd.h"

namespace quillon {

struct BlockingWork::Shared {
  struct Job {
    std::uint64_t ticket;
    Query query;
  };
  struct Lane {
    std::deque<Job> queue;
    bool working = false;
    std::uint64_t running = 0;
    Clock::time_point since;
  };

  Shared() : event_fd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

  void Signal() const {
    const std::uint64_t one = 1;
    if (event_fd.valid() && write(event_fd.get(), &one, sizeof one) < 0) {
      // The counter is full only when nobody reads it; the answer still waits in the queue.
    }
  }

  std::mutex mutex;
  std::condition_variable changed;
  std::map<std::string, Lane> lanes;
  std::deque<std::pair<std::uint64_t, Answer>> answers;
  std::unordered_set<std::uint64_t> pending;  // queued or running
  std::uint64_t next = 1;
  bool closed = false;
  const UniqueFd event_fd;
};

BlockingWork::BlockingWork() : shared_(std::make_shared<Shared>()) {}

BlockingWork::~BlockingWork() {
  std::deque<std::pair<std::uint64_t, Answer>> dropped;
  std::deque<Shared::Job> queued;
  {
    const std::lock_guard lock(shared_->mutex);
    shared_->closed = true;
    dropped.swap(shared_->answers);
    for (auto& [name, lane] : shared_->lanes) {
      for (Shared::Job& job : lane.queue) queued.push_back(std::move(job));
      lane.queue.clear();
    }
  }
}

void BlockingWork::Work(const std::shared_ptr<Shared>& shared, const std::string& laneName) {
  std::unique_lock lock(shared->mutex);
  while (true) {
    Shared::Lane& lane = shared->lanes[laneName];
    if (shared->closed || lane.queue.empty()) {
      lane.working = false;
      if (lane.queue.empty()) shared->lanes.erase(laneName);
      return;
    }
    Shared::Job job = std::move(lane.queue.front());
    lane.queue.pop_front();
    lane.running = job.ticket;
    lane.since = Clock::now();
    lock.unlock();
    Answer answer;
    try {
      answer = job.query();
    } catch (...) {
      // A query that fails gives no answer; its caller sees it answered with nothing.
    }
    job.query = nullptr;
    lock.lock();
    shared->lanes[laneName].running = 0;
    shared->pending.erase(job.ticket);
    if (!shared->closed) {
      shared->answers.emplace_back(job.ticket, std::move(answer));
      shared->Signal();
    }
    shared->changed.notify_all();
  }
}

std::uint64_t BlockingWork::Post(const std::string& lane, Query query) {
  std::unique_lock lock(shared_->mutex);
  const std::uint64_t ticket = shared_->next++;
  Shared::Lane& queue = shared_->lanes[lane];
  queue.queue.push_back({ticket, std::move(query)});
  shared_->pending.insert(ticket);
  if (!queue.working) {
    queue.working = true;
    try {
      std::thread(Work, shared_, lane).detach();
    } catch (const std::system_error&) {
      // No thread to be had: the caller's thread runs the lane itself.
      lock.unlock();
      Work(shared_, lane);
    }
  }
  return ticket;
}

bool BlockingWork::WaitFor(std::uint64_t ticket, Clock::time_point deadline) {
  std::unique_lock lock(shared_->mutex);
  while (true) {
    auto& answers = shared_->answers;
    for (auto it = answers.begin(); it != answers.end(); ++it) {
      if (it->first != ticket) continue;
      Answer answer = std::move(it->second);
      answers.erase(it);
      lock.unlock();
      if (answer) answer();
      return true;
    }
    if (!shared_->pending.count(ticket)) return false;
    if (shared_->changed.wait_until(lock, deadline) == std::cv_status::timeout &&
        Clock::now() >= deadline) {
      deadline = Clock::now();  // one more look at the answers, then give up
      if (shared_->pending.count(ticket)) return false;
    }
  }
}

int BlockingWork::RunAnswers() {
  std::uint64_t counter = 0;
  if (shared_->event_fd.valid() && read(shared_->event_fd.get(), &counter, sizeof counter) < 0) {
    // Nothing was signalled; answers taken by WaitFor may have emptied the queue already.
  }
  int ran = 0;
  while (true) {
    Answer answer;
    {
      const std::lock_guard lock(shared_->mutex);
      if (shared_->answers.empty()) break;
      answer = std::move(shared_->answers.front().second);
      shared_->answers.pop_front();
    }
    if (answer) answer();
    ++ran;
  }
  return ran;
}

bool BlockingWork::RunUntilIdle(Clock::time_point deadline) {
  while (true) {
    RunAnswers();
    std::unique_lock lock(shared_->mutex);
    if (shared_->pending.empty() && shared_->answers.empty()) return true;
    if (!shared_->answers.empty()) continue;
    if (shared_->changed.wait_until(lock, deadline) == std::cv_status::timeout) {
      lock.unlock();
      RunAnswers();
      const std::lock_guard again(shared_->mutex);
      return shared_->pending.empty() && shared_->answers.empty();
    }
  }
}

int BlockingWork::Descriptor() const { return shared_->event_fd.get(); }

bool BlockingWork::Answered(std::uint64_t ticket) const {
  const std::lock_guard lock(shared_->mutex);
  return ticket != 0 && ticket < shared_->next && !shared_->pending.count(ticket);
}

bool BlockingWork::Stalled(const std::string& lane, Clock::duration limit) const {
  const std::lock_guard lock(shared_->mutex);
  const auto found = shared_->lanes.find(lane);
  return found != shared_->lanes.end() && found->second.running != 0 &&
         Clock::now() - found->second.since > limit;
}

}  // namespace quillon

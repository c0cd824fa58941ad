// Queries that may block run on workers, one lane per mount: a lane that hangs holds up only
// its own queries, and nobody waits on it past a deadline.
#include <gtest/gtest.h>

#include <poll.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "util/BlockingWork.h"

namespace quillon {
namespace {

using namespace std::chrono_literals;
using Clock = BlockingWork::Clock;

// Only stops a test that hangs; how long a wait takes is no test's concern.
constexpr auto kGuard = 60s;

// Holds the queries that hang until Open(), or until the guard has passed: a wait for them that
// should have given up then ends, and fails its check, instead of hanging. Queries hold it
// shared, as they may outlive the test.
class Gate {
 public:
  static std::shared_ptr<Gate> Make() {
    auto gate = std::shared_ptr<Gate>(new Gate);
    std::thread([gate] {
      std::unique_lock lock(gate->mutex_);
      gate->changed_.wait_for(lock, kGuard, [&] { return gate->open_; });
      gate->open_ = true;
      gate->changed_.notify_all();
    }).detach();
    return gate;
  }
  void Open() {
    const std::lock_guard lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }
  void Pass() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return open_; });
  }

 private:
  Gate() = default;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool open_ = false;
};

TEST(BlockingWork, AHangingLaneHoldsUpOnlyItself) {
  const auto gate = Gate::Make();
  auto began = std::make_shared<std::promise<void>>();
  auto hanging = began->get_future();
  std::vector<std::string> ran;  // answers run on this thread only
  {
    BlockingWork work;
    const auto hung = work.Post("/mnt/gone", [gate, began, &ran]() -> BlockingWork::Answer {
      began->set_value();
      gate->Pass();
      return [&ran] { ran.push_back("gone"); };
    });
    const auto queued =
        work.Post("/mnt/gone", [&ran] { return [&ran] { ran.push_back("after"); }; });
    const auto local = work.Post("/", [&ran] { return [&ran] { ran.push_back("local"); }; });

    EXPECT_TRUE(work.WaitFor(local, Clock::now() + kGuard));
    EXPECT_EQ(ran, std::vector<std::string>{"local"});
    ASSERT_EQ(hanging.wait_for(kGuard), std::future_status::ready);
    // The wait gives up at its deadline, while the query still hangs; by then the query has
    // been running for longer than the wait.
    EXPECT_FALSE(work.WaitFor(hung, Clock::now() + 100ms)) << "the wait lasted until the guard";
    EXPECT_FALSE(work.Answered(queued));
    EXPECT_TRUE(work.Stalled("/mnt/gone", 50ms));
    EXPECT_FALSE(work.Stalled("/mnt/gone", 1h));
    EXPECT_FALSE(work.Stalled("/", 0ms));

    gate->Open();
    EXPECT_TRUE(work.RunUntilIdle(Clock::now() + kGuard));
    EXPECT_EQ(ran, (std::vector<std::string>{"local", "gone", "after"}));
    EXPECT_FALSE(work.Stalled("/mnt/gone", 0ms));
  }
}

TEST(BlockingWork, AnswersWaitForTheOwnerAndAreSignalled) {
  BlockingWork work;
  int answers = 0;
  std::atomic<int> queries = 0;
  for (int i = 0; i < 20; ++i) {
    work.Post(i % 2 ? "/a" : "/b", [&] {
      ++queries;
      return [&answers] { ++answers; };
    });
  }
  pollfd readable{work.Descriptor(), POLLIN, 0};
  ASSERT_EQ(poll(&readable, 1, int(std::chrono::milliseconds(kGuard).count())), 1);
  EXPECT_TRUE(work.RunUntilIdle(Clock::now() + kGuard));
  EXPECT_EQ(queries, 20);
  EXPECT_EQ(answers, 20);  // every answer ran on this thread, once
  EXPECT_EQ(work.RunAnswers(), 0);
}

TEST(BlockingWork, DestroyingDoesNotWaitForAHungQuery) {
  const auto gate = Gate::Make();
  struct Progress {
    std::promise<void> started, finished;
  };
  auto progress = std::make_shared<Progress>();
  auto running = progress->started.get_future();
  auto done = progress->finished.get_future();
  {
    BlockingWork work;
    work.Post("/mnt/gone", [gate, progress]() -> BlockingWork::Answer {
      progress->started.set_value();
      gate->Pass();
      progress->finished.set_value();
      return [] { ADD_FAILURE() << "an answer ran after its owner ended"; };
    });
    work.Post("/mnt/gone", []() -> BlockingWork::Answer {
      ADD_FAILURE() << "a queued query ran after its owner ended";
      return nullptr;
    });
    ASSERT_EQ(running.wait_for(kGuard), std::future_status::ready);
  }
  EXPECT_EQ(done.wait_for(0s), std::future_status::timeout)
      << "the end of the owner waited for the hung query";
  gate->Open();  // the worker ends on its own and drops its answer
  EXPECT_EQ(done.wait_for(kGuard), std::future_status::ready);
}

}  // namespace
}  // namespace quillon

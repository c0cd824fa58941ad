// Queries that may block run on workers, one lane per mount: a lane that hangs holds up only
// its own queries, and nobody waits on it past a deadline.
#include <gtest/gtest.h>

#include <poll.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "util/BlockingWork.h"

namespace quillon {
namespace {

using namespace std::chrono_literals;
using Clock = BlockingWork::Clock;

TEST(BlockingWork, AHangingLaneHoldsUpOnlyItself) {
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::vector<std::string> ran;  // answers run on this thread only
  {
    BlockingWork work;
    const auto hung = work.Post("/mnt/gone", [released, &ran]() -> BlockingWork::Answer {
      released.wait();
      return [&ran] { ran.push_back("gone"); };
    });
    const auto queued =
        work.Post("/mnt/gone", [&ran] { return [&ran] { ran.push_back("after"); }; });
    const auto local = work.Post("/", [&ran] { return [&ran] { ran.push_back("local"); }; });

    EXPECT_TRUE(work.WaitFor(local, Clock::now() + 5s));
    EXPECT_EQ(ran, std::vector<std::string>{"local"});
    const auto start = Clock::now();
    EXPECT_FALSE(work.WaitFor(hung, start + 100ms));
    EXPECT_LT(Clock::now() - start, 1s);
    EXPECT_FALSE(work.Answered(queued));
    EXPECT_TRUE(work.Stalled("/mnt/gone", 50ms));
    EXPECT_FALSE(work.Stalled("/", 0ms));

    release.set_value();
    EXPECT_TRUE(work.RunUntilIdle(Clock::now() + 5s));
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
  ASSERT_EQ(poll(&readable, 1, 5000), 1);
  EXPECT_TRUE(work.RunUntilIdle(Clock::now() + 5s));
  EXPECT_EQ(queries, 20);
  EXPECT_EQ(answers, 20);  // every answer ran on this thread, once
  EXPECT_EQ(work.RunAnswers(), 0);
}

TEST(BlockingWork, DestroyingDoesNotWaitForAHungQuery) {
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::promise<void> started, finished;
  auto running = started.get_future();
  auto done = finished.get_future();
  Clock::time_point start;
  {
    BlockingWork work;
    work.Post("/mnt/gone", [released, &started, &finished]() -> BlockingWork::Answer {
      started.set_value();
      released.wait();
      finished.set_value();
      return [] { ADD_FAILURE() << "an answer ran after its owner ended"; };
    });
    work.Post("/mnt/gone", []() -> BlockingWork::Answer {
      ADD_FAILURE() << "a queued query ran after its owner ended";
      return nullptr;
    });
    ASSERT_EQ(running.wait_for(5s), std::future_status::ready);
    start = Clock::now();
  }
  EXPECT_LT(Clock::now() - start, 1s);
  release.set_value();  // the worker ends on its own and drops its answer
  EXPECT_EQ(done.wait_for(5s), std::future_status::ready);
  std::this_thread::sleep_for(20ms);  // let the worker leave before the test's stack goes
}

}  // namespace
}  // namespace quillon

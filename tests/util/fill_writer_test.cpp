#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstdint>
#include <thread>
#include <vector>

#include "support/FileSizeLimit.h"
#include "support/TempDir.h"
#include "util/FileSystem.h"
#include "util/IoError.h"

namespace quillon {
namespace {

using testing::ReadBytes;
using testing::TempDir;

constexpr std::int64_t kChunk = 8191;
constexpr std::int64_t kOneCall = kChunk * IOV_MAX;  // the most one call hands the kernel

TEST(FillWriters, WriteExactlyTheCountAcrossChunkAndCallEdges) {
  TempDir dir;
  for (std::int64_t count :
       {std::int64_t{0}, std::int64_t{1}, kChunk, kChunk + 1, std::int64_t{9000}, kOneCall - 1,
        kOneCall, kOneCall + 1, 2 * kOneCall + kChunk + 5}) {
    const std::string file = dir / ("fill" + std::to_string(count));
    WriteFillFile(file, count, 0xA5);
    EXPECT_EQ(ReadBytes(file), std::string(static_cast<std::size_t>(count), '\xA5')) << count;
  }
  const std::string file = dir.Write("negative", "old");
  WriteFillFile(file, -5, '0');
  EXPECT_EQ(ReadBytes(file), "");
}

TEST(FillWriters, StopWithDiskFullWhereTheFileCanTakeNoMore) {
  TempDir dir;
  // One limit inside the first call, one inside a later call, neither on a chunk edge.
  for (std::int64_t limit : {3 * kChunk + 17, kOneCall + kChunk / 2}) {
    const std::string file = dir / ("limited" + std::to_string(limit));
    try {
      const testing::FileSizeLimit bound(static_cast<rlim_t>(limit));
      WriteFillFile(file, 2 * kOneCall, '7');
      ADD_FAILURE() << "no failure at " << limit;
    } catch (const IoError& error) {
      EXPECT_STREQ(error.what(), "Disk full");
    }
    EXPECT_EQ(ReadBytes(file), std::string(static_cast<std::size_t>(limit), '7'));
  }
}

std::atomic<int> signals_met{0};
void CountSignal(int) { signals_met.fetch_add(1, std::memory_order_relaxed); }

TEST(FillWriters, ResumeAtTheExactByteAfterShortAndInterruptedWrites) {
  // A pipe read slowly, and a timer whose signal breaks into the writes: the kernel then gives
  // back short counts or EINTR, and every byte must still go through once.
  int ends[2];
  ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
  struct sigaction action {};
  action.sa_handler = CountSignal;  // no SA_RESTART: interrupted calls return
  struct sigaction previous {};
  ASSERT_EQ(sigaction(SIGALRM, &action, &previous), 0);
  sigset_t alarm_only;
  sigemptyset(&alarm_only);
  sigaddset(&alarm_only, SIGALRM);
  // The reader is started with the signal blocked, so only the writing thread receives it.
  pthread_sigmask(SIG_BLOCK, &alarm_only, nullptr);
  std::int64_t received = 0, foreign = 0;
  std::thread reader([&] {
    char buffer[4096];
    for (ssize_t got; (got = read(ends[0], buffer, sizeof buffer)) != 0;) {
      if (got < 0) continue;
      received += got;
      for (ssize_t i = 0; i < got; ++i) foreign += buffer[i] != 'q';
    }
  });
  pthread_sigmask(SIG_UNBLOCK, &alarm_only, nullptr);
  signals_met = 0;
  const itimerval every_100us{{0, 100}, {0, 100}};
  setitimer(ITIMER_REAL, &every_100us, nullptr);
  const std::int64_t count = 3 * kOneCall + 12345;
  EXPECT_NO_THROW(WriteFillBytes(ends[1], count, 'q'));
  const itimerval stop{};
  setitimer(ITIMER_REAL, &stop, nullptr);
  close(ends[1]);
  reader.join();
  close(ends[0]);
  sigaction(SIGALRM, &previous, nullptr);
  EXPECT_GT(signals_met.load(), 0);
  EXPECT_EQ(received, count);
  EXPECT_EQ(foreign, 0);
}

TEST(FileOutput, HandsOverWritesOfAtLeast64KiBInOrder) {
  // A packet socket keeps the bounds of each write, so the reader sees how the bytes went.
  int ends[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends), 0);
  std::vector<std::size_t> writes;
  std::string received;
  std::thread reader([&] {
    std::vector<char> packet(1 << 20);
    for (ssize_t got; (got = read(ends[0], packet.data(), packet.size())) > 0;) {
      writes.push_back(static_cast<std::size_t>(got));
      received.append(packet.data(), static_cast<std::size_t>(got));
    }
  });
  std::string sent;
  {
    FileOutput output(ends[1]);
    const auto append = [&](const std::string& piece) {
      output.Append(piece);
      sent += piece;
    };
    for (int i = 0; i < 20000; ++i) append(std::to_string(i) + "\r\n");
    append(std::string(FileOutput::kWriteSize + 3, 'L'));  // more than one write's worth at once
    append("tail");
    output.Flush();
  }
  shutdown(ends[1], SHUT_WR);
  reader.join();
  close(ends[0]);
  close(ends[1]);
  EXPECT_EQ(received, sent);
  ASSERT_GE(writes.size(), 3u);
  for (std::size_t i = 0; i + 1 < writes.size(); ++i)
    EXPECT_GE(writes[i], FileOutput::kWriteSize) << i;
}

}  // namespace
}  // namespace quillon

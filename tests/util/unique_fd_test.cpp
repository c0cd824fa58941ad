#include "util/UniqueFd.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <utility>

#include "util/IoError.h"

namespace quillon {
namespace {

bool IsOpen(int fd) { return fcntl(fd, F_GETFD) != -1; }

TEST(UniqueFd, ClosesWhatItHoldsOnceWhereverItWasHandedOn) {
  int fd = -1;
  {
    UniqueFd first(open("/dev/null", O_RDONLY | O_CLOEXEC));
    fd = first.get();
    ASSERT_TRUE(first.valid());
    UniqueFd second(std::move(first));
    EXPECT_FALSE(first.valid());
    UniqueFd third;
    third = std::move(second);
    EXPECT_EQ(third.get(), fd);
    EXPECT_TRUE(IsOpen(fd));
  }
  EXPECT_FALSE(IsOpen(fd));

  UniqueFd held(open("/dev/null", O_RDONLY | O_CLOEXEC));
  const int released = held.release();
  EXPECT_FALSE(held.valid());
  EXPECT_TRUE(IsOpen(released));
  held.reset(released);
  held.reset();
  EXPECT_FALSE(IsOpen(released));
}

TEST(UniqueFd, CloseTellsAFailedClose) {
  UniqueFd fd(open("/dev/null", O_RDONLY | O_CLOEXEC));
  const int number = fd.get();
  EXPECT_NO_THROW(fd.Close());
  EXPECT_FALSE(fd.valid());
  EXPECT_NO_THROW(fd.Close());  // nothing held: nothing to close
  // A descriptor closed behind the owner's back cannot be closed again.
  UniqueFd stale(number);
  EXPECT_THROW(stale.Close(), IoError);
}

}  // namespace
}  // namespace quillon

#include "lumenfold/lodestar/frontend/data_dir_lock.h"

#include <unistd.h>

#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "test_support/temp_dir.h"

namespace lumenfold::lodestar {
namespace {

TEST(DataDirLockTest, OneHolderAtATimeAndTheSecondIsToldWho) {
  testing::TempDir dir;
  std::optional<common::Result<DataDirLock>> first(DataDirLock::acquire(dir.path()));
  ASSERT_TRUE(first->ok());
  common::Result<DataDirLock> before_record = DataDirLock::acquire(dir.path());
  ASSERT_FALSE(before_record.ok());
  EXPECT_EQ(before_record.error(),
            "another lodestar is serving " + dir.path().string() + "; stop it first, or use its port");

  (*first)->record(8123);
  common::Result<DataDirLock> second = DataDirLock::acquire(dir.path());
  ASSERT_FALSE(second.ok());
  EXPECT_EQ(second.error(), "another lodestar (pid " + std::to_string(getpid()) + ", port 8123) is serving " +
                                dir.path().string() + "; stop it first, or use its port");

  first.reset();
  EXPECT_TRUE(DataDirLock::acquire(dir.path()).ok());
}

}  // namespace
}  // namespace lumenfold::lodestar

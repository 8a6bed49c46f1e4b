#include "threading/critical_section.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/thread.h"

namespace orvex {
namespace {

TEST(SfCriticalSectionTest, ReleaseAllUndoesEveryLevel) {
  SfCriticalSection cs;
  cs.Enter();
  cs.Enter();
  EXPECT_EQ(cs.count(), 2);
  EXPECT_EQ(cs.owner(), platform::CurrentThreadId());
  EXPECT_TRUE(cs.ReleaseAll());
  EXPECT_EQ(cs.count(), 0);
  // Free for another thread now.
  std::atomic<bool> entered{false};
  std::thread other([&] {
    cs.Enter();
    entered = true;
    cs.Leave();
  });
  other.join();
  EXPECT_TRUE(entered);
  // The owner is not cleared on leave.
  EXPECT_NE(cs.owner(), 0u);
}

TEST(SfCriticalSectionTest, ReleaseAllOnFreeSectionReportsNotLocked) {
  SfCriticalSection cs;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(cs.ReleaseAll());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "\nNot locked\n");
}

TEST(SfCriticalSectionTest, ReleaseAllFromAnotherThreadKeepsTheHold) {
  SfCriticalSection cs;
  cs.Enter();
  bool released = true;
  std::string output;
  std::thread other([&] {
    testing::internal::CaptureStderr();
    released = cs.ReleaseAll();
    output = testing::internal::GetCapturedStderr();
  });
  other.join();
  EXPECT_FALSE(released);
  EXPECT_EQ(output, "");
  EXPECT_EQ(cs.count(), 1);
  cs.Leave();
}

TEST(SfScopedLockTest, ReleasesOnScopeExitAndOnExplicitRelease) {
  SfCriticalSection cs;
  {
    SfScopedLock guard(&cs);
    EXPECT_EQ(cs.count(), 1);
    guard.Release();
    EXPECT_EQ(cs.count(), 0);
  }
  EXPECT_EQ(cs.count(), 0);
  try {
    SfScopedLock guard(&cs);
    throw 1;
  } catch (int) {
  }
  EXPECT_EQ(cs.count(), 0);
  SfScopedLock nothing(nullptr);  // a missing lock locks nothing
}

}  // namespace
}  // namespace orvex

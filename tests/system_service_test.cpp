// The service operations. Where the service manager can be opened (Windows as
// administrator, which Wine is; Linux as root with systemd) a stand-in service is taken
// through the whole cycle; elsewhere every operation must answer false silently.
#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/process.h"
#include "platform/service_manager.h"
#include "registry/reg_key_path.h"
#include "system/service_control.h"
#include "system/testing/test_scratch.h"

namespace orvex::test {
namespace {

using namespace system;

bool ManagerAvailable() {
  platform::ServiceManagerObject* manager = platform::OpenServiceManager();
  platform::CloseServiceManager(manager);
  return manager != nullptr;
}

template <typename Pred>
bool WaitUntil(Pred pred, uint32_t timeout_ms = 15000) {
  const uint32_t start = platform::TickCount();
  while (!pred()) {
    if (platform::TickCount() - start >= timeout_ms) return false;
    platform::SleepMs(50);
  }
  return true;
}

TEST(ServiceControlTest, WithoutAManagerEveryOperationAnswersFalseSilently) {
  if (ManagerAvailable()) GTEST_SKIP() << "a service manager is available: the cycle test runs";
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  for (const std::string& name : {std::string(kServiceName), UniqueName("OrvexTest")}) {
    EXPECT_FALSE(IsServiceInstalled(name));
    EXPECT_FALSE(IsServiceRunning(name));
    EXPECT_FALSE(StartServiceByName(name));
    EXPECT_FALSE(StopServiceByName(name));
    EXPECT_FALSE(InstallService("/usr/bin/true", name, kServiceDisplayName));
    EXPECT_FALSE(UninstallService(name));
  }
  EXPECT_FALSE(UninstallService());
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(ServiceControlTest, InstallStartStopAndRemoveAStandinService) {
  if (!ManagerAvailable()) GTEST_SKIP() << "no service manager here (no systemd, or not root)";
  const std::string name = UniqueName("OrvexTest");
  const std::string program =
      JoinPath(JoinPath(GetModuleFolder(), "standins"),
               std::string("system_standin_service") + (WindowsBackend() ? ".exe" : ""));
  // Nothing of that name yet: every operation answers false; uninstall sends no stop.
  EXPECT_FALSE(IsServiceInstalled(name));
  EXPECT_FALSE(IsServiceRunning(name));
  EXPECT_FALSE(StartServiceByName(name));
  EXPECT_FALSE(StopServiceByName(name));
  EXPECT_FALSE(UninstallService(name));

  ASSERT_TRUE(InstallService(program, name, "Orvex test service"));
  EXPECT_TRUE(IsServiceInstalled(name));
  EXPECT_FALSE(IsServiceRunning(name));   // installing does not start it
  EXPECT_FALSE(StopServiceByName(name));  // a stopped service rejects the stop

  ASSERT_TRUE(StartServiceByName(name));
  EXPECT_TRUE(WaitUntil([&] { return IsServiceRunning(name); }));

  // Installing over the running service asks it to stop and changes its registration
  // in place: at no moment is the service without one.
  // (Display names are unique too: this one is the test's own.)
  EXPECT_TRUE(InstallService(program, name, name + " service"));
  EXPECT_TRUE(IsServiceInstalled(name));
  EXPECT_TRUE(WaitUntil([&] { return !IsServiceRunning(name); }));
  EXPECT_TRUE(IsServiceInstalled(name));
  if (WindowsBackend()) {
    std::string shown;
    SfRegKeyPath(RegRoot::kLocalMachine, "System\\CurrentControlSet\\Services\\" + name)
        .ReadString("DisplayName", &shown);
    EXPECT_EQ(shown, name + " service");
  }

  // Uninstalled while it runs, it is only marked for deletion while it stops: an
  // install waits for it to go and then registers it anew.
  // It starts again once its stop has finished.
  ASSERT_TRUE(WaitUntil([&] { return StartServiceByName(name); }));
  EXPECT_TRUE(WaitUntil([&] { return IsServiceRunning(name); }));
  EXPECT_TRUE(UninstallService(name));
  EXPECT_TRUE(InstallService(program, name, "Orvex test service"));
  EXPECT_TRUE(IsServiceInstalled(name));
  EXPECT_FALSE(IsServiceRunning(name));
  EXPECT_TRUE(UninstallService(name));
  EXPECT_TRUE(WaitUntil([&] { return !IsServiceInstalled(name); }));
  EXPECT_FALSE(UninstallService(name));
}

TEST(ServiceControlTest, AProgramPathWithBlanksIsStoredQuoted) {
  if (!ManagerAvailable() || !WindowsBackend()) {
    GTEST_SKIP() << "the Windows service manager's own record (Linux: the unit's own test)";
  }
  const std::string name = UniqueName("OrvexTest");
  // Unquoted, the manager would try "C:\Orvex.exe" first: a folder any user can write.
  const std::string program = "C:\\Orvex Tools\\Bus\\Corvane.exe";
  ASSERT_TRUE(InstallService(program, name, "Orvex test service"));
  std::string image;
  SfRegKeyPath(RegRoot::kLocalMachine, "System\\CurrentControlSet\\Services\\" + name)
      .ReadString("ImagePath", &image);
  EXPECT_TRUE(UninstallService(name));
  EXPECT_EQ(image, "\"" + program + "\"");
}

}  // namespace
}  // namespace orvex::test

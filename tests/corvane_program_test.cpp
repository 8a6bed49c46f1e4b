// The Corvane program run as a real process: hidden start, the window other programs
// find, the About box, Exit, the refused second instance, closing from outside with
// the clients' farewell, the add-in while the bus runs, and the auto-start publisher.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "client/bus_client.h"
#include "excel/testing/excel_test_registry.h"
#include "platform/clock.h"
#include "platform/input_idle.h"
#include "platform/process.h"
#include "platform/window.h"
#include "platform/window_messages.h"
#include "protocol/message_codes.h"
#include "registry/reg_key_path.h"
#include "tests/support/child_process.h"
#include "tests/support/child_registry.h"
#include "tests/support/wait_until.h"

#ifndef _WIN32
#include <fcntl.h>

#include "platform/testing/posix/test_users.h"
#endif

namespace orvex::test {
namespace {

using namespace platform;

constexpr const char* kCaption = "Orvex RTD Bus";
constexpr int kMessageBoxTextId = 0xFFFF;

// Corvane sits in the bus folder of the same build tree.
std::string CorvanePath() {
  const std::string self = CurrentExecutablePath();
  const size_t slash = self.find_last_of("/\\");
  return self.substr(0, slash) + "/../bus/app/" CORVANE_FILE_NAME;
}
bool WindowsBuild() {
  return std::string(CORVANE_FILE_NAME).ends_with(".exe");
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The first top-level window of `process` with that class (null: any) and title.
WindowHandle WindowOf(ProcessObject* process, const char* window_class, const char* title) {
  WindowHandle found = nullptr;
  EnumerateTopLevelWindows([&](WindowHandle w) {
    if (WindowProcessId(w) != ProcessId(process) || WindowText(w) != title) return true;
    if (window_class != nullptr && WindowClassName(w) != window_class) return true;
    found = w;
    return false;
  });
  return found;
}

// Starts a second Corvane with its standard error in a file (POSIX shows the box's text
// there) and answers the second's exit code.
ORVEX_CHILD_ROLE(second_corvane) {
  if (args.size() < 2 || std::freopen(args[1].c_str(), "w", stderr) == nullptr) return 90;
  ProcessObject* second = SpawnProcess(args[0], {});
  if (second == nullptr) return 91;
  int code = 92;
  if (!WaitProcess(second, 60000, &code)) KillProcess(second);
  CloseProcess(second);
  return code;
}

// A publisher started by the bus: records that it started.
ORVEX_CHILD_ROLE(record_publisher_start) {
  if (args.empty()) return 2;
  std::ofstream(args[0], std::ios::app | std::ios::binary) << "started\n";
  return 0;
}

// Shows the About box of the running Corvane (used to take its picture by hand).
ORVEX_CHILD_ROLE(show_about) {
  const WindowHandle main = FindTopLevelWindow(nullptr, kCaption);
  if (main == nullptr) return 1;
  SendWindowMessage(main, WM_COMMAND, 40005, 0);
  return IsWindowShown(main) ? 0 : 2;
}

class CorvaneProgramTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (ProcessObject* p : processes_) {
      KillProcess(p);
      CloseProcess(p);
    }
    registry_.Release();
    std::error_code ignored;
    for (const auto& path : files_) std::filesystem::remove_all(path, ignored);
  }
  // Starts Corvane and waits for its main window and the end of its start-up: the
  // window exists before start-up shows and hides it, and a message sent meanwhile may
  // be handled in between (Windows handles sent messages inside such calls).
  ProcessObject* Start(std::vector<std::string> args = {}) {
    ProcessObject* process = SpawnProcess(CorvanePath(), std::move(args));
    EXPECT_NE(process, nullptr) << CorvanePath();
    if (process == nullptr) return nullptr;
    processes_.push_back(process);
    EXPECT_TRUE(WaitUntil([&] {
      return (main_ = WindowOf(process, nullptr, kCaption)) != nullptr;
    })) << "no window titled "
        << kCaption;
    EXPECT_TRUE(WaitForInputIdleOf(ProcessId(process), 30000)) << "start-up did not end";
    return process;
  }
  // Waits for the process to end; its exit code, -1 when it did not.
  int Finish(ProcessObject* process, uint32_t timeout_ms = 15000) {
    int code = -1;
    if (!WaitProcess(process, timeout_ms, &code)) return -1;
    return code;
  }
  std::string TempFile(const std::string& stem) {
    const auto path = std::filesystem::temp_directory_path() / UniqueName(stem);
    files_.push_back(path.string());
    return path.string();
  }
  // Registers Excel 16 by its version alone (no program file: not 64-bit).
  static void RegisterExcelVersion16() {
    const SfRegKeyPath cur_ver(RegRoot::kClassesRoot, "Excel.Application\\CurVer");
    ASSERT_TRUE(cur_ver.Create());
    ASSERT_TRUE(cur_ver.WriteString("", "Excel.Application.16"));
  }
  // An Excel program file of the machine type `machine` (0x8664 64-bit, 0x014C 32-bit).
  static void WriteExcelImage(const std::string& path, uint16_t machine) {
    const std::vector<uint8_t> image = excel_test::PeImage(machine);
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(image.data()),
               static_cast<std::streamsize>(image.size()));
  }
  // Registers Excel 16 as the program `path`, written with the machine type `machine`.
  static void RegisterExcel16(const std::string& path, uint16_t machine) {
    WriteExcelImage(path, machine);
    const char* clsid = "{00024500-0000-0000-C000-000000000046}";
    const std::vector<std::pair<std::string, std::string>> classes = {
        {"Excel.Application\\CurVer", "Excel.Application.16"},
        {"Excel.Application\\CLSID", clsid},
        {std::string("CLSID\\") + clsid + "\\LocalServer32", path + " /automation"}};
    for (const auto& [key_path, text] : classes) {
      const SfRegKeyPath key(RegRoot::kClassesRoot, key_path);
      ASSERT_TRUE(key.Create());
      ASSERT_TRUE(key.WriteString("", text));
    }
  }
  // A registry that Corvane, a child, sees and the test may change; false: skip.
  bool OwnRegistry() { return registry_.Own(WindowsBuild()); }
  // The key trees the tests write, emptied first and removed again under Wine: the
  // prefix's registry is shared by the whole run, and an Excel another test left there
  // would decide which add-in Corvane installs.
  void WritesExcelKeys() {
    for (const auto& [root, path] :
         {std::pair{RegRoot::kClassesRoot, "Excel.Application"},
          std::pair{RegRoot::kClassesRoot, "CLSID\\{00024500-0000-0000-C000-000000000046}"},
          std::pair{RegRoot::kCurrentUser, "Software\\Microsoft\\Office\\16.0"}}) {
      registry_.RemoveAtEnd(root, path).DeleteTree();
    }
  }

  std::vector<ProcessObject*> processes_;
  std::vector<std::string> files_;
  WindowHandle main_ = nullptr;
  ChildRegistry registry_;
};

TEST_F(CorvaneProgramTest, StartsHiddenAndShowsAboutUntilOkThenExitEndsIt) {
  ProcessObject* corvane = Start();
  ASSERT_NE(main_, nullptr);
  // Start-up showed the dialog minimised and hid it again.
  EXPECT_FALSE(IsWindowShown(main_));
  SendWindowMessage(main_, WM_COMMAND, 40005, 0);
  EXPECT_TRUE(IsWindowShown(main_));
  // The version control can be read from outside where the window system allows it.
  const std::string version = DialogItemTitle(main_, 1031);
  if (WindowsBuild()) {
    EXPECT_EQ(version, "4.6.0.460");
  }
  SendWindowMessage(main_, WM_COMMAND, IDOK, 0);
  EXPECT_FALSE(IsWindowShown(main_));
  EXPECT_EQ(Finish(corvane, 300), -1) << "hiding the About box must not end the program";
  PostWindowMessage(main_, WM_COMMAND, 40003, 0);
  EXPECT_EQ(Finish(corvane), 0);
}

TEST_F(CorvaneProgramTest, ASecondStartShowsTheBoxAndLeavesTheFirstRunning) {
  ProcessObject* first = Start();
  ASSERT_NE(main_, nullptr);
  const std::string errors = TempFile("corvane_second");
  ProcessObject* role = SpawnChild("second_corvane", {CorvanePath(), errors});
  ASSERT_NE(role, nullptr);
  processes_.push_back(role);
  WindowHandle box = nullptr;
  ASSERT_TRUE(WaitUntil([&] {
    EnumerateTopLevelWindows([&](WindowHandle w) {
      if (WindowClassName(w) != "#32770" || WindowText(w) != "Corvane") return true;
      box = w;
      return false;
    });
    return box != nullptr;
  })) << "no message box captioned Corvane";
  const std::string text = DialogItemTitle(box, kMessageBoxTextId);
  PostWindowMessage(box, WM_COMMAND, IDOK, 0);
  EXPECT_EQ(Finish(role), 0);
  EXPECT_TRUE(text == "Instance of Corvane is already running" ||
              ReadAll(errors).find("Instance of Corvane is already running") != std::string::npos)
      << text << "|" << ReadAll(errors);
  // The first is untouched: same window, still answering, and Exit still ends it.
  EXPECT_EQ(WindowOf(first, nullptr, kCaption), main_);
  SendWindowMessage(main_, WM_COMMAND, 40005, 0);
  EXPECT_TRUE(IsWindowShown(main_));
  PostWindowMessage(main_, WM_COMMAND, 40003, 0);
  EXPECT_EQ(Finish(first), 0);
}

// WM_CLOSE from another process (or, on POSIX, SIGTERM) ends the program; a client is
// told "Server shutting down" about a second before its link closes and the program ends.
void ExpectFarewellBeforeEnd(ProcessObject* corvane, const std::function<void()>& close) {
  client::BusClient client;
  ASSERT_TRUE(client.Connect("Local\\Vantel", client::LinkKind::kClassic));
  RegisterReply reply;
  ASSERT_TRUE(client.RegisterAndWait("S", "watcher", false, true, &reply));
  close();
  client::BusReceived received;
  ASSERT_TRUE(client.ReceiveCode(MSG_DISCONNECT, &received, 10000));
  const uint32_t told = TickCount();
  EXPECT_EQ(received.text, "Server shutting down");
  int code = -1;
  ASSERT_TRUE(WaitProcess(corvane, 15000, &code));
  const uint32_t ended = TickCount();
  EXPECT_EQ(code, 0);
  EXPECT_GE(ended - told, 700u) << "the links closed without the grace second";
}

TEST_F(CorvaneProgramTest, CloseFromAnotherProcessEndsItAfterTheClientsWereTold) {
  ProcessObject* corvane = Start();
  ASSERT_NE(main_, nullptr);
  ExpectFarewellBeforeEnd(corvane, [&] { PostWindowMessage(main_, WM_CLOSE, 0, 0); });
}

TEST_F(CorvaneProgramTest, TerminationSignalClosesItLikeWmClose) {
  if (WindowsBuild()) GTEST_SKIP() << "termination signals exist on POSIX only";
  ProcessObject* corvane = Start();
  ASSERT_NE(main_, nullptr);
  ExpectFarewellBeforeEnd(corvane, [&] {
    ProcessObject* kill = SpawnProcess("/bin/kill", {"-TERM", std::to_string(ProcessId(corvane))});
    ASSERT_NE(kill, nullptr);
    WaitProcess(kill, 5000, nullptr);
    CloseProcess(kill);
  });
}

TEST_F(CorvaneProgramTest, RegXllInstallsTheAddInWhileTheBusRuns) {
  if (!OwnRegistry()) GTEST_SKIP() << ChildRegistry::kSkipReason;
  WritesExcelKeys();
  RegisterExcelVersion16();
  const SfRegKeyPath options(RegRoot::kCurrentUser,
                             "Software\\Microsoft\\Office\\16.0\\Excel\\Options");
  const SfRegKeyPath manager(RegRoot::kCurrentUser,
                             "Software\\Microsoft\\Office\\16.0\\Excel\\Add-in Manager");
  ASSERT_TRUE(options.Create());
  ASSERT_TRUE(options.WriteString("OPEN", "/R \"C:\\Other\\Keep.xll\""));

  // The program names the add-in beside its own file, as the system reports that file.
  const std::string add_in =
      (std::filesystem::canonical(CorvanePath()).parent_path() / "KelRTDAddIn.xll").string();
  ProcessObject* corvane = Start({"/REGxll"});
  ASSERT_NE(main_, nullptr);
  std::string open1;
  EXPECT_TRUE(options.ReadString("OPEN1", &open1));
  EXPECT_EQ(open1, "/R \"" + add_in + "\"");
  EXPECT_TRUE(manager.ValueExists(add_in));

  PostWindowMessage(main_, WM_CLOSE, 0, 0);
  EXPECT_EQ(Finish(corvane), 0);
  EXPECT_FALSE(options.ValueExists("OPEN1"));
  EXPECT_FALSE(manager.ValueExists(add_in));
  std::string open;
  EXPECT_TRUE(options.ReadString("OPEN", &open));
  EXPECT_EQ(open, "/R \"C:\\Other\\Keep.xll\"");
}

// With a 64-bit Excel the add-in is the _x64 file; logging off (WM_QUERYENDSESSION)
// removes it while the bus keeps running, even when Excel has been replaced by a 32-bit
// one meanwhile: the add-in removed is the one installed.
TEST_F(CorvaneProgramTest, RegXllWith64BitExcelUsesTheX64AddInAndSessionEndRemovesIt) {
  if (!OwnRegistry()) GTEST_SKIP() << ChildRegistry::kSkipReason;
  WritesExcelKeys();
  const std::string excel = TempFile("excel64");
  RegisterExcel16(excel, 0x8664);
  const std::string add_in =
      (std::filesystem::canonical(CorvanePath()).parent_path() / "KelRTDAddIn_x64.xll").string();
  const SfRegKeyPath options(RegRoot::kCurrentUser,
                             "Software\\Microsoft\\Office\\16.0\\Excel\\Options");
  const SfRegKeyPath manager(RegRoot::kCurrentUser,
                             "Software\\Microsoft\\Office\\16.0\\Excel\\Add-in Manager");
  ProcessObject* corvane = Start({"/regXLL"});
  ASSERT_NE(main_, nullptr);
  std::string open;
  EXPECT_TRUE(options.ReadString("OPEN", &open));
  EXPECT_EQ(open, "/R \"" + add_in + "\"");
  EXPECT_TRUE(manager.ValueExists(add_in));

  WriteExcelImage(excel, 0x014C);
  SendWindowMessage(main_, WM_QUERYENDSESSION, 0, 0);
  EXPECT_FALSE(options.ValueExists("OPEN"));
  EXPECT_FALSE(manager.ValueExists(add_in));
  EXPECT_EQ(Finish(corvane, 300), -1) << "the session's end is not the program's";
  PostWindowMessage(main_, WM_CLOSE, 0, 0);
  EXPECT_EQ(Finish(corvane), 0);
}

// Only the arguments can switch the add-in on: the program's own path may contain the
// switch's text (/opt/regxll/corvane).
TEST_F(CorvaneProgramTest, AProgramPathContainingRegXllIsNotTheSwitch) {
  if (WindowsBuild()) GTEST_SKIP() << "a symbolic link names the program: POSIX only";
  if (!OwnRegistry()) GTEST_SKIP() << ChildRegistry::kSkipReason;
  WritesExcelKeys();
  RegisterExcelVersion16();
  const std::filesystem::path folder = TempFile("corvane_path") + "/regxll";
  std::filesystem::create_directories(folder);
  const std::filesystem::path link = folder / CORVANE_FILE_NAME;
  std::filesystem::create_symlink(std::filesystem::canonical(CorvanePath()), link);
  ProcessObject* process = SpawnProcess(link.string(), {});
  ASSERT_NE(process, nullptr);
  processes_.push_back(process);
  ASSERT_TRUE(WaitUntil([&] { return (main_ = WindowOf(process, nullptr, kCaption)) != nullptr; }));
  const SfRegKeyPath options(RegRoot::kCurrentUser,
                             "Software\\Microsoft\\Office\\16.0\\Excel\\Options");
  EXPECT_FALSE(options.ValueExists("OPEN"));
  PostWindowMessage(main_, WM_CLOSE, 0, 0);
  EXPECT_EQ(Finish(process), 0);
}

TEST_F(CorvaneProgramTest, WithoutRegXllTheAddInIsLeftAlone) {
  if (!OwnRegistry()) GTEST_SKIP() << ChildRegistry::kSkipReason;
  WritesExcelKeys();
  RegisterExcelVersion16();
  ProcessObject* corvane = Start({"/other"});
  ASSERT_NE(main_, nullptr);
  const SfRegKeyPath options(RegRoot::kCurrentUser,
                             "Software\\Microsoft\\Office\\16.0\\Excel\\Options");
  EXPECT_FALSE(options.ValueExists("OPEN"));
  PostWindowMessage(main_, WM_CLOSE, 0, 0);
  EXPECT_EQ(Finish(corvane), 0);
}

TEST_F(CorvaneProgramTest, TheAutoStartPublisherIsLaunchedOnceForTheFirstOrdinaryTopic) {
  if (!OwnRegistry()) GTEST_SKIP() << ChildRegistry::kSkipReason;
  registry_.RemoveAtEnd(RegRoot::kCurrentUser, "Software\\Orvex\\RTD");
  const std::string marker = TempFile("corvane_autostart");
  const SfRegKeyPath key(RegRoot::kCurrentUser, "Software\\Orvex\\RTD");
  ASSERT_TRUE(key.Create());
  ASSERT_TRUE(key.WriteString("AutoStartPublisher",
                              "\"" + CurrentExecutablePath() +
                                  "\" --orvex-child record_publisher_start \"" + marker + "\""));
  ProcessObject* corvane = Start();
  ASSERT_NE(main_, nullptr);
  client::BusClient client;
  ASSERT_TRUE(client.Connect("Local\\Vantel", client::LinkKind::kV2));
  RegisterReply reply;
  ASSERT_TRUE(client.RegisterAndWait("S", "sub", false, true, &reply));
  // A bus topic launches nothing; the first ordinary one does, the next ones not again.
  ASSERT_TRUE(client.RequestTopic(1, "@BUS:TICKER"));
  client::BusReceived value;
  ASSERT_TRUE(client.ReceiveCode(MSG_VALUE, &value, 10000));
  SleepMs(300);
  EXPECT_EQ(ReadAll(marker), "");
  ASSERT_TRUE(client.RequestTopic(2, "ACME.LAST"));
  ASSERT_TRUE(WaitUntil([&] { return !ReadAll(marker).empty(); }));
  ASSERT_TRUE(client.RequestTopic(3, "ACME.BID"));
  ASSERT_TRUE(client.Flush(5000));
  SleepMs(500);
  EXPECT_EQ(ReadAll(marker), "started\n");
  PostWindowMessage(main_, WM_CLOSE, 0, 0);
  EXPECT_EQ(Finish(corvane), 0);
}

#ifndef _WIN32
// Another user made the folder of our shared objects first: Corvane says it cannot work
// instead of running on as a bus no client can reach.
class CorvaneIsolationTest : public platform::posix::testing::TwoUsersTest {};

TEST_F(CorvaneIsolationTest, AnotherUsersObjectFolderIsReportedNotServed) {
  using namespace platform::posix::testing;
  const std::string folder = "/dev/shm/orvex-" + std::to_string(victim_);
  ASSERT_EQ(RunAs(attacker_,
                  [&folder] {
                    return mkdir(folder.c_str(), 0777) == 0 && chmod(folder.c_str(), 0777) == 0 ? 0
                                                                                                : 1;
                  }),
            0);
  const std::string home = "/tmp/orvex-home-" + std::to_string(victim_);
  extra_.push_back(home);
  ASSERT_EQ(mkdir(home.c_str(), 0700), 0);
  ASSERT_EQ(chown(home.c_str(), victim_, victim_), 0);
  const std::string errors = home + "/errors";
  const std::string corvane = CorvanePath();
  const pid_t pid = StartAs(victim_, [&] {
    const int fd = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0 || dup2(fd, 2) != 2) return 126;
    setenv("HOME", home.c_str(), 1);
    unsetenv("XDG_RUNTIME_DIR");
    unsetenv("XDG_CONFIG_HOME");
    execl(corvane.c_str(), corvane.c_str(), static_cast<char*>(nullptr));
    return 127;
  });
  const bool told = WaitUntil([&errors] {
    return ReadAll(errors).find("Corvane: Corvane cannot create the bus's shared objects") !=
           std::string::npos;
  });
  kill(pid, SIGKILL);
  WaitFor(pid, 5000);
  EXPECT_TRUE(told) << ReadAll(errors);
}
#endif

}  // namespace
}  // namespace orvex::test

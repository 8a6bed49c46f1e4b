// Pendrel's legacy commands as real processes: counting and closing stand-in Excel
// windows, installing add-ins from a "|" list, and closing a stand-in bus.
#include <filesystem>

#include "excel/excel_addin.h"
#include "platform/window.h"
#include "platform/window_messages.h"
#include "tests/pendrel_fixture.h"

namespace orvex::test {
namespace {

using namespace platform;

// A top-level window of `window_class` titled `title` that ends the process on
// WM_CLOSE, as Excel's and the bus's main windows do.
int RunWindowUntilClosed(const char* window_class, const char* title) {
  const auto procedure = [](WindowHandle window, uint32_t message, WParam w, LParam l) -> LResult {
    if (message == WM_CLOSE) {
      DestroyWindowObject(window);
      PostQuit(0);
      return 0;
    }
    return DefaultWindowProcedure(window, message, w, l);
  };
  if (!RegisterWindowClass(CurrentModule(), window_class, 0, procedure)) return 10;
  if (CreateTopLevelWindow(CurrentModule(), window_class, title, 0) == nullptr) return 11;
  QueuedMessage message;
  while (GetNextMessage(&message) > 0) DispatchQueuedMessage(message);
  return 0;
}

ORVEX_CHILD_ROLE(excel_window) {
  return RunWindowUntilClosed("XLMAIN", "Microsoft Excel - Book1");
}

ORVEX_CHILD_ROLE(bus_window) {
  return RunWindowUntilClosed("OrvexStandInBus", "Orvex RTD Bus 4.6");
}

class PendrelLegacyTest : public PendrelTest {
 protected:
  void TearDown() override {
    for (ProcessObject* p : children_) {
      KillProcess(p);
      CloseProcess(p);
    }
    PendrelTest::TearDown();
  }
  // Starts a child role (from `program`, this test binary by default) and waits for
  // its window with that title.
  ProcessObject* StartWindow(const std::string& role, const std::string& title,
                             const std::string& program = CurrentExecutablePath()) {
    ProcessObject* child = SpawnProcess(program, {"--orvex-child", role});
    EXPECT_NE(child, nullptr);
    if (child == nullptr) return nullptr;
    children_.push_back(child);
    EXPECT_TRUE(WaitFor([&] { return WindowOf(child, title) != nullptr; })) << title;
    return child;
  }
  static WindowHandle WindowOf(ProcessObject* process, const std::string& title) {
    WindowHandle found = nullptr;
    EnumerateTopLevelWindows([&](WindowHandle w) {
      if (WindowProcessId(w) != ProcessId(process) || WindowText(w) != title) return true;
      found = w;
      return false;
    });
    return found;
  }
  static bool Ended(ProcessObject* process, int* code) { return WaitProcess(process, 10000, code); }

  std::vector<ProcessObject*> children_;
};

TEST_F(PendrelLegacyTest, XlTestInCapitalsCountsExcelWindowsAndXlQuitClosesThem) {
  const PendrelRun none = Run("XLTEST");
  ASSERT_GE(none.exit_code, 0) << none.output;
  EXPECT_EQ(none.output, "Status: " + std::to_string(none.exit_code) + "\n");
  ProcessObject* first = StartWindow("excel_window", "Microsoft Excel - Book1");
  ProcessObject* second = StartWindow("excel_window", "Microsoft Excel - Book1");
  ASSERT_NE(second, nullptr);
  const PendrelRun two = Run("XLTEST");
  EXPECT_EQ(two.exit_code, none.exit_code + 2);
  EXPECT_EQ(two.output, "Status: " + std::to_string(none.exit_code + 2) + "\n");

  const PendrelRun quit = Run("xlquit");
  EXPECT_EQ(quit.exit_code, 1);
  EXPECT_EQ(quit.output, "Status: 1\n");
  int code = -1;
  EXPECT_TRUE(Ended(first, &code));
  EXPECT_EQ(code, 0);
  EXPECT_TRUE(Ended(second, &code));
  EXPECT_EQ(code, 0);
}

TEST_F(PendrelLegacyTest, BwQuitClosesTheBusWindowAndWaitsForItsProcess) {
  // The process must carry the bus's module name for the wait to look for it.
  const std::string bus = (dir_ / (WindowsBuild() ? "Corvane.exe" : "corvane")).string();
  std::filesystem::copy_file(CurrentExecutablePath(), bus);
  EXPECT_EQ(Run("bwTest").output, "Status: 0\n");
  ProcessObject* standin = StartWindow("bus_window", "Orvex RTD Bus 4.6", bus);
  ASSERT_NE(standin, nullptr);
  PendrelRun run = Run("bwTest");
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.output, "Status: 1\n");
  run = Run("BWQUIT");
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.output, "Status: 1\n");
  // The command returned only after the process had gone.
  int code = -1;
  EXPECT_TRUE(WaitProcess(standin, 0, &code));
  EXPECT_EQ(code, 0);
  EXPECT_EQ(Run("bwTest").exit_code, 0);
}

TEST_F(PendrelLegacyTest, XllInstallWithOnlyABarDoesNothingAndSucceeds) {
  const PendrelRun run = Run("xllInstall \" | \"");
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.output, "Status: 1\n");
}

TEST_F(PendrelLegacyTest, XllInstallOfTwoPathsWhereTheSecondIsMissingKeepsTheFirst) {
  if (!OwnRegistry()) GTEST_SKIP() << NoRegistryReason();
  const SfRegKeyPath cur_ver = Written(RegRoot::kClassesRoot, "Excel.Application\\CurVer");
  ASSERT_TRUE(cur_ver.Create());
  ASSERT_TRUE(cur_ver.WriteString("", "Excel.Application.16"));
  Written(RegRoot::kCurrentUser, "Software\\Microsoft\\Office\\16.0");
  const std::string present = MakeFile("addins/One.xll");
  const std::string missing = Folder() + "/addins/Two.xll";

  PendrelRun run = Run("xllInstall \" " + present + " |  " + missing + " \"");
  EXPECT_EQ(run.exit_code, ExitCodeOf(-1));
  // Both paths were worked on, in order, with nothing between the messages.
  const size_t first = run.output.find(present);
  const size_t second = run.output.find(missing);
  EXPECT_NE(first, std::string::npos) << run.output;
  EXPECT_NE(second, std::string::npos) << run.output;
  EXPECT_LT(first, second);
  EXPECT_EQ(run.output.find("Status"), std::string::npos);

  std::vector<SfRegValue> entries;
  EXPECT_TRUE(SfExcelUtil::FindOpenEntries(present, true, &entries));
  EXPECT_EQ(entries.size(), 1u);
  run = Run("xllTest \"" + present + "\"");
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.output, "Status: 1\n");
  EXPECT_EQ(Run("xllTest \"" + missing + "\"").output, "Status: 0\n");
}

}  // namespace
}  // namespace orvex::test

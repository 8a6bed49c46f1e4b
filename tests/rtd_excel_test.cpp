// Excel's road to the bus, end to end under Wine in the throwaway prefix: Pendrel
// registers the product folder's KelRTD server, Corvane runs, and the stand-in Excel
// shows the bus's ticker and a publisher's values in its cells through every turn
// (publisher gone, bus restarted, topic closed), until DROP unregisters the server.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "client/bus_client.h"
#include "platform/clock.h"
#include "platform/process.h"
#include "platform/window.h"
#include "platform/window_messages.h"
#include "protocol/message_codes.h"
#include "registry/reg_key_path.h"
#include "tests/support/child_process.h"
#include "tests/support/child_registry.h"
#include "tests/support/wait_until.h"

namespace orvex {
namespace {

namespace fs = std::filesystem;
using platform::ProcessObject;

fs::path HereDir() {
  return fs::path(platform::CurrentExecutablePath()).parent_path();
}

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

int RunProgram(const fs::path& program, const std::vector<std::string>& args) {
  ProcessObject* process = platform::SpawnProcess(program.string(), args);
  if (!process) return -100;
  int code = -101;
  if (!platform::WaitProcess(process, 60000, &code)) platform::KillProcess(process);
  platform::CloseProcess(process);
  return code;
}

class RtdExcelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!registry_.Own(true)) GTEST_SKIP() << test::ChildRegistry::kSkipReason;
    work_ = fs::temp_directory_path() / test::UniqueName("rtd_excel");
    product_ = work_ / "Product";
    fs::create_directories(product_);
    for (const char* file : {"Corvane.exe", "Pendrel.exe", "KelRTDServer_x64.dll"}) {
      fs::copy_file(HereDir() / "rtd_product" / file, product_ / file);
    }
    // The components this product has no build of yet: present, as files.
    for (const char* file : {"KelRTDRibbonAddIn_x64.dll", "KelRTDAddIn_x64.xll"}) {
      std::ofstream(product_ / file) << "stand-in";
    }
    tools_ = HereDir() / "rtd_tools";
    FakeExcel();
  }
  void TearDown() override {
    if (!IsSkipped()) CloseCorvane();
    for (ProcessObject* p : {excel_, publisher_, corvane_}) {
      if (!p) continue;
      platform::KillProcess(p);
      platform::WaitProcess(p, 10000, nullptr);
      platform::CloseProcess(p);
    }
    // The prefix's registry is shared by the whole run: a 64-bit Excel left registered
    // here made later tests that register only Excel's version pick the x64 add-in.
    registry_.Release();
    std::error_code ignored;
    fs::remove_all(work_, ignored);
  }

  // A 64-bit Excel 16 as the registry describes it; the stand-in is its program file.
  void FakeExcel() {
    const std::string clsid = "{00024500-0000-0000-C000-000000000046}";
    const std::string exe = (tools_ / "standin_excel.exe").string();
    registry_.RemoveAtEnd(RegRoot::kClassesRoot, "Excel.Application");
    registry_.RemoveAtEnd(RegRoot::kClassesRoot, "CLSID\\" + clsid);
    ClassDefault("Excel.Application\\CLSID", clsid);
    ClassDefault("Excel.Application\\CurVer", "Excel.Application.16");
    ClassDefault("CLSID\\" + clsid + "\\LocalServer32", "\"" + exe + "\" /automation");
    ASSERT_TRUE(
        registry_.RemoveAtEnd(RegRoot::kCurrentUser, "Software\\Microsoft\\Office\\16.0").Create());
  }
  void ClassDefault(const std::string& path, const std::string& text) {
    const SfRegKeyPath key(RegRoot::kClassesRoot, path);
    ASSERT_TRUE(key.Create());
    ASSERT_TRUE(key.WriteString("", text));
  }

  static bool BusUp() {
    client::BusClient probe;
    return probe.Connect("Local\\Vantel", client::LinkKind::kV2, 1000);
  }
  void StartCorvane() {
    corvane_ = platform::SpawnProcess((product_ / "Corvane.exe").string(), {});
    ASSERT_NE(corvane_, nullptr);
    ASSERT_TRUE(test::WaitUntil(BusUp, 30000));
  }
  // As Pendrel closes it: WM_CLOSE to the window titled "Orvex RTD Bus", whichever
  // started it (Pendrel does at first); true once no such window is left and the bus is
  // gone. The tests that show a window of that title in their own process take this
  // test's lock, so every such window here is a Corvane's.
  bool CloseCorvane() {
    auto close_one = [] {
      bool found = false;
      platform::EnumerateTopLevelWindows([&](platform::WindowHandle window) {
        if (platform::WindowText(window).rfind("Orvex RTD Bus", 0) != 0) return true;
        platform::PostWindowMessage(window, platform::WM_CLOSE, 0, 0);
        found = true;
        return false;
      });
      return !found;
    };
    const bool closed =
        test::WaitUntil(close_one, 30000) && test::WaitUntil([] { return !BusUp(); }, 30000);
    if (corvane_) {
      // The one this test started: reaped here, so a later start does not lose it.
      if (!platform::WaitProcess(corvane_, 10000, nullptr)) platform::KillProcess(corvane_);
      platform::WaitProcess(corvane_, 10000, nullptr);
      platform::CloseProcess(corvane_);
      corvane_ = nullptr;
    }
    return closed;
  }
  void StartPublisher() {
    publisher_ =
        platform::SpawnProcess((tools_ / "vantel.exe").string(),
                               {"pub", "--sid", "DEMO", "--interval", "100", "--start", "1"});
    ASSERT_NE(publisher_, nullptr);
  }
  void KillPublisher() {
    platform::KillProcess(publisher_);
    platform::WaitProcess(publisher_, 10000, nullptr);
    platform::CloseProcess(publisher_);
    publisher_ = nullptr;
  }
  void Command(const std::string& line) { std::ofstream(commands_, std::ios::app) << line << "\n"; }

  // The stand-in's log as (cell, text) pairs in order, from line `from` on.
  std::vector<std::pair<int, std::string>> Cells(size_t from = 0) {
    std::vector<std::pair<int, std::string>> out;
    std::istringstream lines(ReadText(log_));
    std::string line;
    for (size_t n = 0; std::getline(lines, line); ++n) {
      if (!line.empty() && line.back() == '\r') line.pop_back();  // written in text mode
      if (n < from || line.rfind("cell ", 0) != 0) continue;
      const size_t space = line.find(' ', 5);
      out.emplace_back(std::stoi(line.substr(5, space - 5)), line.substr(space + 1));
    }
    return out;
  }
  size_t LogLines() {
    const std::string text = ReadText(log_);
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
  }
  // The numbers a cell showed since log line `from`, stopping at its first non-number.
  std::vector<double> Numbers(int cell, size_t from) {
    std::vector<double> out;
    for (auto& [id, text] : Cells(from)) {
      if (id != cell) continue;
      char* end = nullptr;
      const double number = std::strtod(text.c_str(), &end);
      if (end == text.c_str() || *end != '\0') {
        if (!out.empty()) break;
        continue;
      }
      out.push_back(number);
    }
    return out;
  }
  bool WaitShows(int cell, const std::string& text, size_t from, uint32_t timeout_ms = 40000) {
    return test::WaitUntil(
        [&] {
          for (auto& [id, shown] : Cells(from)) {
            if (id == cell && shown == text) return true;
          }
          return false;
        },
        timeout_ms);
  }
  uint32_t BusTopicCount() {
    client::BusClient monitor;
    client::BusReceived reply;
    if (!monitor.Connect("Local\\Vantel", client::LinkKind::kV2, 5000) ||
        !monitor.RegisterAndWait("", "rtd test monitor", false, true, nullptr) ||
        !monitor.Monitor({}) || !monitor.ReceiveCode(MSG_MONITOR_REPLY, &reply, 10000)) {
      return 0xFFFFFFFF;
    }
    return reply.items.at(0);
  }

  fs::path work_, product_, tools_;
  fs::path log_, commands_;
  ProcessObject* corvane_ = nullptr;
  ProcessObject* publisher_ = nullptr;
  ProcessObject* excel_ = nullptr;
  test::ChildRegistry registry_;
};

TEST_F(RtdExcelTest, CellsFollowTheBusFromRegistrationToDrop) {
  // The per-user registration starts the bus as well.
  ASSERT_EQ(RunProgram(product_ / "Pendrel.exe", {"RTD", product_.string()}), 1);
  ASSERT_TRUE(test::WaitUntil(BusUp, 30000));
  if (RunProgram(tools_ / "standin_excel.exe", {"--probe"}) != 0) {
    // Wine's COM reads classes from the machine's keys only; in this throwaway prefix
    // the all-users registration stands in for the per-user one.
    RecordProperty("registration", "all users (Wine does not see per-user classes)");
    ASSERT_EQ(RunProgram(product_ / "Pendrel.exe", {"RTD", "/A", product_.string()}), 1);
  }
  StartPublisher();

  // Excel's default throttle is 2 s; a short one keeps the test brief.
  log_ = work_ / "cells.log";
  commands_ = work_ / "commands.txt";
  std::ofstream(commands_).flush();
  excel_ = platform::SpawnProcess(
      (tools_ / "standin_excel.exe").string(),
      {"--throttle", "200", "--log", log_.string(), "--commands", commands_.string(),
       "1=@BUS:TICKER", "2=@DEMO:PRICE", "3=DEMO|PRICE"});
  ASSERT_NE(excel_, nullptr);

  // The ticker counts up; the publisher's values come in order (conflated, never
  // older after newer), and both forms of the same topic show the same.
  ASSERT_TRUE(test::WaitUntil(
      [&] { return Numbers(1, 0).size() >= 3 && Numbers(2, 0).size() >= 8; }, 40000))
      << ReadText(log_);
  for (int cell : {1, 2, 3}) {
    const std::vector<double> seen = Numbers(cell, 0);
    for (size_t i = 1; i < seen.size(); ++i) EXPECT_LT(seen[i - 1], seen[i]) << cell;
  }

  // The publisher is killed: its cells say so, the ticker goes on.
  size_t mark = LogLines();
  KillPublisher();
  ASSERT_TRUE(WaitShows(2, "#REF!", mark)) << ReadText(log_);
  ASSERT_TRUE(WaitShows(3, "#REF!", mark));
  mark = LogLines();
  ASSERT_TRUE(test::WaitUntil([&] { return Numbers(1, mark).size() >= 1; }, 20000));

  // Corvane goes and comes back: the cells show it and resume by themselves.
  mark = LogLines();
  ASSERT_TRUE(CloseCorvane());
  ASSERT_TRUE(WaitShows(1, "#NULL!", mark, 30000)) << ReadText(log_);
  StartCorvane();
  StartPublisher();
  mark = LogLines();
  ASSERT_TRUE(test::WaitUntil(
      [&] { return Numbers(1, mark).size() >= 2 && Numbers(2, mark).size() >= 3; }, 40000))
      << ReadText(log_);

  // Closing one of the two cells of the topic keeps it; closing both closes it.
  const uint32_t open = BusTopicCount();
  ASSERT_NE(open, 0xFFFFFFFFu);
  Command("disconnect 2");
  ASSERT_TRUE(test::WaitUntil(
      [&] { return ReadText(log_).find("disconnected 2") != std::string::npos; }, 20000));
  EXPECT_EQ(BusTopicCount(), open);
  Command("disconnect 3");
  ASSERT_TRUE(test::WaitUntil([&] { return BusTopicCount() == open - 1; }, 20000));

  Command("quit");
  int code = -1;
  ASSERT_TRUE(platform::WaitProcess(excel_, 30000, &code));
  platform::CloseProcess(excel_);
  excel_ = nullptr;
  EXPECT_EQ(code, 0);
  EXPECT_NE(ReadText(log_).find("terminated"), std::string::npos);

  // Unregistered, Excel can no longer create the server.
  EXPECT_EQ(RunProgram(tools_ / "standin_excel.exe", {"--probe"}), 0);
  RunProgram(product_ / "Pendrel.exe", {"DROP"});
  EXPECT_EQ(RunProgram(tools_ / "standin_excel.exe", {"--probe"}), 3);
  KillPublisher();
  EXPECT_TRUE(CloseCorvane());
}

}  // namespace
}  // namespace orvex

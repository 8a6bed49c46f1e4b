// The vantel tool as people use it: real vantel processes against a bus, over both
// link kinds. pub and sub see each other's values, mon reports topics, values and
// clients, default moves the default publisher.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/named_mapping.h"
#include "platform/process.h"
#include "platform/stale_objects.h"
#include "platform/test_hooks.h"
#include "tests/bus_fixture.h"
#include "tests/bus_process.h"

namespace orvex::test {
namespace {

// vantel and bus_host sit in the tools folder of the same build tree.
std::string ToolPath(const std::string& file_name) {
  const std::string self = platform::CurrentExecutablePath();
  const size_t slash = self.find_last_of("/\\");
  const std::string dir = slash == std::string::npos ? "." : self.substr(0, slash);
  return dir + "/../tools/" + file_name;
}
std::string VantelPath() {
  return ToolPath(VANTEL_FILE_NAME);
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

class VantelToolTest : public BusFixture, public ::testing::WithParamInterface<std::string> {
 protected:
  void TearDown() override {
    for (auto* child : children_) {
      platform::KillProcess(child);
      FinishChild(child, 5000);
    }
    for (const auto& path : files_) std::filesystem::remove(path);
    BusFixture::TearDown();
  }
  // Starts vantel with `args` and the link options of this test; kept for TearDown
  // unless the test finishes it itself.
  platform::ProcessObject* Run(std::vector<std::string> args, bool keep = true) {
    args.insert(args.begin() + 1, {"--bus", base_, "--connect-timeout", "10000"});
    if (GetParam() == "v2") args.insert(args.begin() + 1, "--v2");
    platform::ProcessObject* child = platform::SpawnProcess(VantelPath(), args);
    EXPECT_NE(child, nullptr) << VantelPath();
    if (keep && child != nullptr) children_.push_back(child);
    return child;
  }
  // Runs vantel to its end; its exit code, -1 when it had to be killed.
  int RunToEnd(std::vector<std::string> args) {
    platform::ProcessObject* child = Run(std::move(args), false);
    return child == nullptr ? -1 : FinishChild(child, 30000);
  }
  std::string OutputFile(const std::string& stem) {
    const auto path =
        std::filesystem::temp_directory_path() / (UniqueName("vantel_" + stem) + ".txt");
    files_.push_back(path.string());
    return path.string();
  }
  // A bus in a process of its own (so the test can kill it), kept for TearDown; null
  // when it did not start listening.
  platform::ProcessObject* StartBusProcess(const std::string& stem) {
    const std::string ready = EventName(stem);
    platform::ProcessObject* bus = SpawnBusProcess(base_, ready);
    if (bus == nullptr) return nullptr;
    children_.push_back(bus);
    return WaitSignal(ready, 30000) ? bus : nullptr;
  }
  bool WaitContains(const std::string& path, const std::string& text) {
    return WaitUntil([&] { return ReadAll(path).find(text) != std::string::npos; }, 20000);
  }

  std::vector<platform::ProcessObject*> children_;
  std::vector<std::string> files_;
};

TEST_P(VantelToolTest, SubPrintsEachValueOfACounterWithItsType) {
  StartBus();
  const std::string pub_out = OutputFile("pub");
  const std::string sub_out = OutputFile("sub");
  Run({"pub", "--sid", "ABC", "--source", "counter", "--start", "10", "--interval", "20", "-o",
       pub_out});
  ASSERT_TRUE(WaitLine("Client connected :1 ABC; Publisher"));
  ASSERT_EQ(
      RunToEnd({"sub", "@abc:ACME.LAST", "--count", "6", "--duration", "20000", "-o", sub_out}), 0);
  const auto lines = SplitLines(ReadAll(sub_out));
  ASSERT_EQ(lines.size(), 6u) << ReadAll(sub_out);
  int previous = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string prefix = "@abc:ACME.LAST\tint32\t";
    ASSERT_EQ(lines[i].rfind(prefix, 0), 0u) << lines[i];
    const int n = std::stoi(lines[i].substr(prefix.size()));
    EXPECT_GE(n, 10);
    // Every step reaches the subscriber, in order: nothing lost, nothing repeated.
    if (i > 0) {
      EXPECT_EQ(n, previous + 1) << lines[i];
    }
    previous = n;
  }
  // The publisher saw the topic arrive, as the bus spells it, and leave.
  EXPECT_TRUE(WaitContains(pub_out, " ACME.LAST\n"));
  EXPECT_TRUE(WaitContains(pub_out, "close "));
}

TEST_P(VantelToolTest, ConstantsKeepTheirTypeAndLongTextsArriveWhole) {
  StartBus();
  const std::string long_text = GeneratedText(300);
  // Each publisher answers its topic once: with a short interval the first two values
  // were one of each only when both publishers answered within one interval of each
  // other, which a loaded machine does not promise.
  Run({"pub", "--sid", "TXT", "--source", "const", "--value", long_text, "--interval", "600000"});
  Run({"pub", "--sid", "DBL", "--source", "const", "--value", "2.5", "--interval", "600000"});
  ASSERT_TRUE(WaitUntil([&] {
    size_t connected = 0;
    for (const auto& line : Lines()) connected += line.rfind("Client connected", 0) == 0;
    return connected == 2;
  }));
  const std::string sub_out = OutputFile("sub");
  ASSERT_EQ(
      RunToEnd({"sub", "@TXT:A", "@DBL:B", "--count", "2", "--duration", "20000", "-o", sub_out}),
      0);
  const std::string text = ReadAll(sub_out);
  EXPECT_NE(text.find("@TXT:A\ttext\t" + long_text + "\n"), std::string::npos) << text;
  EXPECT_NE(text.find("@DBL:B\tdouble\t2.5\n"), std::string::npos) << text;
  EXPECT_EQ(SplitLines(text).size(), 2u) << text;
}

TEST_P(VantelToolTest, MonReportsClientsTopicsAndValuesAsLines) {
  StartBus();
  const std::string mon_out = OutputFile("mon");
  Run({"mon", "--lines", "-o", mon_out});
  ASSERT_TRUE(WaitContains(mon_out, "monitor topics=0 clients=1"));
  Run({"pub", "--sid", "MON", "--name", "walker", "--source", "walk", "--start", "100",
       "--interval", "20"});
  ASSERT_TRUE(WaitContains(mon_out, "P- MON walker"));
  ASSERT_EQ(RunToEnd({"sub", "@MON:PRICE", "--count", "3", "--duration", "20000"}), 0);
  // Topic ids are the bus's: the first topic is 1.
  EXPECT_TRUE(WaitContains(mon_out, "topic+ 1 @MON:PRICE\n"));
  EXPECT_TRUE(WaitContains(mon_out, "value 1 @MON:PRICE double "));
  EXPECT_TRUE(WaitContains(mon_out, "topic- 1 @MON:PRICE\n"));
  EXPECT_TRUE(WaitContains(mon_out, "vantel sub done"));
  // Every value line names the topic and a double that moved by at most one step from
  // the one before (the walk had moved on before the topic was asked for).
  std::vector<double> values;
  for (const auto& line : SplitLines(ReadAll(mon_out))) {
    if (line.rfind("value 1 @MON:PRICE double ", 0) == 0) {
      values.push_back(std::stod(line.substr(line.rfind(' ') + 1)));
    }
  }
  ASSERT_GE(values.size(), 3u);
  for (size_t i = 1; i < values.size(); ++i) {
    EXPECT_LE(std::abs(values[i] - values[i - 1]), 1.0 + 1e-9);
    EXPECT_NE(values[i], values[i - 1]);
  }
}

TEST_P(VantelToolTest, DefaultMovesUnaddressedTopicsToTheNamedPublisher) {
  StartBus();
  Run({"pub", "--sid", "FIRST", "--source", "const", "--value", "from-first", "--text"});
  ASSERT_TRUE(WaitLine("Client connected :1 FIRST; Publisher"));
  Run({"pub", "--sid", "SECOND", "--source", "const", "--value", "from-second", "--text"});
  ASSERT_TRUE(WaitLine("Client connected :2 SECOND; Publisher"));
  const std::string before = OutputFile("before");
  ASSERT_EQ(RunToEnd({"sub", "PLAIN", "@BUS:DEFPUB", "--count", "2", "--duration", "20000", "-o",
                      before}),
            0);
  const std::string before_text = ReadAll(before);
  ASSERT_NE(before_text.find("@BUS:DEFPUB\ttext\tFIRST\n"), std::string::npos) << before_text;
  ASSERT_NE(before_text.find("PLAIN\ttext\tfrom-first\n"), std::string::npos) << before_text;

  const std::string said = OutputFile("default");
  ASSERT_EQ(RunToEnd({"default", "second", "-o", said}), 0);
  EXPECT_EQ(ReadAll(said), "default publisher second\n");
  const std::string after = OutputFile("after");
  ASSERT_TRUE(WaitUntil([&] {
    std::filesystem::remove(after);
    RunToEnd({"sub", "@BUS:DEFPUB", "--count", "1", "--duration", "5000", "-o", after});
    return ReadAll(after) == "@BUS:DEFPUB\ttext\tSECOND\n";
  }));
  ASSERT_EQ(RunToEnd({"sub", "PLAIN2", "--count", "1", "--duration", "20000", "-o", after}), 0);
  EXPECT_EQ(ReadAll(after), "PLAIN2\ttext\tfrom-second\n");
}

TEST_P(VantelToolTest, ReportsAMissingBusAndBadArgumentsThroughItsExitCode) {
  // No bus on this name: exit code 2 after the connect time-out.
  std::vector<std::string> args = {"sub", "--bus", base_ + "none", "--connect-timeout", "300", "X"};
  if (GetParam() == "v2") args.push_back("--v2");
  platform::ProcessObject* child = platform::SpawnProcess(VantelPath(), args);
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(FinishChild(child, 20000), 2);
  // A publisher needs a SID; the parser refuses before any link is made.
  child = platform::SpawnProcess(VantelPath(), {"pub", "--bus", base_});
  ASSERT_NE(child, nullptr);
  const int rc = FinishChild(child, 20000);
  EXPECT_NE(rc, 0);
  EXPECT_NE(rc, -1);
  child = platform::SpawnProcess(VantelPath(), {"pub", "--sid", "A", "--source", "const"});
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(FinishChild(child, 20000), 5);
}

// Tools and bus started together: the tool waits for the bus within its time-out.
TEST_P(VantelToolTest, APublisherStartedBeforeTheBusConnectsOnceItIsUp) {
  Run({"pub", "--sid", "EARLY", "--interval", "50"});
  platform::SleepMs(1000);
  StartBus();
  EXPECT_TRUE(WaitLine("Client connected :1 EARLY; Publisher"));
}

// Another process of the user holding the lock of the shared objects is named, not
// mistaken for a missing bus. Only the POSIX backend has such a lock.
TEST_P(VantelToolTest, ANameLockHeldElsewhereIsNamedInsteadOfAMissingBus) {
  StartBus();
  if (platform::NameLockPath().empty()) GTEST_SKIP() << "no lock file on this backend";
  const std::string err = OutputFile("err");
  std::string command = "exec '" + VantelPath() + "' sub --bus '" + base_ +
                        "' --connect-timeout 1500 X 2>'" + err + "'";
  if (GetParam() == "v2") command += " --v2";
  ASSERT_TRUE(platform::HoldNameLockForTesting(true));
  platform::ProcessObject* child = platform::SpawnProcess("/bin/sh", {"-c", command});
  const int code = child == nullptr ? -1 : FinishChild(child, 30000);
  platform::HoldNameLockForTesting(false);
  EXPECT_EQ(code, 2);
  const std::string said = ReadAll(err);
  EXPECT_NE(said.find("another process holds " + platform::NameLockPath()), std::string::npos)
      << said;
}

TEST_P(VantelToolTest, PubSubAndMonExitFourWhenTheBusIsKilled) {
  // A bus of its own process, killed without warning while values flow.
  platform::ProcessObject* bus = StartBusProcess("bus");
  ASSERT_NE(bus, nullptr);
  const std::string sub_out = OutputFile("sub");
  platform::ProcessObject* pub =
      Run({"pub", "--sid", "GONE", "--interval", "50", "-o", OutputFile("pub")});
  platform::ProcessObject* sub = Run({"sub", "@GONE:X", "-o", sub_out});
  const std::string mon_out = OutputFile("mon");
  platform::ProcessObject* mon = Run({"mon", "--lines", "-o", mon_out});
  ASSERT_TRUE(WaitContains(sub_out, "@GONE:X\tint32\t"));
  ASSERT_TRUE(WaitContains(mon_out, "value 1 @GONE:X int32 "));

  ASSERT_TRUE(platform::KillProcess(bus));
  const uint32_t killed = platform::TickCount();
  // Within the default silence limit and a margin for a loaded machine; the bus's
  // abandoned ownership mutex normally tells them in well under a second.
  platform::ProcessObject* tools[] = {pub, sub, mon};
  const char* labels[] = {"pub", "sub", "mon"};
  for (int i = 0; i < 3; ++i) {
    int code = -1;
    const uint32_t spent = platform::TickCount() - killed;
    ASSERT_TRUE(platform::WaitProcess(tools[i], spent < 25000 ? 25000 - spent : 0, &code))
        << "vantel " << labels[i] << " ran on after the bus was killed";
    std::printf("[ measured ] %s vantel %s: exit %d %u ms after the kill\n", GetParam().c_str(),
                labels[i], code, platform::TickCount() - killed);
    EXPECT_EQ(code, 4) << labels[i];
  }
}

TEST_P(VantelToolTest, WithReconnectPubAndSubCarryOnWithTheNextBus) {
  platform::ProcessObject* first = StartBusProcess("first");
  ASSERT_NE(first, nullptr);
  const std::string pub_out = OutputFile("pub");
  const std::string sub_out = OutputFile("sub");
  platform::ProcessObject* pub =
      Run({"pub", "--reconnect", "--sid", "AGAIN", "--interval", "50", "-o", pub_out});
  platform::ProcessObject* sub = Run({"sub", "--reconnect", "@AGAIN:X", "-o", sub_out});
  ASSERT_TRUE(WaitContains(sub_out, "@AGAIN:X\tint32\t"));

  ASSERT_TRUE(platform::KillProcess(first));
  // Both notice the loss within moments; a bus that took over before they looked would
  // leave them to the silence limit, so give them time first.
  platform::SleepMs(2000);
  const size_t before = SplitLines(ReadAll(sub_out)).size();
  ASSERT_NE(StartBusProcess("second"), nullptr);
  // The subscriber asked again for its topic, the publisher answered it on the new bus
  // and values flow again.
  ASSERT_TRUE(WaitUntil([&] { return SplitLines(ReadAll(sub_out)).size() >= before + 3; }, 40000))
      << ReadAll(sub_out);
  const auto lines = SplitLines(ReadAll(pub_out));
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "topic 1 X"), 2) << ReadAll(pub_out);
  for (platform::ProcessObject* tool : {pub, sub}) {
    int code = 0;
    EXPECT_FALSE(platform::WaitProcess(tool, 0, &code)) << "vantel ended: " << code;
  }
}

INSTANTIATE_TEST_SUITE_P(Links, VantelToolTest, ::testing::Values("classic", "v2"), KindName);

// A bus_host killed with SIGKILL leaves its objects' files behind (POSIX); the next
// bus_host removes those nobody holds when it starts, as Corvane does.
TEST_F(BusFixture, AStartingBusHostSweepsWhatAKilledOneLeft) {
  if (platform::NameLockPath().empty()) GTEST_SKIP() << "no object files on this backend";
  const std::string folder = std::filesystem::path(platform::NameLockPath()).parent_path().string();
  const std::string token = UniqueName("OrvexHostSweep");
  auto files_left = [&] {
    size_t n = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      n += entry.path().filename().string().find(token) != std::string::npos;
    }
    return n;
  };
  const std::string first_ready = EventName("first"), second_ready = EventName("second");
  platform::ProcessObject* first = platform::SpawnProcess(
      ToolPath(BUS_HOST_FILE_NAME), {"Local\\" + token, "--ready", first_ready});
  ASSERT_NE(first, nullptr);
  ASSERT_TRUE(WaitSignal(first_ready));
  platform::KillProcess(first);
  FinishChild(first);
  const size_t left = files_left();
  EXPECT_GT(left, 0u) << "a killed bus_host left nothing to sweep";
  platform::ProcessObject* second = platform::SpawnProcess(
      ToolPath(BUS_HOST_FILE_NAME), {UniqueName("Local\\OrvexHostOther"), "--ready", second_ready});
  ASSERT_NE(second, nullptr);
  ASSERT_TRUE(WaitSignal(second_ready));
  std::printf("[ figure ] a killed bus_host left %zu object files; %zu after the next start\n",
              left, files_left());
  EXPECT_EQ(files_left(), 0u);
  platform::KillProcess(second);
  FinishChild(second);
  platform::SweepStaleObjects();
}

}  // namespace
}  // namespace orvex::test

#pragma once
// Pendrel's setup actions against a registry of the test's own and a product folder
// of stand-in components and programs that record their starts.
#include <algorithm>
#include <filesystem>
#include <map>

#include "excel/testing/excel_test_registry.h"
#include "registration/sf_reg_util_v2.h"
#include "registration/testing/component_layout_test_util.h"
#include "system/file_operations.h"
#include "tests/pendrel_fixture.h"

namespace orvex::test {

namespace fs = std::filesystem;
namespace flows = SfRegUtil_V2;

// The programs the flows start are copies of a stand-in that records its starts.
inline const std::map<std::string, std::string> kPrograms = [] {
  auto programs = registration_test::kStartedPrograms;
  programs.emplace("TavRegW.exe", "");
  return programs;
}();

inline constexpr const char* kRestartLine = "\nRestarting process elevated";
inline constexpr const char* kSucceededLine = "\nElevated restart succeeded";
inline constexpr const char* kFailedLine = "\nElevated restart failed";

class PendrelActionTest : public PendrelTest {
 protected:
  void SetUp() override {
    PendrelTest::SetUp();
    if (!OwnRegistry()) GTEST_SKIP() << NoRegistryReason();
    product_ = (dir_ / "Product").string();
    // POSIX: the cleanup copy and the configuration file stay in the test's folder.
    platform::SetEnvVar("XDG_DATA_HOME", (dir_ / "AppData").string().c_str());
    platform::SetEnvVar("ORVEX_PROGRAMDATA_DIR", (dir_ / "ProgramData").string().c_str());
    fs::create_directories(dir_ / "ProgramData");
    RegisterExcel64();
    for (const auto& [name, sub] : registration_test::kComponentFolders)
      MakeFile("Product/" + sub + "/" + name, "");
    for (const auto& [name, sub] : kPrograms) {
      const fs::path path = fs::path(product_) / sub / name;
      fs::create_directories(path.parent_path());
      fs::copy_file(STARTED_STANDIN, path, fs::copy_options::overwrite_existing);
    }
  }
  void TearDown() override {
    if (WindowsBuild() && !product_.empty()) {
      // The prefix's registry is shared by the whole run: take the products out again.
      platform::SetEnvVar("ORVEX_TEST_ELEVATION", nullptr);
      flows::UnregisterAll(true);
      flows::UnregisterAll(false);
      std::error_code ignored;
      fs::remove_all(system::GetLocalAppDataFolder("TavXLUserCleanup"), ignored);
    }
    platform::SetEnvVar("XDG_DATA_HOME", nullptr);
    platform::SetEnvVar("ORVEX_PROGRAMDATA_DIR", nullptr);
    PendrelTest::TearDown();
  }

  void RegisterExcel64() {
    const std::string exe = MakeFile("Excel/EXCEL.EXE", "");
    const auto image = excel_test::PeImage(0x8664);
    std::ofstream(exe, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), static_cast<long>(image.size()));
    const char* clsid = "{00024500-0000-0000-C000-000000000046}";
    ClassDefault("Excel.Application\\CLSID", clsid);
    ClassDefault(std::string("CLSID\\") + clsid + "\\LocalServer32", "\"" + exe + "\" /automation");
    ClassDefault("Excel.Application\\CurVer", "Excel.Application.16");
    // Excel's own branch for the user, which an installed Excel has; the children write
    // its add-in list and trusted locations below it (under Wine removed at the end).
    ASSERT_TRUE(Written(RegRoot::kCurrentUser, "Software\\Microsoft\\Office\\16.0").Create());
  }
  void ClassDefault(const std::string& path, const std::string& text) {
    const SfRegKeyPath key = Written(RegRoot::kClassesRoot, path);
    ASSERT_TRUE(key.Create());
    ASSERT_TRUE(key.WriteString("", text));
  }
  // The started lines a stand-in program recorded, waiting for at least `count`.
  std::string Starts(const std::string& name, size_t count = 1) const {
    const std::string found = system::FindFileInTree(name, product_);
    std::string text;
    WaitFor(
        [&] {
          text = ReadFileText(found + ".started");
          return static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) >= count;
        },
        10000);
    return text;
  }
  // Runs with the test seam's elevation value (null: none).
  PendrelRun RunAs(const char* elevation, const std::string& tail) {
    platform::SetEnvVar("ORVEX_TEST_ELEVATION", elevation);
    PendrelRun run = Run(tail);
    platform::SetEnvVar("ORVEX_TEST_ELEVATION", nullptr);
    return run;
  }
  // Waits until the output file of a restarted run ends with `tail`; the copy writes
  // into the same standard output after the first process has ended.
  std::string OutputOnceEndsWith(const std::string& tail) {
    std::string text;
    WaitFor(
        [&] {
          text = ReadFileText(last_output_);
          return text.ends_with(tail);
        },
        20000);
    return text;
  }
  std::string FirstTraceLine(const PendrelRun& run) const {
    return run.trace.substr(0, run.trace.find('\n') + 1);
  }
  std::string Quoted(const std::string& path) const { return "\"" + path + "\""; }

  std::string product_;
};

}  // namespace orvex::test

#pragma once
// Shared set-up of the flow tests: a private registry with a registered 64-bit Excel 16,
// a temporary installation folder of stand-in component files in nested folders, and a
// private local application-data folder (POSIX) for the cleanup copy.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "excel/testing/excel_test_registry.h"
#include "platform/process.h"
#include "platform/registry_sandbox.h"
#include "registration/testing/component_layout_test_util.h"
#include "registration/testing/registry_dump_test_util.h"
#include "system/file_operations.h"
#include "tests/support/child_process.h"

namespace orvex::registration_test {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

class RegistrationFlowTest : public ::testing::Test {
 protected:
  // The flows close windows by title in the whole session: natively this process and
  // the programs it starts get a window table of their own, chosen before the first
  // window operation of the process and kept for all its tests.
  static const std::string& RuntimeFolder() {
    static const std::string runtime =
        (fs::temp_directory_path() / test::UniqueName("orvex-registration-windows")).string();
    return runtime;
  }
  static void SetUpTestSuite() {
    fs::create_directories(RuntimeFolder());
    platform::SetEnvVar("XDG_RUNTIME_DIR", RuntimeFolder().c_str());
  }
  static void TearDownTestSuite() {
    std::error_code ignored;
    fs::remove_all(RuntimeFolder(), ignored);
  }

  void SetUp() override {
    ASSERT_TRUE(sandbox_.ok());
    dir_ = fs::temp_directory_path() / test::UniqueName("orvex-registration");
    product_ = (dir_ / "Product").string();
    fs::create_directories(dir_ / "AppData");
    // POSIX: the cleanup copy goes to the private folder (Windows: the prefix's own).
    platform::SetEnvVar("XDG_DATA_HOME", (dir_ / "AppData").string().c_str());
    RegisterExcel64();
    for (const auto& [name, sub] : kComponentFolders) MakeFile(sub, name);
    for (const auto& [name, sub] : kStartedPrograms) MakeProgram(sub, name);
    MakeProgram("", "TavRegW.exe");
    // Wine notes the profile folder in the (sandboxed) machine registry on the first
    // known-folder look-up: let that happen before the registry is compared.
    system::GetLocalAppDataFolder("");
    before_ = DumpRegistry();
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
    const std::string cleanup = system::GetLocalAppDataFolder("TavXLUserCleanup");
    if (!cleanup.empty()) fs::remove_all(cleanup, ignored);
    platform::SetEnvVar("XDG_DATA_HOME", nullptr);
  }

  void RegisterExcel64() {
    const std::string exe = MakeFile("Excel", "EXCEL.EXE", excel_test::PeImage(0x8664));
    const char* clsid = "{00024500-0000-0000-C000-000000000046}";
    ClassDefault("Excel.Application\\CLSID", clsid);
    ClassDefault(std::string("CLSID\\") + clsid + "\\LocalServer32", "\"" + exe + "\" /automation");
    ClassDefault("Excel.Application\\CurVer", "Excel.Application.16");
  }
  static void ClassDefault(const std::string& path, const std::string& text) {
    const SfRegKeyPath key(RegRoot::kClassesRoot, path);
    ASSERT_TRUE(key.Create());
    ASSERT_TRUE(key.WriteString("", text));
  }

  std::string MakeFile(const std::string& sub, const std::string& name,
                       const std::vector<uint8_t>& bytes = {}) {
    const fs::path folder = sub.empty() ? fs::path(product_) : fs::path(product_) / sub;
    fs::create_directories(folder);
    std::ofstream out(folder / name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return (folder / name).string();
  }
  std::string MakeProgram(const std::string& sub, const std::string& name) {
    const std::string path = MakeFile(sub, name);
    fs::copy_file(REGISTRATION_STANDIN, path, fs::copy_options::overwrite_existing);
    return path;
  }
  // The full path the flows find for a component (the file search is tested in system/).
  std::string Found(const std::string& name) const {
    return system::FindFileInTree(name, product_);
  }

  // Argument lines of every start of the program so far, waiting up to 10 s for
  // `expected` of them (a started program writes its line a little later).
  Lines Starts(const std::string& name, size_t expected) const {
    Lines lines;
    for (int i = 0; i < 200; ++i) {
      lines.clear();
      std::ifstream in(Found(name) + ".started");
      for (std::string line; std::getline(in, line);) lines.push_back(line);
      if (lines.size() >= expected) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return lines;
  }

  Lines Written() const { return Added(before_, DumpRegistry()); }

  // Every value of the user's registry (64-bit view), to put back after an operation
  // that stands for another account's work: an administrator's removal in their own
  // account leaves this user's branch alone.
  struct SavedValue {
    SfRegKeyPath key;
    SfRegValue value;
  };
  static void SaveTree(const SfRegKeyPath& key, std::vector<SavedValue>* saved) {
    std::vector<std::string> names;
    key.EnumValueNames("", "", &names);
    for (const std::string& name : names) {
      SavedValue entry{key, {}};
      if (key.ReadValue(name, &entry.value)) saved->push_back(entry);
    }
    key.EnumSubKeys(&names);
    for (const std::string& child : names) {
      SfRegKeyPath sub = key;
      sub.Append(child);
      SaveTree(sub, saved);
    }
  }
  static std::vector<SavedValue> SaveUser() {
    std::vector<SavedValue> saved;
    SaveTree(SfRegKeyPath(RegRoot::kCurrentUser, "", true), &saved);
    return saved;
  }
  static void Restore(const std::vector<SavedValue>& saved) {
    for (const SavedValue& entry : saved) {
      ASSERT_TRUE(entry.key.Create());
      ASSERT_TRUE(entry.key.WriteValue(entry.value.name, entry.value.data, entry.value.type));
    }
  }

  platform::RegistrySandbox sandbox_;
  fs::path dir_;
  std::string product_;
  std::set<std::string> before_;
};

// The lines a COM registration of the tables writes below `root` ("HKCU:" or "HKLM:"),
// 64-bit view: an RTD server, and a COM add-in bundle with its Excel entry.
inline Lines RtdServerLines(const std::string& root, const std::string& prog_id,
                            const std::string& description, const std::string& clsid,
                            const std::string& lib, const std::string& path) {
  const std::string classes = root + "Software\\Classes\\";
  return {
      classes + prog_id + "\\[]=" + description,
      classes + prog_id + "\\CLSID\\[]=" + clsid,
      classes + "CLSID\\" + clsid + "\\[]=",
      classes + "CLSID\\" + clsid + "\\InprocServer32\\[]=" + path,
      classes + "CLSID\\" + clsid + "\\ProgID\\[]=" + prog_id,
      classes + "CLSID\\" + clsid + "\\TypeLib\\[]=" + lib,
      classes + "TypeLib\\" + lib + "\\1.0\\[]=",
      classes + "TypeLib\\" + lib + "\\1.0\\0\\win64\\[]=" + path,
      classes + "TypeLib\\" + lib + "\\1.0\\FLAGS\\[]=",
  };
}

struct BundleNames {
  const char* prog_id;
  const char* description;
  const char* clsid;
  const char* lib;
  const char* lib_description;
  const char* iid;
};
inline constexpr BundleNames kTavXLBundle = {"KelRTDAddInExLib.Connect",
                                             "Orvex XL Add-In",
                                             "{40051E46-7AB4-A36E-E098-7B3544242B30}",
                                             "{E58D656E-C4F3-378C-19CD-5840F1AEC544}",
                                             "TavXL Add-In Type Library",
                                             "{AD77BF39-7689-15E2-ED4A-22437740AF0D}"};
inline constexpr BundleNames kKelRTDRibbon = {
    "KelRTDRibbonAddInLib.Connect",           "KelRTD Ribbon",
    "{D40CCA85-F0F5-4F30-445A-3577E18A0A5A}", "{BCCA95BF-8E2F-8559-F823-CDEF7F73EDD7}",
    "KelRTD Ribbon Add-in Type Library",      "{7B6C2916-3D00-D68D-F6DB-75D0C3F7EB93}"};

inline Lines BundleLines(const std::string& root, const BundleNames& b, const std::string& path) {
  const std::string classes = root + "Software\\Classes\\";
  const std::string prog = b.prog_id;
  const std::string clsid = b.clsid;
  const std::string lib = b.lib;
  const std::string addin = root + "Software\\Microsoft\\Office\\Excel\\Addins\\" + prog;
  return {
      classes + prog + "\\[]=" + b.description,
      classes + prog + "\\CLSID\\[]=" + clsid,
      classes + prog + "\\CurVer\\[]=" + prog + ".1",
      classes + prog + ".1\\[]=" + b.description,
      classes + prog + ".1\\CLSID\\[]=" + clsid,
      classes + "CLSID\\" + clsid + "\\[]=",
      classes + "CLSID\\" + clsid + "\\InprocServer32\\[]=" + path,
      classes + "CLSID\\" + clsid + "\\ProgID\\[]=" + prog,
      classes + "CLSID\\" + clsid + "\\TypeLib\\[]=" + lib,
      classes + "TypeLib\\" + lib + "\\1.0\\[]=" + b.lib_description,
      classes + "TypeLib\\" + lib + "\\1.0\\0\\win64\\[]=" + path,
      classes + "TypeLib\\" + lib + "\\1.0\\FLAGS\\[]=",
      classes + "Interface\\" + b.iid + "\\[]=IRibbonCallback",
      classes + "Interface\\" + b.iid +
          "\\ProxyStubClsid32\\[]={00020424-0000-0000-C000-000000000046}",
      classes + "Interface\\" + b.iid + "\\TypeLib\\[]=" + lib,
      classes + "Interface\\" + b.iid + "\\TypeLib\\[Version]=1.0",
      addin + "\\[Description]=" + b.description,
      addin + "\\[FriendlyName]=" + b.description,
      addin + "\\[LoadBehavior]=dword:3",
  };
}

inline Lines Sorted(Lines lines) {
  std::sort(lines.begin(), lines.end());
  return lines;
}

inline Lines Joined(std::initializer_list<Lines> parts) {
  Lines all;
  for (const Lines& part : parts) all.insert(all.end(), part.begin(), part.end());
  return Sorted(all);
}

}  // namespace orvex::registration_test

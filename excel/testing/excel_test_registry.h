#pragma once
// Shared set-up of the Excel tests: a private registry with an Excel version, and a
// private folder for the files the operations look at.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/registry_sandbox.h"
#include "registry/reg_key_path.h"
#include "tests/support/child_process.h"

namespace orvex::excel_test {

inline constexpr const char* kUserKey = "Software\\Microsoft\\Office\\16.0\\Excel";

class ExcelRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sandbox_.ok());
    dir_ = std::filesystem::temp_directory_path() / test::UniqueName("orvex-excel");
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  static void SetClassDefault(const std::string& path, const std::string& text) {
    const SfRegKeyPath key(RegRoot::kClassesRoot, path);
    ASSERT_TRUE(key.Create());
    ASSERT_TRUE(key.WriteString("", text));
  }
  static void RegisterVersion(const char* cur_ver = "Excel.Application.16") {
    SetClassDefault("Excel.Application\\CurVer", cur_ver);
  }
  static SfRegKeyPath UserKey(const char* sub) {
    SfRegKeyPath key(RegRoot::kCurrentUser, kUserKey);
    key.Append(sub);
    return key;
  }
  // Creates `name` (with folders) in the test folder; returns its native path.
  std::string MakeFile(const std::string& name, const std::vector<uint8_t>& bytes = {'x'}) {
    const std::filesystem::path path = dir_ / name;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return path.string();
  }
  std::string Folder() const { return dir_.string(); }
  static char Separator() { return static_cast<char>(std::filesystem::path::preferred_separator); }

  platform::RegistrySandbox sandbox_;
  std::filesystem::path dir_;
};

// Minimal Windows program headers: a DOS stub pointing at a PE header of `machine`.
inline std::vector<uint8_t> PeImage(uint16_t machine, bool pe_header = true) {
  std::vector<uint8_t> image(0x400, 0);
  image[0] = 'M';
  image[1] = 'Z';
  if (!pe_header) return image;
  auto put16 = [&](size_t at, uint32_t v) {
    image[at] = static_cast<uint8_t>(v);
    image[at + 1] = static_cast<uint8_t>(v >> 8);
  };
  auto put32 = [&](size_t at, uint32_t v) {
    put16(at, v & 0xFFFF);
    put16(at + 2, v >> 16);
  };
  const bool wide = machine != 0x014C;
  put32(0x3C, 0x80);
  image[0x80] = 'P';
  image[0x81] = 'E';
  put16(0x84, machine);
  put16(0x86, 0);                    // sections
  put16(0x94, wide ? 0xF0 : 0xE0);   // optional header size
  put16(0x96, wide ? 0x22 : 0x102);  // executable image (+ 32-bit machine)
  const size_t opt = 0x98;
  put16(opt, wide ? 0x20B : 0x10B);
  put32(opt + 16, 0x1000);  // entry point
  if (wide) {
    put32(opt + 24, 0x400000);  // image base (low half)
  } else {
    put32(opt + 28, 0x400000);
  }
  put32(opt + 32, 0x1000);             // section alignment
  put32(opt + 36, 0x200);              // file alignment
  put16(opt + 40, 5);                  // operating system version
  put16(opt + 48, 5);                  // subsystem version
  put32(opt + 56, 0x2000);             // image size
  put32(opt + 60, 0x400);              // headers size
  put16(opt + 68, 2);                  // GUI subsystem
  put32(opt + (wide ? 108 : 92), 16);  // data directories
  return image;
}

}  // namespace orvex::excel_test

// The systemd unit of a service: the program path stays one word whatever it holds,
// nothing can add lines to the unit, and the file gets mode 0644 under any umask.
#include "service_unit.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace orvex::platform {
namespace {

std::string ExecStartOf(const std::string& path) {
  std::string text;
  if (!ServiceUnitText(path, "Orvex 100% bus", &text)) return "<refused>";
  EXPECT_NE(text.find("Description=Orvex 100%% bus\n"), std::string::npos) << text;
  const size_t begin = text.find("ExecStart=");
  return text.substr(begin + 10, text.find('\n', begin) - begin - 10);
}

TEST(ServiceUnitTest, TheProgramPathIsOneQuotedWordAndControlCharactersAreRefused) {
  EXPECT_EQ(ExecStartOf("/opt/Orvex Tools/corvane"), "\"/opt/Orvex Tools/corvane\"");
  EXPECT_EQ(ExecStartOf("\"/opt/Orvex Tools/corvane\""), "\"/opt/Orvex Tools/corvane\"");
  EXPECT_EQ(ExecStartOf("/opt/a%h/$HOME/corvane"), "\"/opt/a%%h/$$HOME/corvane\"");
  EXPECT_EQ(ExecStartOf("/opt/q\"x\\y/corvane"), "\"/opt/q\\\"x\\\\y/corvane\"");
  EXPECT_EQ(ExecStartOf("/opt/x\n[Service]\nUser=root/corvane"), "<refused>");
  EXPECT_EQ(ExecStartOf("/opt/tab\there"), "<refused>");
  EXPECT_EQ(ExecStartOf(""), "<refused>");
  std::string text;
  EXPECT_FALSE(ServiceUnitText("/opt/corvane", "name\nExecStartPre=/bin/x", &text));
}

TEST(ServiceUnitTest, TheFileIs0644UnderAnyUmaskAndNeverWrittenThroughALink) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("unit" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const mode_t old_mask = umask(0);
  const std::string unit = (dir / "a.service").string();
  EXPECT_TRUE(WriteServiceUnitFile(unit, "[Unit]\n"));
  umask(old_mask);
  struct stat info;
  ASSERT_EQ(stat(unit.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0644u);
  // An existing file or a link planted under the name is never written.
  EXPECT_FALSE(WriteServiceUnitFile(unit, "[Unit]\nB\n"));
  const std::string target = (dir / "target").string();
  std::ofstream(target) << "keep";
  std::filesystem::create_symlink(target, dir / "b.service");
  EXPECT_FALSE(WriteServiceUnitFile((dir / "b.service").string(), "[Unit]\n"));
  std::ifstream in(target);
  std::string kept;
  in >> kept;
  EXPECT_EQ(kept, "keep");
  // Replaced whole, in place of the file or the link, with the same mode; the target
  // of the link stays as it was and no temporary file is left behind.
  umask(0);
  EXPECT_TRUE(ReplaceServiceUnitFile(unit, "[Unit]\nC\n"));
  EXPECT_TRUE(ReplaceServiceUnitFile((dir / "b.service").string(), "[Unit]\nD\n"));
  umask(old_mask);
  for (const char* name : {"a.service", "b.service"}) {
    const std::string path = (dir / name).string();
    ASSERT_EQ(lstat(path.c_str(), &info), 0) << name;
    EXPECT_TRUE(S_ISREG(info.st_mode)) << name;
    EXPECT_EQ(info.st_mode & 07777, 0644u) << name;
  }
  std::ifstream replaced(unit);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(replaced), {}), "[Unit]\nC\n");
  std::ifstream target_after(target);
  target_after >> kept;
  EXPECT_EQ(kept, "keep");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 3);
  EXPECT_FALSE(ReplaceServiceUnitFile((dir / "missing" / "c.service").string(), "[Unit]\n"));
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace orvex::platform

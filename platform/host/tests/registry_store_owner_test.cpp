// The per-user registry store belongs to its user: its place comes from the password
// database (never a shared folder when there is no home), and a store folder or file
// another user made is refused instead of answering for this user.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "registry_store.h"
#include "test_users.h"

namespace orvex::platform {
namespace {

namespace fs = std::filesystem;
namespace users = posix::testing;

constexpr const char* kKey = "Software\\Orvex\\OwnerTest";

RegResult Put(const std::string& text) {
  RegistryKey key;
  RegResult r = RegistryKey::Create(RegRoot::kCurrentUser, kKey, false, &key, nullptr);
  if (r != RegResult::kOk) return r;
  return key.SetValue("xlVer", kRegSz, reinterpret_cast<const uint8_t*>(text.c_str()),
                      text.size() + 1);
}

std::string Get() {
  RegistryKey key;
  std::vector<uint8_t> data;
  if (RegistryKey::Open(RegRoot::kCurrentUser, kKey, RegAccess::kRead, false, &key) !=
          RegResult::kOk ||
      key.QueryValue("xlVer", nullptr, &data, nullptr) != RegResult::kOk || data.empty()) {
    return "<missing>";
  }
  return std::string(data.begin(), data.end() - 1);
}

// Runs `body` as `uid` with HOME and XDG_CONFIG_HOME as given (null: unset).
int AsUser(uid_t uid, const char* home, const char* config, const std::function<int()>& body) {
  return users::WaitFor(users::StartAs(uid, [&] {
    regstore::Store::ReleaseAll();
    unsetenv("ORVEX_REGISTRY_DIR");
    home ? setenv("HOME", home, 1) : unsetenv("HOME");
    config ? setenv("XDG_CONFIG_HOME", config, 1) : unsetenv("XDG_CONFIG_HOME");
    return body();
  }));
}

TEST(RegistryStoreOwnerTest, AStoreAnotherUserPlantedIsRefusedAndNoHomeMeansNoStore) {
  if (geteuid() != 0) GTEST_SKIP() << users::kNeedsRoot;
  const fs::path scratch = fs::temp_directory_path() / ("regowner" + std::to_string(getpid()));
  fs::create_directories(scratch);
  fs::permissions(scratch, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
  const uid_t attacker = users::UnusedUid(51000);
  const uid_t victim = users::UnusedUid(52000);
  ASSERT_NE(attacker, victim);

  // The attacker's store, answering 99, where the victim's configuration points.
  const fs::path planted = scratch / "cfg" / "orvex";
  fs::create_directories(planted);
  setenv("ORVEX_REGISTRY_DIR", planted.c_str(), 1);
  regstore::Store::ReleaseAll();
  ASSERT_EQ(Put("99"), RegResult::kOk);
  regstore::Store::ReleaseAll();
  unsetenv("ORVEX_REGISTRY_DIR");
  fs::rename(planted / "user.db", planted / "registry.db");
  for (const auto& entry : fs::recursive_directory_iterator(scratch / "cfg")) {
    ASSERT_EQ(lchown(entry.path().c_str(), attacker, attacker), 0);
  }
  ASSERT_EQ(chown((scratch / "cfg").c_str(), attacker, attacker), 0);
  const std::string config = (scratch / "cfg").string();
  EXPECT_EQ(AsUser(victim, nullptr, config.c_str(),
                   [] {
                     const bool read = Get() == "<missing>";
                     return read && Put("1") != RegResult::kOk ? 0 : 1;
                   }),
            0);
  // The same file in a folder of the victim's own, but still the attacker's file.
  const fs::path own = scratch / "own";
  fs::create_directories(own / "orvex");
  fs::copy_file(planted / "registry.db", own / "orvex" / "registry.db");
  ASSERT_EQ(chown((own / "orvex" / "registry.db").c_str(), attacker, attacker), 0);
  ASSERT_EQ(chown(own.c_str(), victim, victim), 0);
  ASSERT_EQ(chown((own / "orvex").c_str(), victim, victim), 0);
  const std::string own_config = own.string();
  EXPECT_EQ(
      AsUser(victim, nullptr, own_config.c_str(), [] { return Get() == "<missing>" ? 0 : 1; }), 0);
  // Once the file is gone the victim's own store works.
  fs::remove(own / "orvex" / "registry.db");
  EXPECT_EQ(AsUser(victim, nullptr, own_config.c_str(),
                   [] { return Put("16") == RegResult::kOk && Get() == "16" ? 0 : 1; }),
            0);
  // No account and no HOME: no store, and nothing made in a shared folder.
  const bool shared_before = fs::exists("/tmp/.config/orvex");
  EXPECT_EQ(AsUser(victim, nullptr, nullptr, [] { return Put("1") != RegResult::kOk ? 0 : 1; }), 0);
  // HOME pointing somewhere is not the account's home either.
  const std::string home = (scratch / "home").string();
  EXPECT_EQ(
      AsUser(victim, home.c_str(), nullptr, [] { return Put("1") != RegResult::kOk ? 0 : 1; }), 0);
  EXPECT_FALSE(fs::exists(scratch / "home"));
  if (!shared_before) {
    EXPECT_FALSE(fs::exists("/tmp/.config/orvex"));
  }
  fs::remove_all(scratch);
}

}  // namespace
}  // namespace orvex::platform

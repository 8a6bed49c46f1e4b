// The SQLite database behind one registry scope (the user's or the machine's keys).
// Private to the POSIX backend; docs/registry.md describes the file format.
#pragma once
#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

namespace orvex::platform::regstore {

enum class Scope : uint8_t { kUser, kMachine };

inline constexpr int64_t kRootKeyId = 1;

// Upper-cases ASCII letters: the comparison key of key and value names.
std::string Fold(std::string_view name);

// Records the text returned by RegistryLastError on this thread.
void SetLastError(std::string text);
std::string LastError();

// One database file. Every change is one IMMEDIATE transaction, so several
// processes may use the same file at once (WAL journal, busy time-out). Key ids are
// never reused, so an id held by an open key either names that key or nothing.
class Store {
 public:
  // The store of `scope` as the environment selects it (ORVEX_REGISTRY_DIR, else the
  // user's configuration folder or /var/lib/orvex). Stores are shared per file and
  // live until ReleaseAll. Null with kStoreError when the file cannot be used.
  static std::shared_ptr<Store> For(Scope scope, RegResult* result);
  // Forgets the shared stores (tests switch ORVEX_REGISTRY_DIR between cases).
  static void ReleaseAll();

  Store(std::string path, sqlite3* db, bool writable);
  ~Store();
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;

  bool writable() const { return writable_; }
  const std::string& path() const { return path_; }

  // Follows `names` from the root key. *depth (may be null) receives how many
  // components exist; *id the last key found (root when none).
  RegResult FindKey(const std::vector<std::string>& names, int64_t* id, size_t* depth);
  RegResult KeyExists(int64_t id);
  RegResult CreateKey(const std::vector<std::string>& names, int64_t* id, bool* created);
  RegResult GetValue(int64_t key, std::string_view name, uint32_t* type, std::vector<uint8_t>* data,
                     size_t* size);
  RegResult SetValue(int64_t key, std::string_view name, uint32_t type, const uint8_t* data,
                     size_t size);
  RegResult DeleteValue(int64_t key, std::string_view name);
  RegResult DeleteSubKey(int64_t parent, std::string_view name);
  RegResult HasSubKey(int64_t parent, std::string_view name);
  // All sub-key names of `key` in case-insensitive order.
  RegResult SubKeyNames(int64_t key, std::vector<std::string>* names);
  // All value names of `key` in creation order.
  RegResult ValueNames(int64_t key, std::vector<std::string>* names);
  // Changes whenever any process commits a change to this file; lets an open key
  // keep an enumeration between calls while nothing changed.
  RegResult Stamp(uint64_t* stamp);

 private:
  class Txn;
  class Stmt;
  RegResult Fail(const char* what);
  RegResult Committed(bool ok);
  RegResult FindChild(int64_t parent, std::string_view name, int64_t* id);

  std::string path_;
  sqlite3* db_;  // null: a machine store that does not exist and may not be created
  bool writable_;
  uint32_t own_commits_ = 0;  // data_version does not count this connection's commits
  std::mutex mutex_;
};

}  // namespace orvex::platform::regstore

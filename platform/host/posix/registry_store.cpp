// SQLite store of the POSIX registry backend.
#include "registry_store.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>

#include "base/no_case.h"
#include "platform/debug_output.h"
#include "platform/test_seams.h"
#include "private_folder.h"

namespace orvex::platform::regstore {

namespace {

constexpr int kBusyTimeoutMs = 10000;
constexpr size_t kMaxKeyName = 255;

thread_local std::string g_last_error;

// Names are stored as raw bytes (ANSI text need not be UTF-8).
const char kSchema[] =
    "CREATE TABLE IF NOT EXISTS keys("
    " id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER NOT NULL,"
    " name BLOB NOT NULL, fold BLOB NOT NULL, UNIQUE(parent, fold));"
    "CREATE TABLE IF NOT EXISTS vals("
    " id INTEGER PRIMARY KEY AUTOINCREMENT, key INTEGER NOT NULL,"
    " name BLOB NOT NULL, fold BLOB NOT NULL, type INTEGER NOT NULL, data BLOB NOT NULL,"
    " UNIQUE(key, fold));"
    "INSERT OR IGNORE INTO keys(id, parent, name, fold) VALUES(1, 0, x'', x'');";

const char* Env(const char* name) {
  return FollowedVariable(name);
}

bool MakeDirs(const std::string& dir, mode_t mode) {
  for (size_t pos = 1; pos <= dir.size(); ++pos) {
    if (pos < dir.size() && dir[pos] != '/') continue;
    const std::string part = dir.substr(0, pos);
    if (mkdir(part.c_str(), mode) != 0 && errno != EEXIST) return false;
  }
  return true;
}

bool MachineWritable() {
  if (geteuid() == 0) return true;
  // Test stores live in a folder of the caller's own; they may act elevated.
  const char* flag = Env("ORVEX_REGISTRY_MACHINE_WRITABLE");
  return Env("ORVEX_REGISTRY_DIR") && flag && std::strcmp(flag, "1") == 0;
}

// The effective user's home from the password database (HOME may be another user's,
// as sudo and pkexec can leave it); empty when the user has no entry.
std::string AccountHome() {
  const passwd* entry = getpwuid(geteuid());
  return entry != nullptr && entry->pw_dir != nullptr && entry->pw_dir[0] == '/' ? entry->pw_dir
                                                                                 : "";
}

// Empty when the user's store has no place (no account home): never a shared folder.
std::string StoreDir(Scope scope) {
  if (const char* dir = Env("ORVEX_REGISTRY_DIR")) return dir;
  if (scope == Scope::kMachine) return "/var/lib/orvex";
  const char* config = Env("XDG_CONFIG_HOME");
  if (config != nullptr && config[0] == '/' && geteuid() != 0) {
    return std::string(config) + "/orvex";
  }
  const std::string home = AccountHome();
  return home.empty() ? home : home + "/.config/orvex";
}

// The user's store folder and file must be the user's own and nobody else's to write:
// a store another user planted would answer for this one.
bool UserStoreIsOwn(const std::string& dir, const std::string& file) {
  const int fd = posix::OpenPrivateFolder(dir);
  if (fd < 0) return false;
  close(fd);
  struct stat info;
  if (lstat(file.c_str(), &info) != 0) return errno == ENOENT;
  return S_ISREG(info.st_mode) && info.st_uid == geteuid() &&
         (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

std::string StoreFile(Scope scope) {
  const bool test_dir = Env("ORVEX_REGISTRY_DIR") != nullptr;
  const char* file = scope == Scope::kUser ? "user" : "machine";
  const std::string dir = StoreDir(scope);
  return dir.empty() ? dir : dir + "/" + (test_dir ? std::string(file) + ".db" : "registry.db");
}

std::mutex g_stores_mutex;
std::map<std::string, std::shared_ptr<Store>>& Stores() {
  static auto* stores = new std::map<std::string, std::shared_ptr<Store>>;
  return *stores;
}

// SQLite's own busy time-out backs off to long sleeps; registry transactions are
// short, so retry every millisecond instead, up to the same limit.
int RetryWhileBusy(void*, int attempts) {
  if (attempts >= kBusyTimeoutMs) return 0;
  usleep(1000);
  return 1;
}

const char* SetupPragmas(Scope scope, bool writable) {
  if (!writable) return "PRAGMA query_only=1;";
  if (scope == Scope::kUser) return "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;";
  // Unprivileged readers cannot create a WAL index beside the machine file, so that
  // file keeps a rollback journal; its writes are rare.
  return "PRAGMA journal_mode=DELETE; PRAGMA synchronous=FULL;";
}

RegResult Broken(const std::string& path, sqlite3* db, const char* what) {
  SetLastError("registry store " + path + " is unreadable (" + what +
               "): " + (db ? sqlite3_errmsg(db) : "cannot open"));
  DebugOutput(("ERR: " + g_last_error + "\n").c_str());
  return RegResult::kStoreError;
}

}  // namespace

std::string Fold(std::string_view name) {
  return ToUpperAscii(name);
}

void SetLastError(std::string text) {
  g_last_error = std::move(text);
}
std::string LastError() {
  return g_last_error;
}

// A prepared statement; steps report errors through the owning store.
class Store::Stmt {
 public:
  Stmt(sqlite3* db, const char* sql) { rc_ = sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr); }
  ~Stmt() { sqlite3_finalize(stmt_); }
  Stmt(const Stmt&) = delete;
  Stmt& operator=(const Stmt&) = delete;
  bool ok() const { return rc_ == SQLITE_OK; }
  Stmt& Bind(int64_t v) {
    sqlite3_bind_int64(stmt_, ++arg_, v);
    return *this;
  }
  Stmt& Bind(std::string_view v) {
    sqlite3_bind_blob(stmt_, ++arg_, v.empty() ? "" : v.data(), static_cast<int>(v.size()),
                      SQLITE_TRANSIENT);
    return *this;
  }
  Stmt& BindBytes(const uint8_t* data, size_t size) {
    sqlite3_bind_blob(stmt_, ++arg_, size ? static_cast<const void*>(data) : "",
                      static_cast<int>(size), SQLITE_TRANSIENT);
    return *this;
  }
  // SQLITE_ROW, SQLITE_DONE or an error code.
  int Step() { return ok() ? sqlite3_step(stmt_) : rc_; }
  int64_t Int(int col) { return sqlite3_column_int64(stmt_, col); }
  std::string Text(int col) {
    const void* p = sqlite3_column_blob(stmt_, col);
    return std::string(static_cast<const char*>(p ? p : ""),
                       static_cast<size_t>(sqlite3_column_bytes(stmt_, col)));
  }
  void Bytes(int col, std::vector<uint8_t>* out) {
    const auto* p = static_cast<const uint8_t*>(sqlite3_column_blob(stmt_, col));
    out->assign(p, p + sqlite3_column_bytes(stmt_, col));
  }

 private:
  sqlite3_stmt* stmt_ = nullptr;
  int rc_;
  int arg_ = 0;
};

// One transaction; rolled back unless committed. Reads take a consistent snapshot.
class Store::Txn {
 public:
  Txn(sqlite3* db, bool write) : db_(db) {
    ok_ = sqlite3_exec(db, write ? "BEGIN IMMEDIATE" : "BEGIN", nullptr, nullptr, nullptr) ==
          SQLITE_OK;
  }
  ~Txn() {
    if (ok_ && !done_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  }
  Txn(const Txn&) = delete;
  Txn& operator=(const Txn&) = delete;
  bool ok() const { return ok_; }
  bool Commit() {
    done_ = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    return done_;
  }

 private:
  sqlite3* db_;
  bool ok_;
  bool done_ = false;
};

std::shared_ptr<Store> Store::For(Scope scope, RegResult* result) {
  const std::string path = StoreFile(scope);
  std::lock_guard<std::mutex> guard(g_stores_mutex);
  auto found = Stores().find(path);
  if (found != Stores().end()) {
    *result = RegResult::kOk;
    return found->second;
  }
  const bool writable = scope == Scope::kUser || MachineWritable();
  sqlite3* db = nullptr;
  struct stat info;
  if (!writable && stat(path.c_str(), &info) != 0) {
    // Nothing registered for the machine yet, and we may not create it: empty.
    auto empty = std::make_shared<Store>(path, nullptr, false);
    Stores()[path] = empty;
    *result = RegResult::kOk;
    return empty;
  }
  if (path.empty()) {
    SetLastError("registry store: the user has no home folder");
    *result = RegResult::kStoreError;
    return nullptr;
  }
  if (writable) MakeDirs(StoreDir(scope), scope == Scope::kUser ? 0700 : 0755);
  if (scope == Scope::kUser && !UserStoreIsOwn(StoreDir(scope), path)) {
    *result = Broken(path, nullptr, "not the user's own");
    return nullptr;
  }
  const int flags = (writable ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE : SQLITE_OPEN_READONLY) |
                    SQLITE_OPEN_FULLMUTEX;
  if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
    *result = Broken(path, db, "open");
    sqlite3_close(db);
    return nullptr;
  }
  sqlite3_busy_handler(db, RetryWhileBusy, nullptr);
  const char* setup = SetupPragmas(scope, writable);
  bool ready = false;
  // SQLite may answer "locked" without calling the busy handler (two processes setting
  // up a new file at once, one switching it to WAL): the set-up is tried again.
  for (int attempt = 0; !ready && attempt < kBusyTimeoutMs; ++attempt) {
    ready = sqlite3_exec(db, setup, nullptr, nullptr, nullptr) == SQLITE_OK;
    if (ready && writable) {
      ready = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK &&
              sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr) == SQLITE_OK &&
              sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    if (ready || (sqlite3_errcode(db) & 0xff) != SQLITE_BUSY) break;
    if (sqlite3_get_autocommit(db) == 0) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    usleep(1000);
  }
  if (ready) {
    // A damaged file often opens; reading the root key proves the tables are sound.
    Stmt check(db, "SELECT count(*) FROM keys WHERE id = 1");
    ready = check.Step() == SQLITE_ROW && check.Int(0) == 1;
  }
  if (!ready) {
    *result = Broken(path, db, "setup");
    sqlite3_close(db);
    return nullptr;
  }
  auto store = std::make_shared<Store>(path, db, writable);
  Stores()[path] = store;
  *result = RegResult::kOk;
  return store;
}

void Store::ReleaseAll() {
  std::lock_guard<std::mutex> guard(g_stores_mutex);
  Stores().clear();
}

Store::Store(std::string path, sqlite3* db, bool writable)
    : path_(std::move(path)), db_(db), writable_(writable) {}

Store::~Store() {
  sqlite3_close(db_);
}

RegResult Store::Fail(const char* what) {
  SetLastError("registry store " + path_ + ": " + what + ": " + sqlite3_errmsg(db_));
  DebugOutput(("ERR: " + g_last_error + "\n").c_str());
  return RegResult::kStoreError;
}

RegResult Store::Committed(bool ok) {
  if (!ok) return Fail("commit");
  ++own_commits_;
  return RegResult::kOk;
}

RegResult Store::FindChild(int64_t parent, std::string_view name, int64_t* id) {
  Stmt q(db_, "SELECT id FROM keys WHERE parent = ? AND fold = ?");
  q.Bind(parent).Bind(Fold(name));
  const int rc = q.Step();
  if (rc == SQLITE_ROW) {
    *id = q.Int(0);
    return RegResult::kOk;
  }
  return rc == SQLITE_DONE ? RegResult::kNotFound : Fail("find key");
}

RegResult Store::FindKey(const std::vector<std::string>& names, int64_t* id, size_t* depth) {
  *id = kRootKeyId;
  if (depth) *depth = 0;
  if (!db_) return names.empty() ? RegResult::kOk : RegResult::kNotFound;
  std::lock_guard<std::mutex> guard(mutex_);
  Txn txn(db_, false);
  if (!txn.ok()) return Fail("begin");
  for (const std::string& name : names) {
    int64_t child = 0;
    const RegResult r = FindChild(*id, name, &child);
    if (r != RegResult::kOk) return r;
    *id = child;
    if (depth) ++*depth;
  }
  return RegResult::kOk;
}

RegResult Store::KeyExists(int64_t id) {
  if (!db_) return id == kRootKeyId ? RegResult::kOk : RegResult::kNotFound;
  std::lock_guard<std::mutex> guard(mutex_);
  Stmt q(db_, "SELECT 1 FROM keys WHERE id = ?");
  const int rc = q.Bind(id).Step();
  if (rc == SQLITE_ROW) return RegResult::kOk;
  return rc == SQLITE_DONE ? RegResult::kNotFound : Fail("key");
}

RegResult Store::CreateKey(const std::vector<std::string>& names, int64_t* id, bool* created) {
  if (created) *created = false;
  if (!db_ || !writable_) return RegResult::kAccessDenied;
  for (const std::string& name : names) {
    if (name.empty() || name.size() > kMaxKeyName) return RegResult::kInvalid;
  }
  std::lock_guard<std::mutex> guard(mutex_);
  Txn txn(db_, true);
  if (!txn.ok()) return Fail("begin");
  *id = kRootKeyId;
  bool made = false;
  for (const std::string& name : names) {
    int64_t child = 0;
    RegResult r = FindChild(*id, name, &child);
    if (r == RegResult::kNotFound) {
      Stmt insert(db_, "INSERT INTO keys(parent, name, fold) VALUES(?, ?, ?)");
      if (insert.Bind(*id).Bind(name).Bind(Fold(name)).Step() != SQLITE_DONE) {
        return Fail("create key");
      }
      child = sqlite3_last_insert_rowid(db_);
      made = true;
    } else if (r != RegResult::kOk) {
      return r;
    }
    *id = child;
  }
  if (Committed(txn.Commit()) != RegResult::kOk) return RegResult::kStoreError;
  if (created) *created = made;
  return RegResult::kOk;
}

RegResult Store::GetValue(int64_t key, std::string_view name, uint32_t* type,
                          std::vector<uint8_t>* data, size_t* size) {
  if (!db_) return RegResult::kNotFound;
  std::lock_guard<std::mutex> guard(mutex_);
  Stmt q(db_, "SELECT type, data, length(data) FROM vals WHERE key = ? AND fold = ?");
  const int rc = q.Bind(key).Bind(Fold(name)).Step();
  if (rc == SQLITE_DONE) return RegResult::kNotFound;
  if (rc != SQLITE_ROW) return Fail("read value");
  if (type) *type = static_cast<uint32_t>(q.Int(0));
  if (data) q.Bytes(1, data);
  if (size) *size = static_cast<size_t>(q.Int(2));
  return RegResult::kOk;
}

RegResult Store::SetValue(int64_t key, std::string_view name, uint32_t type, const uint8_t* data,
                          size_t size) {
  if (!db_ || !writable_) return RegResult::kAccessDenied;
  if (size > 0x7FFFFFFF) return RegResult::kInvalid;
  std::lock_guard<std::mutex> guard(mutex_);
  Txn txn(db_, true);
  if (!txn.ok()) return Fail("begin");
  Stmt alive(db_, "SELECT 1 FROM keys WHERE id = ?");
  const int rc = alive.Bind(key).Step();
  if (rc == SQLITE_DONE) return RegResult::kNotFound;
  if (rc != SQLITE_ROW) return Fail("key");
  // An existing value keeps its name as first written and its place in the order.
  Stmt upsert(db_,
              "INSERT INTO vals(key, name, fold, type, data) VALUES(?, ?, ?, ?, ?) "
              "ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data");
  upsert.Bind(key).Bind(name).Bind(Fold(name)).Bind(static_cast<int64_t>(type));
  if (upsert.BindBytes(data, size).Step() != SQLITE_DONE) return Fail("write value");
  return Committed(txn.Commit());
}

RegResult Store::DeleteValue(int64_t key, std::string_view name) {
  if (!db_ || !writable_) return RegResult::kAccessDenied;
  std::lock_guard<std::mutex> guard(mutex_);
  Txn txn(db_, true);
  if (!txn.ok()) return Fail("begin");
  Stmt del(db_, "DELETE FROM vals WHERE key = ? AND fold = ?");
  if (del.Bind(key).Bind(Fold(name)).Step() != SQLITE_DONE) return Fail("delete value");
  if (sqlite3_changes(db_) == 0) return RegResult::kNotFound;
  return Committed(txn.Commit());
}

RegResult Store::HasSubKey(int64_t parent, std::string_view name) {
  if (!db_) return RegResult::kNotFound;
  std::lock_guard<std::mutex> guard(mutex_);
  int64_t id = 0;
  return FindChild(parent, name, &id);
}

RegResult Store::DeleteSubKey(int64_t parent, std::string_view name) {
  if (!db_) return RegResult::kNotFound;
  std::lock_guard<std::mutex> guard(mutex_);
  if (!writable_) {
    int64_t id = 0;
    const RegResult r = FindChild(parent, name, &id);
    return r == RegResult::kOk ? RegResult::kAccessDenied : r;
  }
  Txn txn(db_, true);
  if (!txn.ok()) return Fail("begin");
  int64_t id = 0;
  const RegResult r = FindChild(parent, name, &id);
  if (r != RegResult::kOk) return r;
  Stmt children(db_, "SELECT 1 FROM keys WHERE parent = ? LIMIT 1");
  const int rc = children.Bind(id).Step();
  if (rc == SQLITE_ROW) return RegResult::kAccessDenied;  // as Windows: sub-keys first
  if (rc != SQLITE_DONE) return Fail("delete key");
  Stmt vals(db_, "DELETE FROM vals WHERE key = ?");
  Stmt key(db_, "DELETE FROM keys WHERE id = ?");
  if (vals.Bind(id).Step() != SQLITE_DONE || key.Bind(id).Step() != SQLITE_DONE) {
    return Fail("delete key");
  }
  return Committed(txn.Commit());
}

RegResult Store::SubKeyNames(int64_t key, std::vector<std::string>* names) {
  names->clear();
  if (!db_) return RegResult::kOk;
  std::lock_guard<std::mutex> guard(mutex_);
  Stmt q(db_, "SELECT name FROM keys WHERE parent = ? ORDER BY fold");
  q.Bind(key);
  int rc;
  while ((rc = q.Step()) == SQLITE_ROW) names->push_back(q.Text(0));
  return rc == SQLITE_DONE ? RegResult::kOk : Fail("list keys");
}

RegResult Store::ValueNames(int64_t key, std::vector<std::string>* names) {
  names->clear();
  if (!db_) return RegResult::kOk;
  std::lock_guard<std::mutex> guard(mutex_);
  Stmt q(db_, "SELECT name FROM vals WHERE key = ? ORDER BY id");
  q.Bind(key);
  int rc;
  while ((rc = q.Step()) == SQLITE_ROW) names->push_back(q.Text(0));
  return rc == SQLITE_DONE ? RegResult::kOk : Fail("list values");
}

RegResult Store::Stamp(uint64_t* stamp) {
  *stamp = 0;
  if (!db_) return RegResult::kOk;
  std::lock_guard<std::mutex> guard(mutex_);
  Stmt q(db_, "PRAGMA data_version");
  if (q.Step() != SQLITE_ROW) return Fail("version");
  *stamp = (static_cast<uint64_t>(q.Int(0)) << 32) | own_commits_;
  return RegResult::kOk;
}

}  // namespace orvex::platform::regstore

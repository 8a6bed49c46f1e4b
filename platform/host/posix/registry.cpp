// Registry facility on POSIX: the keys of the SQLite stores seen through the
// Windows roots. HKEY_CLASSES_ROOT merges the user's Software\Classes over the
// machine's; the default (32-bit) view redirects as Windows does for a 32-bit program.
#include "platform/registry.h"

#include <algorithm>
#include <utility>

#include "registry_store.h"

namespace orvex::platform {

using regstore::Scope;
using regstore::Store;

// One open key: a key of the user store, of the machine store, or (HKEY_CLASSES_ROOT)
// of both, the user's taking precedence for values.
struct RegKeyState {
  bool writable = false;
  std::shared_ptr<Store> user;
  std::shared_ptr<Store> machine;
  int64_t user_id = 0;
  int64_t machine_id = 0;

  // An enumeration kept between calls while neither store changed, so that walking
  // the indices costs one query per listing rather than one per index.
  struct Listing {
    bool valid = false;
    uint64_t user_stamp = 0;
    uint64_t machine_stamp = 0;
    std::vector<std::string> names;
  };
  Listing sub_keys;
  Listing values;

  Store* primary() const { return user ? user.get() : machine.get(); }
  int64_t primary_id() const { return user ? user_id : machine_id; }
};

namespace {

bool Same(std::string_view a, std::string_view b) {
  return regstore::Fold(a) == regstore::Fold(b);
}

// Splits at backslashes; empty components are skipped, as Wine's registry does.
bool SplitPath(std::string_view path, std::vector<std::string>* names) {
  names->clear();
  while (!path.empty()) {
    const size_t cut = path.find('\\');
    const std::string_view name = path.substr(0, cut);
    if (!name.empty()) names->emplace_back(name);
    if (cut == std::string_view::npos) break;
    path.remove_prefix(cut + 1);
  }
  return true;
}

// Class registrations a 32-bit program sees under WOW6432Node.
void RedirectClasses(std::vector<std::string>* names, size_t at) {
  if (names->size() > at && (Same((*names)[at], "CLSID") || Same((*names)[at], "Interface"))) {
    names->insert(names->begin() + static_cast<long>(at), "WOW6432Node");
  }
}

bool IsSoftwareClasses(const std::vector<std::string>& names) {
  return names.size() >= 2 && Same(names[0], "Software") && Same(names[1], "Classes");
}

// The 32-bit view: machine Software (and Software\X) is Software\WOW6432Node (\X),
// except the shared Software\Classes, where CLSID and Interface move below WOW6432Node.
void Redirect(Scope scope, std::vector<std::string>* names) {
  if (IsSoftwareClasses(*names)) {
    RedirectClasses(names, 2);
  } else if (scope == Scope::kMachine && !names->empty() && Same((*names)[0], "Software") &&
             (names->size() == 1 || !Same((*names)[1], "WOW6432Node"))) {
    names->insert(names->begin() + 1, "WOW6432Node");
  }
}

RegResult StoreFor(Scope scope, std::shared_ptr<Store>* out) {
  RegResult result = RegResult::kOk;
  *out = Store::For(scope, &result);
  return result;
}

std::vector<std::string> ClassesPath(const std::vector<std::string>& names) {
  std::vector<std::string> full{"Software", "Classes"};
  full.insert(full.end(), names.begin(), names.end());
  return full;
}

// Resolves root and path to store keys; with `create`, makes the missing keys in the
// scope that Windows would choose.
RegResult Resolve(RegRoot root, std::string_view path, bool view64, bool create, RegKeyState* state,
                  bool* created) {
  std::vector<std::string> names;
  if (!SplitPath(path, &names)) return RegResult::kInvalid;
  if (root == RegRoot::kCurrentUser || root == RegRoot::kLocalMachine) {
    const Scope scope = root == RegRoot::kCurrentUser ? Scope::kUser : Scope::kMachine;
    if (!view64) Redirect(scope, &names);
    std::shared_ptr<Store> store;
    if (RegResult r = StoreFor(scope, &store); r != RegResult::kOk) return r;
    int64_t id = 0;
    RegResult r =
        create ? store->CreateKey(names, &id, created) : store->FindKey(names, &id, nullptr);
    if (r != RegResult::kOk) return r;
    (scope == Scope::kUser ? state->user : state->machine) = store;
    (scope == Scope::kUser ? state->user_id : state->machine_id) = id;
    return RegResult::kOk;
  }
  if (root != RegRoot::kClassesRoot)
    return root == RegRoot::kUsers ? RegResult::kNotFound : RegResult::kInvalid;
  if (!view64) RedirectClasses(&names, 0);
  const std::vector<std::string> full = ClassesPath(names);
  std::shared_ptr<Store> user, machine;
  if (RegResult r = StoreFor(Scope::kUser, &user); r != RegResult::kOk) return r;
  if (RegResult r = StoreFor(Scope::kMachine, &machine); r != RegResult::kOk) return r;
  int64_t user_id = 0, machine_id = 0;
  size_t user_depth = 0, machine_depth = 0;
  const RegResult ru = user->FindKey(full, &user_id, &user_depth);
  const RegResult rm = machine->FindKey(full, &machine_id, &machine_depth);
  for (RegResult r : {ru, rm}) {
    if (r != RegResult::kOk && r != RegResult::kNotFound) return r;
  }
  if (ru == RegResult::kOk) state->user = user, state->user_id = user_id;
  if (rm == RegResult::kOk) state->machine = machine, state->machine_id = machine_id;
  if (state->user || state->machine) {
    if (created) *created = false;
    return RegResult::kOk;
  }
  if (!create) return RegResult::kNotFound;
  // A new class key goes where its nearest existing parent lives, else to the machine.
  const bool in_user = user_depth > 2 && user_depth >= machine_depth;
  std::shared_ptr<Store>& target = in_user ? state->user : state->machine;
  target = in_user ? user : machine;
  RegResult r = target->CreateKey(full, in_user ? &state->user_id : &state->machine_id, created);
  if (r != RegResult::kOk) target.reset();
  return r;
}

// Sub-key names of a key; a merged class key lists the union, the user's spelling
// first, in case-insensitive order.
RegResult LoadSubKeys(const RegKeyState& state, std::vector<std::string>* names) {
  if (!(state.user && state.machine)) {
    return state.primary()->SubKeyNames(state.primary_id(), names);
  }
  std::vector<std::string> theirs;
  if (RegResult r = state.user->SubKeyNames(state.user_id, names); r != RegResult::kOk) return r;
  if (RegResult r = state.machine->SubKeyNames(state.machine_id, &theirs); r != RegResult::kOk) {
    return r;
  }
  for (std::string& other : theirs) {
    const bool known = std::any_of(names->begin(), names->end(),
                                   [&](const std::string& n) { return Same(n, other); });
    if (!known) names->push_back(std::move(other));
  }
  std::sort(names->begin(), names->end(), [](const std::string& a, const std::string& b) {
    return regstore::Fold(a) < regstore::Fold(b);
  });
  return RegResult::kOk;
}

// Entry `index` of a listing, reloaded at index 0 and whenever a store changed.
RegResult ListingAt(RegKeyState* state, RegKeyState::Listing* listing, uint32_t index,
                    std::string* name) {
  uint64_t user_stamp = 0, machine_stamp = 0;
  if (state->user) {
    if (RegResult r = state->user->Stamp(&user_stamp); r != RegResult::kOk) return r;
  }
  if (state->machine) {
    if (RegResult r = state->machine->Stamp(&machine_stamp); r != RegResult::kOk) return r;
  }
  if (index == 0 || !listing->valid || listing->user_stamp != user_stamp ||
      listing->machine_stamp != machine_stamp) {
    listing->valid = false;
    Store* store = state->primary();
    if (RegResult r = store->KeyExists(state->primary_id()); r != RegResult::kOk) return r;
    const RegResult r = listing == &state->values
                            ? store->ValueNames(state->primary_id(), &listing->names)
                            : LoadSubKeys(*state, &listing->names);
    if (r != RegResult::kOk) return r;
    listing->valid = true;
    listing->user_stamp = user_stamp;
    listing->machine_stamp = machine_stamp;
  }
  if (index >= listing->names.size()) return RegResult::kNoMoreItems;
  *name = listing->names[index];
  return RegResult::kOk;
}

}  // namespace

void RegistryKey::Close() {
  delete state_;
  state_ = nullptr;
}

RegResult RegistryKey::Open(RegRoot root, std::string_view path, RegAccess access, bool view64,
                            RegistryKey* out) {
  out->Close();
  auto state = std::make_unique<RegKeyState>();
  RegResult r = Resolve(root, path, view64, false, state.get(), nullptr);
  if (r != RegResult::kOk) return r;
  if (access == RegAccess::kAll) {
    if (!state->primary()->writable()) return RegResult::kAccessDenied;
    state->writable = true;
  }
  out->state_ = state.release();
  return RegResult::kOk;
}

RegResult RegistryKey::Create(RegRoot root, std::string_view path, bool view64, RegistryKey* out,
                              bool* created) {
  out->Close();
  if (created) *created = false;
  auto state = std::make_unique<RegKeyState>();
  RegResult r = Resolve(root, path, view64, true, state.get(), created);
  if (r != RegResult::kOk) return r;
  if (!state->primary()->writable()) return RegResult::kAccessDenied;
  state->writable = true;
  out->state_ = state.release();
  return RegResult::kOk;
}

RegResult RegistryKey::QueryValue(std::string_view name, uint32_t* type, std::vector<uint8_t>* data,
                                  size_t* size) const {
  if (!state_) return RegResult::kInvalid;
  Store* store = state_->primary();
  if (RegResult r = store->KeyExists(state_->primary_id()); r != RegResult::kOk) return r;
  return store->GetValue(state_->primary_id(), name, type, data, size);
}

RegResult RegistryKey::SetValue(std::string_view name, uint32_t type, const uint8_t* data,
                                size_t size) const {
  if (!state_) return RegResult::kInvalid;
  if (!state_->writable) return RegResult::kAccessDenied;
  return state_->primary()->SetValue(state_->primary_id(), name, type, data, size);
}

RegResult RegistryKey::DeleteValue(std::string_view name) const {
  if (!state_) return RegResult::kInvalid;
  if (!state_->writable) return RegResult::kAccessDenied;
  return state_->primary()->DeleteValue(state_->primary_id(), name);
}

RegResult RegistryKey::DeleteSubKey(std::string_view name) const {
  if (!state_ || name.empty()) return RegResult::kInvalid;
  // Windows checks delete rights on the sub-key itself, not on this handle.
  RegResult r = RegResult::kNotFound;
  if (state_->user) r = state_->user->DeleteSubKey(state_->user_id, name);
  if (r == RegResult::kNotFound && state_->machine) {
    r = state_->machine->DeleteSubKey(state_->machine_id, name);
  }
  return r;
}

RegResult RegistryKey::EnumSubKey(uint32_t index, std::string* name) const {
  if (!state_) return RegResult::kInvalid;
  return ListingAt(state_, &state_->sub_keys, index, name);
}

RegResult RegistryKey::EnumValue(uint32_t index, std::string* name) const {
  if (!state_) return RegResult::kInvalid;
  return ListingAt(state_, &state_->values, index, name);
}

std::string RegistryLastError() {
  return regstore::LastError();
}

}  // namespace orvex::platform

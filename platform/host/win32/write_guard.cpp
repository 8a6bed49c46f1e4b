// Write rights by owner and access list.
#include "platform/write_guard.h"

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

namespace orvex::platform {

namespace {

// Rights that let a holder change the entry, its contents or who may do so.
constexpr DWORD kWriteRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                               FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER |
                               GENERIC_WRITE | GENERIC_ALL;

constexpr const char* kTrustedInstaller =
    "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

// The owner SID and access list of `path`; the descriptor owns both (LocalFree).
struct Security {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  PSID owner = nullptr;
  PACL dacl = nullptr;
  ~Security() {
    if (descriptor != nullptr) LocalFree(descriptor);
  }
  bool Read(const std::string& path) {
    return GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT,
                                 OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                                 nullptr, &dacl, nullptr, &descriptor) == ERROR_SUCCESS &&
           owner != nullptr;
  }
};

bool IsAdministrative(PSID sid) {
  if (IsWellKnownSid(sid, WinLocalSystemSid) || IsWellKnownSid(sid, WinBuiltinAdministratorsSid) ||
      IsWellKnownSid(sid, WinCreatorOwnerSid)) {
    return true;
  }
  PSID installer = nullptr;
  if (!ConvertStringSidToSidA(kTrustedInstaller, &installer)) return false;
  const bool same = EqualSid(sid, installer) != 0;
  LocalFree(installer);
  return same;
}

bool Trusted(PSID sid, PSID owner) {
  return EqualSid(sid, owner) || IsAdministrative(sid);
}

}  // namespace

bool WritableOnlyByAdminsAndOwner(const std::string& path, const std::string& trusted_owner_of) {
  if (IsLinkEntry(path)) return false;
  Security owner_of;
  Security entry;
  if (!owner_of.Read(trusted_owner_of) || !entry.Read(path)) return false;
  if (!Trusted(entry.owner, owner_of.owner) || entry.dacl == nullptr) return false;
  for (DWORD i = 0; i < entry.dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(entry.dacl, i, &ace)) return false;
    const auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    if (allowed->Header.AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
    // An entry only handed down to children says nothing about this one.
    if ((allowed->Header.AceFlags & INHERIT_ONLY_ACE) != 0) continue;
    if ((allowed->Mask & kWriteRights) == 0) continue;
    if (!Trusted(const_cast<DWORD*>(&allowed->SidStart), owner_of.owner)) return false;
  }
  return true;
}

bool OwnedByAdminsOrSelf(const std::string& path) {
  if (IsLinkEntry(path)) return false;
  Security entry;
  if (!entry.Read(path)) return false;
  if (IsAdministrative(entry.owner)) return true;
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::string buffer(size, '\0');
  const bool read =
      size != 0 && GetTokenInformation(token, TokenUser, buffer.data(), size, &size) != 0;
  CloseHandle(token);
  return read && EqualSid(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, entry.owner);
}

bool IsLinkEntry(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

}  // namespace orvex::platform

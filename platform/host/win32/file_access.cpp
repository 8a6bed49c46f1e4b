// "Everyone full access" on Windows: a one-entry access list.
#include "platform/file_access.h"

#include "everyone_access.h"

#include <windows.h>

#include <aclapi.h>

namespace orvex::platform {

namespace {

constexpr DWORD kAllAccess = 0xFFFFFFFF;

bool EveryoneSid(PSID* sid) {
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  return AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, sid) != 0;
}

// The one-entry list granting Everyone every right; LocalFree it.
PACL EveryoneFullAccessList() {
  PSID everyone = nullptr;
  if (!EveryoneSid(&everyone)) return nullptr;
  EXPLICIT_ACCESSA entry = {};
  entry.grfAccessPermissions = kAllAccess;
  entry.grfAccessMode = GRANT_ACCESS;
  entry.grfInheritance = NO_INHERITANCE;
  entry.Trustee.TrusteeForm = TRUSTEE_IS_SID;
  entry.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
  entry.Trustee.ptstrName = static_cast<LPSTR>(everyone);
  PACL acl = nullptr;
  if (SetEntriesInAclA(1, &entry, nullptr, &acl) != ERROR_SUCCESS) acl = nullptr;
  FreeSid(everyone);
  return acl;
}

}  // namespace

bool GrantEveryoneFullAccess(const std::string& path) {
  PACL acl = EveryoneFullAccessList();
  SECURITY_DESCRIPTOR descriptor;
  bool ok = acl != nullptr;
  ok = ok && InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
  ok = ok && SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE);
  ok = ok && SetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, &descriptor);
  if (acl != nullptr) LocalFree(acl);
  return ok;
}

bool GrantEveryoneFullAccessTo(HANDLE file) {
  PACL acl = EveryoneFullAccessList();
  if (acl == nullptr) return false;
  // Protected: nothing of the folder's inheritable entries is added to the one entry.
  const bool ok = SetSecurityInfo(file, SE_FILE_OBJECT,
                                  DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                  nullptr, nullptr, acl, nullptr) == ERROR_SUCCESS;
  LocalFree(acl);
  return ok;
}

bool EveryoneHasFullAccess(const std::string& path) {
  DWORD needed = 0;
  GetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
  if (needed == 0) return false;
  std::string buffer(needed, '\0');
  auto* descriptor = reinterpret_cast<PSECURITY_DESCRIPTOR>(buffer.data());
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL acl = nullptr;
  if (!GetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, descriptor, needed, &needed) ||
      !GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted) || !present ||
      acl == nullptr) {
    return false;
  }
  PSID everyone = nullptr;
  if (!EveryoneSid(&everyone)) return false;
  DWORD allowed = 0;
  bool denied = false;
  for (DWORD i = 0; i < acl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(acl, i, &ace)) continue;
    // Allowed and denied entries share their layout up to the SID.
    const auto* entry = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    const BYTE type = entry->Header.AceType;
    if ((type != ACCESS_ALLOWED_ACE_TYPE && type != ACCESS_DENIED_ACE_TYPE) ||
        !EqualSid(const_cast<DWORD*>(&entry->SidStart), everyone)) {
      continue;
    }
    if (type == ACCESS_DENIED_ACE_TYPE) denied = true;
    if (type == ACCESS_ALLOWED_ACE_TYPE) allowed |= entry->Mask;
  }
  FreeSid(everyone);
  constexpr DWORD kContentRights = FILE_GENERIC_READ | FILE_GENERIC_WRITE | DELETE;
  return !denied && (allowed & kContentRights) == kContentRights;
}

}  // namespace orvex::platform

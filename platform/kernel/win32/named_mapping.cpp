#include "platform/named_mapping.h"
#include "platform/test_hooks.h"

#include <windows.h>

#include "win32_security.h"

namespace orvex::platform {

struct MappingObject {
  HANDLE handle;
};

static MappingObject* Wrap(HANDLE handle) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return nullptr;
  return new MappingObject{handle};
}

MappingObject* CreateMapping(const std::string& name, uint32_t size,
                             const SecurityAttributes* security, bool* already_existed) {
  SetLastError(ERROR_SUCCESS);
  HANDLE handle = CreateFileMappingA(INVALID_HANDLE_VALUE, NativeSecurity(security), PAGE_READWRITE,
                                     0, size, name.c_str());
  if (already_existed != nullptr) *already_existed = GetLastError() == ERROR_ALREADY_EXISTS;
  return Wrap(handle);
}

MappingObject* OpenMapping(const std::string& name) {
  return Wrap(OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name.c_str()));
}

MappingView MapView(MappingObject* mapping, uint32_t size) {
  if (mapping == nullptr) return {};
  void* base = MapViewOfFile(mapping->handle, FILE_MAP_ALL_ACCESS, 0, 0, size);
  if (base == nullptr) return {};
  size_t length = size;
  if (length == 0) {
    MEMORY_BASIC_INFORMATION info{};
    if (VirtualQuery(base, &info, sizeof info) != 0) length = info.RegionSize;
  }
  return {base, length};
}

void UnmapView(MappingView view) {
  if (view.base != nullptr) UnmapViewOfFile(view.base);
}

bool ViewLost(MappingView /*view*/) {
  return false;  // a section keeps its size while it is mapped
}

void CloseMapping(MappingObject* mapping) {
  if (mapping == nullptr) return;
  CloseHandle(mapping->handle);
  delete mapping;
}

// The kernel serialises its own name operations: there is no lock a process could hold.
std::string NameLockPath() {
  return "";
}

bool NameLockWasHeld() {
  return false;
}

bool HoldNameLockForTesting(bool /*hold*/) {
  return false;
}

}  // namespace orvex::platform

// The process list on Windows: the process status functions.
#include "platform/process_list.h"

#include <windows.h>

#include <psapi.h>

namespace orvex::platform {

namespace {

// The base name of the process's first module; empty when it cannot be opened.
std::string FirstModuleName(DWORD id) {
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id);
  if (process == nullptr) return {};
  HMODULE module = nullptr;
  DWORD needed = 0;
  char name[MAX_PATH] = {};
  DWORD length = 0;
  if (EnumProcessModules(process, &module, sizeof module, &needed)) {
    length = GetModuleBaseNameA(process, module, name, sizeof name);
  }
  CloseHandle(process);
  return std::string(name, length);
}

}  // namespace

bool ListProcessModules(std::vector<std::string>* names) {
  names->clear();
  std::vector<DWORD> ids(8192);  // 32768 bytes
  DWORD bytes = 0;
  if (!EnumProcesses(ids.data(), static_cast<DWORD>(ids.size() * sizeof(DWORD)), &bytes)) {
    return false;
  }
  for (DWORD i = 0; i < bytes / sizeof(DWORD); ++i) {
    if (ids[i] == 0) continue;
    std::string name = FirstModuleName(ids[i]);
    if (!name.empty()) names->push_back(std::move(name));
  }
  return true;
}

bool SameModuleName(const std::string& listed, const std::string& wanted) {
  return lstrcmpiA(listed.c_str(), wanted.c_str()) == 0;
}

}  // namespace orvex::platform

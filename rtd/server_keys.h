#pragma once
#include <string>

namespace orvex::rtd {

// The names by which Excel finds the server.
inline constexpr const char* kProgId = "KelRTD";
inline constexpr const char* kClsid = "{6C2B9D40-8E15-47a3-9D2C-5B7E1F30A46D}";
inline constexpr const char* kLibId = "{6C2B9D41-8E15-47a3-9D2C-5B7E1F30A46D}";
inline constexpr const char* kDescription = "Orvex Data Services KelRTD Server";

// Writes the current user's class registration of the server DLL at `dll_path` (the
// ProgID, the class with its in-process server and the type library, for a 64-bit DLL
// under win64, else win32): the same keys the setup program writes for this server,
// so either may remove what the other wrote. True when every write succeeded.
bool RegisterServerKeys(const std::string& dll_path, bool is64);
// Removes those keys from the current user's classes; true when none is left.
bool UnregisterServerKeys();

}  // namespace orvex::rtd

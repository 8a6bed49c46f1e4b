#pragma once
// The TEST action's dump: what the program knows about the installed Excel and where
// the TavXL product is registered, written to the "DBG" trace stream as two composed
// lines. Never fails: missing information shows as "false", 0 or an empty text.
#include <string>
#include <vector>

#include "registry/reg_key_path.h"

namespace orvex::system {

// A registry key as the dump names it: root ("HKCU", "HKLM", "HKCR", "HKU"; "NULL"
// without a root), "[X64]" for the 64-bit view, ":\" and the key path.
std::string RegistryEntryText(const SfRegKeyPath& key);

// The first line: Excel installed, path, version, RTD and ribbon support, the bit
// count of the executable's header, 64-bit, and the App Paths architecture text (whose
// look-up prints its own lines to standard output).
std::string ExcelDiagnosticsText();

// The second line: "\nTavXL Registry Entries BEGIN", one "\n" + entry text per key of
// `entries` in order, "\nTavXL Registry Entries END".
std::string RegistryEntriesText(const std::vector<SfRegKeyPath>& entries);

// Writes both lines; `entries` is the TavXL product's key list of the registration
// framework (SfRegUtil_V2::TavXLRegistryEntries).
void DumpDiagnostics(const std::vector<SfRegKeyPath>& entries);

}  // namespace orvex::system

#pragma once
#include <cstdint>
#include <string>

// Locating Excel, its version and its bitness through the registry. Every call reads
// the registry again (default view, read access); nothing is cached or thrown.
namespace orvex::SfExcelUtil {

// Excel's executable as registered for automation (LocalServer32, else LocalServer,
// of the Excel.Application class), with a trailing "/automation" switch and the white
// space around it removed; quotes are kept. False with an empty text when unknown.
bool GetExcelPath(std::string* path);
// GetExcelPath without one pair of enclosing double quotes.
bool GetExcelPathUnquoted(std::string* path);
// 32 or 64 from the executable's header; 0 when it cannot be determined.
int GetExcelBitness();
// The CurVer text after "Excel.Application." followed by ".0" (16 → "16.0").
bool GetExcelVersion(std::string* version);
// The major version when CurVer holds only digits (and trailing white space) after
// the prefix; 0 otherwise.
uint32_t GetExcelVersionNumber();
// "Software\Microsoft\Office\<number>.0\Excel" for the version number, to be opened
// under HKEY_CURRENT_USER. False when CurVer holds no plain version number.
bool GetExcelUserKey(std::string* key);
// Bitness of the executable named by App Paths\excel.exe "Path": 64 or 32 (*text
// "64"/"32"), 0 for another type ("unknown"), -1 when missing (*text may then hold the
// executable path). Writes its trace lines to standard output, or appends them to
// *printed instead when that is not null.
int GetExcelBitnessFromAppPaths(std::string* text, std::string* printed = nullptr);

}  // namespace orvex::SfExcelUtil

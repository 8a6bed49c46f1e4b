#pragma once
#include "registry/reg_key_path.h"

// The per-user Excel keys that the add-in and trusted-location operations edit.
namespace orvex::SfExcelUtil {

// HKEY_CURRENT_USER, Excel user key + "\" + `sub`, created when missing. False (and
// the key left unnamed) when no Excel version is registered: the path would then be
// `sub` directly under HKEY_CURRENT_USER, which belongs to nobody here.
bool ExcelUserSubKey(const char* sub, SfRegKeyPath* key);

}  // namespace orvex::SfExcelUtil

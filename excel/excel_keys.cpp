#include "excel/excel_keys.h"

#include <string>

#include "excel/excel_discovery.h"

namespace orvex::SfExcelUtil {

bool ExcelUserSubKey(const char* sub, SfRegKeyPath* key) {
  std::string user_key;
  if (!GetExcelUserKey(&user_key)) {
    *key = SfRegKeyPath();
    return false;
  }
  *key = SfRegKeyPath(RegRoot::kCurrentUser, user_key);
  key->Append(sub);
  (void)key->Create();  // a failure shows in the operation that follows
  return true;
}

}  // namespace orvex::SfExcelUtil

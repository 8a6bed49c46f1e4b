#include "setup/trusted_location_actions.h"

#include "excel/trusted_locations.h"

namespace orvex {

namespace {

int Answer(bool yes, const char* yes_word, const char* no_word, std::string* output) {
  *output += yes ? yes_word : no_word;
  return yes ? 1 : 0;
}

}  // namespace

int TrustedLocationAdd(const std::string& folder, std::string* output) {
  SfExcelUtil::RemoveTrustedLocation(folder);
  return Answer(SfExcelUtil::AddTrustedLocation(folder, "OrvexXL Folder"), "Success", "Failed",
                output);
}

int TrustedLocationRemove(const std::string& folder, std::string* output) {
  return Answer(SfExcelUtil::RemoveTrustedLocation(folder), "Success", "Failed", output);
}

int TrustedLocationCheck(const std::string& folder, std::string* output) {
  return Answer(SfExcelUtil::IsTrustedLocation(folder), "YES", "NO", output);
}

}  // namespace orvex

#include "registration/xll_addin.h"

#include <vector>

#include "excel/excel_addin.h"
#include "excel/excel_discovery.h"
#include "registration/component_file.h"

namespace orvex {

namespace util = SfExcelUtil;

bool SfxRegNode_XllAddInBase::FindFile(const std::string& folder, bool is64) {
  is64_ = is64;
  return FindComponentFile(folder, GetFileName(is64), &path_);
}

bool SfxRegNode_XllAddInBase::EnableFound() {
  if (path_.empty()) return false;
  std::vector<SfRegValue> entries;
  if (util::FindOpenEntries(path_, true, &entries)) return true;
  util::RemoveOpenEntries(path_);
  const bool added = util::AddOpenEntry(path_);
  util::RenumberOpenValues();
  return added;
}

bool SfxRegNode_XllAddInBase::Enable(const std::string& folder) {
  const bool is64 = util::GetExcelBitness() == 64;
  if (!FindFile(folder.empty() ? RunningProgramFolder() : folder, is64)) return false;
  return EnableFound();
}

bool SfxRegNode_XllAddInBase::IsKnownAnywhere(const std::string& file_name) {
  std::vector<std::string> names;
  std::vector<SfRegValue> entries;
  return util::FindAddInManagerEntries(file_name, &names) ||
         util::FindOpenEntries(file_name, false, &entries);
}

bool SfxRegNode_XllAddInBase::IsRegistered() {
  return IsKnownAnywhere(GetFileName(true)) || IsKnownAnywhere(GetFileName(false));
}

bool SfxRegNode_XllAddInBase::Remove() {
  for (bool is64 : {true, false}) {
    util::RemoveAddInManagerEntries(GetFileName(is64));
    if (util::RemoveOpenEntries(GetFileName(is64)) > 0) util::RenumberOpenValues();
  }
  return !IsRegistered();
}

}  // namespace orvex

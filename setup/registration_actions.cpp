#include "setup/registration_actions.h"

#include "excel/excel_discovery.h"
#include "excel/trusted_locations.h"
#include "registration/sf_reg_util_v2.h"
#include "setup/elevation.h"
#include "system/diagnostics_dump.h"

namespace orvex {

namespace {

namespace flows = SfRegUtil_V2;

bool Is64() {
  return SfExcelUtil::GetExcelBitness() == 64;
}

int StopAction(std::string* report) {
  return ReportStep("Stop ", flows::StopAll(), report);
}

// Drop and Clean: all-users registrations can only be removed with the rights to.
void RestartIfAllUsersNeedRights() {
  if (flows::IsRegisteredForAllUsers() && !IsProcessElevated()) RestartElevated();
}

// A removal flow's line, then the removal of the folder's trusted location, whose
// answer never changes the result.
int RemovalStep(const char* label, bool ok, const std::string& folder, std::string* report) {
  const int result = ReportStep(label, ok, report);
  SfExcelUtil::RemoveTrustedLocation(folder);
  return result;
}

int DropAction(const std::string& folder, std::string* report) {
  RestartIfAllUsersNeedRights();
  StopAction(report);
  return RemovalStep("\nDrop ", flows::Drop(), folder, report);
}

int CleanAction(const std::string& folder, std::string* report) {
  RestartIfAllUsersNeedRights();
  return RemovalStep("Clean ", flows::Clean(), folder, report);
}

int TavXLAction(const SetupActionInputs& in, std::string* report) {
  const bool per_user = !in.all_users;
  if (flows::IsAnythingRegistered()) {
    if (per_user) {
      ReportStep("TavXL Clean CU ", flows::TavXL_CleanCU(), report);
    } else {
      CleanAction(in.folder, report);
    }
  }
  if (!per_user && !IsProcessElevated()) RestartElevated();
  return ReportStep("TavXL Registration ",
                    flows::TavXL_Register(Is64(), in.folder, per_user, in.no_auto_run), report);
}

int RtdAction(const SetupActionInputs& in, std::string* report) {
  const bool per_user = !in.all_users;
  if (!per_user && !IsProcessElevated()) RestartElevated();
  return ReportStep("RTD Registration ", flows::Rtd_Register(Is64(), in.folder, per_user), report);
}

}  // namespace

int RunRegistrationAction(SetupAction action, const SetupActionInputs& in, std::string* report) {
  const std::string& folder = in.folder;
  switch (action) {
    case SetupAction::kRegXll:
      return ReportStep("KnownXLLs Registration ", flows::RegisterKnownXlls(folder), report);
    case SetupAction::kCleanXll:
      return ReportStep("KnownXLLs Unregistration ", flows::UnregisterKnownXlls(), report);
    case SetupAction::kTavXL:
      return TavXLAction(in, report);
    case SetupAction::kRtd:
      return RtdAction(in, report);
    case SetupAction::kStop:
      return StopAction(report);
    case SetupAction::kDrop:
      return DropAction(folder, report);
    case SetupAction::kClean:
      return CleanAction(folder, report);
    case SetupAction::kRunCU:
      return ReportStep("TavXL Run CU ", flows::TavXL_RunCU(folder), report);
    case SetupAction::kRunAU:
      return ReportStep("TavXL Run AU ", flows::TavXL_RunAU(folder), report);
    case SetupAction::kCleanAU:
      return RemovalStep("TavXL Clean AU ", flows::TavXL_CleanAU(), folder, report);
    case SetupAction::kCleanCU:
      return RemovalStep("TavXL Clean CU ", flows::TavXL_CleanCU(), folder, report);
    case SetupAction::kRtdRunCU:
      return ReportStep("RTD Run CU ", flows::StartBus(folder), report);
    case SetupAction::kRtdRunAU:
      return ReportStep("RTD Run AU ", flows::Rtd_RunAU(folder), report);
    case SetupAction::kRtdClean:
      return ReportStep("RTD Clean AU ", flows::Rtd_CleanAU(flows::kCleanEvenIfInstalledAU),
                        report);
    case SetupAction::kRtdCleanAU:
      return ReportStep("RTD Clean AU ", flows::Rtd_CleanAU(flows::kKeepInstalledAU), report);
    case SetupAction::kRtdCleanCU:
      return ReportStep("RTD Clean CU ", flows::Rtd_CleanCU(), report);
    case SetupAction::kTest:
      system::DumpDiagnostics(flows::TavXLRegistryEntries());
      *report += "SfRegUtil::UnitTest executed";
      return 0;
    default:  // the other actions are not registration actions
      return -1;
  }
}

}  // namespace orvex

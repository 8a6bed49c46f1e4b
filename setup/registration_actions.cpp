#include "setup/registration_actions.h"

#include <vector>

#include "excel/excel_discovery.h"
#include "excel/trusted_locations.h"
#include "platform/elevation.h"
#include "platform/process.h"
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

// Run elevated for another user (pkexec, sudo), the per-user half of the work is that
// user's: a copy of this program does it as them, so nothing of theirs lands in root's
// profile and no program of the product runs as root. The copy is marked as an
// elevated one, so that it never asks for rights again. Null when there is no such user.
flows::PerUserRunner InvokingUserRunner() {
  uint32_t uid = 0;
  if (!IsProcessElevated() || !platform::InvokingUser(&uid)) return nullptr;
  const std::string program = platform::CurrentExecutablePath();
  return [uid, program](const std::string& action, const std::string& folder) {
    std::vector<std::string> args{kElevatedCopyToken, action};
    if (!folder.empty()) args.push_back(folder);
    return platform::RunAsUser(uid, program, args) == 1;
  };
}

// A removal for all users, then the same removal of the invoking user's own parts as
// that user (their programs, registrations, log-on entries and trusted location).
bool RemoveForAllUsers(const char* action, bool (*flow)(), const std::string& folder) {
  bool ok = flow();
  if (const flows::PerUserRunner as_user = InvokingUserRunner()) ok = as_user(action, folder) && ok;
  return ok;
}

int DropAction(const std::string& folder, std::string* report) {
  RestartIfAllUsersNeedRights();
  StopAction(report);
  return RemovalStep("\nDrop ", RemoveForAllUsers("Drop", flows::Drop, folder), folder, report);
}

int CleanAction(const std::string& folder, std::string* report) {
  RestartIfAllUsersNeedRights();
  return RemovalStep("Clean ", RemoveForAllUsers("Clean", flows::Clean, folder), folder, report);
}

void HandPerUserHalfToInvokingUser() {
  flows::SetPerUserRunner(InvokingUserRunner());
}

int TavXLAction(const SetupActionInputs& in, std::string* report) {
  const bool per_user = !in.all_users;
  // Decided before anything changes: a declined prompt must leave what is installed.
  if (!per_user && !IsProcessElevated()) RestartElevated();
  if (flows::IsAnythingRegistered()) {
    if (per_user) {
      ReportStep("TavXL Clean CU ", flows::TavXL_CleanCU(), report);
    } else {
      CleanAction(in.folder, report);
    }
  }
  if (!per_user) HandPerUserHalfToInvokingUser();
  return ReportStep("TavXL Registration ",
                    flows::TavXL_Register(Is64(), in.folder, per_user, in.no_auto_run), report);
}

int RtdAction(const SetupActionInputs& in, std::string* report) {
  const bool per_user = !in.all_users;
  if (!per_user && !IsProcessElevated()) RestartElevated();
  if (!per_user) HandPerUserHalfToInvokingUser();
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

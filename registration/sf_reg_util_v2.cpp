#include "registration/sf_reg_util_v2.h"

#include "base/no_case.h"
#include "excel/excel_discovery.h"
#include "platform/file_attributes.h"
#include "registration/component_file.h"
#include "registration/logon_entries.h"
#include "registration/oxlade_product.h"
#include "registration/program_entries.h"
#include "registration/tav_reg_tool.h"
#include "registration/tavxl_product.h"
#include "system/file_operations.h"
#include "system/program_control.h"
#include "system/self_delete.h"
#include "threading/trace.h"

namespace orvex::SfRegUtil_V2 {

namespace {

using Tool = SfxRegNode_TavRegTool;

// COM registrations land in the view Excel reads, and the files of its bitness.
bool ExcelIs64() {
  return SfExcelUtil::GetExcelBitness() == 64;
}

void Log(const char* flow, const char* text) {
  TraceDbg().Append(std::string(flow) + text);
}

template <typename Entry>
bool Registered() {
  Entry entry;
  return entry.IsRegistered();
}

template <typename Entry>
bool Unregister() {
  Entry entry;
  return entry.Unregister();
}

bool StartWatchdog(const std::string& folder) {
  SfxRegNode_TavWatchdog watchdog;
  return StartProgram(watchdog, folder);
}

// A per-user installation of either product wins over both all-users ones.
bool PerUserInstallationExists() {
  return Registered<Tool::TRegCU>() || Registered<Tool::TRegRTDCU>();
}

// A product is in use while its own parts or either of its log-on entries are there.
template <typename Product, typename EntryCU, typename EntryAU>
bool InUse() {
  return Product("", false).OwnPartsRegistered() || Registered<EntryCU>() || Registered<EntryAU>();
}

// One product's clean-up takes that product's parts and log-on entries only: the
// KelRTD server and XLL both register stay while the other product is in use
// (`keep_shared`). True when nothing of the product is left (its shared parts only
// while they are its own).
template <typename Product, typename EntryCU, typename EntryAU, typename Cleanup>
bool RemoveProduct(bool per_user_only, bool keep_shared) {
  Product product("", false);
  product.Unregister(per_user_only, keep_shared);
  Unregister<EntryCU>();
  if (!per_user_only) Unregister<EntryAU>();
  Unregister<Cleanup>();
  const bool left = keep_shared ? product.OwnPartsRegistered() : product.IsRegisteredAnywhere();
  return !left && !Registered<EntryCU>() && !Registered<Cleanup>();
}

bool RemoveTavXL(bool per_user_only) {
  const bool keep_shared = InUse<OxladeProduct, Tool::TRegRTDCU, Tool::TRegRTDAU>();
  return RemoveProduct<TavXLProduct, Tool::TRegCU, Tool::TRegAU, Tool::TCleanAU>(per_user_only,
                                                                                 keep_shared);
}

bool RemoveRtd(bool per_user_only) {
  const bool keep_shared = InUse<TavXLProduct, Tool::TRegCU, Tool::TRegAU>();
  return RemoveProduct<OxladeProduct, Tool::TRegRTDCU, Tool::TRegRTDAU, Tool::TCleanRTDAU>(
      per_user_only, keep_shared);
}

// The log-on clean-up after an all-users removal: the programs, the product, and the
// cleanup copy once neither product's cleanup entry needs it.
bool CleanAllUsersLeftovers(bool (*remove)(bool)) {
  const bool stopped = StopAll();
  const bool removed = remove(kEveryPlace);
  if (!stopped || !removed) return false;
  if (Registered<Tool::TCleanAU>() || Registered<Tool::TCleanRTDAU>()) return true;
  return DeleteCleanupCopy();
}

PerUserRunner& Runner() {
  static PerUserRunner runner;
  return runner;
}

// Whether this process writes the current user's parts of a registration: not when
// the per-user half of an all-users one is handed to the user's own process.
bool UserPartsHere(bool per_user) {
  return per_user || !Runner();
}

// The per-user half of an all-users registration, here or through the runner.
bool RunPerUserHalf(const char* action, bool (*here)(const std::string&),
                    const std::string& folder) {
  if (!Runner()) return here(folder);
  Log("SfRegUtil_V2::RunPerUserHalf ", action);
  return Runner()(action, folder);
}

}  // namespace

void SetPerUserRunner(PerUserRunner runner) {
  Runner() = std::move(runner);
}

bool TavXL_Register(bool is64, const std::string& folder, bool per_user, bool no_auto_run) {
  bool ok = TavXLProduct(folder, is64).Register(per_user, is64, UserPartsHere(per_user));
  if (!no_auto_run) {
    Tool::TRegCU cu;
    Tool::TRegAU au;
    ok = (per_user ? InstallLogonEntry(cu, folder, true) : InstallLogonEntry(au, folder, false)) &&
         ok;
  }
  ok = (per_user ? TavXL_RunCU(folder) : RunPerUserHalf("RunAU", TavXL_RunAU, folder)) && ok;
  return ok;
}

bool Rtd_Register(bool is64, const std::string& folder, bool per_user) {
  const bool registered =
      OxladeProduct(folder, is64).Register(per_user, is64, UserPartsHere(per_user));
  bool next = false;
  bool entry_ok = false;
  // A registration that leaves no log-on entry is not a success: the bus would not
  // come back after the next log-on.
  if (per_user) {
    Tool::TRegRTDCU entry;
    entry_ok = InstallLogonEntry(entry, folder, true);
    next = StartBus(folder);
  } else {
    Tool::TRegRTDAU entry;
    entry_ok = InstallLogonEntry(entry, folder, false);
    next = RunPerUserHalf("RTDRunAU", Rtd_RunAU, folder);
  }
  return registered && entry_ok && next;
}

bool TavXL_RunCU(const std::string& folder) {
  Log("SfRegUtil_V2::TavXL_RunCU", " Register TavXL CU and run WatchDog");
  const bool is64 = ExcelIs64();
  const bool registered = TavXLProduct(folder, is64).Register(kPerUser, is64);
  const bool started = StartWatchdog(folder);
  return registered && started;
}

bool TavXL_RunAU(const std::string& folder) {
  constexpr const char* kFlow = "SfRegUtil_V2::TavXL_RunAU";
  Log(kFlow, " TavXL_RunAU");
  // A per-user installation takes precedence over the all-users one.
  if (Registered<Tool::TRegCU>()) {
    Log(kFlow, " Exit TavXL CU is active.");
    return true;
  }
  if (Registered<Tool::TRegRTDCU>()) {
    Log(kFlow, " Exit RTD CU is active.");
    return true;
  }
  const bool is64 = ExcelIs64();
  const bool first_run =
      !Registered<Tool::TCleanAU>() || !TavXLProduct(folder, is64).TimeStampsEqual(is64);
  bool ok = true;
  if (first_run) {
    Log(kFlow, " The first AU run and registration for this customer.");
    TavXLProduct(folder, is64).Unregister(kPerUserOnly);
    Tool::TCleanAU cleanup;
    ok = InstallCleanupEntry(cleanup, folder);
    ok = TavXLProduct(folder, is64).Register(kPerUser, is64) && ok;
  }
  Log(kFlow, " Run WatchDog");
  ok = StartWatchdog(folder) && ok;
  return ok;
}

bool StartBus(const std::string& folder) {
  SfxRegNode_Vantel bus;
  return StartProgram(bus, folder);
}

bool Rtd_RunAU(const std::string& folder) {
  if (Registered<Tool::TRegCU>() || Registered<Tool::TRegRTDCU>()) return true;
  const bool is64 = ExcelIs64();
  const bool first_run =
      !Registered<Tool::TCleanRTDAU>() || !OxladeProduct(folder, is64).TimeStampsEqual(is64);
  bool ok = true;
  if (first_run) {
    OxladeProduct(folder, is64).Unregister(kPerUserOnly);
    Tool::TCleanRTDAU cleanup;
    ok = InstallCleanupEntry(cleanup, folder);
    ok = OxladeProduct(folder, is64).Register(kPerUser, is64) && ok;
  }
  ok = StartBus(folder) && ok;
  return ok;
}

bool TavXL_CleanCU() {
  if (!Registered<Tool::TRegCU>()) return true;
  const bool stopped = StopAll();
  const bool removed = RemoveTavXL(kPerUserOnly);
  return stopped && removed;
}

bool Rtd_CleanCU() {
  if (!Registered<Tool::TRegRTDCU>()) return true;
  const bool stopped = StopAll();
  const bool removed = RemoveRtd(kPerUserOnly);
  return stopped && removed;
}

bool TavXL_CleanAU() {
  // The user's own installation, or the all-users product still installed.
  if (PerUserInstallationExists() || Registered<Tool::TRegAU>()) return true;
  return CleanAllUsersLeftovers(RemoveTavXL);
}

bool Rtd_CleanAU(bool force) {
  if (PerUserInstallationExists() || (!force && Registered<Tool::TRegRTDAU>())) return true;
  return CleanAllUsersLeftovers(RemoveRtd);
}

bool StopAll() {
  bool ok = system::QuitExcelAndWait(15000) == 1;
  SfxRegNode_Vantel bus;
  SfxRegNode_TavWatchdog watchdog;
  SfxRegNode_TavPublisher publisher;
  SfxRegNode_TavBus tav_bus;
  ok = bus.StopProgram() && ok;
  ok = watchdog.StopProgram() && ok;
  ok = publisher.StopProgram() && ok;
  ok = tav_bus.StopProgram() && ok;
  return ok;
}

bool Drop() {
  OxladeProduct("", false).Unregister(kEveryPlace);
  TavXLProduct("", false).Unregister(kEveryPlace);
  Unregister<Tool::TRegAU>();
  Unregister<Tool::TCleanAU>();
  Unregister<Tool::TRegRTDAU>();
  Unregister<Tool::TCleanRTDAU>();
  // Left behind, the per-user entries would register the product again at the next
  // log-on, or start a program that is gone.
  Unregister<Tool::TRegCU>();
  Unregister<Tool::TRegRTDCU>();
  return !IsRegistered(kAllUsers);
}

bool Clean() {
  const bool stopped = StopAll();
  const bool dropped = Drop();
  return stopped && dropped;
}

bool UnregisterAll(bool per_user) {
  OxladeProduct("", false).Unregister(per_user);
  TavXLProduct("", false).Unregister(per_user);
  if (per_user) {
    Unregister<Tool::TRegCU>();
  } else {
    Unregister<Tool::TRegAU>();
  }
  Unregister<Tool::TCleanAU>();
  if (per_user) {
    Unregister<Tool::TRegRTDCU>();
  } else {
    Unregister<Tool::TRegRTDAU>();
  }
  Unregister<Tool::TCleanRTDAU>();
  return !IsRegistered(per_user);
}

bool IsRegistered(bool per_user) {
  if (OxladeProduct("", false).IsRegisteredAnywhere() ||
      TavXLProduct("", false).IsRegisteredAnywhere()) {
    return true;
  }
  if (per_user) return Registered<Tool::TRegCU>() || Registered<Tool::TRegRTDCU>();
  return Registered<Tool::TRegAU>() || Registered<Tool::TCleanAU>() ||
         Registered<Tool::TRegRTDAU>() || Registered<Tool::TCleanRTDAU>();
}

bool IsAnythingRegistered() {
  return OxladeProduct("", false).IsRegisteredAnywhere() ||
         TavXLProduct("", false).IsRegisteredAnywhere() || Registered<Tool::TRegCU>() ||
         Registered<Tool::TRegAU>() || Registered<Tool::TCleanAU>() ||
         Registered<Tool::TRegRTDCU>() || Registered<Tool::TRegRTDAU>() ||
         Registered<Tool::TCleanRTDAU>();
}

bool IsRegisteredForAllUsers() {
  return OxladeProduct("", false).IsRegisteredForAllUsers() ||
         TavXLProduct("", false).IsRegisteredForAllUsers() || Registered<Tool::TRegAU>();
}

bool RegisterKnownXlls(const std::string& folder) {
  const std::string where = folder.empty() ? RunningProgramFolder() : folder;
  SfxRegNode_KelRTDAddIn kel;
  SfxRegNode_XllAddIn tav = SfxRegNode_XllAddIn::TavXL();
  const bool kel_ok = kel.Enable(where);
  const bool tav_ok = tav.Enable(where);
  return kel_ok && tav_ok;
}

bool UnregisterKnownXlls() {
  SfxRegNode_KelRTDAddIn kel;
  SfxRegNode_XllAddIn tav = SfxRegNode_XllAddIn::TavXL();
  const bool kel_ok = kel.Remove();
  const bool tav_ok = tav.Remove();
  return kel_ok && tav_ok;
}

bool DeleteCleanupCopy() {
  const std::string copy = CleanupCopyPath();
  if (copy.empty()) return false;
  if (EqualsNoCase(system::GetModulePath(), copy)) return system::SelfDelete();
  // A copy that is gone already is what this step wants.
  return system::DeleteFileAt(copy) || platform::GetPathKind(copy) == platform::PathKind::kMissing;
}

}  // namespace orvex::SfRegUtil_V2

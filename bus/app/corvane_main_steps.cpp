#include "bus/app/corvane_main_steps.h"

#include "bus/app/auto_start.h"
#include "bus/app/flow_settings.h"
#include "excel/excel_addin.h"
#include "excel/excel_discovery.h"
#include "platform/message_box.h"
#include "platform/process.h"
#include "platform/stale_objects.h"
#include "platform/window_messages.h"
#include "resources/corvane_resources.h"
#include "ui/sf_win_app.h"

namespace orvex {

using namespace platform;

SingleInstance::SingleInstance() {
  mutex_ = CreateNamedMutex("Corvane_SI", nullptr, &already_running_);
}

SingleInstance::~SingleInstance() {
  CloseMutex(mutex_);
}

std::string AddInFileName(int bitness) {
  return bitness == 64 ? "KelRTDAddIn_x64.xll" : "KelRTDAddIn.xll";
}

std::string AddInPath(const std::string& file_name) {
  const std::string self = CurrentExecutablePath();
  const size_t slash = self.find_last_of("/\\");
  const std::string folder = slash == std::string::npos ? std::string() : self.substr(0, slash + 1);
  return folder + file_name;
}

void UninstallAddInStep(intptr_t argument) {
  SfExcelUtil::UninstallAddIn(*reinterpret_cast<const std::string*>(argument));
}

WindowHandle CreateMainDialog(DlgMain& dialog) {
  ui::DialogBeingCreated() = &dialog;
  const WindowHandle window = CreateDialogFromResource(dialog.module(), resources::kMainDialogId,
                                                       nullptr, ui::SharedDialogProc, 0);
  ui::DialogBeingCreated() = nullptr;
  return window;
}

int RunCorvane(const std::string& arguments, bool already_running) {
  if (already_running) {
    ShowMessageBox(nullptr, "Instance of Corvane is already running", "Corvane", MB_OK);
    return 0;
  }
  resources::InstallCorvaneResources();
  // Links of clients killed since the last run would otherwise stay as files (POSIX).
  SweepStaleObjects();
  RtdServer::Options options;
  options.auto_start = LaunchAutoStartPublisher;
  ReadFlowSettings(&options);
  ReadTopicLimitSettings(&options);
  auto dialog = std::make_unique<DlgMain>(std::move(options));
  if (dialog->server() == nullptr || !dialog->server()->listening()) {
    // No client could ever connect: say so instead of running on as an empty bus. On
    // Linux this is what another user's folder in place of ours leads to.
    const std::string problem = SharedObjectsProblem();
    const std::string text = "Corvane cannot create the bus's shared objects" +
                             (problem.empty() ? std::string() : ": " + problem);
    ShowMessageBox(nullptr, text.c_str(), "Corvane", MB_OK);
    return 0;
  }
  const bool add_in = SfExcelUtil::HasRegXllSwitch(arguments);
  // Chosen once: the removal (at the session's end or the program's) takes the add-in
  // that was installed, whatever Excel is registered by then.
  const std::string add_in_file = AddInFileName(SfExcelUtil::GetExcelBitness());
  const intptr_t add_in_argument = reinterpret_cast<intptr_t>(&add_in_file);
  if (add_in) {
    SfExcelUtil::InstallAddIn(AddInPath(add_in_file));
    dialog->SetQueryEndSessionCallback(UninstallAddInStep, add_in_argument);
  }
  const WindowHandle window = CreateMainDialog(*dialog);
  if (window != nullptr) {
    ShowWindowAs(window, SW_SHOWMINNOACTIVE);
    ShowWindowAs(window, SW_HIDE);
    // POSIX: SIGTERM and SIGINT arrive as WM_CLOSE, the way Windows closes the program.
    RouteTerminationSignals(window);
    ui::SfWinApp app;
    app.RunDialogLoop(dialog.get());
    RouteTerminationSignals(nullptr);
  }
  if (add_in) UninstallAddInStep(add_in_argument);
  dialog.reset();
  return 0;
}

}  // namespace orvex

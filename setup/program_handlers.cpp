#include "setup/program_handlers.h"

#include "system/program_control.h"

namespace orvex {

namespace {

constexpr uint32_t kQuitLimitMs = 5000;

bool CloseCorvane() {
  return system::CloseCorvaneAndWait(kQuitLimitMs);
}
bool CloseTavBusApp() {
  return system::CloseTavBusAppAndWait(kQuitLimitMs);
}
bool CloseTavPublisher() {
  return system::CloseTavPublisherAndWait(kQuitLimitMs);
}

}  // namespace

QuitExcelHandler::QuitExcelHandler()
    : RtdSetupArgvHandlerBase("xlQuit", "", "Attempts to close all Excel instances") {}

int QuitExcelHandler::Run(const std::string&) {
  return system::QuitExcelOnce();
}

CountExcelHandler::CountExcelHandler()
    : RtdSetupArgvHandlerBase("xlTest", "", "Counts open excel instances") {}

int CountExcelHandler::Run(const std::string&) {
  return system::CountExcelWindows();
}

TestProgramHandler::TestProgramHandler(std::string name, std::string description,
                                       std::string module)
    : RtdSetupArgvHandlerBase(std::move(name), "", std::move(description)),
      module_(std::move(module)) {}

int TestProgramHandler::Run(const std::string&) {
  return system::IsProcessRunning(module_) ? 1 : 0;
}

QuitProgramHandler::QuitProgramHandler(std::string name, std::string description,
                                       CloseAndWait close)
    : RtdSetupArgvHandlerBase(std::move(name), "", std::move(description)), close_(close) {}

int QuitProgramHandler::Run(const std::string&) {
  return close_() ? 1 : 0;
}

TestDravikHandler::TestDravikHandler()
    : TestProgramHandler("drTest", "Tests if Dravik is running", system::kDravikModule) {}
QuitDravikHandler::QuitDravikHandler()
    : QuitProgramHandler("drQuit", "Attempts to close Dravik instance",
                         system::CloseDravikAndWait) {}
TestCorvaneHandler::TestCorvaneHandler()
    : TestProgramHandler("bwTest", "Tests if Corvane is running", system::kCorvaneModule) {}
QuitCorvaneHandler::QuitCorvaneHandler()
    : QuitProgramHandler("bwQuit", "Attempts to close Corvane instance", CloseCorvane) {}
TestTavBusWAppHandler::TestTavBusWAppHandler()
    : TestProgramHandler("tvbwTest", "Tests if TavBusApp is running", system::kTavBusAppModule) {}
QuitTavBusWAppHandler::QuitTavBusWAppHandler()
    : QuitProgramHandler("tvbwQuit", "Attempts to close TavBusApp instance", CloseTavBusApp) {}
TestTavPHandler::TestTavPHandler()
    : TestProgramHandler("tvpTest", "Tests if TavPublisher is running",
                         system::kTavPublisherModule) {}
QuitTavPHandler::QuitTavPHandler()
    : QuitProgramHandler("tvpQuit", "Attempts to close TavPublisher instance", CloseTavPublisher) {}

}  // namespace orvex

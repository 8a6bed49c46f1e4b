// A stand-in for Excel and the product's programs in the process-control tests: top-level
// windows of given classes and titles with a message loop, which log the close messages
// they get and close (or, with --ignore-close, do not).
//
//   standin --window <class> <title> [--window ...] [--ignore-close] [--log <file>]
//           [--ready <file>] [--start-after <file>] [--life-ms <ms>]
//
// The ready file is written once every window exists; with --start-after the program
// then waits for that file before it runs its message loop (a slow start-up). The program ends
// itself after the life time (default 60 s) so that a failed test leaves nothing running.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/window.h"
#include "platform/window_messages.h"

namespace {

using namespace orvex::platform;

bool g_ignore_close = false;
std::string g_log;
int g_alive = 0;

void Log(uint32_t message, WindowHandle window) {
  if (g_log.empty()) return;
  if (FILE* file = std::fopen(g_log.c_str(), "ab")) {
    std::fprintf(file, "%s %s\n", message == WM_CLOSE ? "WM_CLOSE" : "WM_QUERYENDSESSION",
                 WindowText(window).c_str());
    std::fclose(file);
  }
}

LResult Procedure(WindowHandle window, uint32_t message, WParam wparam, LParam lparam) {
  switch (message) {
    case WM_QUERYENDSESSION:
      Log(message, window);
      return 1;
    case WM_CLOSE:
      Log(message, window);
      if (!g_ignore_close) DestroyWindowObject(window);
      return 0;
    case WM_DESTROY:
      if (--g_alive == 0) PostQuit(0);
      return 0;
    default:
      return DefaultWindowProcedure(window, message, wparam, lparam);
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::pair<std::string, std::string>> windows;
  std::string ready;
  std::string start_after;
  uint32_t life_ms = 60000;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--window" && i + 2 < argc) {
      windows.emplace_back(argv[i + 1], argv[i + 2]);
      i += 2;
    } else if (arg == "--ignore-close") {
      g_ignore_close = true;
    } else if (arg == "--log" && i + 1 < argc) {
      g_log = argv[++i];
    } else if (arg == "--ready" && i + 1 < argc) {
      ready = argv[++i];
    } else if (arg == "--start-after" && i + 1 < argc) {
      start_after = argv[++i];
    } else if (arg == "--life-ms" && i + 1 < argc) {
      life_ms = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
    } else {
      std::fprintf(stderr, "standin: unknown argument %s\n", arg.c_str());
      return 2;
    }
  }
  std::thread([life_ms] {
    SleepMs(life_ms);
    std::_Exit(3);
  }).detach();
  ModuleInstance module = CurrentModule();
  for (const auto& [window_class, title] : windows) {
    if (!RegisterWindowClass(module, window_class.c_str(), 0, Procedure) ||
        CreateTopLevelWindow(module, window_class.c_str(), title.c_str(), 0) == nullptr) {
      std::fprintf(stderr, "standin: cannot create window %s\n", title.c_str());
      return 4;
    }
    ++g_alive;
  }
  if (!ready.empty()) {
    if (FILE* file = std::fopen(ready.c_str(), "wb")) std::fclose(file);
  }
  while (!start_after.empty() && !std::filesystem::exists(start_after)) SleepMs(20);
  QueuedMessage message;
  while (GetNextMessage(&message) > 0) {
    TranslateQueuedMessage(message);
    DispatchQueuedMessage(message);
  }
  return 0;
}

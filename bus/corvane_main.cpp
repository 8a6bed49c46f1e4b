// Corvane: the bus program. Everything but the single-instance check happens in
// RunCorvane.
#include <string>

#include "bus/corvane_main_steps.h"
#include "ui/c_system_tray.h"

namespace {
// Both exist before the entry point runs: a second instance must find the mutex taken
// however early it starts, and the shell's restart message is known to the icon.
const orvex::SingleInstance single_instance;
const uint32_t taskbar_created = orvex::ui::TaskbarCreatedMessage();
}  // namespace

int main(int argc, char** argv) {
  (void)taskbar_created;
  std::string command_line;
  for (int i = 0; i < argc; ++i) {
    if (i > 0) command_line += ' ';
    command_line += argv[i];
  }
  return orvex::RunCorvane(command_line, single_instance.already_running());
}

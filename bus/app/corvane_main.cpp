// Corvane: the bus program. Everything but the single-instance check happens in
// RunCorvane.
#include <string>

#include "bus/app/corvane_main_steps.h"
#include "ui/c_system_tray.h"

namespace {
// Both exist before the entry point runs: a second instance must find the mutex taken
// however early it starts, and the shell's restart message is known to the icon.
const orvex::SingleInstance single_instance;
const uint32_t taskbar_created = orvex::ui::TaskbarCreatedMessage();
}  // namespace

int main(int argc, char** argv) {
  (void)taskbar_created;
  // The arguments only: the program's own path (argv[0]) may contain "/regXLL" too, as in
  // /opt/regxll/corvane.
  std::string arguments;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) arguments += ' ';
    arguments += argv[i];
  }
  return orvex::RunCorvane(arguments, single_instance.already_running());
}

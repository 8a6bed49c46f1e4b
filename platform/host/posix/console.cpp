#include "platform/console.h"

#include <unistd.h>

namespace orvex::platform {

bool StdoutIsTerminal() {
  return isatty(STDOUT_FILENO) == 1;
}

bool EnableTerminalEscapes() {
  return StdoutIsTerminal();
}

}  // namespace orvex::platform

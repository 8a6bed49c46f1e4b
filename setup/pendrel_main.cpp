// Pendrel: the setup program. Splits its own command line, runs one command or action
// and ends with its result; the output text goes to standard output when there is one
// (a GUI-subsystem program opens no console of its own).
#include <cstdio>
#include <string>
#include <vector>

#include "platform/command_line.h"
#include "platform/process.h"
#include "setup/argv_list.h"
#include "setup/elevation.h"
#include "setup/rtd_setup_dispatcher.h"

namespace {

void Show(const std::string& output) {
  if (output.empty() || !orvex::platform::HasStandardOutput()) return;
  std::fwrite(output.data(), 1, output.size(), stdout);
  if (output.back() != '\n') std::fputc('\n', stdout);
  std::fflush(stdout);
}

}  // namespace

int main() {
  using namespace orvex;
  platform::UseBinaryStandardOutput();
  std::vector<std::string> tokens =
      SplitCommandTail(CommandLineParameters(platform::ProcessCommandLine()));
  MarkElevatedCopy(&tokens);
  const ArgvList args(platform::CurrentExecutablePath(), tokens);
  std::string output;
  int result = 0;
  {
    RtdSetupDispatcher dispatcher;
    result = dispatcher.Execute(args, &output);
  }
  Show(output);
  return result;
}

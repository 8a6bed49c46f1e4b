#pragma once
#include <string>

#include "setup/argv_list.h"

namespace orvex {

// ConfigFile CU|AU <version> MSI_ALL|MSI_NA|EXE_ALL|EXE_NA|EXE_MIX (elements 2 to 4,
// compared with regard to case): writes the installation configuration file; its
// step report is the output and its result (1, -1, -2) the exit code. A bad scope or
// install type gives "Error args: " + element + ". Expected: ..." and -1.
int ConfigFileAction(const ArgvList& args, std::string* output);
// UnConfigFile CU|AU: deletes the configuration file of that scope (1 or -1).
int UnConfigFileAction(const ArgvList& args, std::string* output);

}  // namespace orvex

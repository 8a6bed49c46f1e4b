#pragma once
#include <memory>
#include <vector>

#include "setup/argv_handler.h"

namespace orvex {

// One object of every legacy command, in registration order (the order of the match
// tests and of the usage lines).
std::vector<std::unique_ptr<ArgvHandler>> MakeLegacyHandlers();

}  // namespace orvex

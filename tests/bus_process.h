#pragma once
// A bus server in a child process of its own, so a test can kill it.
#include <string>

#include "platform/process.h"

namespace orvex::test {

// Starts a bus on `base` in a child process; the child sets the named event `ready`
// once the bus listens. It ends by itself after two minutes if nobody kills it.
platform::ProcessObject* SpawnBusProcess(const std::string& base, const std::string& ready);

}  // namespace orvex::test

#pragma once
#include <cstddef>
#include <string>

namespace orvex::platform {

// Removes this user's shared objects that no process holds any more and answers how
// many went. POSIX: a holder killed with SIGKILL leaves its object files behind until
// their names are used again; the bus calls this at start so they do not pile up.
// Windows: kernel objects end with their last handle, so there is nothing to remove
// and the answer is 0. Any thread.
size_t SweepStaleObjects();

// Why this user's shared objects cannot be made, for error messages: POSIX names the
// folder and, when another user made it first, that user. "" when they can be made
// (always on Windows, whose kernel objects need no folder). Any thread.
std::string SharedObjectsProblem();

}  // namespace orvex::platform

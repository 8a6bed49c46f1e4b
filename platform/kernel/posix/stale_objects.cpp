#include "platform/stale_objects.h"

#include "named_object.h"

namespace orvex::platform {

size_t SweepStaleObjects() {
  return posix::SweepStaleObjects();
}

std::string SharedObjectsProblem() {
  return posix::ObjectFolderProblem();
}

}  // namespace orvex::platform

#include "platform/stale_objects.h"

#include "named_object.h"

namespace orvex::platform {

size_t SweepStaleObjects() {
  return posix::SweepStaleObjects();
}

}  // namespace orvex::platform

#pragma once
// Whether a mapping outlived its holders. POSIX: its file is still in the object folder
// (looking it up by name would remove a file nobody holds). Windows: a kernel object
// nobody holds is gone, so only a live holder keeps the name.
#include <string>

#include "platform/named_mapping.h"

#ifndef _WIN32
#include <unistd.h>

#include "platform/kernel/posix/named_object.h"
#endif

namespace orvex::test {

inline bool MappingLeft(const std::string& name) {
#ifndef _WIN32
  using platform::posix::ObjectFileName;
  using platform::posix::ObjectKind;
  const std::string file =
      platform::posix::ObjectFolder() + "/" + ObjectFileName(ObjectKind::kMapping, name);
  return access(file.c_str(), F_OK) == 0;
#else
  platform::MappingObject* mapping = platform::OpenMapping(name);
  platform::CloseMapping(mapping);
  return mapping != nullptr;
#endif
}

}  // namespace orvex::test

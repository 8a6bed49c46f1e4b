#include "platform/named_mapping.h"

#include <sys/mman.h>

#include "named_object.h"

namespace orvex::platform {

struct MappingObject {
  posix::SharedObject object;
};

MappingObject* CreateMapping(const std::string& name, uint32_t size,
                             const SecurityAttributes* /*security: always owner-only*/,
                             bool* already_existed) {
  auto* mapping = new MappingObject;
  bool existed = false;
  if (!posix::CreateOrAttach(posix::ObjectKind::kMapping, name, size, nullptr, &mapping->object,
                             &existed)) {
    delete mapping;
    return nullptr;
  }
  if (already_existed != nullptr) *already_existed = existed;
  return mapping;
}

MappingObject* OpenMapping(const std::string& name) {
  auto* mapping = new MappingObject;
  if (!posix::OpenExisting(posix::ObjectKind::kMapping, name, &mapping->object)) {
    delete mapping;
    return nullptr;
  }
  return mapping;
}

MappingView MapView(MappingObject* mapping, uint32_t size) {
  if (mapping == nullptr) return {};
  const size_t whole = mapping->object.size;
  // A view beyond the object would fault on access instead of failing here.
  if (size > whole || whole == 0) return {};
  const size_t length = size == 0 ? whole : size;
  void* base = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, mapping->object.fd, 0);
  if (base == MAP_FAILED) return {};
  return {base, length};
}

void UnmapView(MappingView view) {
  if (view.base != nullptr) munmap(view.base, view.length);
}

void CloseMapping(MappingObject* mapping) {
  if (mapping == nullptr) return;
  posix::Release(&mapping->object);
  delete mapping;
}

}  // namespace orvex::platform

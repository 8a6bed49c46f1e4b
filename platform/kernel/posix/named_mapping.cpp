#include "platform/named_mapping.h"
#include "platform/test_hooks.h"

#include "named_object.h"
#include "shared_views.h"

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
  void* base = posix::MapSharedView(mapping->object.fd, length);
  if (base == nullptr) return {};
  return {base, length};
}

void UnmapView(MappingView view) {
  posix::UnmapSharedView(view.base, view.length);
}

bool ViewLost(MappingView view) {
  return posix::SharedViewLost(view.base);
}

void CloseMapping(MappingObject* mapping) {
  if (mapping == nullptr) return;
  posix::Release(&mapping->object);
  delete mapping;
}

std::string NameLockPath() {
  return posix::NamespaceLockPath();
}

bool NameLockWasHeld() {
  return posix::NamespaceLockHeldElsewhere();
}

bool HoldNameLockForTesting(bool hold) {
  return posix::HoldNamespaceLockForTesting(hold);
}

}  // namespace orvex::platform

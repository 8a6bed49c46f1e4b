#include "transport/sf_shared_memory.h"

#include "platform/security.h"

namespace orvex {

bool SfSharedMemory::OpenOrCreate(bool create, const std::string& name, uint32_t size) {
  Close();
  if (name.empty()) return false;
  name_ = name;
  size_ = size;
  created_ = create ? 1 : 0;
  mapping_ =
      create ? platform::CreateMapping(name, size, platform::SharedSecurityAttributes(), nullptr)
             : platform::OpenMapping(name);
  if (mapping_ != nullptr) view_ = platform::MapView(mapping_, size);
  if (IsValid()) return true;
  Close();
  return false;
}

bool SfSharedMemory::OpenElseCreate4096(const std::string& name) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    Close();
    if (OpenOrCreate(false, name, 4096) || Create4096(name)) return true;
  }
  return false;
}

bool SfSharedMemory::Remap(uint32_t size) {
  platform::UnmapView(view_);
  view_ = {};
  size_ = size;
  view_ = platform::MapView(mapping_, size);
  return view_.base != nullptr;
}

void SfSharedMemory::Close() {
  platform::UnmapView(view_);
  view_ = {};
  platform::CloseMapping(mapping_);
  mapping_ = nullptr;
  name_.clear();
  created_ = 0;
  size_ = 0;
}

bool NameExists(const std::string& name) {
  platform::MappingObject* mapping = platform::OpenMapping(name);
  platform::CloseMapping(mapping);
  return mapping != nullptr;
}

}  // namespace orvex

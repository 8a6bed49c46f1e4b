#pragma once
#include <cstdint>
#include <string>

#include "platform/named_mapping.h"

namespace orvex {

// One named file mapping and its view. Created closed; every Create/Open first closes
// what the object held, and destruction closes.
class SfSharedMemory {
 public:
  SfSharedMemory() = default;
  ~SfSharedMemory() { Close(); }
  SfSharedMemory(const SfSharedMemory&) = delete;
  SfSharedMemory& operator=(const SfSharedMemory&) = delete;

  // create: makes a zero-filled mapping of `size` bytes, or attaches to an existing
  // one of that name (whose size is its creator's); otherwise opens an existing one.
  // Then maps `size` bytes. False, with the object closed, on any failure (an empty
  // name, no such mapping, a view larger than the mapping).
  bool OpenOrCreate(bool create, const std::string& name, uint32_t size);
  bool Create4096(const std::string& name) { return OpenOrCreate(true, name, 4096); }
  // Up to three attempts of: open an existing 4096-byte mapping, else create one.
  bool OpenElseCreate4096(const std::string& name);
  // Maps the object again with `size` bytes (0: the whole object); true with a view.
  bool Remap(uint32_t size);
  void Close();
  bool IsValid() const { return mapping_ != nullptr && view_.base != nullptr; }
  // Another process shrank the object under the view (see platform::ViewLost): the view
  // reads zeros from then on, and the object should be given up.
  bool lost() const { return platform::ViewLost(view_); }

  const std::string& name() const { return name_; }
  uint8_t created() const { return created_; }
  uint32_t size() const { return size_; }
  // Bytes actually mapped (the whole object after Remap(0)).
  size_t mapped_length() const { return view_.length; }
  uint8_t* view() const { return static_cast<uint8_t*>(view_.base); }

 private:
  std::string name_;
  uint8_t created_ = 0;
  uint32_t size_ = 0;
  platform::MappingObject* mapping_ = nullptr;
  platform::MappingView view_;
};

// True when a mapping named `name` exists. Only mappings are looked for: a mutex or
// event of that name does not count.
bool NameExists(const std::string& name);

}  // namespace orvex

// Executable classification on POSIX: the PE and ELF headers read directly.
#include "platform/binary_type.h"

#include <cstdint>
#include <cstring>
#include <fstream>

namespace orvex::platform {

namespace {

constexpr uint16_t kMachineI386 = 0x014C;
constexpr uint16_t kMachineAmd64 = 0x8664;
constexpr uint16_t kMachineArm64 = 0xAA64;
constexpr uint32_t kMaxPeOffset = 0x10000000;  // beyond this the header is not believable

uint32_t Le(const unsigned char* p, int bytes) {
  uint32_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | p[i];
  return value;
}

bool ReadAt(std::ifstream& file, uint32_t offset, unsigned char* out, size_t size) {
  file.clear();
  file.seekg(offset);
  file.read(reinterpret_cast<char*>(out), static_cast<std::streamsize>(size));
  return static_cast<size_t>(file.gcount()) == size;
}

bool PeType(std::ifstream& file, const unsigned char* dos, BinaryType* type) {
  const uint32_t pe_offset = Le(dos + 0x3C, 4);
  unsigned char pe[6];
  if (pe_offset >= 0x40 && pe_offset < kMaxPeOffset && ReadAt(file, pe_offset, pe, sizeof pe) &&
      std::memcmp(pe, "PE\0\0", 4) == 0) {
    const uint16_t machine = static_cast<uint16_t>(Le(pe + 4, 2));
    if (machine == kMachineI386) {
      *type = BinaryType::k32Bit;
    } else if (machine == kMachineAmd64 || machine == kMachineArm64) {
      *type = BinaryType::k64Bit;
    } else {
      *type = BinaryType::kOther;
    }
    return true;
  }
  *type = BinaryType::kOther;  // a DOS program, or a header we do not know
  return true;
}

}  // namespace

bool ClassifyExecutable(const std::string& path, BinaryType* type) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  unsigned char head[0x40];
  const bool full = ReadAt(file, 0, head, sizeof head);
  if (!full && file.gcount() < 5) return false;
  if (full && head[0] == 'M' && head[1] == 'Z') return PeType(file, head, type);
  if (std::memcmp(head,
                  "\x7F"
                  "ELF",
                  4) == 0) {
    if (head[4] == 1)
      *type = BinaryType::k32Bit;
    else if (head[4] == 2)
      *type = BinaryType::k64Bit;
    else
      return false;
    return true;
  }
  return false;
}

}  // namespace orvex::platform

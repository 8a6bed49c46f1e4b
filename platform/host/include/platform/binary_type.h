#pragma once
#include <string>

namespace orvex::platform {

// What kind of program a file holds, as GetBinaryTypeA classifies it.
enum class BinaryType {
  k32Bit,  // 32-bit Windows program (SCS_32BIT_BINARY)
  k64Bit,  // 64-bit Windows program (SCS_64BIT_BINARY)
  kOther,  // DOS, 16-bit or other executable
};

// Classifies the executable at `path`. False when the file cannot be read or is no
// executable. Windows: GetBinaryTypeA. POSIX: reads the PE header of Windows programs
// (machine i386 → 32-bit; x64 and ARM64 → 64-bit; an MZ file without a PE header is
// kOther) and the ELF class of native ones (ELFCLASS32/64 → 32/64-bit).
bool ClassifyExecutable(const std::string& path, BinaryType* type);

}  // namespace orvex::platform

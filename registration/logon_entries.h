#pragma once
#include <string>

#include "registration/auto_run.h"

// Installing the setup program's log-on entries and the per-user cleanup copy of the
// program, and starting the product's programs found in the installation folder.
namespace orvex {

// Finds "TavRegW.exe" (else "Pendrel.exe") below `folder`, then removes the entry's
// value everywhere and writes it per user or for all users. False when no program was
// found (the old entry then stays) or the write failed.
bool InstallLogonEntry(SfxRegNode_AutoRunBase& entry, const std::string& folder, bool per_user);

// Copies the program found below `folder` to CleanupCopyPath() (whatever its own
// name; an older copy is replaced) and writes the entry per user with the copy as its
// program, so that the user's next log-on can clean up after the all-users product
// has gone. False when no program was found, the copy failed or the write failed.
bool InstallCleanupEntry(SfxRegNode_AutoRunBase& entry, const std::string& folder);

// "TavXLUserCleanup\TavRegW.exe" in the user's local application-data folder; empty
// when that folder cannot be obtained.
std::string CleanupCopyPath();

// Finds the entry's program below `folder` and starts it with the entry's arguments
// (flag clear); true when it was started. Does not wait for it.
bool StartProgram(SfxRegNode_AutoRunBase& entry, const std::string& folder);

}  // namespace orvex

#pragma once
// The Corvane program's resources: identifiers, and their description for the POSIX
// backend (on Windows they are compiled from corvane.rc into the program).
#include "platform/resource_table.h"

namespace orvex::resources {

inline constexpr int kMainDialogId = 103;  // the About box, also the hidden main window
inline constexpr int kTrayMenuId = 104;    // "TrayPopup"
inline constexpr int kLargeIconId = 107;
inline constexpr int kSmallIconId = 108;
inline constexpr int kVersionTextId = 1031;  // static text replaced by the version
inline constexpr unsigned kAboutCommand = 40005;
inline constexpr unsigned kExitCommand = 40003;
inline constexpr const char* kMainDialogCaption = "Orvex RTD Bus";

// Dialog 103 as an in-memory template (the same facts as corvane.rc).
const platform::DialogTemplate& MainDialogTemplate();

// The whole table: dialog 103, menu 104, icons 107 and 108.
const platform::ResourceTable& CorvaneResources();

// Makes the table the program's resources (POSIX; does nothing on Windows, where the
// compiled resources are used). Call once at start-up before creating any window.
void InstallCorvaneResources();

}  // namespace orvex::resources

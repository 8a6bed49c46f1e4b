#pragma once
// The record in which every message reaches a wrapper.
#include <cstdint>

#include "platform/window.h"

namespace orvex::ui {

// Window, message and parameters as they arrived, then three result slots that start
// at zero for handlers to fill.
struct MessageRecord {
  platform::WindowHandle window = nullptr;
  uint32_t message = 0;
  platform::WParam wparam = 0;
  platform::LParam lparam = 0;
  intptr_t result[3] = {0, 0, 0};
};

}  // namespace orvex::ui

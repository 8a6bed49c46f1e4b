#pragma once
// Dialog templates and small helpers shared by the window framework's tests.
#include <cstdint>
#include <functional>

#include "platform/resource_table.h"
#include "platform/window.h"

namespace orvex::ui::test {

// A dialog with four controls: ids 10 (no flags), 11 (flags 8|4), 12 (8|4|2|1) and 13.
const platform::DialogTemplate& LayoutDialog();

// Pumps this thread's queue until `done` returns true or `timeout_ms` passes; returns
// whether `done` became true. WM_QUIT is put back and ends the pumping.
bool PumpUntil(const std::function<bool()>& done, uint32_t timeout_ms);

}  // namespace orvex::ui::test

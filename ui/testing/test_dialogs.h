#pragma once
// Dialog templates and small helpers shared by the window framework's tests.
#include <cstdint>
#include <functional>

#include "platform/resource_table.h"
#include "platform/window.h"

namespace orvex::ui::test {

// A dialog with six controls, ids 10 to 15 (the layout tests give them flags).
const platform::DialogTemplate& LayoutDialog();

// Pumps this thread's queue until `done` returns true or `timeout_ms` passes; returns
// whether `done` became true. WM_QUIT is put back and ends the pumping.
bool PumpUntil(const std::function<bool()>& done, uint32_t timeout_ms);

}  // namespace orvex::ui::test

#pragma once
// The process's table of window classes: each class name (compared without regard to
// case) maps to the procedure its windows run. Both backends keep it; Windows also
// registers the class with the system.
#include <string_view>

#include "platform/window.h"

namespace orvex::platform::window_classes {

// Adds `class_name` with `procedure`. False when the name is taken by another
// procedure; *added tells whether the entry is new (a second registration with the
// same procedure is accepted and changes nothing). Any thread.
bool Add(std::string_view class_name, WindowProcedure procedure, bool* added);

// The procedure of `class_name`, or null when no such class was added. Any thread.
WindowProcedure Find(std::string_view class_name);

}  // namespace orvex::platform::window_classes

#pragma once
// The process-wide map from window handle to the wrapper bound to it.
#include "platform/window.h"

namespace orvex::ui {

class CtrlBase;

// Created on first use and never destroyed. Used on the user-interface thread only, so
// it takes no lock. At most one wrapper per handle: entering a handle again replaces.
class WindowRegistry {
 public:
  static WindowRegistry& Instance();
  void Enter(platform::WindowHandle window, CtrlBase* wrapper);
  // Removes the entry only when it still belongs to `wrapper`.
  void Remove(platform::WindowHandle window, const CtrlBase* wrapper);
  // The wrapper bound to `window`, or null.
  CtrlBase* Find(platform::WindowHandle window) const;
  size_t size() const;

 private:
  WindowRegistry() = default;
};

}  // namespace orvex::ui

#pragma once
// Enumerators over the top-level windows of the desktop (Windows) or of this user's
// window table (POSIX). Each run passes every top-level window to OnWindow until it
// answers false. Messages are sent with SendWindowMessage, so a run waits for each
// target's message loop to answer. Objects are used by one thread at a time.
#include <cstdint>
#include <string>

#include "platform/window.h"

namespace orvex::system {

class WindowEnumerator {
 public:
  virtual ~WindowEnumerator() = default;

  // Begin(), every top-level window to OnWindow until it answers false, End().
  // False only when the windows could not be listed.
  bool Run();

  // Examines one window; false stops the enumeration.
  virtual bool OnWindow(platform::WindowHandle window) = 0;
  virtual void Begin() {}
  virtual void End() {}
};

// Sends WM_CLOSE to every window of class "XLMAIN" (any capitals) and counts them.
class ExcelQuitEnumerator : public WindowEnumerator {
 public:
  bool OnWindow(platform::WindowHandle window) override;
  void Begin() override { count_ = 0; }
  int32_t count() const { return count_; }

 private:
  int32_t count_ = 0;
};

// Counts the windows of class "XLMAIN" (any capitals); sends nothing.
class ExcelCountEnumerator : public WindowEnumerator {
 public:
  bool OnWindow(platform::WindowHandle window) override;
  void Begin() override { count_ = 0; }
  int32_t count() const { return count_; }

 private:
  int32_t count_ = 0;
};

// Sends WM_CLOSE to a window whose title begins with the caption or, when that is not
// empty, the alternative caption (byte for byte, case counts). With stop-after-first
// the run ends after the first match, so one run closes at most one window.
class CaptionTextQuitEnumerator : public WindowEnumerator {
 public:
  CaptionTextQuitEnumerator(std::string caption, std::string alternative_caption,
                            bool stop_after_first);
  bool OnWindow(platform::WindowHandle window) override;
  // Whether `title` matches the captions as OnWindow tests them.
  bool Matches(const std::string& title) const;

 private:
  std::string caption_;
  std::string alternative_caption_;
  bool stop_after_first_;
};

// "Dravik".
class DravikQuitEnumerator : public CaptionTextQuitEnumerator {
 public:
  DravikQuitEnumerator();
};

// "Palomir RTD Bus" or "Orvex RTD Bus" (the bus's main window).
class CorvaneQuitEnumerator : public CaptionTextQuitEnumerator {
 public:
  CorvaneQuitEnumerator();
};

// "Palomir Tav Bus" or "Orvex Tav Bus".
class TavBusWAppQuitEnumerator : public CaptionTextQuitEnumerator {
 public:
  TavBusWAppQuitEnumerator();
};

// "Tav Watchdog" or "Orvex Watchdog".
class TavWatchdogQuitEnumerator : public CaptionTextQuitEnumerator {
 public:
  TavWatchdogQuitEnumerator();
};

// The first window whose title begins with "Tav Publisher" gets WM_QUERYENDSESSION and
// then WM_CLOSE; the run ends there.
class TavPublisherQuitEnumerator : public WindowEnumerator {
 public:
  bool OnWindow(platform::WindowHandle window) override;
};

}  // namespace orvex::system

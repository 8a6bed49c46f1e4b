// The window enumerators: Excel by window class, the product's programs by title.
#include "system/window_enumerators.h"

#include <cctype>

#include "platform/window_messages.h"

namespace orvex::system {

namespace {

constexpr char kExcelClass[] = "XLMAIN";

bool IsExcelWindow(platform::WindowHandle window) {
  const std::string class_name = platform::WindowClassName(window);
  if (class_name.size() != sizeof kExcelClass - 1) return false;
  for (size_t i = 0; i < class_name.size(); ++i) {
    const auto a = static_cast<unsigned char>(class_name[i]);
    const auto b = static_cast<unsigned char>(kExcelClass[i]);
    if (std::toupper(a) != b) return false;
  }
  return true;
}

}  // namespace

bool WindowEnumerator::Run() {
  Begin();
  const bool listed =
      platform::EnumerateTopLevelWindows([this](platform::WindowHandle w) { return OnWindow(w); });
  End();
  return listed;
}

bool ExcelQuitEnumerator::OnWindow(platform::WindowHandle window) {
  if (IsExcelWindow(window)) {
    ++count_;
    platform::SendWindowMessage(window, platform::WM_CLOSE, 0, 0);
  }
  return true;
}

bool ExcelCountEnumerator::OnWindow(platform::WindowHandle window) {
  if (IsExcelWindow(window)) ++count_;
  return true;
}

CaptionTextQuitEnumerator::CaptionTextQuitEnumerator(std::string caption,
                                                     std::string alternative_caption,
                                                     bool stop_after_first)
    : caption_(std::move(caption)),
      alternative_caption_(std::move(alternative_caption)),
      stop_after_first_(stop_after_first) {}

bool CaptionTextQuitEnumerator::Matches(const std::string& title) const {
  if (title.empty()) return false;
  return title.starts_with(caption_) ||
         (!alternative_caption_.empty() && title.starts_with(alternative_caption_));
}

bool CaptionTextQuitEnumerator::OnWindow(platform::WindowHandle window) {
  if (!Matches(platform::WindowText(window))) return true;
  platform::SendWindowMessage(window, platform::WM_CLOSE, 0, 0);
  return !stop_after_first_;
}

DravikQuitEnumerator::DravikQuitEnumerator() : CaptionTextQuitEnumerator("Dravik", "", true) {}

CorvaneQuitEnumerator::CorvaneQuitEnumerator()
    : CaptionTextQuitEnumerator("Palomir RTD Bus", "Orvex RTD Bus", true) {}

TavBusWAppQuitEnumerator::TavBusWAppQuitEnumerator()
    : CaptionTextQuitEnumerator("Palomir Tav Bus", "Orvex Tav Bus", true) {}

TavWatchdogQuitEnumerator::TavWatchdogQuitEnumerator()
    : CaptionTextQuitEnumerator("Tav Watchdog", "Orvex Watchdog", true) {}

bool TavPublisherQuitEnumerator::OnWindow(platform::WindowHandle window) {
  if (!platform::WindowText(window).starts_with("Tav Publisher")) return true;
  platform::SendWindowMessage(window, platform::WM_QUERYENDSESSION, 0, 0);
  platform::SendWindowMessage(window, platform::WM_CLOSE, 0, 0);
  return false;
}

}  // namespace orvex::system

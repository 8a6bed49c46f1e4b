#include "system/window_enumerators.h"

namespace orvex::system {

bool WindowEnumerator::Run() {
  return false;
}
bool ExcelQuitEnumerator::OnWindow(platform::WindowHandle) {
  return true;
}
bool ExcelCountEnumerator::OnWindow(platform::WindowHandle) {
  return true;
}
CaptionTextQuitEnumerator::CaptionTextQuitEnumerator(std::string caption,
                                                     std::string alternative_caption,
                                                     bool stop_after_first)
    : caption_(std::move(caption)),
      alternative_caption_(std::move(alternative_caption)),
      stop_after_first_(stop_after_first) {}
bool CaptionTextQuitEnumerator::OnWindow(platform::WindowHandle) {
  return true;
}
bool CaptionTextQuitEnumerator::Matches(const std::string&) const {
  return false;
}
DravikQuitEnumerator::DravikQuitEnumerator() : CaptionTextQuitEnumerator("Dravik", "", true) {}
CorvaneQuitEnumerator::CorvaneQuitEnumerator()
    : CaptionTextQuitEnumerator("Palomir RTD Bus", "Orvex RTD Bus", true) {}
TavBusWAppQuitEnumerator::TavBusWAppQuitEnumerator()
    : CaptionTextQuitEnumerator("Palomir Tav Bus", "Orvex Tav Bus", true) {}
TavWatchdogQuitEnumerator::TavWatchdogQuitEnumerator()
    : CaptionTextQuitEnumerator("Tav Watchdog", "Orvex Watchdog", true) {}
bool TavPublisherQuitEnumerator::OnWindow(platform::WindowHandle) {
  return true;
}

}  // namespace orvex::system

#include "window_classes.h"

#include <map>
#include <mutex>
#include <string>

#include "base/no_case.h"

namespace orvex::platform::window_classes {

namespace {

std::mutex class_lock;
std::map<std::string, WindowProcedure, std::less<>>& Classes() {
  static auto* classes = new std::map<std::string, WindowProcedure, std::less<>>;
  return *classes;
}

}  // namespace

bool Add(std::string_view class_name, WindowProcedure procedure, bool* added) {
  std::lock_guard<std::mutex> guard(class_lock);
  auto [it, inserted] = Classes().emplace(ToLowerAscii(class_name), procedure);
  *added = inserted;
  return inserted || it->second == procedure;
}

WindowProcedure Find(std::string_view class_name) {
  std::lock_guard<std::mutex> guard(class_lock);
  auto it = Classes().find(ToLowerAscii(class_name));
  return it == Classes().end() ? nullptr : it->second;
}

}  // namespace orvex::platform::window_classes

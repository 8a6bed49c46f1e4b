#include "registration/auto_run.h"

#include <iterator>

#include "base/trim_space.h"
#include "registration/component_file.h"
#include "registry/reg_key_path.h"

namespace orvex {

const char* const kRunKeyPath = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

namespace {

// A value deleted but still found (a store that lies) must not loop for ever.
constexpr int kMaxDeletes = 16;

SfRegKeyPath RunKey(const RegPlace& place) {
  return SfRegKeyPath(place.root, kRunKeyPath, place.view64);
}

std::string Trim(const std::string& text) {
  return std::string(TrimSpace(text));
}

}  // namespace

void SfxRegNode_AutoRunBase::Refresh(bool flag) {
  value_name_ = GetValueName();
  command_path_ = exe_path_;
  arguments_ = GetArguments(flag);
}

bool SfxRegNode_AutoRunBase::FindExe(const std::string& folder) {
  if (FindComponentFile(folder, GetExeName(), &exe_path_)) return true;
  const std::string alternative = GetAltExeName();
  return !alternative.empty() && FindComponentFile(folder, alternative, &exe_path_);
}

std::string SfxRegNode_AutoRunBase::CommandLine() const {
  const std::string path = Trim(command_path_);
  const bool quoted = path.size() >= 2 && path.front() == '"' && path.back() == '"';
  std::string line = quoted ? path : "\"" + path + "\"";
  const std::string arguments = Trim(arguments_);
  if (!arguments.empty()) line += " " + arguments;
  return line;
}

bool SfxRegNode_AutoRunBase::Register(bool per_user) {
  if (value_name_.empty() || Trim(command_path_).empty()) return false;
  const SfRegKeyPath run(per_user ? RegRoot::kCurrentUser : RegRoot::kLocalMachine, kRunKeyPath);
  return run.Create() && run.WriteString(value_name_, CommandLine());
}

bool SfxRegNode_AutoRunBase::IsRegistered() {
  Refresh(false);
  if (value_name_.empty()) return false;
  for (const RegPlace& place : kRegPlaces) {
    if (RunKey(place).ValueExists(value_name_)) return true;
  }
  return false;
}

bool SfxRegNode_AutoRunBase::IsRegisteredForAllUsers() {
  Refresh(false);
  if (value_name_.empty()) return false;
  return RunKey(kRegPlaces[0]).ValueExists(value_name_) ||
         RunKey(kRegPlaces[1]).ValueExists(value_name_);
}

bool SfxRegNode_AutoRunBase::Unregister(bool per_user_only) {
  Refresh(false);
  if (value_name_.empty()) return true;
  const size_t first = per_user_only ? 2 : 0;  // the per-user places come last
  for (int pass = 0; pass < kMaxDeletes; ++pass) {
    const RegPlace* found = nullptr;
    for (size_t i = first; i < std::size(kRegPlaces); ++i) {
      const RegPlace& place = kRegPlaces[i];
      if (RunKey(place).ValueExists(value_name_)) {
        found = &place;
        break;
      }
    }
    if (!found) return true;
    if (!RunKey(*found).DeleteValue(value_name_)) return false;
  }
  return false;
}

}  // namespace orvex

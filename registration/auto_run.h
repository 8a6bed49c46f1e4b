#pragma once
#include <string>

#include "registry/reg_key_path.h"

// A log-on entry: a value under "Software\Microsoft\Windows\CurrentVersion\Run" whose
// text is the quoted program path and its arguments. Concrete entries answer their
// value name, arguments and program file; the product's own programs can also be
// stopped. The Run values are written in the default registry view; tests and
// removals look in both views of both roots.
namespace orvex {

class SfxRegNode_AutoRunBase {
 public:
  virtual ~SfxRegNode_AutoRunBase() = default;

  virtual std::string GetValueName() const = 0;
  virtual std::string GetArguments(bool flag) const = 0;
  virtual std::string GetExeName() const = 0;
  // Closes the program; true when it is no longer running.
  virtual bool StopProgram() = 0;
  virtual std::string GetAltExeName() const { return ""; }

  // value name, command path (= the found program) and arguments from the entry.
  void Refresh(bool flag = false);
  // Looks for the program below `folder`, then for the alternative program.
  bool FindExe(const std::string& folder);
  // Writes the command line (quoted command path, a blank and the arguments when
  // there are any) under HKEY_CURRENT_USER (per_user) or HKEY_LOCAL_MACHINE, creating
  // the Run key. False without a value name or command path.
  bool Register(bool per_user);
  // The value exists in any of: all users 64-bit view, all users default view, per
  // user 64-bit view, per user default view.
  bool IsRegistered();
  // The value exists in one of the two all-users places.
  bool IsRegisteredForAllUsers();
  // Deletes the value from every place holding it (with `per_user_only` from the two
  // per-user places only); false as soon as a delete fails.
  bool Unregister(bool per_user_only = false);

  // The command line Register writes for the current fields.
  std::string CommandLine() const;

  const std::string& exe_path() const { return exe_path_; }
  const std::string& arguments() const { return arguments_; }
  void set_command_path(std::string path) { command_path_ = std::move(path); }

 private:
  std::string exe_path_;
  std::string value_name_;
  std::string command_path_;
  std::string arguments_;
};

// "Software\Microsoft\Windows\CurrentVersion\Run".
extern const char* const kRunKeyPath;

// The four places a registration may sit in, in the order they are searched: all
// users before per user, the 64-bit view before the default view.
struct RegPlace {
  RegRoot root;
  bool view64;
};
inline constexpr RegPlace kRegPlaces[] = {
    {RegRoot::kLocalMachine, true},
    {RegRoot::kLocalMachine, false},
    {RegRoot::kCurrentUser, true},
    {RegRoot::kCurrentUser, false},
};

}  // namespace orvex

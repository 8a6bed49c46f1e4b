#pragma once
#include <string>

#include "setup/argv_list.h"

namespace orvex {

// One command of the legacy grammar, as the dispatcher sees it. Handlers are owned
// by the dispatcher and used from its one thread.
class ArgvHandler {
 public:
  virtual ~ArgvHandler() = default;
  // Whether this command accepts the argument vector.
  virtual bool Matches(const ArgvList& args) const = 0;
  // The command's line of the usage text (without the leading "\n\t").
  virtual std::string Usage() const = 0;
  // Runs the command; the integer becomes the exit code, output() holds its text.
  virtual int Execute(const ArgvList& args) = 0;
  virtual const std::string& output() const = 0;

 protected:
  // The command's own work on its argument (empty for a command without one).
  virtual int Run(const std::string& argument) = 0;
};

// Matching, usage line and the run sequence shared by every command: a command takes
// its argument from element 2 when it has a placeholder, else none. Execute empties
// the output, calls Run, writes "Status: " + result when Run wrote nothing, and turns
// an exception into "Error: " text and -1 (allocation failure excepted).
class RtdSetupArgvHandlerBase : public ArgvHandler {
 public:
  RtdSetupArgvHandlerBase(std::string name, std::string placeholder, std::string description);

  // Exactly 3 elements (with a placeholder) or 2 (without); element 1 equals the
  // name without regard to case.
  bool Matches(const ArgvList& args) const override;
  // stem + " " + name [+ " " + placeholder] + " => " + description, stem being the
  // running program's file name without extension.
  std::string Usage() const override;
  int Execute(const ArgvList& args) override;
  const std::string& output() const override { return output_; }

 protected:
  std::string output_;

 private:
  std::string name_;
  std::string placeholder_;
  std::string description_;
};

}  // namespace orvex

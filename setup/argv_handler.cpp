#include "setup/argv_handler.h"

#include <new>

#include "base/no_case.h"
#include "platform/process.h"
#include "setup/com_error.h"

namespace orvex {

RtdSetupArgvHandlerBase::RtdSetupArgvHandlerBase(std::string name, std::string placeholder,
                                                 std::string description)
    : name_(std::move(name)),
      placeholder_(std::move(placeholder)),
      description_(std::move(description)) {}

bool RtdSetupArgvHandlerBase::Matches(const ArgvList& args) const {
  const int32_t wanted = placeholder_.empty() ? 2 : 3;
  return args.count() == wanted && EqualsNoCase(args.Arg(1), name_);
}

std::string RtdSetupArgvHandlerBase::Usage() const {
  std::string line = ProgramStem(platform::CurrentExecutablePath()) + " " + name_;
  if (!placeholder_.empty()) line += " " + placeholder_;
  return line + " => " + description_;
}

int RtdSetupArgvHandlerBase::Execute(const ArgvList& args) {
  output_.clear();
  try {
    const int result = Run(placeholder_.empty() ? std::string() : args.Arg(2));
    if (output_.empty()) output_ = "Status: " + std::to_string(result);
    return result;
  } catch (const ComError& error) {
    output_ += "Error: " + error.ErrorMessage() + "\n";
  } catch (const std::bad_alloc&) {
    throw;  // out of memory is not a command's failure: let it end the process
  } catch (...) {
    output_ += "Error: Unspecified\n";
  }
  return -1;
}

}  // namespace orvex

#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orvex {

// The argument vector of one run: element 0 is the full path of the running program,
// the others are the tokens of its command line. Copies are cheap enough for the few
// elements a command line has.
class ArgvList {
 public:
  ArgvList() = default;
  ArgvList(std::string program, const std::vector<std::string>& tokens);

  int32_t count() const { return static_cast<int32_t>(elements_.size()); }
  // A copy of element `index`; the empty text when the index is negative or not below
  // the count.
  std::string Arg(int32_t index) const;

 private:
  std::vector<std::string> elements_;
};

// Splits a command-line tail into tokens: white space (isspace) separates them; a
// double quote with a partner later on gives the text strictly between the two (also
// an empty token); a quote without a partner is an ordinary character. No escapes;
// tokens are never joined, so text right after a closing quote starts a new token.
std::vector<std::string> SplitCommandTail(std::string_view tail);

// What follows the program name of a full command line, white space trimmed at both
// ends: leading white space is skipped, then a quoted name up to and including its
// closing quote, otherwise the first run of non-blank characters.
std::string CommandLineParameters(std::string_view command_line);

// The program's file name without directory (text after the last "\" or "/") and
// without extension (text before the last "."; a name without "." is used whole).
std::string ProgramStem(std::string_view program_path);

}  // namespace orvex

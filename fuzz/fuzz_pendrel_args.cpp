// Feeds arbitrary text to Pendrel's command-line handling as its command line: the
// program-name cut, the splitting, the argument vector, the simplified-grammar parser
// and the dispatcher's choice of grammar. Nothing is run: an installer's command line
// must never crash the program before it has decided what to do.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "setup/argv_list.h"
#include "setup/rtd_setup_args.h"
#include "setup/rtd_setup_dispatcher.h"

namespace orvex {
namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

bool IsSpace(char c) {
  return std::isspace(static_cast<unsigned char>(c)) != 0;
}

// Tokens written back as a command tail: quoted when empty or holding white space.
// A token without quotes must split back to itself.
void CheckSplitRoundTrip(const std::vector<std::string>& tokens) {
  std::string tail;
  std::vector<std::string> quotable;
  for (const std::string& token : tokens) {
    if (token.find('"') != std::string::npos) continue;
    quotable.push_back(token);
    tail += " \"" + token + "\"";
  }
  Check(SplitCommandTail(tail) == quotable);
}

void CheckParse(const ArgvList& args, const RtdSetupArgs& parsed) {
  if (args.count() < 2) {
    Check(parsed.error == "Too few arguments" && parsed.action.empty() && !parsed.not_an_action);
    return;
  }
  Check(parsed.program == args.Arg(0) && parsed.action == args.Arg(1));
  const bool is_action = FindSetupAction(parsed.action) != SetupAction::kNone;
  Check(parsed.not_an_action == !is_action);
  if (!is_action) {
    Check(parsed.error == "Action not recognized: " + parsed.action);
    return;
  }
  const std::string& e = parsed.error;
  Check(e.empty() || e.starts_with("Repeated switch /") || e.starts_with("Unknown switch: /") ||
        e.starts_with("Unexpected argument: "));
  // Parsing again gives the same answer: nothing is left over from the first run.
  RtdSetupArgs again = parsed;
  again.Parse(args);
  Check(again.error == parsed.error && again.folder == parsed.folder &&
        again.all_users == parsed.all_users && again.switch_s == parsed.switch_s &&
        again.no_auto_run == parsed.no_auto_run);
}

void CheckDecision(const RtdSetupDispatcher& dispatcher, const ArgvList& args) {
  const SetupDecision decision = dispatcher.Decide(args);
  CheckParse(args, decision.parsed);
  const auto& handlers = dispatcher.handlers();
  using Kind = SetupDecision::Kind;
  switch (decision.kind) {
    case Kind::kLegacy:
      // The first handler that matches; a legacy command takes one or two words.
      Check(decision.parsed.not_an_action && decision.handler < handlers.size());
      Check(args.count() == 2 || args.count() == 3);
      Check(handlers[decision.handler]->Matches(args));
      for (size_t i = 0; i < decision.handler; ++i) Check(!handlers[i]->Matches(args));
      break;
    case Kind::kUsage:
      Check(args.count() >= 2 && decision.parsed.not_an_action);
      for (const auto& handler : handlers) Check(!handler->Matches(args));
      break;
    case Kind::kHelp:
      Check(decision.action == SetupAction::kHelp);
      break;
    case Kind::kParseError:
      Check(!decision.parsed.error.empty() && decision.action != SetupAction::kHelp);
      break;
    case Kind::kAction:
      Check(decision.parsed.error.empty() && decision.action != SetupAction::kNone &&
            decision.action != SetupAction::kHelp);
      break;
  }
}

}  // namespace
}  // namespace orvex

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace orvex;
  static const RtdSetupDispatcher dispatcher;
  const std::string_view line(reinterpret_cast<const char*>(data), size);

  // The whole command line, program name included, as the entry point receives it.
  const std::string parameters = CommandLineParameters(line);
  Check(parameters.size() <= line.size());
  Check(parameters.empty() || (!IsSpace(parameters.front()) && !IsSpace(parameters.back())));

  const std::vector<std::string> tokens = SplitCommandTail(parameters);
  size_t total = 0;
  for (const std::string& token : tokens) total += token.size();
  Check(total <= parameters.size());
  CheckSplitRoundTrip(tokens);

  const ArgvList args("C:\\Program Files\\Orvex\\Pendrel.exe", tokens);
  Check(args.count() == static_cast<int32_t>(tokens.size()) + 1);
  Check(args.Arg(-1).empty() && args.Arg(args.count()).empty());
  CheckDecision(dispatcher, args);

  // The same tokens behind a program path taken from the input: the stem is cut from it.
  if (!tokens.empty()) {
    const ArgvList named(tokens[0], std::vector<std::string>(tokens.begin() + 1, tokens.end()));
    const std::string stem = ProgramStem(named.Arg(0));
    Check(stem.find_first_of("\\/") == std::string::npos);
    CheckDecision(dispatcher, named);
  }
  return 0;
}

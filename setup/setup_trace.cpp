#include "setup/setup_trace.h"

#include <string>

#include "threading/trace.h"

namespace orvex {

namespace {

const char* Scope(const SetupActionInputs& inputs) {
  return inputs.all_users ? "All  Users" : "Current user";
}

// The text after "RtdSetupDispatcher::Execute"; false for an action without a line.
bool Label(SetupAction action, const SetupActionInputs& inputs, const ArgvList& args,
           std::string* label) {
  switch (action) {
    case SetupAction::kTavXL:
      *label = std::string(" TavXL ") + Scope(inputs);
      return true;
    case SetupAction::kRtd:
      *label = std::string(" RTD  ") + Scope(inputs);
      return true;
    case SetupAction::kStop:
      *label = " Stop  ";
      return true;
    case SetupAction::kDrop:
      *label = " Drop  ";
      return true;
    case SetupAction::kClean:
      *label = " Clean  ";
      return true;
    case SetupAction::kTest:
      *label = " Test  ";
      return true;
    case SetupAction::kRunCU:
      *label = " RunCU  ";
      return true;
    case SetupAction::kRunAU:
      *label = " RunAU  ";
      return true;
    case SetupAction::kCleanCU:
      *label = " CleanCU  ";
      return true;
    case SetupAction::kRtdRunCU:
      *label = " RunRTDCU ";
      return true;
    case SetupAction::kRtdRunAU:
      *label = " RunRTDAU ";
      return true;
    case SetupAction::kRtdClean:
      *label = " CleanRTD ";
      return true;
    case SetupAction::kRtdCleanAU:
      *label = " CleanRTDAU ";
      return true;
    case SetupAction::kRtdCleanCU:
      *label = " CleanRTDCU ";
      return true;
    case SetupAction::kConfigFile:
      *label = args.Arg(1) + " " + args.Arg(2) + " " + args.Arg(3) + " " + args.Arg(4) + " ";
      return true;
    case SetupAction::kTLAdd:
      *label = " TLAdd " + inputs.folder;
      return true;
    case SetupAction::kTLRemove:
      *label = " TLRemove " + inputs.folder;
      return true;
    case SetupAction::kTLCheck:
      *label = " TLCheck " + inputs.folder;
      return true;
    default:
      return false;
  }
}

}  // namespace

void TraceAction(SetupAction action, const SetupActionInputs& inputs, const ArgvList& args) {
  std::string label;
  if (!Label(action, inputs, args, &label)) return;
  TraceStream& dbg = TraceDbg();
  dbg.Begin();
  dbg.Append("RtdSetupDispatcher::Execute");
  dbg.Append(label);
  dbg.Flush();
}

}  // namespace orvex

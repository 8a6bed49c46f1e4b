#pragma once
#include "setup/argv_list.h"
#include "setup/rtd_setup_args.h"
#include "setup/setup_actions.h"

namespace orvex {

// Writes the action's "DBG" line, "RtdSetupDispatcher::Execute" + its label (with
// the scope, the folder or the configuration elements where the action has them), as
// one composed line. Actions without a label write nothing.
void TraceAction(SetupAction action, const SetupActionInputs& inputs, const ArgvList& args);

}  // namespace orvex

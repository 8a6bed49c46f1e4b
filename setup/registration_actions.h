#pragma once
#include <string>

#include "setup/rtd_setup_args.h"
#include "setup/setup_actions.h"

namespace orvex {

// The actions over the registration flows (TavXL, RTD, their run and clean flows,
// the known XLLs, Stop, Drop, Clean) and TEST: appends their report lines and
// answers 1/0 from the last flow. May restart the process elevated.
int RunRegistrationAction(SetupAction action, const SetupActionInputs& inputs, std::string* report);

}  // namespace orvex

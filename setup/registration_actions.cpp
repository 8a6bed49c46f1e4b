#include "setup/registration_actions.h"

namespace orvex {

// Placeholder until the registration flows are linked: says so and fails.
int RunRegistrationAction(SetupAction, const SetupActionInputs&, std::string* report) {
  *report += "Registration flows are not part of this build";
  return -1;
}

}  // namespace orvex

#include "registration/program_entries.h"

#include "system/program_control.h"

namespace orvex {

bool SfxRegNode_Vantel::StopProgram() {
  return system::CloseCorvaneAndWait(10000);
}

bool SfxRegNode_TavBus::StopProgram() {
  return system::CloseTavBusAppAndWait(10000);
}

bool SfxRegNode_TavPublisher::StopProgram() {
  return system::CloseTavPublisherAndWait(15000);
}

bool SfxRegNode_TavWatchdog::StopProgram() {
  return system::CloseTavWatchdogAndWait();
}

}  // namespace orvex

// The action's trace line: exact labels with their blanks, the scope, the folder, the
// configuration elements, and no line for the actions that have none.
#include "setup/setup_trace.h"

#include <gtest/gtest.h>

#include "threading/trace.h"

namespace orvex {
namespace {

std::string TraceOf(SetupAction action, bool all_users = false,
                    std::vector<std::string> tokens = {}) {
  TraceLine(kTraceDbg, "(none)");
  SetupActionInputs inputs;
  inputs.folder = "C:\\Orvex\\";
  inputs.all_users = all_users;
  TraceAction(action, inputs, ArgvList("C:\\Pendrel.exe", tokens));
  return TheTraceRecord().text;
}

TEST(SetupTraceTest, LabelsKeepTheirBlanksAndScopes) {
  const std::string prefix = "RtdSetupDispatcher::Execute";
  EXPECT_EQ(TraceOf(SetupAction::kTavXL, true), prefix + " TavXL All  Users");
  EXPECT_EQ(TraceOf(SetupAction::kTavXL, false), prefix + " TavXL Current user");
  EXPECT_EQ(TraceOf(SetupAction::kRtd, true), prefix + " RTD  All  Users");
  EXPECT_EQ(TraceOf(SetupAction::kStop), prefix + " Stop  ");
  EXPECT_EQ(TraceOf(SetupAction::kDrop), prefix + " Drop  ");
  EXPECT_EQ(TraceOf(SetupAction::kClean), prefix + " Clean  ");
  EXPECT_EQ(TraceOf(SetupAction::kTest), prefix + " Test  ");
  EXPECT_EQ(TraceOf(SetupAction::kRunCU), prefix + " RunCU  ");
  EXPECT_EQ(TraceOf(SetupAction::kRunAU), prefix + " RunAU  ");
  EXPECT_EQ(TraceOf(SetupAction::kCleanCU), prefix + " CleanCU  ");
  EXPECT_EQ(TraceOf(SetupAction::kRtdRunCU), prefix + " RunRTDCU ");
  EXPECT_EQ(TraceOf(SetupAction::kRtdRunAU), prefix + " RunRTDAU ");
  EXPECT_EQ(TraceOf(SetupAction::kRtdClean), prefix + " CleanRTD ");
  EXPECT_EQ(TraceOf(SetupAction::kRtdCleanAU), prefix + " CleanRTDAU ");
  EXPECT_EQ(TraceOf(SetupAction::kRtdCleanCU), prefix + " CleanRTDCU ");
  EXPECT_EQ(TraceOf(SetupAction::kTLRemove), prefix + " TLRemove C:\\Orvex\\");
  // Built from elements 1 to 4, missing ones empty, each followed by a blank.
  EXPECT_EQ(TraceOf(SetupAction::kConfigFile, false, {"ConfigFile", "AU"}),
            prefix + "ConfigFile AU   ");
}

TEST(SetupTraceTest, SomeActionsWriteNoLine) {
  for (const SetupAction action :
       {SetupAction::kRegXll, SetupAction::kCleanXll, SetupAction::kCleanAU,
        SetupAction::kSelfDelete, SetupAction::kUnConfigFile, SetupAction::kHelp}) {
    EXPECT_EQ(TraceOf(action), "(none)") << static_cast<int>(action);
  }
}

}  // namespace
}  // namespace orvex

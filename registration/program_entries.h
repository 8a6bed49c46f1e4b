#pragma once
#include <string>

#include "registration/auto_run.h"

// The product's programs as log-on entries. This system never writes their Run values;
// it finds, starts and stops the programs and removes values an older installer left.
// StopProgram closes the program's windows and waits for the process to end.
namespace orvex {

// The bus, "Corvane.exe", started with "/regXLL".
class SfxRegNode_Vantel : public SfxRegNode_AutoRunBase {
 public:
  std::string GetValueName() const override { return "Vantel"; }
  std::string GetArguments(bool flag) const override { return flag ? "" : "/regXLL"; }
  std::string GetExeName() const override { return "Corvane.exe"; }
  bool StopProgram() override;  // waits up to 10 s
};

class SfxRegNode_TavBus : public SfxRegNode_AutoRunBase {
 public:
  std::string GetValueName() const override { return "TavBus"; }
  std::string GetArguments(bool flag) const override { return flag ? "" : "/regXLL"; }
  std::string GetExeName() const override { return "TavBusAppW.exe"; }
  bool StopProgram() override;  // waits up to 10 s
};

class SfxRegNode_TavPublisher : public SfxRegNode_AutoRunBase {
 public:
  std::string GetValueName() const override { return "TavPublisher"; }
  std::string GetArguments(bool) const override { return ""; }
  std::string GetExeName() const override { return "TavPublisher.exe"; }
  bool StopProgram() override;  // waits up to 15 s
};

class SfxRegNode_TavWatchdog : public SfxRegNode_AutoRunBase {
 public:
  std::string GetValueName() const override { return "TavWatchdog"; }
  std::string GetArguments(bool) const override { return ""; }
  std::string GetExeName() const override { return "TavWatchdogW.exe"; }
  bool StopProgram() override;  // waits up to 10 s
};

}  // namespace orvex

#pragma once
#include <string>

#include "registration/auto_run.h"

// The setup program's own log-on entries: at log-on Windows runs "TavRegW.exe" (or,
// when the installation has none, "Pendrel.exe") with one of its command words, so
// that an installation is completed or cleaned for each user. Nothing to stop.
namespace orvex {

struct SfxRegNode_TavRegTool {
  class Entry : public SfxRegNode_AutoRunBase {
   public:
    Entry(const char* value_name, const char* command)
        : value_name_(value_name), command_(command) {}
    std::string GetValueName() const override { return value_name_; }
    std::string GetArguments(bool) const override { return command_; }
    std::string GetExeName() const override { return "TavRegW.exe"; }
    std::string GetAltExeName() const override { return "Pendrel.exe"; }
    bool StopProgram() override { return true; }

   private:
    const char* value_name_;
    const char* command_;
  };

  // Per-user TavXL installation: register and run at each log-on.
  struct TRegCU : Entry {
    TRegCU() : Entry("TavRunCU", "RunCU") {}
  };
  // All-users TavXL installation: complete it for each user at log-on.
  struct TRegAU : Entry {
    TRegAU() : Entry("TavRunAU", "RunAU") {}
  };
  // Per-user cleanup after the all-users TavXL product is gone.
  struct TCleanAU : Entry {
    TCleanAU() : Entry("TavCleanAU", "CleanAU") {}
  };
  struct TRegRTDCU : Entry {
    TRegRTDCU() : Entry("RTDRunCU", "RTDRunCU") {}
  };
  struct TRegRTDAU : Entry {
    TRegRTDAU() : Entry("RTDRunAU", "RTDRunAU") {}
  };
  struct TCleanRTDAU : Entry {
    TCleanRTDAU() : Entry("RTDCleanAU", "RTDCleanAU") {}
  };
};

}  // namespace orvex

#include "registration/auto_run.h"
#include "registration/sf_reg_util_v2.h"
#include "registration/tavxl_product.h"

namespace orvex::SfRegUtil_V2 {

namespace {

// The Run values of the TavXL product: its log-on entries and its programs.
constexpr const char* kRunValues[] = {"TavRunCU",     "TavRunAU", "TavCleanAU",
                                      "TavPublisher", "TavBus",   "TavWatchdog"};

}  // namespace

std::vector<SfRegKeyPath> TavXLRegistryEntries() {
  std::vector<SfRegKeyPath> entries;
  const std::vector<std::string> paths = TavXLProduct("", false).KeyPaths();
  for (const RegPlace& place : kRegPlaces) {
    for (const std::string& path : paths) {
      const SfRegKeyPath key(place.root, path, place.view64);
      if (key.Exists()) entries.push_back(key);
    }
    const SfRegKeyPath run(place.root, kRunKeyPath, place.view64);
    for (const char* value : kRunValues) {
      if (run.ValueExists(value)) {
        entries.push_back(run);
        break;
      }
    }
  }
  return entries;
}

}  // namespace orvex::SfRegUtil_V2

// Where an installation puts the product's component files, for tests that lay out a
// product folder of stand-ins.
#pragma once

#include <map>
#include <string>

namespace orvex::registration_test {

// Where each stand-in lies below the installation folder; the programs that the
// flows start are copies of a stand-in that records its starts.
inline const std::map<std::string, std::string> kComponentFolders = {
    {"KelRTDServer_x64.dll", "bin/x64"},      {"TavRTDServer_x64.dll", "bin/x64"},
    {"KelRTDRibbonAddIn_x64.dll", "bin/x64"}, {"KelRTDServer.dll", "bin/x86"},
    {"TavRTDServer.dll", "bin/x86"},          {"KelRTDAddIn_x64.xll", "addins"},
    {"TavXLAddIn_x64.xll", "addins"},         {"KelRTDAddIn.xll", "addins/x86"},
    {"TavXLAddIn.xll", "addins/x86"},         {"TavPublisher.exe", "programs"},
    {"TavBusAppW.exe", "programs"},
};
inline const std::map<std::string, std::string> kStartedPrograms = {
    {"TavWatchdogW.exe", "programs/tools"},
    {"Corvane.exe", "programs/tools"},
};

}  // namespace orvex::registration_test

#pragma once
#include <string>

namespace orvex {

// TLAdd: replaces any location of the folder by a new one described "OrvexXL Folder";
// output "Success" or "Failed", result 1 or 0.
int TrustedLocationAdd(const std::string& folder, std::string* output);
// TLRemove: removes the folder's locations; "Success"/1 when one went, else "Failed"/0.
int TrustedLocationRemove(const std::string& folder, std::string* output);
// TLCheck: "YES"/1 when a location names exactly the folder, else "NO"/0.
int TrustedLocationCheck(const std::string& folder, std::string* output);

}  // namespace orvex

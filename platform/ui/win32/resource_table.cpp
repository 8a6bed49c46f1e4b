#include "platform/resource_table.h"

namespace orvex::platform {

// The program's resources are compiled into its image; the table is not needed.
void InstallResourceTable(const ResourceTable*) {}

}  // namespace orvex::platform

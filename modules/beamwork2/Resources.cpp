// The module's PiPL and AETE resources, encoded from its filter table at compile time.
#include "modules/beamwork2/ModuleTable.h"

static_assert(host::checkTable(modules::beamwork2::kModule));

ORVO_MODULE_RESOURCES(modules::beamwork2::kModule);

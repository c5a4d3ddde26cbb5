// The module's PiPL and AETE resources, encoded from its filter table at compile time.
#include "modules/orvo/ModuleTable.h"

static_assert(host::checkTable(modules::orvo::kModule));

ORVO_MODULE_RESOURCES(modules::orvo::kModule);

// The module's PiPL and AETE resources, encoded from its filter table at compile time.
#include "modules/zor2/ModuleTable.h"

static_assert(host::checkTable(modules::zor2::kModule));

ORVO_MODULE_RESOURCES(modules::zor2::kModule);

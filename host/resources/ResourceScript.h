// The Windows resource script of a module: its PiPL and AETE bytes as custom resources, the same
// bytes the module's ELF resource section carries.
#pragma once

#include "host/resources/PluginResources.h"

#include <string>
#include <string_view>

namespace host {

// One PiPL and one AETE resource per filter, in table order. Raw data is written as 16-bit words
// (two bytes, little-endian, as the resource compiler stores them); an odd last byte is written as
// a one-character string with an octal escape, because the resource compiler pads nothing else.
std::string resourceScript(const ModuleTable& module, std::string_view moduleName);

} // namespace host

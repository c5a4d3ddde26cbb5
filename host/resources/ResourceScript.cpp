#include "host/resources/ResourceScript.h"

#include <cstdio>

namespace host {

namespace {

void appendRawData(std::string& out, const std::vector<uint8_t>& bytes)
{
    char buf[16];
    const std::size_t words = bytes.size() / 2;
    for (std::size_t i = 0; i < words; ++i) {
        if (i % 8 == 0)
            out += "    ";
        std::snprintf(buf, sizeof buf, "0x%04X", bytes[2 * i] | bytes[2 * i + 1] << 8);
        out += buf;
        const bool last = i + 1 == words && bytes.size() % 2 == 0;
        out += last ? "\n" : (i % 8 == 7 ? ",\n" : ", ");
    }
    if (bytes.size() % 2) {
        if (words % 8 == 0)
            out += "    ";
        std::snprintf(buf, sizeof buf, "\"\\%03o\"\n", bytes.back());
        out += buf;
    }
}

void appendResource(std::string& out, const char* type, const FilterRow& row, const std::vector<uint8_t>& bytes)
{
    out += "\n// ";
    out += row.menuName;
    out += " (";
    out += row.entryPoint;
    out += ")\n";
    out += std::to_string(row.resourceId) + " " + type + " DISCARDABLE\nBEGIN\n";
    appendRawData(out, bytes);
    out += "END\n";
}

} // namespace

std::string resourceScript(const ModuleTable& module, std::string_view moduleName)
{
    checkTable(module);
    std::string out = "// ";
    out += moduleName;
    out += ": plug-in resources (PiPL, AETE) of every filter. Generated from the module's filter\n"
           "// table; edit Filters.def instead.\n";
    for (const FilterRow& row : module.filters) {
        appendResource(out, "PiPL", row, encodePipl(module, row));
        appendResource(out, "AETE", row, encodeAete(module, row));
    }
    return out;
}

} // namespace host

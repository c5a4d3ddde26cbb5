// Writes a module's Windows resource script. Built once per module with ORVO_MODULE_TABLE_HEADER
// naming the module's table header and ORVO_MODULE_TABLE its host::ModuleTable.
//   usage: generator MODULE_NAME OUTPUT.rc
#include "host/resources/ResourceScript.h"

#include ORVO_MODULE_TABLE_HEADER

#include <cstdio>
#include <exception>
#include <fstream>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s MODULE_NAME OUTPUT.rc\n", argv[0]);
        return 2;
    }
    try {
        const std::string script = host::resourceScript(ORVO_MODULE_TABLE, argv[1]);
        const std::string temporary = std::string(argv[2]) + ".tmp";
        {
            std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
            out << script;
            out.close();
            if (!out) {
                std::fprintf(stderr, "%s: cannot write %s\n", argv[0], temporary.c_str());
                return 1;
            }
        }
        if (std::rename(temporary.c_str(), argv[2]) != 0) {
            std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[2]);
            return 1;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", argv[0], e.what());
        return 1;
    }
    return 0;
}

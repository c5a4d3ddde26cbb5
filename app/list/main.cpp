// orvo-list MODULE...: the filters of plug-in modules, read from their PiPL and AETE resources
// without loading the modules. One line per filter, tab-separated:
//   category, menu name, entry point, supported modes, scripting scope
#include "app/core/PluginResources.h"

#include <cstdio>
#include <string>

namespace {

// "RGB 8-bit, RGB 16-bit" from the enable expression; the mode word when there is none.
std::string modesText(const orvo::PiplRecord& pipl)
{
    std::string text;
    for (const std::string& mode : orvo::enabledModes(pipl.enableExpression)) {
        if (!text.empty())
            text += ", ";
        text += mode == "RGBMode" ? "RGB 8-bit" : mode == "RGB48Mode" ? "RGB 16-bit" : mode;
    }
    if (text.empty() && pipl.modes) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "modes 0x%08x", static_cast<unsigned>(*pipl.modes));
        text = buf;
    }
    return text.empty() ? "-" : text;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s MODULE...\n", argv[0]);
        return 2;
    }
    int status = 0;
    size_t total = 0;
    std::printf("CATEGORY\tMENU NAME\tENTRY POINT\tMODES\tSCOPE\n");
    for (int i = 1; i < argc; ++i) {
        try {
            for (const orvo::FilterResources& f : orvo::readFilterResources(argv[i])) {
                std::printf("%s\t%s\t%s\t%s\t%s\n", f.pipl.category.c_str(), f.pipl.name.c_str(), f.entryName.c_str(),
                            modesText(f.pipl).c_str(), f.pipl.terminology ? f.pipl.terminology->scope.c_str() : "-");
                ++total;
            }
        } catch (const std::exception& e) {
            std::fprintf(stderr, "orvo-list: %s\n", e.what());
            status = 1;
        }
    }
    std::printf("%zu filters\n", total);
    return status;
}

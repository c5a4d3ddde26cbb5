#pragma once

#include <string>

namespace fx {

// The one service the host offers effects and engines: where the folders beside the plug-in file
// are ("Textures", "Vignettes", "Presets").
class Host {
public:
    virtual ~Host() = default;
    // The plug-in's folder joined with folder, ending in a path separator, then file when it is not
    // null. product names the product asking; this host does not use it.
    virtual std::string resolvePath(const char* product, const char* folder, const char* file) = 0;
};

// The module's host object, or null where no host bridge is linked (tests of engines and effects).
Host* host();
void setHost(Host* host);

} // namespace fx

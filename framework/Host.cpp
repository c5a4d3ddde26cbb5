#include "framework/Host.h"

namespace fx {

namespace {
Host* installed = nullptr;
}

Host* host()
{
    return installed;
}

void setHost(Host* h)
{
    installed = h;
}

} // namespace fx

#include "framework/EffectRegistry.h"

#include "framework/Effect.h"

#include <cstring>

namespace fx {

const char* EffectRegistry::registerEffect(const char* name, const EffectOps* ops)
{
    entries_.push_back(Entry{name, ops});
    return name;
}

const EffectOps* EffectRegistry::find(const char* name) const
{
    if (!name)
        return nullptr;
    for (const Entry& e : entries_)
        if (e.name && std::strcmp(e.name, name) == 0)
            return e.ops;
    return nullptr;
}

Effect* EffectRegistry::createEffect(const char* name) const
{
    const EffectOps* ops = find(name);
    return ops && ops->create ? ops->create() : nullptr;
}

EffectRegistry& effectRegistry()
{
    static EffectRegistry registry;
    return registry;
}

} // namespace fx

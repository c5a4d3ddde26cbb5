#pragma once

#include <vector>

namespace fx {

struct Effect;
struct EffectOps;

// Registration names and entry tables, in registration order. Lookup compares names exactly
// (case-sensitive) and takes the first match; the table grows as needed.
class EffectRegistry {
public:
    struct Entry {
        const char* name;  // borrowed pointer to a static string
        const EffectOps* ops;
    };

    // Appends the pair; returns name.
    const char* registerEffect(const char* name, const EffectOps* ops);
    // A new instance from the first entry whose name matches, or null when none does.
    Effect* createEffect(const char* name) const;
    // The entry table of the first entry whose name matches, or null.
    const EffectOps* find(const char* name) const;

    int count() const { return static_cast<int>(entries_.size()); }
    const Entry& at(int i) const { return entries_[static_cast<std::size_t>(i)]; }

private:
    std::vector<Entry> entries_;
};

// The module's registry, filled once at start-up and never emptied.
EffectRegistry& effectRegistry();

inline const char* registerEffect(const char* name, const EffectOps* ops)
{
    return effectRegistry().registerEffect(name, ops);
}

inline Effect* createEffect(const char* name)
{
    return effectRegistry().createEffect(name);
}

} // namespace fx

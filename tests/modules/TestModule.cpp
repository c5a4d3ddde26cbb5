// A plug-in module for the bridge tests: the bridge with the test effects, one entry point per row
// of TestFilters.def, minimal PiPL resources, and a scripted dialog the tests control.
#include "BridgeTestEffects.h"

#include "framework/EffectRegistry.h"
#include "host/EntryPoints.h"
#include "host/PSHost.h"
#include "platform/ModuleResources.h"
#include "tests/support/MinimalPipl.h"

#include <array>

namespace {

[[maybe_unused]] const bool registered = [] {
    orvo::host::PS_Host::instance();
    fx::EffectRegistry& r = fx::effectRegistry();
    r.registerEffect("Border", &bridgetest::BorderEffect::ops);
    r.registerEffect("Throw", &bridgetest::ThrowEffect::ops);
    r.registerEffect("Lookahead", &bridgetest::LookaheadEffect::ops);
    r.registerEffect("Inactive", &bridgetest::InactiveEffect::ops);
    r.registerEffect("Level", &bridgetest::LevelEffect::ops);
    return true;
}();

// PiPL with the kind, name and entry-point properties.
using testpipl::minimalPipl;

#define TEST_FILTER_RESOURCE(id, menu, suffix, registration, guid, about)                                      \
    constexpr auto suffix##Pipl = minimalPipl(menu, "PIMAIN_" #suffix);                                        \
    FP_MODULE_RESOURCE(suffix##Resource, fp::resourceEntry<sizeof("PIMAIN_" #suffix) - 1, suffix##Pipl.size()>( \
                                             kFpResourcePiPL, id, "PIMAIN_" #suffix, suffix##Pipl));

#define ORVO_FILTER TEST_FILTER_RESOURCE
#include "TestFilters.def"
#undef ORVO_FILTER

// The scripted dialog: 0 accepts unchanged, 1 sets the Level effect's amount and view then accepts,
// 2 cancels.
int gDialogMode = 0;
double gDialogLevel = 0;
int gDialogCalls = 0;
int gAboutCalls = 0;

int scriptedDialog(orvo::host::FilterCall& call)
{
    ++gDialogCalls;
    if (gDialogMode == 2)
        return 0;
    fx::Effect& e = call.effect();
    if (gDialogMode == 1 && e.ops == &bridgetest::LevelEffect::ops) {
        e.parameterAt(bridgetest::LevelEffect::Amount)->range.current = gDialogLevel;
        e.parameterAt(bridgetest::LevelEffect::View)->list.current = 1;
    }
    return 1;
}

void countAbout(orvo::host::FilterCall&) { ++gAboutCalls; }

[[maybe_unused]] const bool seams = [] {
    orvo::host::setDialogRunner(scriptedDialog);
    orvo::host::setAboutRunner(countAbout);
    return true;
}();

} // namespace

#define ORVO_FILTER ORVO_FILTER_ENTRY_POINT
#include "TestFilters.def"
#undef ORVO_FILTER

// Test controls.
FP_EXPORT void orvo_test_setDialog(int mode, double level)
{
    gDialogMode = mode;
    gDialogLevel = level;
}
FP_EXPORT int orvo_test_dialogCalls() { return gDialogCalls; }
FP_EXPORT int orvo_test_aboutCalls() { return gAboutCalls; }
FP_EXPORT int orvo_test_liveInstances() { return static_cast<int>(orvo::host::PS_Host::instance().liveInstances()); }

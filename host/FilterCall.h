#pragma once

// One entry-point call: the selector dispatch, the parameter steps between the host's handles, its
// descriptor registry and its scripts, and the Start run.

#include "host/PSHost.h"
#include "platform/FilterRecord.h"

#include <cstdint>

namespace fx { struct Effect; }

namespace orvo::host {

class FilterCall {
public:
    // guid: the filter's scripting GUID text (its key in the descriptor registry).
    FilterCall(fx::Effect& effect, FilterRecord& record, intptr_t* data, int16_t* result, const char* guid,
               bool showsAbout);
    FilterCall(const FilterCall&) = delete;
    FilterCall& operator=(const FilterCall&) = delete;

    // Runs one selector (About, Parameters, Prepare, Start, Continue, Finish; others do nothing) and
    // turns every failure into the host's result code.
    void dispatch(int16_t selector);

    FilterRecord& record() { return record_; }
    fx::Effect& effect() { return effect_; }
    const char* guid() const { return guid_; }
    int16_t result() const { return *result_; }

    // The steps of the selectors, in the order the selectors use them.
    bool loadParameters();          // the parameters handle (made when empty) is applied; -108 on failure
    void restoreLastUsed();         // the registry's blob, applied without a version test
    void storeLastUsed();           // the current values become the persistent last-used values
    bool readScriptParameters();    // registry, then the script's blob (version 1 only); true = show the dialog
    void writeScriptParameters();   // the current values become the recorded script
    bool runDialog();               // true when accepted (the "view" list then returns to its first item)
    void start();

private:
    bool withInstanceData(uint8_t* flag, bool write, uint8_t value);
    void replaceParameters();

    FilterRecord& record_;
    intptr_t* data_;
    int16_t* result_;
    fx::Effect& effect_;
    const char* guid_;
    bool showsAbout_;
    PS_HandleProcs handles_;
};

// The dialog and About box seams. The dialog runner returns 1 when the user accepts, 0 when they
// cancel. Until a module installs its dialog, the dialog is accepted with the values unchanged and
// About shows nothing. Null restores those defaults.
using DialogRunner = int (*)(FilterCall& call);
using AboutRunner = void (*)(FilterCall& call);
void setDialogRunner(DialogRunner runner);
void setAboutRunner(AboutRunner runner);

// The body of every PIMAIN_ entry point: finds the effect registered under registrationName, runs
// the selector and reports the outcome in *result. Never throws. A name that is not registered
// fails every selector with kFpErrorStringErr and a message naming it.
void filterEntry(const char* registrationName, const char* guid, bool showsAbout, int16_t selector,
                 FilterRecord* record, intptr_t* data, int16_t* result);

// Puts text into the record's errorString (a length byte and at most 255 characters).
void setErrorString(FilterRecord& record, const char* text);

} // namespace orvo::host

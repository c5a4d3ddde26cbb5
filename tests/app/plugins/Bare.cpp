// A module that exports an entry point but carries no resources.
#include "platform/FilterRecord.h"

FP_EXPORT void PIMAIN_Bare(int16_t, FilterRecord*, intptr_t*, int16_t* result)
{
    if (result)
        *result = 0;
}

// Suite acquisition on behalf of an effect call, and the four drawbot suites as a set.
// A failure is reported three ways: the code, bit 0x100 in out_data->out_flags and a
// message (at most 255 characters) in out_data->return_msg, written through the host's
// sprintf callback. Called on the thread of the effect call whose records are passed.
#pragma once

#include "AEFX_Export.h"
#include "AE_Effect.h"

#ifdef __cplusplus
extern "C" {
#endif

enum { AEFX_Err_BAD_CALLBACK_PARAM = 514, AEFX_Err_MISSING_SUITE = 516 };

// Fills *suite with the host's table for (name, version); 516 when the host refuses it
// or there is no basic suite. message may be null (a default text is reported).
CUEBRIDGE_EXPORT A_Err AEFX_AcquireSuite(PF_InData* in_data, PF_OutData* out_data, const char* name,
                                         int32_t version, const char* message, const void** suite);

// Gives one acquisition of (name, version) back; 516 only when there is no basic suite.
CUEBRIDGE_EXPORT A_Err AEFX_ReleaseSuite(PF_InData* in_data, PF_OutData* out_data, const char* name,
                                         int32_t version, const char* message);

// Acquires draw, supplier, surface and path suites in that order, stopping at the first
// failure (suites acquired before it stay acquired); 514 for a null set.
CUEBRIDGE_EXPORT A_Err AEFX_AcquireDrawbotSuites(PF_InData* in_data, PF_OutData* out_data,
                                                 DRAWBOT_Suites* suites);

// Releases all four drawbot suites, whatever each release reports; always 0.
CUEBRIDGE_EXPORT A_Err AEFX_ReleaseDrawbotSuites(PF_InData* in_data, PF_OutData* out_data);

#ifdef __cplusplus
}
#endif

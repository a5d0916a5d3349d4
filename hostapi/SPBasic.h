/* The host's basic suite: hands out suite function tables by name and version. */
#ifndef CUEBRIDGE_HOSTAPI_SPBASIC_H
#define CUEBRIDGE_HOSTAPI_SPBASIC_H

#include "AE_Types.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef A_Err SPErr;

typedef struct SPBasicSuite {
    /* [thread-safe] Fills *suite with the table of (name, version); 0 and a non-null
     * table on success. Every success must be matched by one ReleaseSuite. */
    SPErr (*AcquireSuite)(const char* name, int32_t version, const void** suite);
    /* [thread-safe] Gives back one acquisition of (name, version). */
    SPErr (*ReleaseSuite)(const char* name, int32_t version);
} SPBasicSuite;

#ifdef __cplusplus
}
#endif
#endif

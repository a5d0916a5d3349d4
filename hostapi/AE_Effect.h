/* Effect-call records and the drawbot suite set, as far as the exported utility
 * functions use them. */
#ifndef CUEBRIDGE_HOSTAPI_AE_EFFECT_H
#define CUEBRIDGE_HOSTAPI_AE_EFFECT_H

#include "AE_Types.h"
#include "SPBasic.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef A_long PF_OutFlags;
enum { PF_OutFlag_DISPLAY_ERROR_MESSAGE = 0x100 };

#define PF_MAX_EFFECT_MSG_LEN 255

typedef struct PF_ANSICallbacks {
    /* [any thread] printf-style formatting into buffer; returns the count written. */
    A_long (*sprintf)(A_char* buffer, const A_char* format, ...);
} PF_ANSICallbacks;

typedef struct PF_UtilCallbacks {
    PF_ANSICallbacks ansi;
} PF_UtilCallbacks;

/* Input record of an effect call: what the host hands the effect. */
typedef struct PF_InData {
    A_long version;
    SPBasicSuite* pica_basicP;
    PF_UtilCallbacks* utils;
} PF_InData;

/* Output record of an effect call: what the effect hands back. */
typedef struct PF_OutData {
    PF_OutFlags out_flags;
    A_char return_msg[PF_MAX_EFFECT_MSG_LEN + 1];
} PF_OutData;

/* ---- Drawbot suites, opaque to this project ----------------------------------- */
#define kDRAWBOT_DrawSuite "DRAWBOT Draw Suite"
#define kDRAWBOT_DrawSuite_Version1 1
#define kDRAWBOT_SupplierSuite "DRAWBOT Supplier Suite"
#define kDRAWBOT_SupplierSuite_Version1 1
#define kDRAWBOT_SurfaceSuite "DRAWBOT Surface Suite"
#define kDRAWBOT_SurfaceSuite_Version2 2
#define kDRAWBOT_PathSuite "DRAWBOT Path Suite"
#define kDRAWBOT_PathSuite_Version1 1

typedef struct DRAWBOT_DrawbotSuite1 DRAWBOT_DrawbotSuite1;
typedef struct DRAWBOT_SupplierSuite1 DRAWBOT_SupplierSuite1;
typedef struct DRAWBOT_SurfaceSuite2 DRAWBOT_SurfaceSuite2;
typedef struct DRAWBOT_PathSuite1 DRAWBOT_PathSuite1;

/* The four drawbot suites, in acquisition order. */
typedef struct DRAWBOT_Suites {
    DRAWBOT_DrawbotSuite1* drawbot_suiteP;
    DRAWBOT_SupplierSuite1* supplier_suiteP;
    DRAWBOT_SurfaceSuite2* surface_suiteP;
    DRAWBOT_PathSuite1* path_suiteP;
} DRAWBOT_Suites;

#ifdef __cplusplus
}
#endif
#endif

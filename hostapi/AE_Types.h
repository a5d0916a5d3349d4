/* Scalar types, handles and hook signatures of the host's plug-in interface.
 * Plain C declarations, usable from C and C++. Written for Cuebridge from the
 * behaviour the plug-in relies on; layouts are this project's own. */
#ifndef CUEBRIDGE_HOSTAPI_AE_TYPES_H
#define CUEBRIDGE_HOSTAPI_AE_TYPES_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t A_Err; /* 0 is success */
typedef int32_t A_long;
typedef uint32_t A_u_long;
typedef int16_t A_short;
typedef uint16_t A_u_short;
typedef char A_char;
typedef unsigned char A_u_char;
typedef unsigned char A_Boolean; /* 0 false, anything else true */
typedef double A_FpLong;
typedef uint64_t A_u_longlong;

enum { A_Err_NONE = 0, A_Err_GENERIC = 1, A_Err_PARAMETER = 6, A_Err_MISSING_SUITE = 516 };

/* A colour: four unsigned 8-bit channels, alpha first. */
typedef struct PF_Pixel {
    A_u_char alpha;
    A_u_char red;
    A_u_char green;
    A_u_char blue;
} PF_Pixel;

/* A rectangle; empty when left >= right or top >= bottom. */
typedef struct PF_LRect {
    A_long left;
    A_long top;
    A_long right;
    A_long bottom;
} PF_LRect;

typedef A_long AEGP_PluginID;
typedef A_long AEGP_Command;        /* host menu command number */
typedef A_u_long AEGP_HookPriority; /* see AEGP_HP_* */
typedef A_char AEGP_WindowType;     /* 8-bit window kind, not read by the plug-in */
typedef A_short AEGP_ItemType;      /* see AEGP_ItemType_* */

enum { AEGP_HP_BeforeAE = 1, AEGP_HP_AfterAE = 2 };
enum { AEGP_Command_ALL = 0 };
enum {
    AEGP_ItemType_NONE = 0,
    AEGP_ItemType_FOLDER = 1,
    AEGP_ItemType_COMP = 2,
    AEGP_ItemType_SOLID = 3,
    AEGP_ItemType_FOOTAGE = 4
};

/* Opaque handles handed out by the host. */
typedef struct _AEGP_Project** AEGP_ProjectH;
typedef struct _AEGP_Item** AEGP_ItemH;
typedef struct _AEGP_Comp** AEGP_CompH;
typedef struct _AEGP_Layer** AEGP_LayerH;
typedef struct _AEGP_MemHandle** AEGP_MemHandle;

/* Refcons: opaque values passed back to the plug-in unchanged. */
typedef struct _AEGP_GlobalRefcon* AEGP_GlobalRefcon;
typedef struct _AEGP_CommandRefcon* AEGP_CommandRefcon;
typedef struct _AEGP_UpdateMenuRefcon* AEGP_UpdateMenuRefcon;
typedef struct _AEGP_IdleRefcon* AEGP_IdleRefcon;

/* State kept by the host between AEGP_StartQuietErrors and AEGP_EndQuietErrors. */
typedef struct AEGP_ErrReportState {
    A_long reserved[8];
} AEGP_ErrReportState;

/* Hooks the plug-in registers; the host calls each on its main thread. */
typedef A_Err (*AEGP_CommandHook)(AEGP_GlobalRefcon plugin_refconP, AEGP_CommandRefcon refconP,
                                  AEGP_Command command, AEGP_HookPriority hook_priority,
                                  A_Boolean already_handledB, A_Boolean* handledPB);
typedef A_Err (*AEGP_UpdateMenuHook)(AEGP_GlobalRefcon plugin_refconP,
                                     AEGP_UpdateMenuRefcon refconP, AEGP_WindowType active_window);
/* *max_sleepPL: the host's maximum sleep before the next idle call, in milliseconds. */
typedef A_Err (*AEGP_IdleHook)(AEGP_GlobalRefcon plugin_refconP, AEGP_IdleRefcon refconP,
                               A_long* max_sleepPL);

struct SPBasicSuite;

/* The plug-in's exported entry point, looked up by the unmangled name "EntryPointFunc".
 * [main-thread] called once at load. */
typedef A_Err (*AEGP_EntryPointFunc)(struct SPBasicSuite* pica_basicP, A_long major_versionL,
                                     A_long minor_versionL, AEGP_PluginID aegp_plugin_id,
                                     AEGP_GlobalRefcon* global_refconP);

#ifdef __cplusplus
}
#endif
#endif

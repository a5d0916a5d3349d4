/* Host suites used by the plug-in: names, versions and function tables.
 * The type name carries the number the plug-in's accessor uses; the version asked
 * of the host is the *Version constant next to it (they differ on purpose). Entries
 * that the exported utilities read by position are kept at the positions noted. */
#ifndef CUEBRIDGE_HOSTAPI_AE_SUITES_H
#define CUEBRIDGE_HOSTAPI_AE_SUITES_H

#include "AE_Types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- "AEGP Register Suite" 6 ---------------------------------------------- */
#define kAEGPRegisterSuite "AEGP Register Suite"
#define kAEGPRegisterSuiteVersion5 6
typedef struct AEGP_RegisterSuite5 {
    /* [main-thread] 0 on success; the hook then sees commands (AEGP_Command_ALL: every one). */
    A_Err (*AEGP_RegisterCommandHook)(AEGP_PluginID aegp_plugin_id, AEGP_HookPriority hook_priority,
                                      AEGP_Command command, AEGP_CommandHook command_hook_func,
                                      AEGP_CommandRefcon refconP);
    /* [main-thread] */
    A_Err (*AEGP_RegisterUpdateMenuHook)(AEGP_PluginID aegp_plugin_id,
                                         AEGP_UpdateMenuHook update_menu_hook_func,
                                         AEGP_UpdateMenuRefcon refconP);
    /* [main-thread] the hook is then called repeatedly on the main thread. */
    A_Err (*AEGP_RegisterIdleHook)(AEGP_PluginID aegp_plugin_id, AEGP_IdleHook idle_func,
                                   AEGP_IdleRefcon refconP);
} AEGP_RegisterSuite5;

/* ---- "AEGP Utility Suite" 7 and 13 ------------------------------------------ */
#define kAEGPUtilitySuite "AEGP Utility Suite"
#define kAEGPUtilitySuiteVersion3 7
#define kAEGPUtilitySuiteVersion6 13
typedef struct AEGP_UtilitySuite3 {
    /* [main-thread] shows the text to the user in an alert. */
    A_Err (*AEGP_ReportInfo)(AEGP_PluginID aegp_plugin_id, const A_char* info_stringZ);
    /* [main-thread] */
    A_Err (*AEGP_StartQuietErrors)(AEGP_ErrReportState* err_stateP);
    /* [main-thread] report_errorsB false: errors met while quiet are not reported. */
    A_Err (*AEGP_EndQuietErrors)(A_Boolean report_errorsB, AEGP_ErrReportState* err_stateP);
    /* [thread-safe] asks the host to call the idle hooks soon. */
    A_Err (*AEGP_CauseIdleRoutinesToBeCalled)(void);
} AEGP_UtilitySuite3;

typedef struct AEGP_UtilitySuite6 {
    /* [main-thread] */
    A_Err (*AEGP_ReportInfo)(AEGP_PluginID aegp_plugin_id, const A_char* info_stringZ);
    /* [main-thread] */
    A_Err (*AEGP_StartQuietErrors)(AEGP_ErrReportState* err_stateP);
    /* [main-thread] */
    A_Err (*AEGP_EndQuietErrors)(A_Boolean report_errorsB, AEGP_ErrReportState* err_stateP);
    /* [thread-safe] asks the host to call the idle hooks soon. */
    A_Err (*AEGP_CauseIdleRoutinesToBeCalled)(void);
    /* [main-thread] runs a script; fills both handles with NUL-terminated text (the error
     * text is empty on success). The caller frees both handles. */
    A_Err (*AEGP_ExecuteScript)(AEGP_PluginID aegp_plugin_id, const A_char* scriptZ,
                                A_Boolean platform_encodingB, AEGP_MemHandle* resultPH,
                                AEGP_MemHandle* error_stringPH);
} AEGP_UtilitySuite6;

/* ---- "AEGP Memory Suite" 1 --------------------------------------------------- */
#define kAEGPMemorySuite "AEGP Memory Suite"
#define kAEGPMemorySuiteVersion1 1
typedef struct AEGP_MemorySuite1 {
    /* [main-thread] */
    A_Err (*AEGP_FreeMemHandle)(AEGP_MemHandle memH);
    /* [main-thread] *ptr_to_ptr points to the handle's bytes until it is unlocked or freed. */
    A_Err (*AEGP_LockMemHandle)(AEGP_MemHandle memH, void** ptr_to_ptr);
    /* [main-thread] */
    A_Err (*AEGP_UnlockMemHandle)(AEGP_MemHandle memH);
} AEGP_MemorySuite1;

/* ---- "AEGP Command Suite" 1 -------------------------------------------------- */
#define kAEGPCommandSuite "AEGP Command Suite"
#define kAEGPCommandSuiteVersion1 1
typedef struct AEGP_CommandSuite1 {
    /* [main-thread] runs the host menu command with this number. */
    A_Err (*AEGP_DoCommand)(AEGP_Command command);
} AEGP_CommandSuite1;

/* ---- "AEGP Proj Suite" 8 and 9 ----------------------------------------------- */
#define kAEGPProjSuite "AEGP Proj Suite"
#define kAEGPProjSuiteVersion5 8
#define kAEGPProjSuiteVersion6 9
typedef struct AEGP_ProjSuite5 {
    /* entry 1 [main-thread] */
    A_Err (*AEGP_GetNumProjects)(A_long* num_projPL);
    /* entry 2 [main-thread] index 0 is the open project. */
    A_Err (*AEGP_GetProjectByIndex)(A_long proj_indexL, AEGP_ProjectH* projPH);
} AEGP_ProjSuite5;
typedef AEGP_ProjSuite5 AEGP_ProjSuite6;

/* ---- "AEGP Item Suite" 10, 13 and 14 (one layout) ---------------------------- */
#define kAEGPItemSuite "AEGP Item Suite"
#define kAEGPItemSuiteVersion6 10
#define kAEGPItemSuiteVersion8 13
#define kAEGPItemSuiteVersion9 14
typedef struct AEGP_ItemSuite9 {
    /* entry 1 [main-thread] the project's first item in host order. */
    A_Err (*AEGP_GetFirstProjItem)(AEGP_ProjectH projectH, AEGP_ItemH* itemPH);
    /* entry 2 [main-thread] the item after itemH; null after the last. */
    A_Err (*AEGP_GetNextProjItem)(AEGP_ProjectH projectH, AEGP_ItemH itemH,
                                  AEGP_ItemH* next_itemPH);
    /* entry 3 [main-thread] null when no item is active. */
    A_Err (*AEGP_GetActiveItem)(AEGP_ItemH* itemPH);
    /* entry 4 [main-thread] */
    A_Err (*AEGP_IsItemSelected)(AEGP_ItemH itemH, A_Boolean* selectedPB);
    /* entry 5 [main-thread] select with deselect_others selects this one item only. */
    A_Err (*AEGP_SelectItem)(AEGP_ItemH itemH, A_Boolean selectB, A_Boolean deselect_othersB);
    /* entry 6 [main-thread] */
    A_Err (*AEGP_GetItemType)(AEGP_ItemH itemH, AEGP_ItemType* item_typeP);
} AEGP_ItemSuite9;
typedef AEGP_ItemSuite9 AEGP_ItemSuite6;
typedef AEGP_ItemSuite9 AEGP_ItemSuite8;

/* ---- "AEGP Comp Suite" 9 ----------------------------------------------------- */
#define kAEGPCompSuite "AEGP Comp Suite"
#define kAEGPCompSuiteVersion4 9
typedef struct AEGP_CompSuite4 {
    /* entry 1 [main-thread] */
    A_Err (*AEGP_GetCompFromItem)(AEGP_ItemH itemH, AEGP_CompH* compPH);
} AEGP_CompSuite4;

/* ---- "AEGP Layer Suite" 11 --------------------------------------------------- */
#define kAEGPLayerSuite "AEGP Layer Suite"
#define kAEGPLayerSuiteVersion5 11
typedef struct AEGP_LayerSuite5 {
    /* entry 1 [main-thread] */
    A_Err (*AEGP_GetCompNumLayers)(AEGP_CompH compH, A_long* num_layersPL);
    /* entry 2 [main-thread] index 0 is the first layer. */
    A_Err (*AEGP_GetCompLayerByIndex)(AEGP_CompH compH, A_long layer_indexL, AEGP_LayerH* layerPH);
} AEGP_LayerSuite5;

/* ---- "PF AE Adv App Suite" 2 ------------------------------------------------- */
#define kPFAdvAppSuite "PF AE Adv App Suite"
#define kPFAdvAppSuiteVersion2 2
typedef struct PF_AdvAppSuite2 {
    /* [main-thread] shows two lines in the Info panel. */
    A_Err (*PF_InfoDrawText)(const A_char* line1Z0, const A_char* line2Z0);
    /* [main-thread] shows the colour swatch in the Info panel. */
    A_Err (*PF_InfoDrawColor)(PF_Pixel color);
    /* [main-thread] appends a line to the Info panel. */
    A_Err (*PF_AppendInfoText)(const A_char* appendZ0);
} PF_AdvAppSuite2;

/* ---- "PF AE App Suite" 1 ----------------------------------------------------- */
#define kPFAppSuite "PF AE App Suite"
#define kPFAppSuiteVersion6 1
/* Size of the buffer PF_AppGetLanguage writes into, NUL included. */
#define PF_APP_LANGUAGE_BUFFER_SIZE 64
typedef struct PF_AppSuite6 {
    /* [thread-safe] writes the user-interface language as NUL-terminated text
     * (at most PF_APP_LANGUAGE_BUFFER_SIZE bytes with the NUL), e.g. "en_US". */
    A_Err (*PF_AppGetLanguage)(A_char* lang_tagZ);
} PF_AppSuite6;

#ifdef __cplusplus
}
#endif
#endif

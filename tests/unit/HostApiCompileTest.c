/* Compiled as C: the host interface must be plain C. Reports the layout C sees so the
 * C++ side can check that both languages agree on it. */
#include <stddef.h>

#include "AE_Host.h"

_Static_assert(sizeof(PF_Pixel) == 4, "PF_Pixel is four bytes");
_Static_assert(sizeof(A_Err) == 4, "A_Err is 32-bit");

size_t cuebridge_hostapi_layout_c(int which) {
    switch (which) {
        case 0:
            return sizeof(SPBasicSuite);
        case 1:
            return offsetof(AEGP_ItemSuite9, AEGP_GetItemType);
        case 2:
            return offsetof(AEGP_ProjSuite5, AEGP_GetProjectByIndex);
        case 3:
            return offsetof(AEGP_UtilitySuite6, AEGP_ExecuteScript);
        case 4:
            return offsetof(PF_OutData, return_msg);
        case 5:
            return offsetof(PF_InData, utils);
        case 6:
            return sizeof(DRAWBOT_Suites);
        case 7:
            return offsetof(PF_Pixel, blue);
        default:
            return 0;
    }
}

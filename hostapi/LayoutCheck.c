/* Compiled as C (and included nowhere): the host interface must be plain C, and the
 * positions the plug-in's utilities read entries at must hold in C as they do in C++. */
#include <stddef.h>

#include "AE_Host.h"

#define ENTRY sizeof(void (*)(void))
_Static_assert(sizeof(PF_Pixel) == 4, "PF_Pixel is four bytes");
_Static_assert(offsetof(PF_Pixel, alpha) == 0 && offsetof(PF_Pixel, blue) == 3,
               "alpha first, then red, green, blue");
_Static_assert(sizeof(A_Err) == 4, "A_Err is 32-bit");
_Static_assert(offsetof(AEGP_ProjSuite5, AEGP_GetProjectByIndex) == 1 * ENTRY, "second entry");
_Static_assert(offsetof(AEGP_ItemSuite8, AEGP_GetFirstProjItem) == 0, "first entry");
_Static_assert(offsetof(AEGP_ItemSuite6, AEGP_GetNextProjItem) == 1 * ENTRY, "second entry");
_Static_assert(offsetof(AEGP_ItemSuite6, AEGP_GetItemType) == 5 * ENTRY, "sixth entry");
_Static_assert(offsetof(AEGP_CompSuite4, AEGP_GetCompFromItem) == 0, "first entry");
_Static_assert(offsetof(AEGP_LayerSuite5, AEGP_GetCompLayerByIndex) == 1 * ENTRY, "second entry");

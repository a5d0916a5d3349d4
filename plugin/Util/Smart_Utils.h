// Rectangle arithmetic on PF_LRect (left, top, right, bottom). A rectangle is empty
// when left >= right or top >= bottom. Any thread: pure functions on caller-owned
// rectangles; a null rectangle counts as empty (IsEdgePixel: no edge).
#pragma once

#include "AEFX_Export.h"
#include "AE_Types.h"

// True when r has no area.
CUEBRIDGE_EXPORT bool IsEmptyRect(const PF_LRect* r);

// Grows dest to cover src as well; an empty dest takes src whole, an empty src
// leaves dest alone.
CUEBRIDGE_EXPORT void UnionLRect(const PF_LRect* src, PF_LRect* dest);

// True when (x, y) lies on r's outline, right and bottom included.
CUEBRIDGE_EXPORT bool IsEdgePixel(PF_LRect* r, int x, int y);

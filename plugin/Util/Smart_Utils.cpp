#include "Smart_Utils.h"

#include <algorithm>

namespace {

bool Between(A_long value, A_long low, A_long high) { return value >= low && value <= high; }

}  // namespace

// any thread
bool IsEmptyRect(const PF_LRect* r) {
    return r == nullptr || r->left >= r->right || r->top >= r->bottom;
}

// any thread
void UnionLRect(const PF_LRect* src, PF_LRect* dest) {
    if (src == nullptr || dest == nullptr) return;
    if (IsEmptyRect(dest)) {
        *dest = *src;
        return;
    }
    if (IsEmptyRect(src)) return;
    dest->left = std::min(dest->left, src->left);
    dest->top = std::min(dest->top, src->top);
    dest->right = std::max(dest->right, src->right);
    dest->bottom = std::max(dest->bottom, src->bottom);
}

// any thread
bool IsEdgePixel(PF_LRect* r, int x, int y) {
    if (r == nullptr) return false;
    const bool onVerticalEdge = (x == r->left || x == r->right) && Between(y, r->top, r->bottom);
    const bool onHorizontalEdge = (y == r->top || y == r->bottom) && Between(x, r->left, r->right);
    return onVerticalEdge || onHorizontalEdge;
}

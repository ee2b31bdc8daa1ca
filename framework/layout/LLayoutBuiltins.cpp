#include "framework/layout/LLayoutBuiltins.h"

#include <cmath>

#include "framework/LPane.h"

namespace {

const LLayoutBuiltinInfo kInfo[kLayoutBiCount] = {
    {"sys", 1, 1}, {"pp", 5, 5}, {"shown", 1, 1}, {"wp", 1, 2}, {"hp", 1, 2}, {"w", 1, 1},
    {"h", 1, 1},   {"l", 1, 1},  {"t", 1, 1},     {"r", 1, 1},  {"b", 1, 1},  {"sqrt", 1, 1},
};

// The scroll bar width when no window is given.
constexpr i32 kScrollerWidth = 16;

}  // namespace

const LLayoutBuiltinInfo& LayoutBuiltinInfo(u32 id) {
    return kInfo[id < kLayoutBiCount ? id : 0];
}

LPane* LayoutChild(const LList* children, i32 p) {
    if (p < 1 || !children) return nullptr;
    LLink* node = children->Nth(u32(p - 1));
    return node ? static_cast<LPane*>(node) : nullptr;
}

i32 LayoutSqrt(i32 x) {
    if (x < 0) return 0;
    return i32(std::lround(std::sqrt(f32(x))));
}

i32 RunLayoutBuiltin(LLayoutTarget& target, u32 id, const i32* args, u32 n, bool direct) {
    const i32 p = n > 0 ? args[0] : 0;
    const i32 a1 = n > 1 ? args[1] : 0;
    if (id == kLayoutBiSys) return u32(p) <= 3 ? kScrollerWidth : 0;
    if (id == kLayoutBiSqrt) return LayoutSqrt(p);
    LPane* child = LayoutChild(target.children, p);
    const LRect zero;
    const LRect& rect = p == 0 ? target.result : child ? child->Bounds() : zero;
    switch (id) {
        case kLayoutBiPp: {
            LRect r(a1, n > 2 ? args[2] : 0, n > 3 ? args[3] : 0, n > 4 ? args[4] : 0);
            if (p == 0)
                target.result = r;
            else if (child)
                child->SetBounds(r);
            return direct ? 0 : p;
        }
        case kLayoutBiShown:
            if (p == 0) return 1;
            return child ? i32(child->State() & LPane::kVisible) : 0;
        case kLayoutBiWp:
        case kLayoutBiHp:
            if (p == 0) return i32(u32(target.result.right) - u32(target.result.left));
            if (!child) return 0;
            return id == kLayoutBiWp ? child->GetPrefWidth(target.ctx, a1)
                                     : child->GetPrefHeight(target.ctx, a1);
        case kLayoutBiW:
            return i32(u32(rect.right) - u32(rect.left));
        case kLayoutBiH:
            return i32(u32(rect.bottom) - u32(rect.top));
        case kLayoutBiL:
            return rect.left;
        case kLayoutBiT:
            return rect.top;
        case kLayoutBiR:
            return rect.right;
        case kLayoutBiB:
            return rect.bottom;
        default:
            return 0;
    }
}

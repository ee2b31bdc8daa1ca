#pragma once
// The pane built-ins shared by both layout dialects: pane 0 is the result
// rectangle, pane n (n >= 1) the n-th child of the frame's child list.

#include "base/LList.h"
#include "base/LRect.h"

class LDrawCtx;
class LPane;

enum : u32 {
    kLayoutBiSys = 0,
    kLayoutBiPp,
    kLayoutBiShown,
    kLayoutBiWp,
    kLayoutBiHp,
    kLayoutBiW,
    kLayoutBiH,
    kLayoutBiL,
    kLayoutBiT,
    kLayoutBiR,
    kLayoutBiB,
    kLayoutBiSqrt,
    kLayoutBiCount,
};

struct LLayoutBuiltinInfo {
    const char* name;
    u8 minArgs;
    u8 maxArgs;
};
// Indexed by the ids above.
const LLayoutBuiltinInfo& LayoutBuiltinInfo(u32 id);

struct LLayoutTarget {
    LRect result;
    LList* children = nullptr;
    LDrawCtx* ctx = nullptr;
};

// Child p - 1 of the list; null for p < 1 or past the end.
LPane* LayoutChild(const LList* children, i32 p);
// The square root rounded to the nearest integer; 0 for negative values.
i32 LayoutSqrt(i32 x);
// Runs a pane built-in; missing arguments must already be filled with 0.
// "pp" answers p in the compiled dialect and 0 in the direct one.
i32 RunLayoutBuiltin(LLayoutTarget& target, u32 id, const i32* args, u32 n, bool direct);

#pragma once
// A colour of show data, eight bits a channel.

#include "base/Types.h"

struct LRgb {
    u8 r = 0, g = 0, b = 0;
    static void Set(LRgb* rgb, u32 r, u32 g, u32 b);
    static bool Equals(const LRgb& a, const LRgb& b);
};

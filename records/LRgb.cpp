#include "records/LRgb.h"

#include <algorithm>

void LRgb::Set(LRgb* rgb, u32 r, u32 g, u32 b) {
    rgb->r = u8(std::min<u32>(r, 255));
    rgb->g = u8(std::min<u32>(g, 255));
    rgb->b = u8(std::min<u32>(b, 255));
}

bool LRgb::Equals(const LRgb& a, const LRgb& b) {
    return a.r == b.r && a.g == b.g && a.b == b.b;
}

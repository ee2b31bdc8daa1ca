#pragma once
// The colours that panes, texts and controls store: a system text colour by
// index, or an explicit RGB value (index 255).

#include "base/LRef.h"

class CColorValue final : public LRefObj {
public:
    enum : u32 { kRgb = 255 };

    // Index 1 selected text, 2 disabled control text, 3 white, 4 black, 5 grey,
    // 6 control text, 7 selected control text, 8 disabled control text; any
    // other index the text colour.
    static void MakeIndexed(TRef<CColorValue>* out, u32 index);
    static void MakeRgb(TRef<CColorValue>* out, const u8 rgb[3]);
    // Both null, or both set with the same index and RGB bytes.
    static bool Equals(const TRef<CColorValue>& a, const TRef<CColorValue>& b);

    u32 fIndex = 0;
    u8 fRgb[3] = {0, 0, 0};
};
using CColorValueRef = TRef<CColorValue>;

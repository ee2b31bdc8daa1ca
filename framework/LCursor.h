#pragma once
// Cursors from 'TPNG' resources, whose hot spot is the private chunk 'hsPT'
// (x, then y, as big-endian u16), or the system cursor of the same name.

#include "base/Resources.h"
#include "services/DrawingServices.h"

class LDrawCtx;

class LCursor final : public LRefObj {
public:
    LCursor(const char* id, LResSource* source = nullptr);

    bool Load(const char* id, LResSource* source);
    bool IsValid() const { return bool(fNative); }
    void Set() const;

    // The hot spot of a cursor PNG: (0, 0) without an 'hsPT' chunk.
    static void ReadHotSpot(const u8* png, u32 size, i32* x, i32* y);

private:
    LNativeCursorRef fNative;
};
using LCursorRef = TRef<LCursor>;

inline constexpr u32 kCursorResType = FourCC("TPNG");

// The arrow for a null cursor, else the cursor.
void SetPaneCursor(LDrawCtx* ctx, const LCursorRef& cursor);

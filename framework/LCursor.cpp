#include "framework/LCursor.h"

#include "base/CMemStrm.h"
#include "base/LPngChunkReader.h"

LCursor::LCursor(const char* id, LResSource* source) {
    Load(id, source);
}

void LCursor::ReadHotSpot(const u8* png, u32 size, i32* x, i32* y) {
    *x = *y = 0;
    if (!png || size == 0) return;
    CMemStrm in(const_cast<u8*>(png), size);
    LPngChunkReader reader(&in);
    while (reader.Next()) {
        if (reader.Type() != FourCC("hsPT")) continue;
        u8 spot[4];
        u64 got = sizeof spot;
        if (reader.Length() >= sizeof spot) in.Read(spot, &got);
        if (reader.Length() < sizeof spot || got != sizeof spot) return;
        *x = i32(u32(spot[0]) << 8 | spot[1]);
        *y = i32(u32(spot[2]) << 8 | spot[3]);
        return;
    }
}

bool LCursor::Load(const char* id, LResSource* source) {
    fNative.Reset();
    if (!id) return false;
    LResId resId{0, id};
    LResBlock block(&resId, source, kCursorResType);
    if (block.Data() && block.Size()) {
        i32 x = 0, y = 0;
        ReadHotSpot(block.Data(), block.Size(), &x, &y);
        fNative = DrawingServices().MakeCursor(block.Data(), block.Size(), x, y);
    }
    if (!fNative) fNative = DrawingServices().SystemCursor(id);
    return IsValid();
}

void LCursor::Set() const {
    if (fNative) DrawingServices().SetCursor(fNative.Get());
}

void SetPaneCursor(LDrawCtx*, const LCursorRef& cursor) {
    if (cursor && cursor->IsValid())
        cursor->Set();
    else
        DrawingServices().SetCursor(nullptr);
}

#pragma once
// Images from the program's PNG resources ('TPNG'): the size comes from the
// image header, the pixels from the platform.

#include "base/Resources.h"
#include "framework/LDrawCtx.h"
#include "services/ControlServices.h"

inline constexpr u32 kPngResType = FourCC("TPNG");

class LPngImage final : public LSharedImage {
public:
    // Loads the named resource from the source (null: the default chain).
    LPngImage(const char* name, LResSource* source);

    bool IsValid() const override { return fWidth > 0 && fHeight > 0; }
    u64 GetSize() const override { return PackSize(fWidth, fHeight); }
    bool GetNativeImage(void** out) const override;
    // The platform image (not retained): answers 134 with one, else 0.
    u32 GetCGImage(void** out) const { return GetNativeImage(out) ? 134 : 0; }

    // Width and height from a PNG's IHDR chunk; false for anything else.
    static bool ReadSize(const u8* png, u32 size, u32* width, u32* height);

private:
    u32 fWidth = 0;
    u32 fHeight = 0;
    LNativeImageRef fNative;
};

using LImageRef = TRef<LSharedImage>;

// A loaded image, or the empty image when the resource is missing or broken.
LImageRef LoadPngImage(const char* name, LResSource* source = nullptr);
inline i32 ImageWidth(const LSharedImage* image) {
    return image ? i32(image->GetSize() >> 32) : 0;
}
inline i32 ImageHeight(const LSharedImage* image) {
    return image ? i32(u32(image->GetSize())) : 0;
}
// Draws an image into rect of the context's current coordinates.
void DrawSharedImage(LDrawCtx& ctx, const LSharedImage* image, const LRect& rect);

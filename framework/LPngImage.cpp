#include "framework/LPngImage.h"

#include "base/CMemStrm.h"
#include "base/LPngChunkReader.h"

namespace {
constexpr u32 kIhdr = FourCC("IHDR");
// Larger sides are not images of ours; refusing them keeps packed sizes sane.
constexpr u32 kMaxSide = 0x7FFFFFFF;

u32 BigEndian32(const u8* p) {
    return (u32(p[0]) << 24) | (u32(p[1]) << 16) | (u32(p[2]) << 8) | u32(p[3]);
}
}  // namespace

bool LPngImage::ReadSize(const u8* png, u32 size, u32* width, u32* height) {
    *width = *height = 0;
    if (!png || size == 0) return false;
    CMemStrm in(const_cast<u8*>(png), size);
    LPngChunkReader reader(&in);
    if (!reader.Next() || reader.Type() != kIhdr || reader.Length() < 8) return false;
    u8 dims[8];
    u64 got = sizeof dims;
    in.Read(dims, &got);
    if (got != sizeof dims) return false;
    const u32 w = BigEndian32(dims), h = BigEndian32(dims + 4);
    if (w == 0 || h == 0 || w > kMaxSide || h > kMaxSide) return false;
    *width = w;
    *height = h;
    return true;
}

LPngImage::LPngImage(const char* name, LResSource* source) {
    LResId id{0, name};
    LResBlock block(&id, source, kPngResType);
    if (!ReadSize(block.Data(), block.Size(), &fWidth, &fHeight)) return;
    fNative = ControlServices().MakeImage(block.Data(), block.Size());
}

bool LPngImage::GetNativeImage(void** out) const {
    *out = fNative.Get();
    return *out != nullptr;
}

LImageRef LoadPngImage(const char* name, LResSource* source) {
    LImageRef ref;
    LPngImage* image = new LPngImage(name, source);
    if (image->IsValid()) {
        ref.Reset(image);
    } else {
        delete image;
        LSharedImage::InitEmptyRef(&ref);
    }
    return ref;
}

void DrawSharedImage(LDrawCtx& ctx, const LSharedImage* image, const LRect& rect) {
    void* native = nullptr;
    if (!ctx.fNative || !image || !image->GetNativeImage(&native)) return;
    // A meter draws its lit and unlit parts as two clipped images.
    ctx.ApplyClip();
    static_cast<LNativeImage*>(native)->Draw(ctx.fNative, rect);
}

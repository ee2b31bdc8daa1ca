#include "framework/LOffscreen.h"

#include <cstdlib>
#include <new>

namespace {
// Larger pixel buffers are refused: native bitmaps index rows with 32-bit ints.
constexpr u64 kMaxBufferBytes = 0x7FFFFFFF;

u32 RoundUp16(u64 bytes) {
    return u32((bytes + 15) & ~u64(15));
}
}  // namespace

u64 LOffscreen::RowBytesFor(u32 width, u32 depth, bool gray) {
    u64 bytes;
    if (gray)
        bytes = (u64(width) * depth + 7) >> 3;
    else if (depth > 16)
        bytes = u64(width) * 4;
    else
        bytes = u64(width) * 2;
    if (bytes + 15 > kMaxBufferBytes) return 0;
    return RoundUp16(bytes);
}

void LOffscreen::New(TRef<LOffscreen>* out, u32 width, u32 height, u32 depth, bool gray,
                     u32 flags) {
    out->Reset();
    if (width == 0 || height == 0 || depth == 0) return;
    // In 64 bits: width x 4 x height wraps in 32 for large bitmaps and would
    // hand the context a buffer shorter than it writes.
    const u64 rowBytes = RowBytesFor(width, depth, gray);
    if (rowBytes == 0 || rowBytes * height > kMaxBufferBytes) return;
    LOffscreen* off = new (std::nothrow) LOffscreen;
    if (!off) return;
    TRef<LOffscreen> keep(off);
    off->fWidth = width;
    off->fHeight = height;
    off->fRowBytes = u32(rowBytes);
    off->fBitsPerPixel = gray ? depth : depth > 16 ? 32 : 16;
    off->fBuffer = static_cast<u8*>(std::calloc(size_t(rowBytes * height), 1));
    if (!off->fBuffer) return;
    LBitmapFormat format;
    format.width = width;
    format.height = height;
    format.rowBytes = off->fRowBytes;
    format.bitsPerPixel = off->fBitsPerPixel;
    format.gray = gray;
    format.alpha = (flags & kFlagAlpha) != 0;
    off->fContext = DrawingServices().MakeBitmap(off->fBuffer, format);
    if (!off->fContext) return;
    *out = keep;
}

LOffscreen::~LOffscreen() {
    if (fContext && fGraphics) fContext->EndGraphics();
    delete fContext;
    std::free(fBuffer);
}

void LOffscreen::GetSize(const LOffscreen* off, u32* width, u32* height) {
    *width = off ? off->fWidth : 0;
    *height = off ? off->fHeight : 0;
}

u32 LOffscreen::RowBytes(const LOffscreen* off) {
    return off && off->fContext && off->fRowBytes ? off->fRowBytes : 1;
}

u32 LOffscreen::BitsPerPixel(const LOffscreen* off) {
    return off && off->fContext ? off->fBitsPerPixel : 0;
}

u8* LOffscreen::PixelBuffer(const LOffscreen* off) {
    return off ? off->fBuffer : nullptr;
}

LNativeGraphics* LOffscreen::BeginDraw(LOffscreen* off) {
    if (!off || !off->fContext) return nullptr;
    if (off->fDrawCount++ == 0) {
        off->fImage = LRef();
        off->fGraphics = off->fContext->BeginGraphics();
    }
    return off->fGraphics;
}

void LOffscreen::EndDraw(LOffscreen* off) {
    if (!off || off->fDrawCount == 0) return;
    if (--off->fDrawCount == 0 && off->fContext) {
        off->fContext->EndGraphics();
        off->fGraphics = nullptr;
    }
}

LRef LOffscreen::CopyImage(LOffscreen* off) {
    if (!off || !off->fBuffer || !off->fContext) return LRef();
    if (off->fImage) return off->fImage;
    LRef image = off->fContext->CopyImage();
    // While somebody draws, the pixels may change under a cached copy.
    if (image && off->fDrawCount == 0) off->fImage = image;
    return image;
}

// ---------------------------------------------------------------- pixel accessors

u8* CPixAcc::At(u32 x, u32 y) const {
    if (!fBase || x >= fWidth || y >= fHeight) return nullptr;
    return fBase + size_t(y) * fRowBytes + size_t(x) * Bytes();
}

u32 CPixAcc::GetPixel(u32 x, u32 y) const {
    const u8* p = Bytes() ? At(x, y) : nullptr;
    return p ? Load(p) : 0;
}

void CPixAcc::SetPixel(u32 x, u32 y, u32 value) {
    if (u8* p = Bytes() ? At(x, y) : nullptr) Store(p, value);
}

void CPixAcc::ReadPixels(u32 x, u32 y, u32* out, u32 count) const {
    if (!Bytes() || !out || count == 0 || u64(x) + count > fWidth) return;
    const u8* p = At(x, y);
    if (!p) return;
    for (u32 i = 0; i < count; ++i, p += Bytes()) out[i] = Load(p);
}

u32 CPixAcc8::PixelToColor(u32 pixel) const {
    const u32 v = pixel & 0xFF;
    return v | v << 8 | v << 16;
}

u32 CPixAcc8::ColorToPixel(const u8 rgb[3]) const {
    return (u32(rgb[0]) + 2 * u32(rgb[1]) + u32(rgb[2])) >> 2;
}

u32 CPixAcc16::Load(const u8* p) const {
    return u32(p[0]) | u32(p[1]) << 8;
}

void CPixAcc16::Store(u8* p, u32 value) const {
    p[0] = u8(value);
    p[1] = u8(value >> 8);
}

u32 CPixAcc16::PixelToColor(u32 pixel) const {
    auto widen = [](u32 c) { return (c << 3) | (c >> 2); };
    const u32 r = widen((pixel >> 10) & 31), g = widen((pixel >> 5) & 31), b = widen(pixel & 31);
    return r | g << 8 | b << 16;
}

u32 CPixAcc16::ColorToPixel(const u8 rgb[3]) const {
    return u32(rgb[0] >> 3) << 10 | u32(rgb[1] >> 3) << 5 | u32(rgb[2] >> 3);
}

u32 CPixAcc32::Load(const u8* p) const {
    return u32(p[0]) | u32(p[1]) << 8 | u32(p[2]) << 16 | u32(p[3]) << 24;
}

void CPixAcc32::Store(u8* p, u32 value) const {
    p[0] = u8(value);
    p[1] = u8(value >> 8);
    p[2] = u8(value >> 16);
    p[3] = u8(value >> 24);
}

u32 CPixAcc32::PixelToColor(u32 pixel) const {
    return (pixel >> 16 & 0xFF) | (pixel & 0xFF00) | (pixel & 0xFF) << 16;
}

u32 CPixAcc32::ColorToPixel(const u8 rgb[3]) const {
    return u32(rgb[0]) << 16 | u32(rgb[1]) << 8 | u32(rgb[2]);
}

namespace {
CPixAcc& NoPixels() {
    static CPixAcc* none = new CPixAcc(0, nullptr, 0, 0);
    return *none;
}
}  // namespace

CBitmapPixels::CBitmapPixels(const LOffscreenRef& off) : fOff(off), fAcc(&NoPixels()) {
    LOffscreen* o = fOff.Get();
    if (!o || !LOffscreen::BeginDraw(o)) return;
    fDrawing = true;
    LOffscreen::GetSize(o, &fWidth, &fHeight);
    const u32 rowBytes = LOffscreen::RowBytes(o);
    u8* base = LOffscreen::PixelBuffer(o);
    CPixAcc* acc = nullptr;
    switch (LOffscreen::BitsPerPixel(o)) {
        case 32:
            acc = new (std::nothrow) CPixAcc32(rowBytes, base, fWidth, fHeight);
            break;
        case 16:
            acc = new (std::nothrow) CPixAcc16(rowBytes, base, fWidth, fHeight);
            break;
        case 8:
            acc = new (std::nothrow) CPixAcc8(rowBytes, base, fWidth, fHeight);
            break;
        default:
            break;
    }
    if (acc) fAcc = acc;
}

CBitmapPixels::~CBitmapPixels() {
    if (fAcc != &NoPixels()) delete fAcc;
    if (fDrawing) LOffscreen::EndDraw(fOff.Get());
}

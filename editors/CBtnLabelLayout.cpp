#include "editors/CBtnLabelLayout.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

#include "base/CharReader.h"
#include "base/TextEncoding.h"
#include "framework/LDrawObj.h"
#include "framework/LOffscreen.h"
#include "framework/LTextBox.h"
#include "records/AppPrefsDoc.h"
#include "records/CRecordDoc.h"
#include "records/NsqPrefKinds.h"
#include "records/PrefNodes.h"

namespace {

constexpr u32 kInfoFormat = 2;

void PutU32(u8* p, u32 v) {
    p[0] = u8(v);
    p[1] = u8(v >> 8);
    p[2] = u8(v >> 16);
    p[3] = u8(v >> 24);
}

// Device values stay within i32 whatever the scale does to them.
i32 ScaledRound(f64 v) {
    const f64 r = std::round(v);
    if (!(r > f64(std::numeric_limits<i32>::min()))) return std::numeric_limits<i32>::min();
    if (r >= f64(std::numeric_limits<i32>::max())) return std::numeric_limits<i32>::max();
    return i32(r);
}

// A page's images are bounded by the record's 32-bit array length.
constexpr u64 kMaxPageBytes = 0xFFFFFFFFu;

}  // namespace

void PackGlyphRow(const u32* pixels, u32 width, u8* out) {
    for (u32 x = 0; x + 1 < width; x += 2)
        *out++ = u8((pixels[x] & 0xF0) | ((pixels[x + 1] >> 4) & 0x0F));
}

i32 CBtnGlyphPage::Find(u32 codePoint) const {
    const u32* end = codePoints + count;
    const u32* it = std::lower_bound(codePoints, end, codePoint);
    return it != end && *it == codePoint ? i32(it - codePoints) : -1;
}

CBtnLabelLayout::CBtnLabelLayout(LDrawCtx* ctx, const LFont& font) : fCtx(ctx), fFont(font) {}

CBtnLabelLayout::~CBtnLabelLayout() {
    for (CBtnGlyphPage* p : fPages) delete p;
}

void CBtnLabelLayout::AddChars(const char* text) {
    if (!text) return;
    LMemReader reader(text, u32(std::strlen(text)));
    u32 cp = 0;
    while (ReadUtf8Char(reader, &cp) == kUtf8Ok) {
        const auto it = std::lower_bound(fChars.begin(), fChars.end(), cp);
        if (it == fChars.end() || *it != cp) fChars.insert(it, cp);
    }
}

void CBtnLabelLayout::MeasureGlyphs() {
    for (CBtnGlyphPage* p : fPages) delete p;
    fPages.clear();
    LTextBox box;
    box.SetFont(fFont);
    i32 top = 0, bottom = 0, widest = 1;
    LTextStream one;
    for (u32 cp : fChars) {
        if (fPages.empty() || fPages.back()->count == CBtnGlyphPage::kMaxGlyphs)
            fPages.push_back(new CBtnGlyphPage);
        CBtnGlyphPage& page = *fPages.back();
        CBtnGlyph& g = page.glyphs[page.count];
        g.codePoint = cp;
        page.codePoints[page.count++] = cp;
        one.Clear();
        Utf8Encode(one, cp);
        box.SetText(one.ToString());
        const LRect r = box.GetBaselineRect(fCtx);
        g.left = r.left;
        g.right = r.right;
        top = std::min(top, r.top);
        bottom = std::max(bottom, r.bottom);
        widest = std::max(widest, r.right - r.left);
    }
    fAscent = top < 0 ? -top : 1;
    fDescent = bottom;
    fWidest = widest;
}

i32 CBtnLabelLayout::TextWidth(const char* text) {
    if (!text) return 0;
    LMemReader reader(text, u32(std::strlen(text)));
    i64 width = 0;
    u32 cp = 0;
    while (ReadUtf8Char(reader, &cp) == kUtf8Ok) {
        for (const CBtnGlyphPage* p : fPages) {
            const i32 i = p->Find(cp);
            if (i >= 0) width += i64(p->glyphs[i].right) - p->glyphs[i].left;
        }
    }
    return i32(std::clamp<i64>(width, 0, std::numeric_limits<i32>::max()));
}

bool CBtnLabelLayout::RenderGlyphs(f32 scale) {
    i32 widest = 1;
    for (CBtnGlyphPage* p : fPages) {
        for (u32 i = 0; i < p->count; ++i) {
            CBtnGlyph& g = p->glyphs[i];
            const i32 w = ScaledRound(f64(i64(g.right) - g.left) * scale);
            g.right = ScaledRound(f64(g.right) * scale);
            g.left = i32(std::clamp<i64>(i64(g.right) - w, std::numeric_limits<i32>::min(),
                                         std::numeric_limits<i32>::max()));
            widest = std::max(widest, w);
        }
    }
    fWidest = widest;
    const u32 imageW = u32((i64(widest) + 1) & ~i64(1));
    const u32 rowBytes = imageW / 2;

    const f64 percent = f64(scale) * 100.0;
    fFont.SetScalePercent(percent >= f64(std::numeric_limits<i32>::max())
                              ? std::numeric_limits<i32>::max()
                          : percent > 0 ? i32(percent)
                                        : 0);
    LTextBox box;
    box.SetFont(fFont);
    {
        LOffscreenRef probe;
        LOffscreen::New(&probe, 1, 1, 32, false, 0);
        LDrawCtx ctx(LOffscreen::BeginDraw(probe.Get()));
        fAscent = box.GetAscent(&ctx);
        const i32 line = box.GetHeight(&ctx);
        fDescent = line - fAscent;
        if (probe) LOffscreen::EndDraw(probe.Get());
    }
    if (fPages.empty()) return true;
    const u32 lineH = u32(std::max(fAscent + fDescent, 0));
    LOffscreenRef off;
    LOffscreen::New(&off, imageW, lineH, 32, false, 0);
    if (!off) return false;

    LPenRef ink, paper;
    MakePenByColor(&ink, 0xFFFFFFFF, 0);
    MakePenByColor(&paper, 0x000000FF, 0);
    box.SetColor(ink);
    box.SetWrapMode(LTextBox::kLines);
    std::vector<u32> row(imageW);
    LTextStream one;
    for (CBtnGlyphPage* p : fPages) {
        const u64 bytes = u64(p->count) * rowBytes * lineH;
        if (bytes > kMaxPageBytes) return false;
        p->images.reset(new (std::nothrow) u8[bytes ? size_t(bytes) : 1]());
        p->imageBytes = 0;
        if (!p->images) return false;
        p->imageBytes = u32(bytes);
        std::memset(p->info, 0, sizeof p->info);
        PutU32(p->info + 128, kInfoFormat);
        PutU32(p->info + 132, rowBytes);
        PutU32(p->info + 136, u32(widest));
        PutU32(p->info + 140, lineH);
        for (u32 i = 0; i < p->count; ++i) {
            const CBtnGlyph& g = p->glyphs[i];
            {
                LDrawCtx ctx(LOffscreen::BeginDraw(off.Get()));
                LSolidFill(LRect(0, 0, i32(imageW), i32(lineH)), paper).Draw(ctx);
                one.Clear();
                Utf8Encode(one, g.codePoint);
                box.SetText(one.ToString());
                // The glyph's box starts at the image's left edge, its baseline
                // the ascent below the top.
                const i32 x = g.left == std::numeric_limits<i32>::min() ? 0 : -g.left;
                box.SetRect(LRect(x, 0, std::max(x, 0) + i32(imageW), i32(lineH)));
                box.Draw(ctx);
                LOffscreen::EndDraw(off.Get());
            }
            CBitmapPixels pixels(off);
            u8* out = p->images.get() + u64(i) * rowBytes * lineH;
            for (u32 y = 0; y < lineH; ++y) {
                pixels.Accessor()->ReadPixels(0, y, row.data(), imageW);
                PackGlyphRow(row.data(), imageW, out);
                out += rowBytes;
            }
            p->info[1 + i] = u8(i64(g.right) - g.left);
        }
    }
    return true;
}

bool CBtnLabelLayout::GetFont(u32 index, CBtnLabelFont* out) const {
    if (index >= fPages.size()) return false;
    const CBtnGlyphPage* p = fPages[index];
    out->info = p->info;
    out->codePoints = p->codePoints;
    out->glyphCount = p->count;
    out->images = p->images.get();
    out->imageBytes = p->imageBytes;
    return true;
}

LFont CBtnLabelLayout::LabelFont() {
    LString desc;
    CRecordDoc* doc = AppPrefsDoc();
    if (const CRecord* prefs = doc ? doc->Root() : nullptr)
        NodeGetText(&desc, prefs->GetChild(PrefF::misc), "btnfont", "");
    return LFont(desc);
}

CBtnLabelFontSource* NewBtnLabelRenderer(LPane* owner) {
    (void)owner;  // panes measure without a context of their own
    return new CBtnLabelLayout(nullptr, CBtnLabelLayout::LabelFont());
}

#pragma once
// Interned fonts: every distinct request has one shared record, so that
// fonts compare by content and the native font is built once per record.

#include "base/LList.h"
#include "base/LRef.h"
#include "base/LString.h"
#include "services/GraphicsServices.h"

class LDrawCtx;

class LFontRec final : public LRefObj, public LLink {
public:
    LFontRec() = default;

    LNativeFontRef fNative;
    u8 fValid = 0;
    i32 fSizeCode = 0;  // font slot, or 255 for a named face
    i32 fAttr0 = 0;
    i32 fScalePercent = -1;
    i32 fStyleCode = 0;
    i32 fAttr3 = 0;
    LString fFaceName;

    bool SameSpec(const LFontRec& o) const;
};

class LFont {
public:
    LFont() = default;
    explicit LFont(i32 sizeCode);
    explicit LFont(const LString& faceName);

    static bool Equals(const LFont& a, const LFont& b);
    bool operator==(const LFont& o) const { return Equals(*this, o); }
    bool IsEmpty() const { return !fRec; }

    void SetScalePercent(i32 percent);
    void SetStyleCode(i32 code);
    // Forgets every native font, so that each is built again on next use.
    static void FlushNativeCache();

    // Built on first use; null when the platform has no font for it.
    LNativeFont* GetNativeFont(LDrawCtx* ctx = nullptr) const;
    LString GetFamilyName() const;
    f64 GetPointSize() const;  // 12 without a font

    const LFontRec* Rec() const { return fRec.Get(); }

    // The size a native font is built at: the font's own size, replaced by a
    // non-zero record size, times the scale percentage when there is one; held
    // to 1-1000 pt (a zero or huge size would only give warnings or unbounded
    // glyph memory), and the own size when the result is not finite.
    static f64 FinalPointSize(f64 own, f64 recordSize, i32 scalePercent);

private:
    void Intern(const LFontRec& spec);
    TRef<LFontRec> fRec;
};

struct LTextStyle {
    u8 fExplicit = 0;
    u32 fSize = 0;
    const void* fPointer = nullptr;
    LFont fFont;

    void Set(u32 size, const LFont& font);
    void Set(const void* pointer, u32 size, const LFont& font);
};

// {0, 0, null, font of code 0}.
const LTextStyle& DefaultTextStyle();

// From the system's key thresholds (sixtieths of a second), capped.
i32 KeyInitialDelayMs();
i32 KeyRepeatIntervalMs();

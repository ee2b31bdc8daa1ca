#include "framework/LFont.h"

#include "framework/CViewPrefs.h"

#include <cmath>
#include <new>

namespace {

// Records live for the whole run; the list holds one count of each.
LList& FontList() {
    static LList* list = new LList;
    return *list;
}

LFontRec* FindOrMake(const LFontRec& spec) {
    LList& list = FontList();
    for (LLink* n = list.Head(); !n->IsEnd(); n = n->Next()) {
        LFontRec* r = static_cast<LFontRec*>(n);
        if (r->SameSpec(spec)) return r;
    }
    LFontRec* r = new (std::nothrow) LFontRec;
    if (!r) return nullptr;
    r->fSizeCode = spec.fSizeCode;
    r->fAttr0 = spec.fAttr0;
    r->fScalePercent = spec.fScalePercent;
    r->fStyleCode = spec.fStyleCode;
    r->fAttr3 = spec.fAttr3;
    if (spec.fSizeCode == 255) r->fFaceName = spec.fFaceName;
    r->Retain();
    list.PushFront(r);
    return r;
}

i32 ThresholdMs(i32 sixtieths, i32 cap) {
    i64 ms = i64(sixtieths) * 1000 / 60;
    if (ms < 0) ms = 0;
    return ms > cap ? cap : i32(ms);
}

}  // namespace

bool LFontRec::SameSpec(const LFontRec& o) const {
    if (fSizeCode != o.fSizeCode || fAttr0 != o.fAttr0 || fScalePercent != o.fScalePercent ||
        fStyleCode != o.fStyleCode || fAttr3 != o.fAttr3)
        return false;
    return fSizeCode != 255 || fFaceName == o.fFaceName;
}

LFont::LFont(i32 sizeCode) {
    LFontRec spec;
    spec.fSizeCode = sizeCode;
    Intern(spec);
}

LFont::LFont(const LString& faceName) {
    LFontRec spec;
    spec.fSizeCode = 255;
    spec.fFaceName = faceName;
    Intern(spec);
}

void LFont::Intern(const LFontRec& spec) {
    fRec.Reset(FindOrMake(spec));
}

bool LFont::Equals(const LFont& a, const LFont& b) {
    if (!a.fRec || !b.fRec) return !a.fRec && !b.fRec;
    return a.fRec->SameSpec(*b.fRec);
}

void LFont::SetScalePercent(i32 percent) {
    if (!fRec || fRec->fScalePercent == percent) return;
    LFontRec spec;
    spec.fSizeCode = fRec->fSizeCode;
    spec.fAttr0 = fRec->fAttr0;
    spec.fScalePercent = percent;
    spec.fStyleCode = fRec->fStyleCode;
    spec.fAttr3 = fRec->fAttr3;
    spec.fFaceName = fRec->fFaceName;
    Intern(spec);
}

void LFont::SetStyleCode(i32 code) {
    if (!fRec || fRec->fStyleCode == code) return;
    LFontRec spec;
    spec.fSizeCode = fRec->fSizeCode;
    spec.fAttr0 = fRec->fAttr0;
    spec.fScalePercent = fRec->fScalePercent;
    spec.fStyleCode = code;
    spec.fAttr3 = fRec->fAttr3;
    spec.fFaceName = fRec->fFaceName;
    Intern(spec);
}

void LFont::FlushNativeCache() {
    LList& list = FontList();
    for (LLink* n = list.Head(); !n->IsEnd(); n = n->Next()) static_cast<LFontRec*>(n)->fValid = 0;
}

LNativeFont* LFont::GetNativeFont(LDrawCtx*) const {
    if (!fRec) return nullptr;
    LFontRec* r = fRec.Get();
    if (!r->fValid) {
        LFontRequest spec;
        spec.sizeCode = r->fSizeCode;
        spec.attr0 = r->fAttr0;
        spec.scalePercent = r->fScalePercent;
        spec.styleCode = r->fStyleCode;
        spec.attr3 = r->fAttr3;
        spec.faceName = r->fSizeCode == 255 ? r->fFaceName.CStr() : nullptr;
        // A slot font takes the family and size the user chose for the slot.
        CViewFont user;
        if (r->fSizeCode >= 0 && r->fSizeCode != 255 &&
            CViewPrefs::Instance().GetFont(u32(r->fSizeCode), &user)) {
            spec.userFamily = user.family.CStr();
            spec.userPoints = user.points;
        }
        r->fNative = GraphicsServices().MakeNativeFont(spec);
        r->fValid = 1;
    }
    return r->fNative.Get();
}

f64 LFont::FinalPointSize(f64 own, f64 recordSize, i32 scalePercent) {
    f64 size = own;
    if (recordSize != 0) size = recordSize;
    if (scalePercent >= 0) size = size * scalePercent / 100.0;
    if (!std::isfinite(size)) size = std::isfinite(own) ? own : 12.0;
    return size < 1.0 ? 1.0 : size > 1000.0 ? 1000.0 : size;
}

LString LFont::GetFamilyName() const {
    LNativeFont* f = GetNativeFont();
    return f ? f->FamilyName() : LString();
}

f64 LFont::GetPointSize() const {
    LNativeFont* f = GetNativeFont();
    return f ? f->PointSize() : 12.0;
}

void LTextStyle::Set(u32 size, const LFont& font) {
    fExplicit = 0;
    fSize = size;
    fPointer = nullptr;
    fFont = font;
}

void LTextStyle::Set(const void* pointer, u32 size, const LFont& font) {
    fExplicit = 1;
    fSize = size;
    fPointer = pointer;
    fFont = font;
}

const LTextStyle& DefaultTextStyle() {
    static const LTextStyle* style = [] {
        LTextStyle* s = new LTextStyle;
        s->fFont = LFont(0);
        return s;
    }();
    return *style;
}

i32 KeyInitialDelayMs() {
    i32 initial = 0, repeat = 0;
    GraphicsServices().GetKeyThresholds(&initial, &repeat);
    return ThresholdMs(initial, 1000);
}

i32 KeyRepeatIntervalMs() {
    i32 initial = 0, repeat = 0;
    GraphicsServices().GetKeyThresholds(&initial, &repeat);
    return ThresholdMs(repeat, 500);
}

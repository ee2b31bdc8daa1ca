#include "framework/CColorValue.h"

#include <new>

void CColorValue::MakeIndexed(TRef<CColorValue>* out, u32 index) {
    CColorValue* v = new (std::nothrow) CColorValue;
    if (v) v->fIndex = index;
    out->Reset(v);
}

void CColorValue::MakeRgb(TRef<CColorValue>* out, const u8 rgb[3]) {
    CColorValue* v = new (std::nothrow) CColorValue;
    if (v) {
        v->fIndex = kRgb;
        for (int i = 0; i < 3; ++i) v->fRgb[i] = rgb[i];
    }
    out->Reset(v);
}

bool CColorValue::Equals(const TRef<CColorValue>& a, const TRef<CColorValue>& b) {
    const CColorValue* x = a.Get();
    const CColorValue* y = b.Get();
    if (!x || !y) return !x && !y;
    return x->fIndex == y->fIndex && x->fRgb[0] == y->fRgb[0] && x->fRgb[1] == y->fRgb[1] &&
           x->fRgb[2] == y->fRgb[2];
}

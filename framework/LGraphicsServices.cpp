// The installer of the platform's graphics services, the headless defaults and
// the shared pen factory.

#include <new>

#include "base/LArray.h"
#include "services/GraphicsServices.h"
#include "services/Services.h"

namespace {

class HeadlessServices final : public LGraphicsServices {
public:
    u32 NowMs() override { return LTickMs(); }
    void RearmMainTimer() override {}
    void GetKeyThresholds(i32* initial, i32* repeat) override {
        *initial = 30;
        *repeat = 6;
    }
    LNativeFontRef MakeNativeFont(const LFontRequest&) override { return LNativeFontRef(); }
};

HeadlessServices sHeadless;
LGraphicsServices* sInstalled = nullptr;

// Pens live for the whole run; equal requests share one object.
LArray& PenCache() {
    static LArray* cache = new LArray(sizeof(LPen*));
    return *cache;
}

void SharedPen(LPenRef* out, LPen::Kind kind, u32 id, u32 rgba, f32 width) {
    LArray& cache = PenCache();
    LPen** pens = cache.DataAs<LPen*>();
    for (u32 i = 0; i < cache.Count(); ++i) {
        LPen* p = pens[i];
        if (p->fKind == kind && p->fId == id && p->fRgba == rgba && p->fWidth == width) {
            out->Reset(p);
            return;
        }
    }
    LPen* p = new (std::nothrow) LPen(kind, id, rgba, width);
    if (!p) {
        out->Reset();
        return;
    }
    p->Retain();  // the cache's own count
    if (!cache.InsertAt(cache.Count(), &p)) {
        // Not cached: the caller alone owns it.
        out->Reset(p);
        p->Release();
        return;
    }
    out->Reset(p);
}

}  // namespace

void InstallGraphicsServices(LGraphicsServices* services) {
    sInstalled = services;
}

LGraphicsServices& GraphicsServices() {
    return sInstalled ? *sInstalled : sHeadless;
}

void MakePenById(LPenRef* out, u32 id) {
    SharedPen(out, LPen::kById, id, 0, 1.0f);
}
void MakePenByColor(LPenRef* out, u32 rgba, u32 id) {
    SharedPen(out, LPen::kByColor, id, rgba, 1.0f);
}
void MakePenByColorWidth(LPenRef* out, u32 rgba, u32 id, f32 width) {
    SharedPen(out, LPen::kByColor, id, rgba, width);
}
void MakePenByGray(LPenRef* out, u32 grey) {
    SharedPen(out, LPen::kByGray, 0, grey, 1.0f);
}

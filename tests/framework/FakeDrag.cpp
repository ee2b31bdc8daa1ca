#include "tests/framework/FakeDrag.h"

namespace {

class FakeBitmap : public LNativeBitmap {
public:
    explicit FakeBitmap(const LBitmapFormat& f) : fFormat(f) {}
    LNativeGraphics* BeginGraphics() override { return &fGraphics; }
    void EndGraphics() override {}
    LRef CopyImage() override {
        FakeImage* image = new FakeImage(fFormat.width, fFormat.height, fGraphics.Joined());
        LRef ref(image);
        image->Release();
        return ref;
    }
    LBitmapFormat fFormat;
    FakeGraphics fGraphics;
};

}  // namespace

FakeDrag::FakeDrag() {
    InstallDragServices(this);
    InstallDrawingServices(this);
}

FakeDrag::~FakeDrag() {
    InstallDragServices(nullptr);
    InstallDrawingServices(nullptr);
}

void FakeDrag::AcceptDrops(LNativeWindow window, bool on) {
    if (on)
        fAccepting.insert(window);
    else
        fAccepting.erase(window);
}

u32 FakeDrag::RunDrag(const LDragStart& start) {
    fStart = start;
    ++fDrags;
    const u32 done = fBody ? fBody() : 0;
    return fEndOp >= 0 ? u32(fEndOp) : done;
}

LNativeBitmap* FakeDrag::MakeBitmap(u8*, const LBitmapFormat& format) {
    return new FakeBitmap(format);
}

void FakeDrag::Over(LNativeWindow window, LPoint screen, bool shift) {
    if (LDrop* d = DropOf(window)) d->Move(screen, fMask, shift, nullptr);
}

void FakeDrag::Leave(LNativeWindow window) {
    if (LDrop* d = DropOf(window)) d->Exit();
}

u32 FakeDrag::DropOn(LNativeWindow window) {
    LDrop* d = DropOf(window);
    return d ? d->Drop() : 0;
}

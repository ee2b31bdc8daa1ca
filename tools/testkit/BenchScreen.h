#pragma once
// Drawing without a window system: native graphics that draw nothing, and an
// on-screen container whose every pane counts as shown and active.
#include "framework/LPane.h"
#include "services/GraphicsServices.h"

namespace benchkit {

class NullGraphics : public LNativeGraphics {
public:
    void SaveState() override {}
    void RestoreState() override {}
    void SetBlendMode(LBlendMode) override {}
    void ApplyPen(const LPen&) override {}
    void Translate(i32, i32) override {}
    void SetClipRects(const LRect*, u32) override {}
    void FillRects(const CGRect*, u32) override {}
    void SetLineWidth(f64) override {}
    void MoveTo(i32, i32) override {}
    void LineTo(i32, i32) override {}
    void FillPath() override {}
    void StrokePath() override {}
    void DrawTextFieldFrame(const LRect&, bool, bool) override {}
};

class Screen : public LPane {
public:
    Screen() : LPane(nullptr, nullptr) {
        SetState(kOpContainerShown);
        SetState(kOpContainerActive);
    }
    LMessage HandleMessage(const LMessage& msg) override {
        if (msg.Is(LPane_Constructing)) {
            LPane* p = static_cast<LPane*>(msg.source);
            p->SetState(kOpContainerShown);
            p->SetState(kOpContainerActive);
        }
        return LMessage();
    }
};

}  // namespace benchkit

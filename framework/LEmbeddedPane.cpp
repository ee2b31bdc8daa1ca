#include "framework/LEmbeddedPane.h"

LEmbeddedPane::LEmbeddedPane(LHandler* parent, void* panel)
    : LFrame(parent, nullptr), fPanel(panel) {
    fView = ControlServices().MakeEmbeddedView(panel, this);
}

LEmbeddedPane::~LEmbeddedPane() {
    // The children go while the view they draw into still exists.
    while (LLink* child = fChildren.Head()) {
        if (child->IsEnd()) break;
        fChildren.Remove(child);
        delete static_cast<LPane*>(child);
    }
    if (fView) ControlServices().ReleaseEmbeddedView(fView);
    fView = nullptr;
}

void LEmbeddedPane::FillDrawEnv(LDrawEnv& env) {
    env.fWindow = fView;
    env.fOriginX = 0;
    env.fOriginY = 0;
    env.fClip.SetRect(LRect(0, 0, fBounds.Width(), fBounds.Height()));
    if (fBackground) env.fBackground = fBackground;
}

void LEmbeddedPane::BoundsChanged(const LRect& old) {
    if (fView) ControlServices().SetEmbeddedSize(fView, fBounds.Width(), fBounds.Height());
    LFrame::BoundsChanged(old);
}

void LEmbeddedPane::EmbeddedInWindow() {
    SetState(kOpContainerShown);
    SetState(kOpContainerActive);
}

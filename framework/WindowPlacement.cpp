#include "framework/WindowPlacement.h"

#include "framework/LPane.h"
#include "framework/LWindow.h"

namespace {

void CenterOver(LWindow* window, LWindow* owner) {
    const LRect over = owner->GetFrameRect();
    const LRect content = window->GetContentScreenRect();
    const LRect frame = window->FrameRectForContent(content);
    if (over.IsEmpty() || content.IsEmpty()) return;
    // The frame's borders around the content stay as they are.
    const i32 left = over.left + (over.Width() - frame.Width()) / 2 + (content.left - frame.left);
    const i32 top = over.top + (over.Height() - frame.Height()) / 3 + (content.top - frame.top);
    LDesktop::FitWindowRect(window,
                            LRect(left, top, left + content.Width(), top + content.Height()));
}

}  // namespace

void CenterOverOwner(LWindow* window) {
    if (!window || !window->Native()) return;
    LWindow* owner = LDesktop::NextVisibleWindow(nullptr);
    while (owner && (owner == window || owner->Type() == kWindowFloating))
        owner = LDesktop::NextVisibleWindow(owner);
    if (owner) CenterOver(window, owner);
}

void CenterOverPane(LWindow* window, LPane* pane) {
    if (!window || !window->Native() || !pane) return;
    LWindow* owner = LWindow::FindByNative(pane->GetNativeWindow());
    if (owner && owner != window) CenterOver(window, owner);
}

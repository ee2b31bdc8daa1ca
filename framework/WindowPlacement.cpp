#include "framework/WindowPlacement.h"

#include <algorithm>

#include "framework/LPane.h"
#include "framework/LWindow.h"
#include "services/WindowServices.h"

namespace {

LWindow* FrontOwner(LWindow* window) {
    LWindow* owner = LDesktop::NextVisibleWindow(nullptr);
    while (owner && (owner == window || owner->Type() == kWindowFloating))
        owner = LDesktop::NextVisibleWindow(owner);
    return owner;
}

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

void PlaceBesideOwner(LWindow* window) {
    if (!window || !window->Native()) return;
    LWindow* owner = FrontOwner(window);
    if (!owner) return;
    const LRect over = owner->GetFrameRect();
    const LRect content = window->GetContentScreenRect();
    const LRect frame = window->FrameRectForContent(content);
    if (over.IsEmpty() || content.IsEmpty()) return;
    u32 id = LDesktop::ScreenWithLargestOverlap(over);
    if (!id) id = WindowServices().MainDisplayId();
    LDisplay screen;
    const bool known = LDesktop::GetDisplayById(id, &screen);
    constexpr i32 kGap = 8;
    constexpr i32 kCascade = 40;
    const i32 w = frame.Width(), h = frame.Height();
    const i32 dx = content.left - frame.left, dy = content.top - frame.top;
    auto place = [&](i32 left, i32 top) {
        LDesktop::FitWindowRect(window, LRect(left + dx, top + dy, left + dx + content.Width(),
                                              top + dy + content.Height()));
    };
    const i32 top = std::max(over.top, known ? screen.visible.top : over.top);
    for (const i32 left : {over.right + kGap, over.left - kGap - w}) {
        const LRect f(left, top, left + w, top + h);
        if (known && f.left >= screen.visible.left && f.right <= screen.visible.right &&
            f.bottom <= screen.visible.bottom) {
            place(left, top);
            return;
        }
    }
    place(over.left + kCascade, over.top + kCascade);
}

void CenterOverOwner(LWindow* window) {
    if (!window || !window->Native()) return;
    if (LWindow* owner = FrontOwner(window)) CenterOver(window, owner);
}

void CenterOverPane(LWindow* window, LPane* pane) {
    if (!window || !window->Native() || !pane) return;
    LWindow* owner = LWindow::FindByNative(pane->GetNativeWindow());
    if (owner && owner != window) CenterOver(window, owner);
}

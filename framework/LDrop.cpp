#include "framework/LDrop.h"

#include <algorithm>

#include "base/CDropFileRef.h"
#include "framework/LDrawObj.h"
#include "framework/LFrame.h"
#include "framework/LWindow.h"

LDrop::~LDrop() {
    SetSource(nullptr);
}

void LDrop::SetSource(CDropSource* source) {
    if (source == fSource) return;
    if (source) source->Retain();
    if (fSource) fSource->Release();
    fSource = source;
}

void LDrop::Move(LPoint screen, u32 sourceMask, bool shift, CDropSource* source) {
    fPos = screen;
    fMask = sourceMask;
    fShift = shift;
    SetSource(source);
    LWindow* window = LWindow::FindByNative(fWindow);
    LFrame* frame = window ? window->GetFrame() : nullptr;
    if (!frame) {
        Exit();
        return;
    }
    const LRect content = window->GetContentScreenRect();
    LPane* hit = frame->FindPaneAt(LPoint{screen.x - content.left, screen.y - content.top});
    fTracked = false;
    Send(LDrop_Sense, this, hit ? hit : frame);
    // Nobody under the pointer wants the drag.
    if (!fTracked) LeaveTarget(fTarget);
}

void LDrop::Exit() {
    LeaveTarget(fTarget);
    fOperation = 0;
    SetSource(nullptr);
}

u32 LDrop::Drop() {
    LPane* target = fTarget;
    u32 performed = 0;
    if (target) {
        performed = u32(std::max(fOperation, 0));
        fTarget = nullptr;
        Send(LDrop_Drop, this, target);
    }
    fOperation = 0;
    SetSource(nullptr);
    return performed;
}

void LDrop::TrackTarget(LPane* pane) {
    fTracked = true;
    if (pane != fTarget) {
        LPane* old = fTarget;
        fTarget = pane;
        fOperation = 0;
        if (old) Send(LDrop_Leave, this, old);
        // The old target may have taken the drag back while leaving.
        if (fTarget != pane) return;
        Send(LDrop_Enter, this, pane);
    }
    if (fTarget) Send(LDrop_Drag, this, fTarget);
}

void LDrop::LeaveTarget(LPane* pane) {
    if (!pane || pane != fTarget) return;
    fTarget = nullptr;
    fOperation = 0;
    DragServices().SetDropOperation(fWindow, 0, IsCopyOnly());
    Send(LDrop_Leave, this, pane);
}

void LDrop::ForgetTarget(LPane* pane) {
    if (!pane || pane != fTarget) return;
    fTarget = nullptr;
    fOperation = 0;
    DragServices().SetDropOperation(fWindow, 0, IsCopyOnly());
}

void LDrop::SetOperation(i32 op) {
    fOperation = op;
    DragServices().SetDropOperation(fWindow, op, IsCopyOnly());
}

bool LDrop::IsCopyOnly() const {
    return (fMask & (kDragCopy | kDragLink | kDragGeneric | kDragMove)) == kDragCopy;
}

// ---------------------------------------------------------------- manager

LDropMgr& LDropMgr::Instance() {
    static LDropMgr sMgr;
    return sMgr;
}

void LDropMgr::AddWindow(LNativeWindow window) {
    if (!window) return;
    for (Entry& e : fEntries) {
        if (e.window == window) {
            ++e.count;
            return;
        }
    }
    fEntries.push_back(Entry{window, 1, new LDrop(window)});
    DragServices().AcceptDrops(window, true);
}

void LDropMgr::RemoveWindow(LNativeWindow window) {
    for (size_t i = 0; i < fEntries.size(); ++i) {
        if (fEntries[i].window != window) continue;
        if (--fEntries[i].count > 0) return;
        LDrop* drop = fEntries[i].drop;
        fEntries.erase(fEntries.begin() + std::ptrdiff_t(i));
        DragServices().AcceptDrops(window, false);
        delete drop;
        return;
    }
}

LDrop* LDropMgr::DropFor(LNativeWindow window) const {
    for (const Entry& e : fEntries)
        if (e.window == window) return e.drop;
    return nullptr;
}

void LDropMgr::ForgetTarget(LPane* pane) {
    for (const Entry& e : fEntries) e.drop->ForgetTarget(pane);
}

// ---------------------------------------------------------------- readers

bool DragHasType(const LDrop* drop, const LScrapType& type) {
    return drop && drop->Source() && drop->Source()->HasType(type);
}

bool DragHasFiles(const LDrop* drop) {
    LString url;
    return drop && drop->Source() && drop->Source()->GetFileUrl(0, &url);
}

bool CDragFileReader::GetFilePath(u32 index, LString* out, u32* status) const {
    *out = LString();
    LString url;
    if (!fDrop || !fDrop->Source() || !fDrop->Source()->GetFileUrl(index, &url)) return false;
    const CDropFileRef ref(url);
    *out = ref.Path();
    if (status) *status = ref.Status();
    return true;
}

// ---------------------------------------------------------------- highlight

void CDropItem::GetFrameRegion(LRgn* out, const CDropItem& item) {
    const i32 width = 2 + std::min<i32>(item.kind, 2);
    LRgn inner = item.region;
    inner.Inset(width, width);
    *out = item.region;
    out->Subtract(inner);
}

void CDropItem::Draw(const CDropItem& item, LDrawCtx& ctx) {
    LRgnFill fill;
    GetFrameRegion(&fill.fRegion, item);
    MakePenById(&fill.fPen, 4);
    ctx.ApplyClip();
    fill.Draw(ctx);
}

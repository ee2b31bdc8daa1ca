#include "devices/CKvsUpldWin.h"

#include "devlink/FileJobQueue.h"
#include "framework/LDrop.h"
#include "framework/LWindow.h"
#include "framework/StdDialogs.h"
#include "services/GraphicsServices.h"

namespace {

constexpr const char* kWin = "UPLDWIN";
constexpr const char* kList = "UPLDLIST";
constexpr i32 kBarMax = 1000;
constexpr i32 kGap = 16;

i32 Permille(f32 fraction) {
    const f32 f = fraction < 0 ? 0 : fraction > 1 ? 1 : fraction;
    return i32(f * kBarMax);
}

}  // namespace

LString UploadStatusText(u32 kind, u32 status) {
    // Items: 0 not a recording, 1 not read or not sent, 2 not converted, 3 not
    // confirmed by the device, 4 its name taken on the card meanwhile.
    u32 item = 1;
    if (status == CKvsFileJobQueue::kNotAccepted) item = kind == CKvsFileJobQueue::kAudio ? 2 : 0;
    if (status == CKvsFileJobQueue::kNotConfirmed) item = 3;
    if (status == CKvsFileJobQueue::kNameTaken) item = 4;
    return StdDialogText(kList, item);
}

LRect PlaceBesideOwner(const LRect& owner, i32 w, i32 h, const LRect& screen) {
    const LRect tries[] = {
        LRect(owner.right + kGap, owner.top, owner.right + kGap + w, owner.top + h),
        LRect(owner.left - kGap - w, owner.top, owner.left - kGap, owner.top + h),
        // The title bar of the window below takes about two gaps.
        LRect(owner.left, owner.bottom + 3 * kGap, owner.left + w, owner.bottom + 3 * kGap + h),
        LRect(owner.left, owner.top - 3 * kGap - h, owner.left + w, owner.top - 3 * kGap),
    };
    auto inside = [&screen](const LRect& r) {
        return r.left >= screen.left && r.top >= screen.top && r.right <= screen.right &&
               r.bottom <= screen.bottom;
    };
    for (const LRect& r : tries)
        if (inside(r)) return r;
    const i32 right = screen.right - kGap, bottom = screen.bottom - kGap;
    return LRect(right - w, bottom - h, right, bottom);
}

u32 UploadOverall(u32 queued, u32 done, f32 fraction) {
    if (done >= queued) return 0;
    return u32(((f64(done) + f64(fraction)) + 0.1) / (f64(queued) + 0.1) * kBarMax);
}

// ---- CKvsUpldCell

CKvsUpldCell::CKvsUpldCell(LPane* list) : LListCell(list), fName(this), fStatus(this) {
    fName.SetStyle(LFont(2));
    fStatus.SetStyle(LFont(2));
    SetLayoutByName("UPLDCELL", 0);
}

// ---- CKvsUpldList

CKvsUpldList::CKvsUpldList(LPane* owner) : LCellListPane(owner, kSizePaneWidth, true, false) {
    InsertColumns(0, 1);
}

void CKvsUpldList::AddItem(const LString& name, const LString& status) {
    fItems.push_back(Item{std::string(name.View()), std::string(status.View())});
    InsertRows(Rows(), 1);
}

void CKvsUpldList::Clear() {
    fItems.clear();
    if (Rows() > 0) RemoveRows(0, Rows());
}

LListCell* CKvsUpldList::CreateCell() {
    return new CKvsUpldCell(this);
}

bool CKvsUpldList::BindCell(LListCell* frame, LCell cell) {
    if (cell.row < 0 || u32(cell.row) >= fItems.size()) return false;
    auto* c = static_cast<CKvsUpldCell*>(frame);
    c->fName.SetText(LString(fItems[u32(cell.row)].name.c_str()));
    c->fStatus.SetText(LString(fItems[u32(cell.row)].status.c_str()));
    return true;
}

void CKvsUpldList::BoundsChanged(const LRect& old) {
    LCellListPane::BoundsChanged(old);
    if (old.Width() != fBounds.Width()) SetCellSize(fBounds.Width(), CellHeight());
}

// ---- CKvsUpldWin

CKvsUpldWin::CKvsUpldWin(LHandler* parent)
    : LFrame(parent, nullptr, LPaneOpt::Window(kWindowOrdinary, 6)),
      fCancel(this),
      fUploadLabel(this),
      fUploadName(this),
      fOverall(this),
      fConvertLabel(this),
      fConvertName(this),
      fConvert(this),
      fHint(this) {
    fNavi = new LListNavi(this, LListNavi::kVerticalBar, true);
    fList = new CKvsUpldList(fNavi);
    fNavi->SetList(fList);
    LPenRef pen;
    MakePenById(&pen, 1);
    SetBackColor(pen);
    SetTitle(StdDialogText(kWin, 0));
    fCancel.SetTitle(StdDialogText(kWin, 1));
    fUploadLabel.SetText(StdDialogText(kWin, 2));
    fConvertLabel.SetText(StdDialogText(kWin, 3));
    fOverall.SetMax(kBarMax);
    fConvert.SetMax(kBarMax);
    fHint.SetStyle(LFont(2));
    fHint.SetText(StdDialogText(kWin, 4));
    fHint.SetState(kOpHide);
    SetLayoutByName(kWin, 1);
}

void CKvsUpldWin::PlaceBeside(const LRect& owner) {
    LDrawCtx ctx;
    const i32 w = GetPrefWidth(&ctx, 0), h = GetPrefHeight(&ctx, 0);
    LRect screen = LDesktop::DesktopBounds(false);
    LDisplay display;
    if (LDesktop::GetDisplayById(LDesktop::ScreenWithLargestOverlap(owner), &display))
        screen = display.visible;
    SetWindowBounds(PlaceBesideOwner(owner, w, h, screen));
}

LMessage CKvsUpldWin::HandleMessage(const LMessage& msg) {
    switch (fDrops.Classify(msg)) {
        case 1:
            return LMessage();
        case 2:
        case 4:
            // Files belong on the control window's file list, whose tab says
            // whether they are recordings or audio: this window says so.
            if (DragHasFiles(fDrops.Drag()) && !fHint.IsShown()) fHint.SetState(kOpShow);
            fDrops.SetOperation(0);
            return LMessage();
        case 3:
        case 5:
            return LMessage();
        default:
            break;
    }
    return LFrame::HandleMessage(msg);
}

void CKvsUpldWin::Show(u32 queued, u32 done, f32 uploadFraction, const LString& uploadName,
                       const LString& convertName, f32 convertFraction) {
    fOverall.SetValue(i32(UploadOverall(queued, done, uploadFraction)));
    fUploadName.SetText(uploadName);
    fConvertName.SetText(convertName);
    fConvert.SetValue(Permille(convertFraction));
}

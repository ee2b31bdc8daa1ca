#include "devices/CKvsUpldWin.h"

#include "framework/StdDialogs.h"
#include "platform/GraphicsServices.h"

namespace {

constexpr const char* kWin = "UPLDWIN";
constexpr const char* kList = "UPLDLIST";
constexpr i32 kBarMax = 1000;

i32 Permille(f32 fraction) {
    const f32 f = fraction < 0 ? 0 : fraction > 1 ? 1 : fraction;
    return i32(f * kBarMax);
}

}  // namespace

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

void CKvsUpldList::AddItem(const LString& name, bool failed) {
    fItems.push_back(
        Item{std::string(name.View()), std::string(StdDialogText(kList, failed ? 1 : 0).View())});
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
      fConvert(this) {
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
    SetLayoutByName(kWin, 1);
}

void CKvsUpldWin::Show(u32 queued, u32 done, f32 uploadFraction, const LString& uploadName,
                       const LString& convertName, f32 convertFraction) {
    fOverall.SetValue(i32(UploadOverall(queued, done, uploadFraction)));
    fUploadName.SetText(uploadName);
    fConvertName.SetText(convertName);
    fConvert.SetValue(Permille(convertFraction));
}

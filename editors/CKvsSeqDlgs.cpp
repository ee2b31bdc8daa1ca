#include "editors/CKvsSeqDlgs.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <unordered_map>
#include <vector>

#include "base/TextFormat.h"
#include "framework/LCellListPane.h"
#include "framework/StdDialogs.h"
#include "framework/WindowPlacement.h"
#include "records/AppPrefsDoc.h"
#include "records/CRecordDoc.h"
#include "records/CUndoStrm.h"
#include "records/NsqPrefKinds.h"
#include "records/PrefNodes.h"
#include "records/ShowKinds.h"
#include "records/SortedLists.h"

namespace {

constexpr const char* kFmtName = "KVSSEQFMTDLG";
constexpr const char* kMoveName = "MOVETIMEDLG";
constexpr const char* kSpdName = "KVSSPDCALC";
constexpr const char* kMoveMode = "mvtmother";
constexpr const char* kSpdPlacement = "spdplc";
// The last time of day a scene may start at.
constexpr i64 kLastSceneTime = 86399990;
constexpr u32 kMsPerSecond = 1000;

void Ring(CRadioBtn& a, CRadioBtn& b) {
    a.SetNext(&b);
    b.SetNext(&a);
}

CRecord* MiscPrefs() {
    CRecordDoc* doc = AppPrefsDoc();
    return doc && doc->Root() ? doc->Root()->GetChild(PrefF::misc) : nullptr;
}

CRecord* ControllerPrefs() {
    CRecordDoc* doc = AppPrefsDoc();
    CRecord* ctlr = doc && doc->Root() ? doc->Root()->GetChild(PrefF::ctlr) : nullptr;
    return ctlr ? ctlr->GetChild(PrctF::prms) : nullptr;
}

std::vector<u32> SelectedRows(const LRgn& selection, u32 count) {
    std::vector<u32> rows;
    if (selection.IsEmpty()) return rows;
    const LRect b = selection.GetBounds();
    for (i64 r = std::max(b.top, 0); r < b.bottom && r < i64(count); ++r)
        if (selection.ContainsPoint(b.left, i32(r))) rows.push_back(u32(r));
    return rows;
}

}  // namespace

// ---- CKvsSeqFmtDlg

CKvsSeqFmtDlg::CKvsSeqFmtDlg(LHandler* parent)
    : LDialog(parent, nullptr, LPaneOpt::Window(kWindowDialog, 0)),
      fOk(this),
      fCancel(this),
      fFirst(this),
      fSecond(this),
      fCheck(this) {
    SetTitle(StdDialogText(kFmtName, 0));
    fOk.SetTitle(StdDialogText(kFmtName, 1));
    fCancel.SetTitle(StdDialogText(kFmtName, 2));
    fFirst.SetTitle(StdDialogText(kFmtName, 3));
    fSecond.SetTitle(StdDialogText(kFmtName, 4));
    fCheck.SetTitle(StdDialogText(kFmtName, 5));
    Ring(fFirst, fSecond);
    fFirst.SelectIndex(0);
    SetDefaultButton(&fOk);
    SetCancelButton(&fCancel);
    SetLayoutByName(kFmtName, 1);
}

LMessage CKvsSeqFmtDlg::HandleMessage(const LMessage& msg) {
    if (msg.Is(LStdCheck_Change) && (msg.source == &fFirst || msg.source == &fSecond)) {
        UpdateVisibility();
        return LMessage();
    }
    return LDialog::HandleMessage(msg);
}

void CKvsSeqFmtDlg::UpdateVisibility() {
    static_cast<LPane&>(fCheck).SetState(fSecond.GetState() != 0 ? kOpShow : kOpHide);
}

bool RunSeqFormatDialog(LHandler* parent, LPane* owner, bool* nsq, bool* dmct) {
    (void)owner;
    CKvsSeqFmtDlg d(parent);
    d.fFirst.SelectIndex(*nsq ? 1 : 0);
    d.fCheck.SetState(*dmct ? 1 : 0);
    d.UpdateVisibility();
    if (d.RunModal() != 1) return false;
    *nsq = d.fSecond.GetState() != 0;
    *dmct = d.fCheck.GetState() != 0;
    return true;
}

// ---- CKvsMoveTimeDlg

CKvsMoveTimeDlg::CKvsMoveTimeDlg(LHandler* parent)
    : LDialog(parent, nullptr, LPaneOpt::Window(kWindowDialog, 0)),
      fOk(this),
      fCancel(this),
      fLabel(this, LTextBox::kWrap),
      fTime(this, 0, 100, 0),
      fLater(this),
      fOnly(this) {
    SetTitle(StdDialogText(kMoveName, 0));
    fOk.SetTitle(StdDialogText(kMoveName, 1));
    fCancel.SetTitle(StdDialogText(kMoveName, 2));
    fLabel.SetText(StdDialogText(kMoveName, 3));
    fLater.SetTitle(StdDialogText(kMoveName, 4));
    fOnly.SetTitle(StdDialogText(kMoveName, 5));
    Ring(fLater, fOnly);
    fLater.SelectIndex(0);
    SetDefaultButton(&fOk);
    SetCancelButton(&fCancel);
    SetLayoutByName(kMoveName, 1);
}

bool MoveSceneTimes(CRecord* seq, LHandler* ctx, u8 field, LRgn* selection, i32 time, u32 mode) {
    const u32 count = seq->GetListCount(field);
    std::vector<u32> rows = SelectedRows(*selection, count);
    if (rows.empty()) return false;
    const u32 top = rows.front();
    // Device times may lie anywhere in 32 bits: their differences do not.
    const i64 d = i64(time) - seq->GetListItem(field, top)->GetI32(ScenF::sntm);
    if (d == 0) return false;
    std::unique_ptr<CUndoStrm> group(
        CUndoStrm::Open(ctx, nullptr, nullptr, "", 0, CUndoStrm::kMergeNew));
    u32 first = top;
    if (mode == 0) {
        if (d < 0) {
            for (u32 r = top; r-- > 0;) {
                if (seq->GetListItem(field, r)->GetI32(ScenF::sntm) > time) {
                    seq->RemoveItem(ctx, field, r);
                    --first;
                }
            }
        }
        rows.clear();
        for (u32 r = first; r < seq->GetListCount(field); ++r) rows.push_back(r);
    }
    // Walking against the direction of the move keeps the rows still to come in place.
    std::vector<const CRecord*> moved;
    auto move = [&](u32 r) {
        CRecord* scene = seq->GetListItem(field, r);
        const i64 to = std::clamp<i64>(i64(scene->GetI32(ScenF::sntm)) + d,
                                       std::numeric_limits<i32>::min(), kLastSceneTime);
        moved.push_back(scene);
        MoveSortedItem(seq, ctx, field, r, i32(to));
    };
    if (d > 0)
        for (auto it = rows.rbegin(); it != rows.rend(); ++it) move(*it);
    else
        for (u32 r : rows) move(r);
    selection->SetEmpty();
    std::unordered_map<const CRecord*, u32> rowOf;
    for (u32 r = 0; r < seq->GetListCount(field); ++r) rowOf[seq->GetListItem(field, r)] = r;
    for (const CRecord* scene : moved) {
        const u32 r = rowOf[scene];
        selection->Union(LRgn(LRect(0, i32(r), 1, i32(r) + 1)));
    }
    return true;
}

void RunMoveTimeCommand(LHandler* parent, LPane* owner, CRecord* seq, u8 field,
                        const LRgn& selection) {
    const std::vector<u32> rows = SelectedRows(selection, seq ? seq->GetListCount(field) : 0);
    if (rows.empty()) return;
    CKvsMoveTimeDlg d(parent);
    d.fTime.SetTime(seq->GetListItem(field, rows.front())->GetI32(ScenF::sntm), kMsPerSecond);
    CRecord* misc = MiscPrefs();
    d.fLater.SelectIndex(misc ? NodeGetIntOr(misc, kMoveMode, 0) : 0);
    if (d.RunModal() != 1) return;
    const i32 time = d.fTime.GetScaledValue(kMsPerSecond);
    const i32 mode = d.fLater.SelectedIndex();
    if (misc) NodeSetInt(misc, nullptr, kMoveMode, mode);
    LRgn moved = selection;
    if (!MoveSceneTimes(seq, parent, field, &moved, time, u32(mode))) return;
    if (auto* list = dynamic_cast<LCellListPane*>(owner)) list->SetSelection(moved);
}

bool RunMoveTimeDialog(LHandler* parent, u32* ms, u32* follow) {
    CKvsMoveTimeDlg d(parent);
    d.fTime.SetTime(i32(std::min<u32>(*ms, u32(kLastSceneTime))), kMsPerSecond);
    d.fLater.SelectIndex(*follow ? 1 : 0);
    if (d.RunModal() != 1) return false;
    const i32 time = d.fTime.GetScaledValue(kMsPerSecond);
    *ms = u32(std::clamp<i32>(time, 0, i32(kLastSceneTime)));
    *follow = u32(d.fLater.SelectedIndex());
    return true;
}

// ---- CKvsSpdCalcDlg

CKvsSpdCalcDlg::CKvsSpdCalcDlg(LHandler* parent)
    : LModalFrame(parent, nullptr, LPaneOpt::Window(kWindowOrdinary, 3)),
      // The labels wrap where a small screen is narrower than their line.
      fLabel(this, LTextBox::kWrap),
      fDuration(this, 0, 1, 0),
      fLonger(this),
      fShorter(this),
      fDiff(this, 1),
      fLabel2(this, LTextBox::kWrap),
      fResult(this) {
    SetTitle(StdDialogText(kSpdName, 0));
    fLabel.SetStyle(LFont(2));
    fLabel.SetText(StdDialogText(kSpdName, 1));
    fLonger.SetTitle(StdDialogText(kSpdName, 2));
    fShorter.SetTitle(StdDialogText(kSpdName, 3));
    fLabel2.SetStyle(LFont(2));
    fLabel2.SetText(StdDialogText(kSpdName, 4));
    fResult.SetStyle(LFont(3));
    Ring(fLonger, fShorter);
    fLonger.SelectIndex(0);
    fDiff.SetRange(0, 10, 0.1f);
    fDiff.SetValue(0);
    SetLayoutByName(kSpdName, 1);
    CRecord* prefs = ControllerPrefs();
    const LRect r = prefs ? GetRectFromString(prefs, kSpdPlacement) : LRect();
    if (r.left < r.right && r.top < r.bottom) {
        SetWindowBounds(r);
    } else {
        // No stored place: beside the window whose menu opened it.
        Relayout();
        PlaceBesideOwner(Window());
    }
    Recompute();
}

CKvsSpdCalcDlg::~CKvsSpdCalcDlg() {
    if (CRecord* prefs = ControllerPrefs(); prefs && Window())
        SetRectAsString(prefs, kSpdPlacement, GetWindowBounds());
}

LMessage CKvsSpdCalcDlg::HandleMessage(const LMessage& msg) {
    if (msg.Is(CNumVol_Fix) || msg.Is(LStdCheck_Change)) {
        Recompute();
        return LMessage();
    }
    return LModalFrame::HandleMessage(msg);
}

void CKvsSpdCalcDlg::Recompute() {
    fResult.SetText(
        SpeedChangeText(fDuration.GetScaledValue(1), fDiff.GetValue(), fShorter.GetState() != 0));
}

LString SpeedChangeText(i32 seconds, f64 diff, bool shorter) {
    const f64 d = shorter ? -diff : diff;
    const f64 s = f64(seconds) + d;
    if (s == 0 || seconds == 0) return LString(" - ");
    LString out;
    FloatToStr(&out, 2, -100.0 * d / s);
    if (out == LString("-0")) out = LString("0");
    return out;
}

#include "editors/nsq/CNSqUTrkList.h"

#include <algorithm>
#include <cmath>

#include "editors/LListEdit.h"
#include "editors/nsq/CNSqTimeScale.h"
#include "editors/nsq/NSqSceneOps.h"
#include "framework/CDragger.h"
#include "framework/InputState.h"
#include "framework/LContextMenu.h"
#include "framework/LDrawObj.h"
#include "framework/LDrop.h"
#include "framework/LMenu.h"
#include "framework/MousePoint.h"
#include "records/NsqPrefKinds.h"
#include "records/NsqSets.h"
#include "records/RecordKinds.h"
#include "records/ScrapTypeNames.h"

namespace {

constexpr i32 kDropMargin = 10;
constexpr i32 kScrollStepPx = 8;

bool IsNsq(const CRecord* r, u32 kind) {
    return r && r->Family() == kFamNsq && r->Kind() == kind;
}

LPenRef Pen(u32 rgba) {
    LPenRef p;
    MakePenByColor(&p, rgba, 0);
    return p;
}

}  // namespace

CNSqUTrkCell::CNSqUTrkCell(LPane* list, CNSqTimeScale* scale)
    : LListCell(list), fName(this), fTrack(this, this, scale), fSep(this, this) {
    SetLayoutByName("NSQTTRKCELL", 1);
}

CNSqUTrkList::CNSqUTrkList(LPane* owner, CNSqTimeScale* scale, LMenu* menu)
    : LTypedCellList(owner), fScale(scale), fMenu(menu), fDropper(this) {
    // Scenes, not rows, are dragged here.
    OpenList(0, false);
    fScale->Selection().Doc().AddListener(this, OnSelection);
    if (auto* ctx = dynamic_cast<CNSqDevCtx*>(fScale->Kinds())) ctx->AddListener(this, OnStatus);
}

CNSqUTrkList::~CNSqUTrkList() {
    delete fDragger;
    SetSequence(nullptr);
    if (auto* ctx = dynamic_cast<CNSqDevCtx*>(fScale->Kinds())) ctx->RemoveListener(this, OnStatus);
    fScale->Selection().Doc().RemoveListener(this, OnSelection);
}

u32 CNSqUTrkList::TrackCount() const {
    return fSeq ? fSeq->GetListCount(SseqF::trks) : 0;
}

void CNSqUTrkList::SetSequence(CRecord* sequence) {
    if (Rows() > 0) RemoveRows(0, Rows());
    if (fSeqDoc) fSeqDoc->RemoveListener(this, OnSequence);
    fSeq = sequence;
    fSeqDoc = sequence ? sequence->GetOwner() : nullptr;
    if (fSeqDoc) fSeqDoc->AddListener(this, OnSequence);
    if (const u32 n = TrackCount()) InsertRows(0, i32(n));
}

LListCell* CNSqUTrkList::CreateCell() {
    return new CNSqUTrkCell(this, fScale);
}

bool CNSqUTrkList::BindCell(LListCell* frame, LCell cell) {
    auto* c = static_cast<CNSqUTrkCell*>(frame);
    if (!fSeq || cell.row < 0 || u32(cell.row) >= TrackCount()) {
        c->fTrack.SetTrack(nullptr);
        return false;
    }
    CRecord* track = fSeq->GetListItem(SseqF::trks, u32(cell.row));
    // Showing a name is no edit of it.
    fBinding = true;
    c->fName.SetText(track->GetString(StrkF::name));
    fBinding = false;
    c->fTrack.SetTrack(track);
    return true;
}

bool CNSqUTrkList::CellSizeFollows(const LRect&) const {
    return true;
}
u32 CNSqUTrkList::CellQuery(LCell* size) {
    size->col = std::max(fBounds.Width(), 1);
    size->row = ProtoRowHeight();
    return kSizeAsQueried;
}

void CNSqUTrkList::BoundsChanged(const LRect& old) {
    LTypedCellList::BoundsChanged(old);
    LRect zone = fBounds;
    zone.left += NameColumnWidth();
    fDropper.SetZone(zone, kDropMargin, kDropMargin);
}

i32 CNSqUTrkList::NameColumnWidth() {
    auto* proto = static_cast<CNSqUTrkCell*>(GetProtoCell());
    // A cell's panes lie in the cell's own coordinates.
    return proto ? proto->fTrack.Bounds().left : 0;
}

LRect CNSqUTrkList::SceneArea() {
    LRect r = fBounds;
    r.left += NameColumnWidth();
    return r;
}

void CNSqUTrkList::UpdateHilite(const LRgn& changed, const LRgn& oldSelection) {
    // Rows and scenes are never selected together.
    if (!Selection().IsEmpty()) fScale->Selection().DeselectAll();
    LTypedCellList::UpdateHilite(changed, oldSelection);
}

// ---- invalidation

void CNSqUTrkList::InvalidateSceneArea() {
    InvalidateRgn(LRgn(SceneArea()));
}

void CNSqUTrkList::InvalidateRow(u32 row) {
    LRect r = GetCellRect(LCell{0, i32(row)});
    r.left += NameColumnWidth();
    r.Intersect(fBounds);
    if (!r.IsEmpty()) InvalidateRgn(LRgn(r));
}

void CNSqUTrkList::ScrollTime(i32 pixels) {
    const double visible = SceneArea().Width() * fScale->Scale();
    fScale->SetViewTime(pixels * fScale->Scale() + fScale->ViewTime(), visible);
}

// ---- content coordinates: they stay with the scenes while the view scrolls

i32 CNSqUTrkList::ContentOriginX() const {
    return i32(std::lround(fScale->ViewTime() / fScale->Scale()));
}

bool CNSqUTrkList::NowTime(u32* ms) const {
    auto* ctx = dynamic_cast<CNSqDevCtx*>(fScale->Kinds());
    if (!fSeq || !ctx || fNow == 0xFFFFFFFFu ||
        ctx->Status()->GetU32(NsqStatF::sqid) != fSeq->GetU32(SseqF::sqid))
        return false;
    *ms = fNow;
    return true;
}

LPoint CNSqUTrkList::ToContent(LPoint pt) {
    const i32 x0 = ContentOriginX();
    return LPoint{pt.x - SceneArea().left + x0, pt.y - fBounds.top + First().row * CellHeight()};
}

LRect CNSqUTrkList::FromContent(const LRect& r) {
    const i32 x0 = ContentOriginX();
    const i32 dx = SceneArea().left - x0;
    const i32 dy = fBounds.top - First().row * CellHeight();
    return LRect(r.left + dx, r.top + dy, r.right + dx, r.bottom + dy);
}

LRect CNSqUTrkList::BoxOfScene(u32 row, u32 scene) {
    auto* proto = static_cast<CNSqUTrkCell*>(GetProtoCell());
    const LRect cell = GetCellRect(LCell{0, i32(row)});
    LRect pane = proto->fTrack.Bounds();
    // From the cell's coordinates to the list's; the prototype cell may stand
    // on any row when asked.
    pane.Offset(cell.left, cell.top);
    pane.left = SceneArea().left;
    pane.right = fBounds.right;
    return NSqSceneBox(*fScale, fSeq->GetListItem(SseqF::trks, row), scene, pane);
}

// ---- the rubber band

void CNSqUTrkList::StartBand(LPoint pt) {
    fScale->Selection().DeselectAll();
    fBandAnchor = ToContent(pt);
    fBand = LRect(fBandAnchor.x, fBandAnchor.y, fBandAnchor.x, fBandAnchor.y);
    fBanding = true;
    // The scenes the band gathers are what Delete acts on next.
    FocusList();
    Send(LPane_ReqCapture, this, fParent);
}

void CNSqUTrkList::MoveBand(LPoint pt) {
    const LPoint p = ToContent(pt);
    const LRect band(std::min(p.x, fBandAnchor.x), std::min(p.y, fBandAnchor.y),
                     std::max(p.x, fBandAnchor.x), std::max(p.y, fBandAnchor.y));
    LRgn changed{FromContent(fBand)};
    changed.Xor(LRgn(FromContent(band)));
    fBand = band;
    const LRect shown = FromContent(band);
    const i32 h = std::max(CellHeight(), 1);
    const i32 firstRow = std::max((band.top + 2) / h, 0);
    const i32 lastRow = std::min((band.bottom - 2) / h, i32(TrackCount()) - 1);
    CNSqScnSel& sel = fScale->Selection();
    for (i32 row = firstRow; row <= lastRow; ++row) {
        const CRecord* track = fSeq->GetListItem(SseqF::trks, u32(row));
        const u32 n = track->GetListCount(StrkF::scns);
        for (u32 i = 0; i < n; ++i) {
            const u32 t = track->GetListItem(StrkF::scns, i)->GetU32(SscnF::time);
            if (i32(std::lround(t / 1000.0 / fScale->Scale())) >= band.right) break;
            if (i + 1 < n) {
                const u32 next = track->GetListItem(StrkF::scns, i + 1)->GetU32(SscnF::time);
                if (i32(std::lround(next / 1000.0 / fScale->Scale())) <= band.left) continue;
            }
            const LRect box = BoxOfScene(u32(row), i);
            if (!changed.IntersectsRect(box)) continue;
            LRect meet = box;
            meet.Intersect(shown);
            sel.SetSelected(u32(row), i, !meet.IsEmpty());
        }
    }
    InvalidateRgn(changed);
}

void CNSqUTrkList::EndBand() {
    InvalidateRgn(LRgn(FromContent(fBand)));
    fBanding = false;
}

// ---- scenes

void CNSqUTrkList::AddSceneAt(u32 row, double seconds, u32 kind) {
    if (!fSeq || row >= TrackCount() || !kind) return;
    const double ms = std::trunc(std::max(seconds, 0.0) * 1000.0);
    // The time line ends with the day.
    if (!(ms < kNSqDayMs)) return;
    CRecord* track = fSeq->GetListItem(SseqF::trks, row);
    const u32 at = NSqTrkAddScene(track, this, u32(ms), kind);
    fScale->Selection().SelectOnly(row, at);
}

void CNSqUTrkList::AddTrack() {
    if (!fSeq) return;
    const LCell first = GetSelStart();
    const u32 at = first.row >= 0 ? u32(first.row) : TrackCount();
    const u32 row = NSqSeqAddTrack(fSeq, this, at);
    if (row >= TrackCount()) return;
    SelectCell(LCell{0, i32(row)});
    ScrollToCell(LCell{0, i32(row)});
}

void CNSqUTrkList::StartDrag(CNSqUTrkVw_CClk* pane, u32 row) {
    fDragRow = i32(row);
    const double ms = std::trunc(std::max(pane->ClickTime(), 0.0) * 1000.0);
    fDragTime = u32(std::min(ms, 4294967295.0));
    delete fDragger;
    fDragger = CDragger::New(this);
    // Whatever field had the keys before, the scene clicked has them now.
    FocusList();
}

bool CNSqUTrkList::DropScenes() {
    LDrop* drop = fDropper.Drag();
    if (!drop || !drop->Source() || !fSeq) return false;
    const LPoint pt = fDropper.Pointer();
    const LCell cell = PointToCell(pt);
    if (cell.row < 0 || u32(cell.row) >= TrackCount()) return false;
    const double t = fScale->PosToTime(pt.x - SceneArea().left);
    const bool move = fDragRow >= 0 && !drop->IsCopyOnly();
    CNSqScnScrap scrap(drop->Source());
    NSqDropScenes(this, *fScale, scrap, cell.row, t, move);
    return true;
}

bool CNSqUTrkList::RunStdCmd(const LMessage& msg) {
    auto* item = static_cast<LMenuItem*>(msg.source);
    if (fScale->Selection().Count() > 0) {
        if (!item->HasCommand(LStdCmd_Delete)) return false;
        NSqDeleteSelectedScenes(this, fScale->Selection());
        return true;
    }
    i32 index = i32(TrackCount());
    const i32 n = LListEdit::DoStdCmd(this, fSeq, SseqF::trks, Selection(), true, kScrapNsqTracks,
                                      item, &index);
    if (n > 0) SetSelection(LRgn(LRect(0, index, 1, index + n)));
    return n != 0;
}

// ---- messages

LMessage CNSqUTrkList::HandleMessage(const LMessage& msg) {
    // The drop helper's end comes while this list is being destroyed.
    if (msg.source == &fDropper && msg.Is(LHandler_Destructing)) return LMessage();
    if (fDropper.HandleDrop(msg)) return LMessage();
    if (msg.source == &fDropper) {
        LDrop* drop = fDropper.Drag();
        if (msg.Is(CDropScrollHelper_Enter) || msg.Is(CDropScrollHelper_Move)) {
            const bool offered =
                drop && drop->Source() && drop->Source()->HasType(ScrapTypeOf(kScrapNsqScenes));
            if (!offered) return LMessage::CopyRetarget(msg, msg.source);
            drop->SetOperation(fDragRow >= 0 ? 1 : 3);
            return LMessage();
        }
        if (msg.Is(CDropScrollHelper_Drop)) {
            DropScenes();
            return LMessage();
        }
        if (msg.Is(CDropScrollHelper_Scroll)) {
            const CScrollHelper& s = fDropper.Scroller();
            if (s.DirY() != 0) {
                const i32 row =
                    std::clamp(First().row + s.DirY(), 0, std::max(GetMaxScrollRow(), 0));
                SetScrollPos(LCell{First().col, row});
            }
            if (s.DirX() != 0) ScrollTime(s.DirX() * kScrollStepPx);
            return LMessage();
        }
        return LMessage();
    }
    // Messages from inside a row.
    LCell cell;
    if (msg.source && msg.source != this &&
        (msg.Is(CNSqUTrkVw_CClk_Clk) || msg.Is(CNSqUTrkVw_CClk_CtxClk) ||
         msg.Is(LEditText_Change)) &&
        FindCellFrame(msg.source, &cell) && cell.row >= 0 && u32(cell.row) < TrackCount()) {
        if (msg.Is(CNSqUTrkVw_CClk_Clk)) {
            StartDrag(static_cast<CNSqUTrkVw_CClk*>(msg.source), u32(cell.row));
            return LMessage();
        }
        if (msg.Is(CNSqUTrkVw_CClk_CtxClk)) {
            const double t = static_cast<CNSqUTrkVw_CClk*>(msg.source)->ClickTime();
            LMenuItem* chosen = nullptr;
            if (fMenu) {
                fMenu->EnableAllItems();
                chosen = PopUpContextMenu(this, fMenu, false);
            }
            const u32 kind =
                chosen ? fScale->Kinds()->KindForCommand(chosen->FirstCommand().CStr()) : 0;
            AddSceneAt(u32(cell.row), t, kind);
            // The new scene is selected: the keys act on it.
            if (fScale->Selection().Count() > 0) FocusList();
            return LMessage();
        }
        if (!fBinding) {
            CRecord* track = fSeq->GetListItem(SseqF::trks, u32(cell.row));
            auto* c = static_cast<CNSqUTrkCell*>(GetCellFrame(cell, true));
            if (c && msg.source == &c->fName)
                track->SetString(this, StrkF::name, c->fName.GetText());
        }
        return LMessage();
    }
    if (msg.Is(LMenuBar_Ready) && msg.source && fSeq) {
        auto* bar = static_cast<LMenuBar*>(msg.source);
        if (fScale->Selection().Count() > 0)
            bar->EnableCommand(LStdCmd_Delete);
        else
            LListEdit::EnableStdCmds(bar, Selection(), kScrapNsqTracks);
        return LTypedCellList::HandleMessage(msg);
    }
    if (msg.Is(LMenuItem_Selected) && msg.source && fSeq && RunStdCmd(msg)) return LMessage();
    if (msg.source && msg.source != this && (msg.Is(CDragger_Drag) || msg.Is(CDragger_End))) {
        auto* dragger = static_cast<CDragger*>(msg.source);
        if (msg.Is(CDragger_End)) {
            fDragRow = -1;
            if (dragger == fDragger) fDragger = nullptr;
            return LMessage::CopyRetarget(msg, msg.source);
        }
        LScrapData* data =
            fDragRow >= 0 ? NSqMakeSceneScrap(*fScale, u32(fDragRow), fDragTime) : nullptr;
        if (!data) {
            // Nothing to drag: the dragger ends (and deletes itself).
            fDragRow = -1;
            if (dragger == fDragger) fDragger = nullptr;
            return LMessage{CDragger_End, dragger, dragger};
        }
        dragger->SetData(data);
        LRgn image;
        CNSqScnSel& sel = fScale->Selection();
        for (u32 i = 0; i < sel.Count(); ++i) {
            u32 t, s;
            sel.GetAt(i, &t, &s);
            if (t < TrackCount()) image.Union(LRgn(BoxOfScene(t, s)));
        }
        const LPoint origin = ScreenPointIn(this, LPoint{0, 0});
        image.Offset(-origin.x, -origin.y);
        dragger->SetImageRgn(image);
        return LMessage::CopyRetarget(msg, msg.source);
    }
    LMouse* mouse = LMouse::Instance();
    if (mouse && msg.source == mouse) {
        const LPoint pt = MousePointIn(this);
        if (msg.Is(LMouse_Click) && fSeq && pt.x >= SceneArea().left) {
            StartBand(pt);
            return LMessage();
        }
        if (msg.Is(LMouse_Move) && fBanding) {
            MoveBand(pt);
            return LMessage();
        }
        if (msg.Is(LMouse_Release) && fBanding) {
            EndBand();
            return LMessage();
        }
        if (msg.Is(LMouse_Wheel) && pt.x >= SceneArea().left) {
            ScrollTime(-mouse->GetWheelX());
            return LMessage();
        }
    }
    return LTypedCellList::HandleMessage(msg);
}

// ---- drawing

LRect CNSqUTrkList::NowLineRect() {
    if (fNow == 0xFFFFFFFFu) return LRect();
    const i32 x = fScale->TimeToPos(fNow / 1000.0) + SceneArea().left;
    return LRect(x, fBounds.top, x + 1, fBounds.bottom);
}

void CNSqUTrkList::Draw(LDrawCtx& ctx) {
    LTypedCellList::Draw(ctx);
    // The rows leave the native clip at the last one drawn.
    LClipScope clip(ctx, LRgn(fBounds));
    ctx.ApplyClip();
    if (fBanding) {
        LSolidFill band(FromContent(fBand), LPenRef());
        MakePenByGray(&band.fPen, 3);
        band.fDrawMode = 2;
        band.Draw(ctx);
    }
    u32 now;
    if (!NowTime(&now)) return;
    LRect line = NowLineRect();
    line.Intersect(SceneArea());
    if (!line.IsEmpty()) LSolidFill(line, Pen(0x00FF00FFu)).Draw(ctx);
}

// ---- changes

void CNSqUTrkList::OnSelection(void* self, CRecordNote* note) {
    auto* l = static_cast<CNSqUTrkList*>(self);
    if (note->field != SlntF::field0) return;
    const CRecord* n = note->record;
    if (l->fScale->Selection().Count() > 0 && !l->Selection().IsEmpty()) l->SetSelection(LRgn());
    const u32 row = n->GetU32(SlntF::field1);
    if (row < l->TrackCount()) l->InvalidateRow(row);
}

void CNSqUTrkList::OnStatus(void* self, CRecordNote* note) {
    auto* l = static_cast<CNSqUTrkList*>(self);
    if (note->kind != CRecordNote::kChanged) return;
    if (note->field == NsqStatF::sqid) {
        l->InvalidateRgn(LRgn(l->NowLineRect()));
    } else if (note->field == NsqStatF::time) {
        const LRect old = l->NowLineRect();
        l->fNow = note->record->GetU32(NsqStatF::time);
        const LRect now = l->NowLineRect();
        if (!(old == now)) {
            l->InvalidateRgn(LRgn(old));
            l->InvalidateRgn(LRgn(now));
        }
        Send(CNSqUTrkList_Poll, l, l->fParent);
    }
}

void CNSqUTrkList::OnSequence(void* self, CRecordNote* note) {
    auto* l = static_cast<CNSqUTrkList*>(self);
    CRecord* r = note->record;
    if (!l->fSeq || !r) return;
    const i32 changed = l->fScale->Kinds()->TrackOfChange(l->fSeq, note);
    if (changed >= 0) {
        l->InvalidateRow(u32(changed));
        return;
    }
    if (note->kind == CRecordNote::kDetached && r == l->fSeq) {
        l->SetSequence(nullptr);
        return;
    }
    if (IsNsq(r, kKindSscn) && note->kind == CRecordNote::kChanged && note->field == SscnF::time &&
        r->Parent() && r->Parent()->Parent() == l->fSeq) {
        l->InvalidateRow(r->Parent()->GetIndex());
    } else if (IsNsq(r, kKindStrk) && r->Parent() == l->fSeq) {
        if (note->field == StrkF::scns) l->InvalidateRow(r->GetIndex());
        if (note->kind == CRecordNote::kChanged && note->field == StrkF::name)
            l->RefreshCell(LCell{0, i32(r->GetIndex())});
    } else if (r == l->fSeq && note->field == SseqF::trks) {
        LListEdit::FollowRows(l, *note);
    } else if (IsNsq(r, kKindSseq) && note->kind == CRecordNote::kChanged &&
               note->field == SseqF::name) {
        // Scenes playing that sequence show its name.
        const u32 id = r->GetU32(SseqF::sqid);
        for (u32 t = 0; t < l->TrackCount(); ++t) {
            const CRecord* trk = l->fSeq->GetListItem(SseqF::trks, t);
            for (u32 s = 0; s < trk->GetListCount(StrkF::scns); ++s) {
                const CRecord* p = trk->GetListItem(StrkF::scns, s)->GetChild(SscnF::prms);
                if (IsNsq(p, kKindPseq) && p->GetU32(PseqF::sqid) == id) {
                    l->InvalidateRow(t);
                    break;
                }
            }
        }
    }
}

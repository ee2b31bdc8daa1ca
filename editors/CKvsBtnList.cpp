#include "editors/CKvsBtnList.h"

#include <algorithm>

#include "editors/PlayBtnGrid.h"
#include "editors/SeqDropHelpers.h"
#include "framework/LDrawObj.h"
#include "framework/LDrop.h"
#include "framework/LMenu.h"
#include "services/GraphicsServices.h"
#include "records/CRecordDoc.h"
#include "records/PlayGrid.h"
#include "records/ShowKinds.h"

namespace {

constexpr const char* kInsH = "cInsH";
constexpr const char* kInsV = "cInsV";
constexpr const char* kDelH = "cDelH";
constexpr const char* kDelV = "cDelV";

}  // namespace

CKvsPlayBtnCell::CKvsPlayBtnCell(LPane* list)
    : LListCell(list),
      fDrop(this, 1),
      fButton(&fDrop),
      fLines{LSeparator(this, &fDrop), LSeparator(this, &fDrop)} {
    SetLayoutByName("PLAYBTNCELL", 1);
}

CKvsBtnList::CKvsBtnList(LPane* owner, CRecord* play, CRecord* command)
    : LTypedCellList(owner), fPlay(play), fCommand(command) {
    GetProtoCell();
    FitGrid();
    if (fPlay && fPlay->GetOwner()) fPlay->GetOwner()->AddListener(this, Listener);
}

CKvsBtnList::~CKvsBtnList() {
    if (fPlay && fPlay->GetOwner()) fPlay->GetOwner()->RemoveListener(this, Listener);
}

void CKvsBtnList::FitGrid() {
    const i32 cols =
        i32(std::clamp<u32>(fPlay ? fPlay->GetU32(PlysF::btcs) : 1, 1, kMaxGridColumns));
    const i32 rows = i32(std::clamp<u32>(fPlay ? fPlay->GetU32(PlysF::btrs) : 1, 1, kMaxGridRows));
    if (Cols() < cols) InsertColumns(Cols(), cols - Cols());
    if (Cols() > cols) RemoveColumns(cols, Cols() - cols);
    if (Rows() < rows) InsertRows(Rows(), rows - Rows());
    if (Rows() > rows) RemoveRows(rows, Rows() - rows);
    i32 w = 0, h = 0;
    GridCellSize(fBounds.Width(), fBounds.Height(), u32(cols), u32(rows), &w, &h);
    SetCellSize(std::max(w, 1), std::max(h, 1));
}

void CKvsBtnList::CellSizeChanged() {
    FitGrid();
}
bool CKvsBtnList::CellSizeFollows(const LRect&) const {
    return true;
}

LListCell* CKvsBtnList::CreateCell() {
    return new CKvsPlayBtnCell(this);
}

u32 CKvsBtnList::CellQuery(LCell* size) {
    size->col = std::max(CellWidth(), 1);
    size->row = std::max(CellHeight(), 1);
    return kSizeAsQueried;
}

bool CKvsBtnList::BindCell(LListCell* frame, LCell cell) {
    if (!fPlay || cell.col < 0 || cell.row < 0) return false;
    auto* c = static_cast<CKvsPlayBtnCell*>(frame);
    const CRecord* rec = PlaySetGetCell(fPlay, u32(cell.col), u32(cell.row));
    c->fButton.SetTitle(rec ? rec->GetString(PlclF::bttl) : LString());
    static_cast<LPane&>(c->fButton)
        .SetState(rec && rec->GetU32(PlclF::sqid) != 0 ? kOpShow : kOpHide);
    return true;
}

void CKvsBtnList::Draw(LDrawCtx& ctx) {
    LTypedCellList::Draw(ctx);
    if (!fPlay) return;
    LRgnFill fill;
    const LCell first = First();
    for (i32 r = first.row; r < std::min(Rows(), first.row + GetVisibleRowsCeil()); ++r) {
        for (i32 c = first.col; c < std::min(Cols(), first.col + GetVisibleColsCeil()); ++c) {
            const CRecord* rec = PlaySetGetCell(fPlay, u32(c), u32(r));
            if (rec && rec->GetU32(PlclF::sqid) != 0) continue;
            // Where the cell's button would stand (its layout's inset).
            LRect outer = GetCellRect(LCell{c, r});
            outer.Inset(4, 4);
            outer.right -= 1;
            outer.bottom -= 1;
            if (outer.IsEmpty()) continue;
            LRect inner = outer;
            inner.Inset(1, 1);
            LRgn ring(outer);
            ring.Subtract(LRgn(inner));
            fill.fRegion.Union(ring);
        }
    }
    if (fill.fRegion.IsEmpty()) return;
    MakePenByGray(&fill.fPen, 3);
    ctx.ApplyClip();
    fill.Draw(ctx);
}

CDropSource* CKvsBtnList::GetDropData() const {
    return fDropped && fDropped->Drag() ? fDropped->Drag()->Source() : nullptr;
}

LMessage CKvsBtnList::HandleMessage(const LMessage& msg) {
    LCell cell;
    LListCell* frame = FindCellFrame(msg.source, &cell);
    if (frame && frame != msg.source && fPlay) {
        auto* c = static_cast<CKvsPlayBtnCell*>(frame);
        if (msg.source == &c->fDrop) {
            switch (ClassifySeqDrop(msg, &c->fDrop)) {
                case kSeqDropEntered:
                    return LMessage();
                case kSeqDropDropped:
                    SelectCell(cell);
                    // As after a click on the grid: keys and menus go to the
                    // cell now shown chosen.
                    RequestFocus();
                    fDropped = &c->fDrop;
                    Send(CKvsBtnList_Drop, this, fParent);
                    fDropped = nullptr;
                    return LMessage();
                default:
                    break;
            }
        }
        if (msg.Is(LStdCtl_Selected) && msg.source == &c->fButton) {
            PressPlayButton(fCommand, u32(cell.col), u32(cell.row));
            SelectCell(cell);
            // The button takes no focus: left in a field of the window, the
            // focus would keep keys and menus off the cell now shown selected.
            RequestFocus();
            return LMessage();
        }
        return LTypedCellList::HandleMessage(msg);
    }
    return LTypedCellList::HandleMessage(msg);
}

void CKvsBtnList::EnableShifts(LMenuBar* bar) const {
    if (!bar || Selection().IsEmpty()) return;
    if (CanInsertCells(Selection())) {
        bar->EnableCommand(kInsH);
        bar->EnableCommand(kInsV);
    }
    bar->EnableCommand(kDelH);
    bar->EnableCommand(kDelV);
}

bool CKvsBtnList::RunShift(const LMenuItem* item) {
    if (!item || !fPlay || Selection().IsEmpty()) return false;
    const bool insH = item->HasCommand(kInsH), insV = item->HasCommand(kInsV);
    if ((insH || insV) && CanInsertCells(Selection())) {
        InsertCells(fPlay, this, Selection(), insH);
        return true;
    }
    if (item->HasCommand(kDelH) || item->HasCommand(kDelV)) {
        DeleteCells(fPlay, this, Selection(), item->HasCommand(kDelH));
        return true;
    }
    return false;
}

void CKvsBtnList::Listener(void* self, CRecordNote* note) {
    static_cast<CKvsBtnList*>(self)->OnChange(note);
}

void CKvsBtnList::OnChange(CRecordNote* note) {
    CRecord* r = note->record;
    if (!r || !fPlay) return;
    if (r == fPlay) {
        if (note->field == PlysF::btrs || note->field == PlysF::btcs) {
            FitGrid();
        } else if (note->field == PlysF::rows) {
            ReleaseCells();
            InvalidateAll();
        }
        return;
    }
    if (r->Parent() == fPlay && r->ParentField() == PlysF::rows) {
        if (note->field == PlrwF::cels) {
            ReleaseCells();
            InvalidateAll();
        }
        return;
    }
    const CRecord* row = r->Parent();
    if (note->kind == CRecordNote::kChanged && row && row->Parent() == fPlay &&
        r->ParentField() == PlrwF::cels)
        RefreshCell(LCell{i32(r->Position()), i32(row->Position())});
}

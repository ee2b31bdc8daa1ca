// Cell lists: stamped cells and the background where a cell has no data,
// moving the focus between cell fields with the arrow keys, dropping the edit
// cell, sizing on a style change, and few frames for many rows.
#include <gtest/gtest.h>

#include <set>

#include "framework/LCellListPane.h"
#include "tests/framework/ControlPanes.h"
#include "tests/framework/TestPanes.h"

namespace {

class Cell;

// A focusable field that logs the row of its cell when drawn.
class Field : public TestPane {
public:
    Field(Cell* cell, i32 index);
    void Draw(LDrawCtx&) override;
    Cell* fCell;
};

class Cell : public LListCell {
public:
    Cell(LPane* list, std::vector<i32>* drawn) : LListCell(list), fDrawn(drawn) {
        for (i32 i = 0; i < 3; ++i) fFields[i] = new Field(this, i);
    }
    i32 GetPrefWidth(LDrawCtx*, i32) override { return 100; }
    i32 GetPrefHeight(LDrawCtx*, i32) override { return 20; }
    i32 fRow = -1;
    std::vector<i32>* fDrawn;
    Field* fFields[3];
};

Field::Field(Cell* cell, i32 index) : TestPane(cell, cell), fCell(cell) {
    SetBounds(LRect(index * 35, 2, index * 35 + 30, 18));
    SetState(kOpTabStopRingInside);
}
void Field::Draw(LDrawCtx&) {
    fCell->fDrawn->push_back(fCell->fRow);
}

class CellList : public LCellListPane {
public:
    CellList(LPane* owner, i32 rows) : LCellListPane(owner, 3, false, false) {
        InsertColumns(0, 1);
        InsertRows(0, rows);
        SetBounds(LRect(0, 0, 100, 200));
        GetProtoCell();
    }
    LListCell* CreateCell() override {
        ++fCreated;
        return new Cell(this, &fDrawn);
    }
    bool BindCell(LListCell* frame, LCell cell) override {
        if (fFail.count(cell.row)) return false;
        Cell* c = static_cast<Cell*>(frame);
        c->fRow = cell.row;
        for (Field* f : c->fFields) f->SetState(fBlank.count(cell.row) ? kOpHide : kOpShow);
        return true;
    }
    u32 CellQuery(LCell* size) override {
        if (!fQuery) return LCellListPane::CellQuery(size);
        *size = LCell{33, 44};
        return kSizeAsQueried;
    }
    i32 fCreated = 0;
    std::vector<i32> fDrawn;
    std::set<i32> fFail;
    std::set<i32> fBlank;
    bool fQuery = false;
};

class CountBox : public ClipBox {
public:
    void InvalidateRect(const LRgn&, const LRgn&) override { ++fInvals; }
    i32 fInvals = 0;
};

struct CellStage : ControlStage {
    CountBox fCounted;
    CellList* fList = nullptr;
    explicit CellStage(i32 rows) { fList = new CellList(&fCounted, rows); }
    ~CellStage() { delete fList; }
    // Focuses field i of a row through the field itself.
    void FocusField(i32 row, i32 i) {
        fList->SetState(LPane::kOpFocus);
        LListCell* frame = fList->GetCellFrame(LCell{0, row}, false);
        ASSERT_NE(frame, nullptr);
        static_cast<Cell*>(frame)->fFields[i]->AdvanceFocus(0, true);
    }
    // Row and field of the focus, {-1, -1} without an edit cell.
    LCell Focus() {
        LCell cell;
        if (!fList->GetEditCell(&cell)) return LCell();
        Cell* c = static_cast<Cell*>(fList->EditSlot().frame);
        for (i32 i = 0; i < 3; ++i)
            if (c->Focus() == c->fFields[i] && (c->fFields[i]->State() & LPane::kFocused))
                return LCell{i, cell.row};
        return LCell{-2, cell.row};
    }
    void Arrow(u32 ch) {
        Cell* c = static_cast<Cell*>(fList->EditSlot().frame);
        Key(c->Focus(), ch);
    }
};

TEST(CellList, RowsWithoutDataShowTheBackground) {
    CellStage s(5);
    LPenRef grey;
    MakePenByGray(&grey, 1);
    s.fList->SetBackground(grey);
    s.fList->fFail = {1};
    FakeGraphics g;
    LDrawCtx ctx(&g);
    ctx.SetClipRgn(LRgn(LRect(0, 0, 100, 60)));
    s.fList->Draw(ctx);
    EXPECT_EQ(s.fList->fDrawn, (std::vector<i32>{0, 0, 0, 2, 2, 2}));
    EXPECT_NE(g.Joined().find("pen grey 1; save; blend normal; fill 0,20,100,40"),
              std::string::npos)
        << g.Joined();
    EXPECT_EQ(g.fDepth, 0);
}

TEST(CellList, ArrowKeysMoveBetweenCellFields) {
    struct Case {
        const char* what;
        LCell from;  // {field, row}
        u32 key;
        std::set<i32> blank;
        LCell to;
    } cases[] = {
        {"down", {1, 0}, 31, {}, {1, 1}},
        {"down in the last row", {2, 4}, 31, {}, {2, 4}},
        {"over a row with nothing focusable", {1, 1}, 31, {2}, {1, 3}},
        {"nothing focusable below", {1, 3}, 31, {4}, {1, 3}},
        {"up", {0, 3}, 30, {}, {0, 2}},
        {"right in the row", {0, 2}, 29, {}, {1, 2}},
        {"left in the row", {2, 2}, 28, {}, {1, 2}},
    };
    for (const Case& c : cases) {
        CellStage s(5);
        s.fList->fBlank = c.blank;
        s.FocusField(c.from.row, c.from.col);
        ASSERT_EQ(s.Focus(), c.from) << c.what;
        s.Arrow(c.key);
        EXPECT_EQ(s.Focus(), c.to) << c.what;
    }
}

TEST(CellList, EditCellDroppedWithItsRowsOrAClickOutside) {
    for (int way = 0; way < 2; ++way) {
        CellStage s(5);
        s.FocusField(3, 1);
        Field* f = static_cast<Cell*>(s.fList->EditSlot().frame)->fFields[1];
        f->fOps.clear();
        if (way == 0)
            s.fList->RemoveRows(2, 2);
        else
            s.Click(s.fList, 50, 150);
        EXPECT_FALSE(s.fList->GetEditCell(nullptr)) << way;
        EXPECT_NE(std::find(f->fOps.begin(), f->fOps.end(), LPane::kOpUnfocus), f->fOps.end());
        EXPECT_FALSE(f->State() & LPane::kFocused);
    }
}

TEST(CellList, QueriedSizeAfterAStyleChange) {
    CellStage s(5);
    EXPECT_EQ(s.fList->CellWidth(), 100);
    s.fList->fQuery = true;
    s.fList->SetState(LPane::kOpStyleChanged);
    EXPECT_EQ(s.fList->CellWidth(), 33);
    EXPECT_EQ(s.fList->CellHeight(), 44);
}

TEST(CellList, FewFramesForManyRowsAndOneInvalidationPerBatch) {
    CellStage s(10000);
    FakeGraphics g;
    for (i32 step = 0; step < 300; ++step) {
        s.fList->SetScrollPos(LCell{0, step * 31 % 9990});
        LDrawCtx ctx(&g);
        ctx.SetClipRgn(LRgn(s.fList->Bounds()));
        s.fList->Draw(ctx);
        s.fList->FindPaneAt(LPoint{(step * 7) % 100, (step * 13) % 200});
        g.Clear();
    }
    EXPECT_LE(s.fList->fCreated, 4);
    EXPECT_LE(s.fList->Pool().size(), 2u);
    s.fCounted.fInvals = 0;
    s.fList->SetState(LPane::kOpDisable);
    EXPECT_EQ(s.fCounted.fInvals, 1);
}

}  // namespace

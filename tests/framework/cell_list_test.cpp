// Cell lists: stamped cells and the background where a cell has no data,
// moving the focus between cell fields with the arrow keys, dropping the edit
// cell, sizing on a style change, few frames for many rows, and what an edit
// of many rows refreshes and draws.
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
        ++fBinds;
        Cell* c = static_cast<Cell*>(frame);
        c->fRow = fData.empty() ? cell.row : fData[size_t(cell.row)];
        for (Field* f : c->fFields) f->SetState(fBlank.count(cell.row) ? kOpHide : kOpShow);
        return true;
    }
    u32 CellQuery(LCell* size) override {
        if (!fQuery) return LCellListPane::CellQuery(size);
        *size = LCell{33, 44};
        return kSizeAsQueried;
    }
    void InvalidateRgn(const LRgn& region) override {
        ++fVisits;
        LCellListPane::InvalidateRgn(region);
    }
    // One row edit as a record's notice brings it: the rows follow, then
    // every row shows its data again.
    void Insert(i32 at, i32 value) {
        fData.insert(fData.begin() + at, value);
        InsertRows(at, 1);
        RefreshAll();
    }
    void Remove(i32 at) {
        fData.erase(fData.begin() + at);
        RemoveRows(at, 1);
        RefreshAll();
    }
    i32 fCreated = 0;
    i32 fBinds = 0;
    i32 fVisits = 0;
    // What each row shows; empty: its own number.
    std::vector<i32> fData;
    std::vector<i32> fDrawn;
    std::set<i32> fFail;
    std::set<i32> fBlank;
    bool fQuery = false;
};

class CountBox : public ClipBox {
public:
    void InvalidateRect(const LRgn& redraw, const LRgn&) override {
        ++fInvals;
        fDirty.Union(redraw);
    }
    i32 fInvals = 0;
    LRgn fDirty;
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
    // The rows show data of their own: row r shows 10 r.
    void Number() {
        fList->fData.clear();
        for (i32 r = 0; r < fList->Rows(); ++r) fList->fData.push_back(10 * r);
    }
    // What the rows on screen show, each row as often as it has fields.
    std::vector<i32> OnScreen() {
        std::vector<i32> want;
        const i32 first = fList->First().row;
        for (i32 r = first; r < std::min(fList->Rows(), first + 10); ++r)
            want.insert(want.end(), 3, fList->fData[size_t(r)]);
        return want;
    }
    std::vector<i32> Drawn() {
        fList->fDrawn.clear();
        FakeGraphics g;
        LDrawCtx ctx(&g);
        ctx.SetClipRgn(LRgn(fList->Bounds()));
        fList->Draw(ctx);
        return fList->fDrawn;
    }
    // The main loop: what is put off waits until Loop().
    void TakeDefers() { fCounted.fTake.insert(LPane_Defer); }
    void Loop() { LHandler::Send(LPane_Deferred, fList, fList); }
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

TEST(CellList, WhatIsDrawnFollowsRowsInsertedAndRemovedOnAndOffScreen) {
    struct Case {
        const char* what;
        i32 first;  // the first row on screen
        i32 hover;  // the row under the mouse, bound to a live frame
        bool insert;
        i32 at, n;
        bool loop;  // a main loop puts the refresh off; drawn before it comes round
    } cases[] = {
        {"inserted above the screen", 50, 52, true, 10, 5, false},
        {"inserted on screen", 0, 6, true, 3, 4, false},
        {"inserted below the screen", 0, 2, true, 60, 5, false},
        {"removed above the screen", 50, 55, false, 10, 5, false},
        {"removed on screen with the row under the mouse", 0, 4, false, 3, 3, false},
        {"removed up to the end while scrolled there", 90, 95, false, 85, 15, false},
        {"inserted on screen, drawn before the loop", 0, 5, true, 1, 3, true},
        {"removed above the screen, drawn before the loop", 40, 45, false, 0, 7, true},
    };
    for (const Case& c : cases) {
        CellStage s(100);
        s.Number();
        if (c.loop) s.TakeDefers();
        s.fList->SetScrollPos(LCell{0, c.first});
        s.fList->FindPaneAt(LPoint{50, (c.hover - c.first) * 20 + 10});
        ASSERT_EQ(s.fList->CurrentSlot().cell.row, c.hover) << c.what;
        const std::vector<i32> before = s.Drawn();
        s.fCounted.fDirty.SetEmpty();
        for (i32 k = 0; k < c.n; ++k) {
            if (c.insert)
                s.fList->Insert(c.at + k, 5000 + k);
            else
                s.fList->Remove(c.at);
        }
        const std::vector<i32> want = s.OnScreen();
        // Every place on screen that shows something else is drawn again.
        for (size_t i = 0; i < want.size(); i += 3) {
            const i32 y = i32(i / 3) * 20 + 10;
            if (i < before.size() && before[i] == want[i]) continue;
            EXPECT_TRUE(s.fCounted.fDirty.ContainsPoint(50, y)) << c.what << " y " << y;
        }
        EXPECT_EQ(s.Drawn(), want) << c.what;
        if (c.loop) s.Loop();
        EXPECT_EQ(s.Drawn(), want) << c.what;
    }
}

TEST(CellList, AnEditOfManyRowsRefreshesTheScreenOnceNotTheList) {
    // 300 rows pasted at row 1 and the row under the mouse above them, on a
    // list of 1,000 rows and of 8,000: what the edit costs the list depends
    // on the rows it brings and the rows on screen alone.
    i32 visits[2], binds[2];
    for (i32 i = 0; i < 2; ++i) {
        CellStage s(i ? 8000 : 1000);
        s.Number();
        s.TakeDefers();
        s.fList->FindPaneAt(LPoint{50, 10});
        s.Drawn();
        s.fList->fVisits = 0;
        s.fList->fBinds = 0;
        for (i32 k = 0; k < 300; ++k) s.fList->Insert(1 + k, 5000 + k);
        s.Loop();
        visits[i] = s.fList->fVisits;
        binds[i] = s.fList->fBinds;
        EXPECT_EQ(s.Drawn(), s.OnScreen());
    }
    EXPECT_EQ(visits[0], visits[1]);
    // The live row is bound again once for the whole edit.
    EXPECT_EQ(binds[0], 1);
    EXPECT_EQ(binds[1], 1);
}

}  // namespace

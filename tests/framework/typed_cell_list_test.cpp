// The typed cell list the editors' lists share: when the cells are sized again
// and what follows, the constructor opening, the prototype's row height; and
// Whole, the number field's value to store.
#include <gtest/gtest.h>

#include <climits>

#include "framework/CNumVol.h"
#include "framework/LTypedCellList.h"
#include "tests/framework/ControlPanes.h"

namespace {

class Cell : public LListCell {
public:
    explicit Cell(LPane* list) : LListCell(list), fPart(this, this) {
        fPart.SetBounds(LRect(0, 0, 10, 10));
    }
    i32 GetPrefWidth(LDrawCtx*, i32) override { return 80; }
    i32 GetPrefHeight(LDrawCtx*, i32) override { return fPref; }
    LPane fPart;
    i32 fPref = 20;
};

class List : public LTypedCellList {
public:
    List(LPane* owner, u32 rows, bool drag, bool followsAll)
        : LTypedCellList(owner), fFollowsAll(followsAll) {
        OpenList(rows, drag);
    }
    LListCell* CreateCell() override {
        ++fCreated;
        return new Cell(this);
    }
    bool BindCell(LListCell*, LCell cell) override { return cell.row < Rows(); }
    u32 CellQuery(LCell* size) override {
        size->col = fBounds.Width();
        size->row = ProtoRowHeight({&Proto()->fPart});
        return kSizeAsQueried;
    }
    void CellSizeChanged() override {
        ++fSized;
        LTypedCellList::CellSizeChanged();
    }
    bool CellSizeFollows(const LRect& old) const override {
        return fFollowsAll || LTypedCellList::CellSizeFollows(old);
    }
    Cell* Proto() { return static_cast<Cell*>(GetProtoCell()); }

    bool fFollowsAll;
    i32 fCreated = 0;
    i32 fSized = 0;
};

TEST(TypedCellList, OpeningMakesThePrototypeOneColumnTheRowsAndTheHelper) {
    ClipBox box;
    List dragged(&box, 4, true, false);
    EXPECT_EQ(dragged.fCreated, 1) << "the list's own CreateCell made the prototype";
    EXPECT_EQ(dragged.Cols(), 1);
    EXPECT_EQ(dragged.Rows(), 4);
    EXPECT_NE(dragged.DragHelper().PressTimer(), nullptr);

    List still(&box, 0, false, false);
    EXPECT_EQ(still.Rows(), 0);
    EXPECT_EQ(still.DragHelper().PressTimer(), nullptr) << "a list whose rows are not dragged";
}

TEST(TypedCellList, CellsAreSizedAgainWhenTheirListSaysSo) {
    struct Case {
        const char* what;
        LRect to;
        bool followsAll;
        i32 sized;
    };
    const Case cases[] = {
        {"a new width", LRect(0, 0, 150, 200), false, 1},
        {"a new height only", LRect(0, 0, 100, 300), false, 0},
        {"a move only", LRect(5, 7, 105, 207), false, 0},
        {"a new height, cells that follow everything", LRect(0, 0, 100, 300), true, 1},
        {"a move, cells that follow everything", LRect(5, 7, 105, 207), true, 1},
    };
    for (const Case& c : cases) {
        ClipBox box;
        List list(&box, 3, true, c.followsAll);
        list.SetBounds(LRect(0, 0, 100, 200));
        list.fSized = 0;
        list.Proto()->fPref = 31;
        list.SetBounds(c.to);
        EXPECT_EQ(list.fSized, c.sized) << c.what;
        if (c.sized) {
            EXPECT_EQ(list.CellWidth(), c.to.Width()) << c.what;
            EXPECT_EQ(list.CellHeight(), 31) << c.what;
        }
    }
}

TEST(TypedCellList, RowHeightIsTheLargestOfPreferredLaidOutAndParts) {
    ClipBox box;
    List list(&box, 1, false, false);
    Cell* proto = list.Proto();
    proto->SetBounds(LRect(0, 0, 80, 20));
    struct Case {
        i32 pref;
        i32 laidOut;
        i32 partBottom;
        i32 height;
    };
    const Case cases[] = {
        {25, 20, 10, 25}, {12, 20, 10, 20}, {12, 14, 30, 31}, {0, 0, 0, 1}, {-5, 0, -9, 1},
    };
    for (const Case& c : cases) {
        proto->fPref = c.pref;
        proto->SetBounds(LRect(0, 0, 80, c.laidOut));
        proto->fPart.SetBounds(LRect(0, 0, 10, c.partBottom));
        LCell size;
        list.CellQuery(&size);
        EXPECT_EQ(size.row, c.height) << c.pref << " " << c.laidOut << " " << c.partBottom;
    }
}

TEST(Whole, RoundsHoldsToTheFloorAndSaturates) {
    ClipBox box;
    CNumVol field(&box, 1);
    field.SetRange(-10, 5e9f, 1);
    struct Case {
        f32 value;
        i64 floor;
        i64 whole;
    };
    const Case cases[] = {
        {2.4f, 0, 2},
        {2.5f, 0, 3},
        {0.4f, 0, 0},
        {-3, 0, 0},
        {-3, INT32_MIN, -3},
        {-3, -2, -2},
        {4.5e9f, 0, 4294967295},
        {7, 9, 9},
    };
    for (const Case& c : cases) {
        field.SetValue(c.value);
        EXPECT_EQ(Whole(field, c.floor), c.whole) << c.value << " floor " << c.floor;
    }
}

}  // namespace

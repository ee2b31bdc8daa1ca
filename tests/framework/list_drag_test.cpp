// List drag and drop: presses that become clicks, selection drags or item
// drags, the drop's insertion row and operation, the drag image, and moving
// the selected record items.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "framework/CClickDragHelper.h"
#include "framework/CListDragDropHelper.h"
#include "framework/CUndoQ.h"
#include "framework/InputState.h"
#include "framework/LFrame.h"
#include "framework/MoveSelectedItems.h"
#include "records/CRecordDoc.h"
#include "tests/framework/FakeDrag.h"
#include "tests/framework/FakeWindows.h"

namespace {

// A list of 10 rows of 100 x 10 that logs the helper's codes and accepts drags.
class DragList : public LListPane {
public:
    DragList(LPane* owner, bool clickDrag) : LListPane(owner, 3) {
        SetCellSize(100, 10);
        InsertColumns(0, 1);
        InsertRows(0, 10);
        SetBounds(LRect(0, 0, 100, 100));
        if (clickDrag)
            fClick = new CClickDragHelper(this, 1);
        else
            fHelper.Init(this, 1, 0);
    }
    ~DragList() override { delete fClick; }
    LMessage HandleMessage(const LMessage& msg) override {
        const u32 code = fClick ? fClick->HandleMouse(msg) : fHelper.HandleMouse(msg);
        if (code != 1 || !fClick) fCodes.push_back(code);
        if (fClick) {
            if (code == CClickDragHelper::kImageReady) fClick->SetDragData(new LScrapData, 2);
            if (code == CClickDragHelper::kHandled) return LMessage();
            return LListPane::HandleMessage(msg);
        }
        switch (code) {
            case CListDragDropHelper::kNotMine:
                return LListPane::HandleMessage(msg);
            case CListDragDropHelper::kSupplyData:
                fHelper.SetDragData(new LScrapData, fSeveral);
                return LListPane::HandleMessage(msg);
            case CListDragDropHelper::kDragEntered:
                fHelper.BeginDragOver(fHelper.ResultOperation());
                return LMessage();
            case CListDragDropHelper::kPerformDrop:
                fDropped = LCell{i32(fHelper.ResultOperation()), fHelper.MarkCell().row};
                return LMessage();
            default:
                return LMessage();
        }
    }
    void DrawCell(LDrawCtx&, LCell, const LRect&) override {}
    std::vector<u32> fCodes;
    bool fSeveral = false;
    LCell fDropped;  // {operation, row} of the last drop performed
    // Last, so that it goes first: a dragger it still holds tells this list
    // of its death, and the list records that in the members above.
    CListDragDropHelper fHelper;
    CClickDragHelper* fClick = nullptr;
};

struct DragStage {
    explicit DragStage(bool clickDrag = false) {
        fWin.SetBounds(LRect(0, 0, 300, 200));
        fWin.SetWindowBounds(LRect(100, 100, 400, 300));
        fWin.ShowWindow();
        fList = new DragList(&fWin, clickDrag);
    }
    LNativeWindow Native() { return fWin.Window()->Native(); }
    LPoint At(i32 x, i32 y) {
        const LRect c = fWin.Window()->GetContentScreenRect();
        return LPoint{c.left + x, c.top + y};
    }
    void Mouse(const char* name, LPane* to, i32 x, i32 y) {
        fMouse.fPos = At(x, y);
        LHandler::Send(name, &fMouse, to);
    }
    // A press at a row that holds the capture, as the main loop would record
    // and grant it.
    void Press(i32 row) {
        fMouse.fLastDownPt = At(50, row * 10 + 5);
        fMouse.fLastDownTime = 1;
        Mouse(LMouse_Click, fList, 50, row * 10 + 5);
        fMouse.fCapture = fList;
    }
    void Fire(u32 ms) {
        fServices.Advance(ms);
        LTimer::FireDue(fServices.fNow, nullptr, nullptr, true);
    }
    CDragger* Dragger() {
        return fList->fClick ? fList->fClick->Dragger() : fList->fHelper.Dragger();
    }
    FakeServices fServices;
    FakeWindows fWindows{fServices};
    FakeDrag fDrag;
    LMouse fMouse;
    LFrame fWin{nullptr, nullptr, LPaneOpt::Window(kWindowOrdinary, 0)};
    DragList* fList;
};

LRgn Rows(i32 top, i32 bottom) {
    return LRgn(LRect(0, top, 1, bottom));
}

TEST(ListDrag, PressesBecomeClicksSelectionsOrDrags) {
    struct Case {
        const char* what;
        bool clickDrag;
        i32 row;
        u32 holdMs;
        i32 moveBy;  // pixels the pointer moves once a dragger exists; -1 none
        u32 drags;
        LRgn after;
    } cases[] = {
        {"quick click", false, 6, 100, -1, 0, Rows(6, 7)},
        {"held on an unselected row", false, 6, 333, 4, 1, Rows(6, 7)},
        {"selected row, 3 pixels", false, 2, 0, 3, 0, Rows(2, 3)},
        {"selected row, 4 pixels", false, 2, 0, 4, 1, Rows(1, 4)},
        // Let go before the list's next turn: no dragger is left waiting.
        {"selected row, let go at once", false, 2, ~0u, -1, 0, Rows(2, 3)},
        {"click helper: selected row, let go at once", true, 2, ~0u, -1, 0, Rows(2, 3)},
        {"below the last row", false, 12, 333, -1, 0, LRgn()},
        {"click helper: quick click", true, 6, 100, -1, 0, Rows(6, 7)},
        {"click helper: selected row, 3 pixels", true, 2, 0, 3, 0, Rows(2, 3)},
        {"click helper: selected row, 4 pixels", true, 2, 0, 4, 1, Rows(1, 4)},
        {"click helper: below the last row", true, 12, 333, -1, 0, LRgn()},
        // Moved 6 pixels before the list's turn made the dragger, then 1 more.
        {"selected row, moved on at once", false, 2, 0, 7, 1, Rows(1, 4)},
        {"click helper: selected row, moved on at once", true, 2, 0, 7, 1, Rows(1, 4)},
    };
    for (const Case& c : cases) {
        DragStage s(c.clickDrag);
        s.fList->SetSelection(Rows(1, 4));
        s.fDrag.fEndOp = 0;
        s.Press(c.row);
        if (c.holdMs == ~0u) {
            s.Mouse(LMouse_Release, s.fList, 50, c.row * 10 + 5);
            s.fMouse.fCapture = nullptr;
            if (!c.clickDrag) {
                EXPECT_EQ(s.fList->fCodes.back(), CListDragDropHelper::kPressEnded) << c.what;
            }
            s.Fire(0);
            EXPECT_EQ(s.Dragger(), nullptr) << c.what;
            EXPECT_TRUE(s.fList->Selection() == c.after) << c.what;
            // A Shift-click now extends from that row.
            s.fMouse.fModifiers = kModShift;
            s.Press(5);
            s.fMouse.fModifiers = 0;
            EXPECT_TRUE(s.fList->Selection() == Rows(2, 6)) << c.what;
            continue;
        }
        // The pointer already 6 pixels on when the dragger is made.
        if (c.moveBy > 6) s.fMouse.fPos = s.At(56, c.row * 10 + 5);
        s.Fire(c.holdMs);
        if (c.moveBy < 0) {
            EXPECT_EQ(s.Dragger(), nullptr) << c.what;
            s.Mouse(LMouse_Release, s.fList, 50, c.row * 10 + 5);
            s.fMouse.fCapture = nullptr;
            s.Fire(0);
            if (!c.clickDrag && c.row < 10) {
                EXPECT_EQ(s.fList->fCodes.back(), CListDragDropHelper::kPressEnded) << c.what;
            }
        } else {
            ASSERT_NE(s.Dragger(), nullptr) << c.what;
            s.Mouse(LMouse_Move, s.Dragger(), 50 + c.moveBy, c.row * 10 + 5);
            if (s.Dragger()) s.Mouse(LMouse_Release, s.Dragger(), 50 + c.moveBy, c.row * 10 + 5);
        }
        EXPECT_EQ(s.Dragger(), nullptr) << c.what;
        EXPECT_EQ(s.fDrag.fDrags, c.drags) << c.what;
        EXPECT_TRUE(s.fList->Selection() == c.after) << c.what;
    }
}

// A press in a window not in front: on a row, the click helper keeps it (the
// window then delivers it) and the click that follows chooses the row pressed,
// selected before or not; elsewhere the press only brings the window forward.
TEST(ListDrag, APressOnARowOfAWindowNotInFrontGoesOnToTheList) {
    const struct {
        i32 row;
        bool kept;
    } cases[] = {{6, true}, {2, true}, {9, true}, {10, false}, {12, false}};
    for (const auto& c : cases) {
        DragStage s(true);
        s.fList->SetSelection(Rows(1, 4));
        s.fMouse.fUsed = 1;
        s.Mouse(LMouse_Bkgnd, s.fList, 50, c.row * 10 + 5);
        EXPECT_EQ(s.fMouse.fUsed, c.kept ? 1 : 0) << c.row;
        if (!c.kept) continue;
        s.Press(c.row);
        s.Fire(0);
        if (s.Dragger())
            s.Mouse(LMouse_Release, s.Dragger(), 50, c.row * 10 + 5);
        else
            s.Mouse(LMouse_Release, s.fList, 50, c.row * 10 + 5);
        s.fMouse.fCapture = nullptr;
        s.Fire(0);
        EXPECT_EQ(s.Dragger(), nullptr) << c.row;
        EXPECT_EQ(s.fDrag.fDrags, 0u) << c.row;
        EXPECT_TRUE(s.fList->Selection() == Rows(c.row, c.row + 1)) << c.row;
    }
}

// The pointer 6 pixels on before the list's turn made the dragger, then still:
// the drag begins on the dragger's next turn, with no move after it.
TEST(ListDrag, APointerAlreadyMovedOnDragsWithoutAnotherMove) {
    for (bool clickDrag : {false, true}) {
        DragStage s(clickDrag);
        s.fList->SetSelection(Rows(1, 4));
        s.Press(2);
        s.fMouse.fPos = s.At(56, 25);
        s.Fire(0);
        ASSERT_NE(s.Dragger(), nullptr) << clickDrag;
        s.Fire(0);
        EXPECT_EQ(s.fDrag.fDrags, 1u) << clickDrag;
        EXPECT_EQ(s.Dragger(), nullptr) << clickDrag;
    }
    // A move begins the drag before that turn: the turn, come while the
    // platform's drag runs its loop, begins no second one.
    {
        DragStage s;
        s.fList->SetSelection(Rows(1, 4));
        s.Press(2);
        s.Fire(0);
        ASSERT_NE(s.Dragger(), nullptr);
        s.fDrag.fBody = [&] {
            s.Fire(0);
            return 0u;
        };
        s.Mouse(LMouse_Move, s.Dragger(), 57, 25);
        EXPECT_EQ(s.fDrag.fDrags, 1u);
    }
    // Not far enough: it waits for a move.
    DragStage s;
    s.fList->SetSelection(Rows(1, 4));
    s.Press(2);
    s.fMouse.fPos = s.At(53, 25);
    s.Fire(0);
    s.Fire(0);
    EXPECT_EQ(s.fDrag.fDrags, 0u);
    EXPECT_NE(s.Dragger(), nullptr);
}

TEST(ListDrag, DropRowAndOperation) {
    struct Case {
        const char* what;
        LRgn selected;  // empty: the drag comes from outside
        bool several;
        u32 mask;
        i32 y;          // where it is dropped, list coordinates
        LCell dropped;  // {operation, row}; {-1, -1}: nothing performed
    } cases[] = {
        {"just above itself", Rows(3, 4), false, kDragCopy | kDragMove, 31, LCell()},
        {"just below itself", Rows(3, 4), false, kDragCopy | kDragMove, 41, LCell()},
        {"two rows", Rows(3, 5), true, kDragCopy | kDragMove, 41, {2, 4}},
        {"further down", Rows(3, 4), false, kDragCopy | kDragMove, 61, {2, 6}},
        {"after the last row", Rows(3, 4), false, kDragCopy | kDragMove, 99, {2, 10}},
        {"copy only", Rows(3, 4), false, kDragCopy, 31, {3, 3}},
        {"from outside", LRgn(), false, kDragCopy | kDragMove, 31, {3, 3}},
    };
    for (const Case& c : cases) {
        DragStage s;
        s.fList->fSeveral = c.several;
        s.fDrag.fMask = c.mask;
        auto drop = [&s, &c] {
            s.fDrag.Over(s.Native(), s.At(50, 50));
            s.fDrag.Over(s.Native(), s.At(50, c.y));
            return s.fDrag.DropOn(s.Native());
        };
        if (c.selected.IsEmpty()) {
            drop();
        } else {
            s.fList->SetSelection(c.selected);
            s.fDrag.fBody = drop;
            s.Press(c.selected.GetBounds().top);
            s.Fire(0);
            ASSERT_NE(s.Dragger(), nullptr);
            s.Mouse(LMouse_Move, s.Dragger(), 60, 35);
            EXPECT_EQ(s.fDrag.fDrags, 1u) << c.what;
        }
        EXPECT_EQ(s.fList->fDropped, c.dropped) << c.what;
        EXPECT_EQ(s.Dragger(), nullptr);
        EXPECT_FALSE(s.fList->fHelper.IsMarkShown());
    }
}

TEST(ListDrag, ImagesOfTheSelectedRowsOrOneClearPixel) {
    DragStage s;
    s.fList->SetSelection(Rows(2, 4));
    s.Press(2);
    s.Fire(0);
    s.Mouse(LMouse_Move, s.Dragger(), 60, 35);
    const FakeImage* image = static_cast<const FakeImage*>(s.fDrag.fStart.image.Get());
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->fW * 1000 + image->fH, 100u * 1000 + 20);
    EXPECT_EQ(s.fDrag.fStart.imageRect,
              LRect(s.At(0, 20).x, s.At(0, 20).y, s.At(100, 40).x, s.At(100, 40).y));
    EXPECT_NE(image->fCalls.find("fill 0,0,100,20"), std::string::npos) << image->fCalls;

    // A dragger nobody prepares: an empty image, and it goes away by itself.
    CDragger* lone = CDragger::New(s.fList);
    s.fDrag.fStart = LDragStart();
    s.Mouse(LMouse_Move, lone, 90, 90);
    image = static_cast<const FakeImage*>(s.fDrag.fStart.image.Get());
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->fW * 1000 + image->fH, 1001u);
    EXPECT_EQ(image->fCalls.find("fill"), std::string::npos);
    EXPECT_EQ(s.fDrag.fDrags, 2u);
}

TEST(FloatPanel, StyleMasks) {
    const u32 masks[] = {17, 19, 29, 31, 31, 17, 0, 17};
    for (u32 style = 0; style < 8; ++style)
        EXPECT_EQ(CFloatPanel(style, 0).StyleMask(), masks[style]) << style;
    EXPECT_TRUE(CFloatPanel(6, 0).IgnoresMouse());
    EXPECT_FALSE(CFloatPanel(1, 1).HidesOnDeactivate());
}

// ---------------------------------------------------------------- moving items

using namespace RecField;
constexpr u32 kFam = FourCC("LDTS");
const RecFieldDesc kItem[] = {U32(1)};
const RecFieldDesc kRoot[] = {List(1, kFam, FourCC("ITEM"))};
CRecordSchema gItem(kFam, FourCC("ITEM"), 1, kItem);
CRecordSchema gRoot(kFam, FourCC("ROOT"), 1, kRoot);

struct Items {
    explicit Items(u32 n) {
        for (u32 k = 0; k < n; ++k) {
            CRecord* r = CRecord::New(&gItem);
            r->SetU32(nullptr, 0, k);
            doc.Root()->InsertItem(nullptr, 0, k, r);
        }
    }
    std::vector<u32> Order() {
        std::vector<u32> v;
        for (u32 k = 0; k < doc.Root()->GetListCount(0); ++k)
            v.push_back(doc.Root()->GetListItem(0, k)->GetU32(0));
        return v;
    }
    i32 Move(const std::vector<i32>& rows, i32 at) {
        LRgn sel;
        for (i32 r : rows) sel.Union(LRgn(LRect(0, r, 1, r + 1)));
        MoveSelectedItems(doc.Root(), &ctx, 0, true, sel, &at);
        return at;
    }
    CUndoQ q{nullptr, 0x10000};
    LHandler ctx{&q};
    CRecordDoc doc{CRecord::New(&gRoot)};
};

TEST(MoveSelectedItems, FixedAndRandomMoves) {
    static LResFile app(AppResFileRef());
    SetDefaultResChain(&app);
    struct Case {
        std::vector<i32> rows;
        i32 at;
        std::vector<u32> order;
        i32 index;
    } cases[] = {
        {{0, 1}, 4, {2, 3, 0, 1, 4}, 2},     {{3, 4}, 1, {0, 3, 4, 1, 2}, 1},
        {{0, 1, 2}, 2, {0, 1, 2, 3, 4}, 0},  {{1, 3}, 99, {0, 2, 4, 1, 3}, 3},
        {{-1, 4, 7}, 0, {4, 0, 1, 2, 3}, 0},
    };
    for (const Case& c : cases) {
        Items it(5);
        EXPECT_EQ(it.Move(c.rows, c.at), c.index) << c.at;
        EXPECT_EQ(it.Order(), c.order) << c.at;
        while (it.q.CanUndo()) ASSERT_TRUE(it.q.Undo());
        EXPECT_EQ(it.Order(), (std::vector<u32>{0, 1, 2, 3, 4}));
    }
    std::mt19937 rng(11);
    for (int round = 0; round < 300; ++round) {
        const u32 n = 1 + rng() % 12;
        Items it(n);
        std::vector<i32> rows;
        for (u32 k = 0; k < n; ++k)
            if (rng() % 3 == 0) rows.push_back(i32(k));
        const i32 at = i32(rng() % (n + 1));
        // Take the rows out, then put them back in at the gap.
        std::vector<u32> rest, moved, want;
        for (u32 k = 0; k < n; ++k)
            (std::count(rows.begin(), rows.end(), i32(k)) ? moved : rest).push_back(k);
        const i32 gap =
            at - i32(std::count_if(rows.begin(), rows.end(), [at](i32 r) { return r < at; }));
        want = rest;
        want.insert(want.begin() + gap, moved.begin(), moved.end());
        const i32 index = it.Move(rows, at);
        ASSERT_EQ(it.Order(), want) << round;
        EXPECT_EQ(index, gap) << round;
    }
}

}  // namespace

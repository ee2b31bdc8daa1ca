// List panes: click, range and toggle selection, grid changes with the
// selection following and what they redraw, scrolling to cells,
// drag-selection scrolling and the selection walks.
#include <gtest/gtest.h>

#include <random>

#include "framework/LListPane.h"
#include "framework/LTimer.h"
#include "tests/framework/ControlPanes.h"

namespace {

class Grid : public LListPane {
public:
    Grid(LPane* owner, u32 mode, i32 cols, i32 rows) : LListPane(owner, mode) {
        SetCellSize(10, 10);
        InsertColumns(0, cols);
        InsertRows(0, rows);
        SetBounds(LRect(0, 0, 100, 100));
    }
    void DrawCell(LDrawCtx&, LCell, const LRect&) override {}
};

LRgn Rect(i32 l, i32 t, i32 r, i32 b) {
    return LRgn(LRect(l, t, r, b));
}

struct ListStage : ControlStage {
    void ClickCell(LListPane* list, LCell c, u32 mods) {
        fMouse.fModifiers = mods;
        Click(list, c.col * 10 + 5, c.row * 10 + 5);
    }
    void Fire(u32 ms) {
        fServices.Advance(ms);
        LTimer::FireDue(fServices.fNow, nullptr, nullptr, true);
    }
};

TEST(ListPane, ClicksByMode) {
    struct Case {
        u32 mode;
        i32 rows;
        LCell click;
        u32 mods;
        LRgn want;
    } cases[] = {
        {3, 20, {6, 9}, kModShift, Rect(2, 5, 7, 10)},
        {3, 20, {1, 6}, kModShift, Rect(1, 6, 5, 8)},
        {3,
         20,
         {0, 0},
         kModCommand,
         [] {
             LRgn r = Rect(2, 5, 5, 8);
             r.Union(Rect(0, 0, 1, 1));
             return r;
         }()},
        {3,
         20,
         {3, 6},
         kModCommand | kModShift,
         [] {
             LRgn r = Rect(2, 5, 5, 8);
             r.Subtract(Rect(3, 6, 4, 7));
             return r;
         }()},
        {3, 8, {3, 9}, 0, LRgn()},
        {1, 8, {3, 9}, 0, LRgn()},
        {3, 8, {3, 9}, kModCommand, Rect(2, 5, 5, 8)},
        {2, 20, {1, 6}, kModShift, Rect(1, 6, 5, 8)},
        {0, 20, {1, 1}, 0, Rect(2, 5, 5, 8)},
    };
    for (const Case& c : cases) {
        ListStage s;
        Grid g(&s.fBox, c.mode, 10, c.rows);
        g.SetSelection(Rect(2, 5, 5, 8));
        s.ClickCell(&g, c.click, c.mods);
        EXPECT_TRUE(g.Selection() == c.want) << c.mode << " " << c.click.col << "," << c.click.row;
        EXPECT_EQ(g.LastClicked(), c.click);
    }
}

TEST(ListPane, CommandDragOnlyGrowsOrOnlyShrinks) {
    ListStage s;
    Grid g(&s.fBox, 3, 10, 20);
    g.SetSelection(Rect(5, 0, 6, 1));
    s.ClickCell(&g, {0, 0}, kModCommand);
    s.Mouse(LMouse_Move, &g, 25, 5);
    s.Mouse(LMouse_Move, &g, 5, 5);
    EXPECT_TRUE(g.Selection() == [] {
        LRgn r = Rect(0, 0, 3, 1);
        r.Union(Rect(5, 0, 6, 1));
        return r;
    }());
    // From a selected cell the sweep removes, and never adds back.
    s.ClickCell(&g, {1, 0}, kModCommand);
    s.Mouse(LMouse_Move, &g, 55, 5);
    s.Mouse(LMouse_Move, &g, 15, 5);
    EXPECT_TRUE(g.Selection() == Rect(0, 0, 1, 1));
}

TEST(ListPane, OnlyChangesAreSent) {
    ListStage s;
    Grid g(&s.fBox, 3, 3, 20);
    g.SetSelection(Rect(1, 1, 3, 3));
    s.fBox.Take();
    g.SetSelection(Rect(1, 1, 3, 3));
    g.SetSelection(Rect(1, 1, 30, 3));  // clipped to the same cells
    g.SetSelection(Rect(1, 1, 2, 2));
    EXPECT_EQ(s.fBox.Take(), "LListPane_SelChange");
}

TEST(ListPane, GridChangesCarryTheSelection) {
    struct Case {
        const char* what;
        void (*op)(Grid&);
        i32 rows;
        LRgn sel;
    } cases[] = {
        {"pad", [](Grid& g) { g.InsertRows(25, 2); }, 27, Rect(0, 2, 2, 5)},
        {"insert", [](Grid& g) { g.InsertRows(3, 2); }, 22,
         [] {
             LRgn r = Rect(0, 2, 2, 3);
             r.Union(Rect(0, 5, 2, 7));
             return r;
         }()},
        {"remove", [](Grid& g) { g.RemoveRows(1, 2); }, 18, Rect(0, 1, 2, 3)},
        {"past end", [](Grid& g) { g.RemoveRows(3, 99); }, 3, Rect(0, 2, 2, 3)},
        {"negative insert", [](Grid& g) { g.InsertRows(-1, 5); }, 20, Rect(0, 2, 2, 5)},
        {"negative remove", [](Grid& g) { g.RemoveRows(-3, 5); }, 20, Rect(0, 2, 2, 5)},
        {"huge insert", [](Grid& g) { g.InsertRows(2147483600, 1000); }, 2147483647,
         Rect(0, 2, 2, 5)},
    };
    for (const Case& c : cases) {
        ListStage s;
        Grid g(&s.fBox, 3, 2, 20);
        g.SetSelection(Rect(0, 2, 2, 5));
        c.op(g);
        EXPECT_EQ(g.Rows(), c.rows) << c.what;
        EXPECT_TRUE(g.Selection() == c.sel) << c.what;
    }
}

// Collects what its panes ask to draw again.
class DirtyBox : public ClipBox {
public:
    void InvalidateRect(const LRgn& redraw, const LRgn&) override { fDirty.Union(redraw); }
    LRgn fDirty;
};

TEST(ListPane, RowsInsertedOrRemovedRedrawWhatMovesOnScreenAndNothingElse) {
    struct Case {
        const char* what;
        bool insert;
        i32 at, n;
        const char* moved;  // the rows on screen showing another row after it, by place
    } cases[] = {
        {"inserted above the screen", true, 2, 3, "0123456789"},
        {"inserted on screen", true, 14, 2, "----456789"},
        {"inserted below the screen", true, 30, 5, "----------"},
        {"removed above the screen", false, 3, 2, "0123456789"},
        {"removed on screen", false, 16, 3, "------6789"},
        {"removed below the screen", false, 30, 5, "----------"},
        {"removed up to the end while scrolled", false, 5, 35, "0123456789"},
    };
    for (const Case& c : cases) {
        ListStage s;
        DirtyBox box;
        Grid g(&box, 3, 1, 40);
        g.SetScrollPos(LCell{0, 10});
        box.fDirty.SetEmpty();
        if (c.insert)
            g.InsertRows(c.at, c.n);
        else
            g.RemoveRows(c.at, c.n);
        std::string dirty;
        for (i32 i = 0; i < 10; ++i)
            dirty += box.fDirty.ContainsPoint(5, i * 10 + 5) ? char('0' + i) : '-';
        // A row that moves is drawn again; one that stays costs nothing.
        for (size_t i = 0; i < dirty.size(); ++i)
            if (c.moved[i] != '-') {
                EXPECT_EQ(dirty[i], c.moved[i]) << c.what << " place " << i;
            }
        if (std::string(c.moved) == "----------") {
            EXPECT_TRUE(box.fDirty.IsEmpty()) << c.what;
        }
    }
}

TEST(ListPane, RemovingAllRowsWhileScrolled) {
    ListStage s;
    Grid g(&s.fBox, 3, 2, 40);
    g.SetScrollPos(LCell{0, 25});
    s.fBox.Take();
    g.RemoveRows(0, 40);
    EXPECT_EQ(g.First(), (LCell{0, 0}));
    EXPECT_EQ(s.fBox.Take(), "LListPane_Change");
    EXPECT_EQ(g.GetSelStart(), (LCell{2, 0}));
    g.InsertRows(0, 5);
    g.SetSelection(Rect(0, 1, 1, 3));
    EXPECT_EQ(g.GetSelCell(), LCell());
    g.SetSelection(Rect(1, 4, 2, 5));
    EXPECT_EQ(g.GetSelCell(), (LCell{1, 4}));
}

TEST(ListPane, ScrollToCellRecentresOnlyWhenNotFullyVisible) {
    ListStage s;
    Grid g(&s.fBox, 3, 30, 30);
    g.SetBounds(LRect(0, 0, 95, 95));  // 9 full cells, the tenth partly
    s.fBox.Take();
    g.ScrollToCell(LCell{8, 8});
    EXPECT_EQ(s.fBox.Take(), "");
    g.ScrollToCell(LCell{9, 3});
    EXPECT_EQ(g.First(), (LCell{5, 0}));
    g.ScrollToCell(LCell{29, 29});
    EXPECT_EQ(g.First(), (LCell{21, 21}));
}

TEST(ListPane, DragSelectionScrollsAtOnceThenAfterTheDelayThenEveryInterval) {
    ListStage s;
    Grid g(&s.fBox, 3, 5, 1);
    g.SetCellSize(150, 10);  // wider than the pane
    s.ClickCell(&g, {0, 0}, 0);
    s.Mouse(LMouse_Move, &g, 120, 5);
    EXPECT_EQ(g.First().col, 1);
    const u32 steps[][2] = {{499, 1}, {1, 2}, {99, 2}, {1, 3}, {100, 4}, {100, 4}};
    for (const auto& st : steps) {
        s.Fire(st[0]);
        EXPECT_EQ(g.First().col, i32(st[1])) << st[0];
    }
    EXPECT_TRUE(g.Selection() == Rect(0, 0, 5, 1));
    s.Mouse(LMouse_Move, &g, 50, 5);
    EXPECT_EQ(g.ScrollTimer(), nullptr);
}

TEST(ListPane, SelectionWalksMatchBruteForce) {
    std::mt19937 rng(7);
    for (int round = 0; round < 200; ++round) {
        LRgn sel;
        for (int k = rng() % 5; k > 0; --k) {
            const i32 l = i32(rng() % 8), t = i32(rng() % 8);
            sel.Union(Rect(l, t, l + 1 + i32(rng() % 4), t + 1 + i32(rng() % 4)));
        }
        for (int walk = 0; walk < 4; ++walk) {
            const bool colMajor = walk & 1, reverse = walk & 2;
            std::vector<LCell> want, got;
            for (i32 o = 0; o < 12; ++o)
                for (i32 i = 0; i < 12; ++i) {
                    const i32 a = reverse ? 11 - o : o, b = reverse ? 11 - i : i;
                    const LCell c = colMajor ? LCell{a, b} : LCell{b, a};
                    if (sel.ContainsPoint(c.col, c.row)) want.push_back(c);
                }
            LSelIter it;
            it.Init(sel, colMajor, reverse);
            while (it.Next()) got.push_back(it.Cell());
            ASSERT_EQ(got, want) << round << " walk " << walk;
        }
    }
}

}  // namespace

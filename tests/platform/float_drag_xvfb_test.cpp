// Windows in front and behind, under a real X server with a window manager
// (Xvfb, openbox, xdotool) at 1280 x 800, against simulated devices in
// namespaces of the test's own (root only):
// - a sequence dragged from the control window while the Play Buttons window
//   is in front of it, onto a play button where the two windows overlap; a
//   plain click on a background list; the device's log read back;
// - the schedule's test window: moved by its title, above this program's
//   windows and below another program's, closed by its close box (test mode
//   left, nothing sent), hidden with its control window and back with it.
// Screenshots: walk_float_<name>.png in the build folder.
#include <QApplication>
#include <QWidget>

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "PlayEditWalk.h"
#include "WindowWalk.h"
#include "editors/CKvsPlayAsnWin.h"
#include "editors/CKvsSchEditFrm.h"
#include "editors/CKvsSchList.h"
#include "editors/CKvsSchWin.h"
#include "editors/CKvsSeqList.h"
#include "editors/PlayHooks.h"
#include "records/NsqPrefKinds.h"
#include "records/PlayGrid.h"
#include "records/ShowKinds.h"

// Qt's drag on X11 wakes the session bus, whose library keeps a block for the process.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n";
}

using namespace testtftp;

namespace {

MWindow* WindowOf(LFrame* f) {
    return f ? AsMWindow(f->GetNativeWindow()) : nullptr;
}

// Every write the device took since its log was last cleared, to any device.
std::vector<std::string> Writes(SimDeviceProcess& sim) {
    std::vector<std::string> out;
    for (const std::string& line : sim.Log())
        if (line.find("op=write") != std::string::npos) out.push_back(line);
    return out;
}

// Waits for the window top to stand over each of below in the window
// manager's stacking, and checks that it does.
void ExpectOver(const XvfbHarness& x, const std::string& what, u64 top,
                std::initializer_list<u64> below) {
    Await(
        what,
        [&] {
            const long t = StackIndex(x, top);
            for (const u64 b : below)
                if (t <= StackIndex(x, b)) return false;
            return true;
        },
        3000, kLookMs);
    for (const u64 b : below) EXPECT_GT(StackIndex(x, top), StackIndex(x, b)) << what;
}

// A point of a list's cell, from the cell's top left.
QPoint CellPoint(LListPane* list, LCell cell, LPoint at) {
    const LRect r = list->GetCellRect(cell);
    return ScreenPoint(
        list, LPoint{r.left - list->Bounds().left + at.x, r.top - list->Bounds().top + at.y});
}

void WalkDrag(const XvfbHarness& x, NetnsHarness& net, const TempDir& dir) {
    WithPlayEdit(x, net, dir, [&](PlayEdit& p) {
        Walk& w = p.w;
        SimDeviceProcess& sim = p.sim;
        MWindow* ctl = p.ctl;
        CKvsPlayFrm* frame = p.frame;
        AlertGuard alerts("dragging onto the play buttons");

        // Two sequences.
        CRecord* seqs = frame->SeqSettings();
        for (u32 n = 1; n <= 2; ++n) {
            w.Click(PaneAt(&frame->PlusButton()));
            ASSERT_TRUE(RunUntil([&] { return seqs->GetListCount(SqstF::sqcs) == n; }, 3000));
        }
        CKvsSeqList* list = frame->List();
        Await("both sequences' rows", [&] { return list->Rows() == 2; });
        w.AwaitQuiet("adding the sequences");
        LoopDrained();

        // The Play Buttons window, put over the control window's right part
        // by its title, so that its first button lies where the two overlap
        // and the sequence rows stay in sight.
        ASSERT_TRUE(w.Choose(ctl, "Play", "Play Buttons"));
        auto* asn = dynamic_cast<CKvsPlayAsnWin*>(ShownWindowOf(p.play, PlayWindow::kButtons));
        ASSERT_NE(asn, nullptr);
        MWindow* btnWin = WindowOf(asn);
        ASSERT_TRUE(w.WaitActive(btnWin));
        WaitShown(btnWin);
        Await("the Play Buttons window's title bar", [&] { return TitleHeight(btnWin) > 0; });
        const QPoint row0 = RowAt(list, 0, 12);
        const QPoint row1 = RowAt(list, 1, 12);
        {
            const QRect c = ctl->frameGeometry();
            const QRect b = btnWin->frameGeometry();
            // Its left edge 80 pixels right of the rows' start, its top at the
            // control window's top third.
            const QPoint want(row0.x() + 80, c.top() + c.height() / 3);
            DragTitle(x, btnWin, want - b.topLeft());
        }
        ASSERT_TRUE(w.WaitActive(btnWin));
        Await(
            "the Play Buttons window over the control window",
            [&] { return StackIndex(x, ClientId(btnWin)) > StackIndex(x, ClientId(ctl)); }, 3000,
            kLookMs);
        LoopDrained();
        const QPoint button = CellPoint(&asn->fList, LCell{0, 0}, LPoint{20, 20});
        std::fprintf(stderr, "control %d,%d %dx%d; buttons %d,%d %dx%d; row %d,%d; button %d,%d\n",
                     ctl->frameGeometry().x(), ctl->frameGeometry().y(),
                     ctl->frameGeometry().width(), ctl->frameGeometry().height(),
                     btnWin->frameGeometry().x(), btnWin->frameGeometry().y(),
                     btnWin->frameGeometry().width(), btnWin->frameGeometry().height(), row0.x(),
                     row0.y(), button.x(), button.y());
        // The scene as the walk needs it: the rows seen, the button over the
        // control window, the Play Buttons window in front.
        ASSERT_FALSE(btnWin->frameGeometry().contains(row0));
        ASSERT_FALSE(btnWin->frameGeometry().contains(row1));
        ASSERT_TRUE(ctl->frameGeometry().contains(button));
        ASSERT_GT(StackIndex(x, ClientId(btnWin)), StackIndex(x, ClientId(ctl)));
        ASSERT_FALSE(ctl->isActiveWindow());
        w.Shot("float_before_drag");

        // ---- the first sequence dragged from behind onto the first button.
        CRecord* seq = seqs->GetListItem(SqstF::sqcs, 0);
        const std::string id = std::to_string(seq->GetU32(SqncF::sqid));
        sim.Cmd("log clear");
        {
            LDrop* target = LDropMgr::Instance().DropFor(static_cast<QWidget*>(btnWin));
            ASSERT_NE(target, nullptr);
            bool frontAtDrop = false;
            BackgroundDrag drag(x, row0, button, [&] { return target->Target() != nullptr; });
            drag.fOnEntered = [&] {
                frontAtDrop = StackIndex(x, ClientId(btnWin)) > StackIndex(x, ClientId(ctl));
                w.Shot("float_drop");
            };
            ASSERT_TRUE(RunUntil([&] { return drag.Done(); }, 40000));
            EXPECT_TRUE(drag.Ok()) << drag.Failure();
            EXPECT_TRUE(frontAtDrop) << "the control window came in front of the drop";
        }
        const CRecord* cell = PlaySetGetCell(p.play->PlaySettings(), 0, 0);
        ASSERT_NE(cell, nullptr);
        EXPECT_EQ(std::to_string(cell->GetU32(PlclF::sqid)), id);
        EXPECT_EQ(w.WaitWritten("sqid", 1), std::vector<std::string>{id});
        EXPECT_EQ(w.WrittenElsewhere("sqid"), 0u);
        // The buttons' layout follows an assignment a second later; it belongs to
        // the drop, not to the click below.
        EXPECT_EQ(w.WaitWritten("uifs", 1, 6000).size(), 1u);
        // The Play Buttons window is still the one in front. A raise the drop
        // asked for has no sign of its own: whatever the drop queued has run.
        LoopDrained();
        EXPECT_GT(StackIndex(x, ClientId(btnWin)), StackIndex(x, ClientId(ctl)));
        EXPECT_TRUE(RunUntil([&] { return btnWin->isActiveWindow(); }, 3000));
        w.Shot("float_dropped");

        // ---- a plain click on the second row, from behind: the row is chosen
        // and its window comes forward, as a click on any window does.
        sim.Cmd("log clear");
        w.Click(row1);
        EXPECT_TRUE(RunUntil([&] { return list->IsSelected(LCell{0, 1}); }, 3000));
        EXPECT_TRUE(RunUntil([&] { return ctl->isActiveWindow(); }, 3000));
        ExpectOver(x, "the control window raised over the Play Buttons window", ClientId(ctl),
                   {ClientId(btnWin)});
        EXPECT_EQ(cell->GetU32(PlclF::sqid), seq->GetU32(SqncF::sqid));
        w.Shot("float_clicked");
        EXPECT_EQ(Writes(sim), std::vector<std::string>());
        EXPECT_EQ(gWarnings, std::vector<std::string>());
        asn->HideWindow();
        Await("the Play Buttons window hidden", [&] { return !btnWin->isVisible(); });
        LoopDrained();
    });
}

// Whether a window property of the window manager's names an atom.
bool PropertyHas(const XvfbHarness& x, QWidget* w, const std::string& property,
                 const std::string& atom) {
    const std::string out = x.Run("xprop -id " + std::to_string(ClientId(w)) + " " + property);
    return out.find(atom) != std::string::npos;
}

// A point of a window's content that none of the other windows (nor the
// rectangle) covers; null when there is none.
QPoint UncoveredPoint(QWidget* window, const std::vector<QWidget*>& others, QRect also) {
    const QRect g = window->geometry() & QRect(0, 0, 1280, 800);
    for (int y = g.bottom() - 8; y > g.top() + 8; y -= 8) {
        for (int x = g.left() + 8; x < g.right() - 8; x += 8) {
            const QPoint p(x, y);
            bool covered = also.contains(p);
            for (QWidget* o : others) covered = covered || o->frameGeometry().contains(p);
            if (!covered) return p;
        }
    }
    return QPoint();
}

void WalkTestPanel(const XvfbHarness& x, NetnsHarness& net, const TempDir& dir) {
    WithPlayEdit(x, net, dir, [&](PlayEdit& p) {
        Walk& w = p.w;
        SimDeviceProcess& sim = p.sim;
        MWindow* ctl = p.ctl;
        AlertGuard alerts("testing the schedule");

        // The schedule window with one event.
        ASSERT_TRUE(w.Choose(ctl, "Play", "Use Schedule"));
        auto* sch = dynamic_cast<CKvsSchWin*>(ShownWindowOf(p.play, PlayWindow::kSchedule));
        ASSERT_NE(sch, nullptr);
        MWindow* schWin = WindowOf(sch);
        WaitShown(schWin);
        w.Activate(schWin);
        CKvsSchList* list = sch->EditFrame()->fList;
        w.Click(PaneAt(&sch->EditFrame()->fAdd));
        const CRecord* schd = p.play->SeqSettings()->GetChild(SqstF::schd);
        ASSERT_TRUE(RunUntil([&] { return schd->GetListCount(SchdF::flts) == 1; }, 3000));
        w.AwaitQuiet("adding a schedule event");
        LoopDrained();

        // ---- the test window: opened from the schedule's menu; nothing sent.
        sim.Cmd("log clear");
        ASSERT_TRUE(w.Choose(schWin, "Schedule", "Test Schedule"));
        ASSERT_TRUE(
            RunUntil([&] { return sch->TestWindow() && sch->TestWindow()->IsShown(); }, 5000));
        MWindow* test = WindowOf(sch->TestWindow());
        ASSERT_NE(test, nullptr);
        ASSERT_TRUE(RunUntil([&] { return TitleHeight(test) > 0; }, 3000));
        WaitShown(test);
        Await(
            "the test window managed", [&] { return StackIndex(x, ClientId(test)) >= 0; }, 3000,
            kLookMs);
        EXPECT_TRUE(list->InTestMode());
        EXPECT_EQ(MenuDriver::BarOf(test), nullptr);
        EXPECT_TRUE(QRect(0, 0, 1280, 800).contains(test->frameGeometry()));
        // A close box, and it may be moved; not kept above everything.
        EXPECT_TRUE(PropertyHas(x, test, "_NET_WM_ALLOWED_ACTIONS", "_NET_WM_ACTION_CLOSE"));
        EXPECT_TRUE(PropertyHas(x, test, "_NET_WM_ALLOWED_ACTIONS", "_NET_WM_ACTION_MOVE"));
        EXPECT_FALSE(PropertyHas(x, test, "_NET_WM_STATE", "_NET_WM_STATE_ABOVE"));
        w.Shot("float_test_window");

        // ---- moved by its title.
        // Towards the screen's middle, so that it stays whole on the screen.
        const QPoint was = test->frameGeometry().topLeft();
        const QPoint by(test->frameGeometry().center().x() > 640 ? -150 : 150,
                        test->frameGeometry().center().y() > 400 ? -90 : 90);
        DragTitle(x, test, by);
        EXPECT_EQ(test->frameGeometry().topLeft(), was + by);
        EXPECT_TRUE(QRect(0, 0, 1280, 800).contains(test->frameGeometry()));

        // ---- above this program's windows, also when another is chosen.
        w.Activate(ctl);
        ExpectOver(x, "the test window over the control and schedule windows", ClientId(test),
                   {ClientId(ctl), ClientId(schWin)});
        // ---- another program's window goes over it.
        u64 otherWindow = 0;
        {
            const QRect over = test->frameGeometry().adjusted(-40, -40, 40, 40);
            OtherProgram other(x, over, "kevofloatother");
            ASSERT_TRUE(other.Ok());
            otherWindow = other.Window();
            other.Activate();
            EXPECT_TRUE(RunUntil(
                [&] {
                    return StackIndex(x, other.Window()) > StackIndex(x, ClientId(test)) &&
                           QApplication::activeWindow() == nullptr;
                },
                3000))
                << "the test window stays above another program's window";
            w.Shot("float_other_program");
            // Back to this program by a click on what is seen of the
            // schedule window: the test window comes over its windows again.
            const QPoint seen = UncoveredPoint(schWin, {ctl, test}, QRect(over));
            ASSERT_FALSE(seen.isNull());
            w.Click(seen);
            ASSERT_TRUE(w.WaitActive(schWin));
            ExpectOver(x, "the test window over the schedule window and the other program's",
                       ClientId(test), {ClientId(schWin), other.Window()});
        }

        // ---- its close box: test mode left, the schedule window stays, and
        // nothing goes to the device.
        Await(
            "the other program's window gone", [&] { return StackIndex(x, otherWindow) < 0; }, 5000,
            kLookMs);
        w.Click(CloseBoxPoint(test));
        EXPECT_TRUE(RunUntil([&] { return !test->isVisible(); }, 3000));
        EXPECT_FALSE(list->InTestMode());
        EXPECT_TRUE(schWin->isVisible());
        EXPECT_EQ(p.play->SeqSettings()->GetU8(SqstF::ussc), 1u);
        // A write that must not come has no sign to wait on: the time a late one would take.
        const u32 closedAt = LTickMs();
        WaitUntil([&] { return LTickMs() - closedAt >= 1500; }, 1600);
        w.WaitDeviceIdle();
        EXPECT_EQ(Writes(sim), std::vector<std::string>());
        w.Shot("float_test_closed");

        // ---- open again; the control window closed by its close box hides
        // both; opened again, both come back, still in test mode.
        w.Activate(schWin);
        ASSERT_TRUE(w.Choose(schWin, "Schedule", "Test Schedule"));
        ASSERT_TRUE(RunUntil([&] { return test->isVisible(); }, 3000));
        EXPECT_TRUE(list->InTestMode());
        // Where it was moved to.
        EXPECT_EQ(test->frameGeometry().topLeft(), was + by);
        WaitShown(test);
        w.Activate(ctl);
        w.Click(CloseBoxPoint(ctl));
        EXPECT_TRUE(RunUntil([&] { return !ctl->isVisible(); }, 15000));
        EXPECT_TRUE(RunUntil([&] { return !schWin->isVisible() && !test->isVisible(); }, 3000))
            << "schedule " << schWin->isVisible() << ", test " << test->isVisible();
        w.Shot("float_control_closed");
        auto* devwin = static_cast<CKvsDevWin*>(p.kvs->DevDoc()->View());
        const QPoint row = RowAt(devwin->fList, 1, 20);
        w.Activate(WindowOf(devwin));
        w.Click(row, 2);
        ASSERT_TRUE(RunUntil([&] { return ctl->isVisible(); }, 15000));
        EXPECT_TRUE(RunUntil([&] { return schWin->isVisible() && test->isVisible(); }, 5000))
            << "schedule " << schWin->isVisible() << ", test " << test->isVisible();
        EXPECT_TRUE(list->InTestMode());
        ExpectOver(x, "the test window over the control and schedule windows again", ClientId(test),
                   {ClientId(ctl), ClientId(schWin)});
        w.Shot("float_control_again");
        EXPECT_EQ(gWarnings, std::vector<std::string>());
    });
}

TEST(FloatDragWalk, ScheduleTestWindowIsAFloatingPanel) {
    RunPlayEditWalk("1280x800", "fpanel", WalkTestPanel);
}

TEST(FloatDragWalk, SequenceDraggedFromBehindOntoAPlayButton) {
    RunPlayEditWalk("1280x800", "fdrag", WalkDrag);
}

}  // namespace

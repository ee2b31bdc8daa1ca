// The font window of the preferences as a user meets it, under a real X server
// with a window manager (Xvfb, openbox, xdotool), the program in a network
// namespace of the test's own (root only): a click on a row's font opens the
// font panel for that row; a family and a size chosen there by keys reach the
// view preferences, the row shows the family and is drawn in that font; Tab to
// the next row takes the panel along; closed, the panel comes back with
// Return, and with a double click on another row; minimised or left under
// another window, it comes back by what asks for it. Screenshots:
// fontpanel_<name>.png in the build folder. One QApplication per process: the
// walk runs in a child.
#include <QApplication>
#include <QFontDialog>
#include <QImage>
#include <QListView>
#include <QPointer>
#include <QScreen>
#include <QSettings>
#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "WalkSetup.h"
#include "XvfbHarness.h"
#include "WindowWalk.h"
#include "XvfbWalk.h"
#include "devices/CKvsApp.h"
#include "devices/CKvsDevDoc.h"
#include "devices/CKvsDevWin.h"
#include "framework/CViewPrefs.h"
#include "framework/CViewPrefsDlg.h"
#include "framework/LFont.h"
#include "platform/qt/QtMenus.h"
#include "platform/qt/QtWindows.h"
#include "tests/devlink/NetnsHarness.h"
#include "tests/platform/AppLaunch.h"
#include "tools/testkit/SimDeviceProcess.h"

using namespace testtftp;

namespace {

class User : public MenuDriver {
public:
    explicit User(const XvfbHarness& x) : MenuDriver(x) { fClicksTaken = true; }
    // Each back once the program has taken the input and run what it queued.
    void Click(QPoint p, int count = 1) {
        const u64 seen = InputSeen::Instance().Releases();
        MenuDriver::Click(p, count);
        Await("the click taken",
              [&] { return InputSeen::Instance().Releases() >= seen + u64(count); });
        LoopDrained();
    }
    // The keys and text are each awaited as taken by the program.
    void Key(const std::string& keys) {
        MenuDriver::Key(keys);
        LoopDrained();
    }
    void Type(const std::string& text) {
        MenuDriver::Type(text);
        LoopDrained();
    }
    // On screen, drawn, and taking keys and clicks as the user means them.
    void WaitTakesInput(QWidget* w) {
        WaitShown(w);
        Await(
            "'" + w->windowTitle().toStdString() + "' taking input",
            [&] { return TakesInput(fX, w); }, 5000, kLookMs);
    }
    void Shot(const std::string& name) {
        fX.Screenshot(std::string(KEVO_BINARY_DIR) + "/fontpanel_" + name + ".png");
    }
};

// Every text held under a value of the preferences file, at any depth.
void Texts(const QVariant& v, std::vector<std::string>* out) {
    if (v.typeId() == QMetaType::QString) out->push_back(v.toString().toStdString());
    if (v.typeId() != QMetaType::QVariantMap) return;
    for (const QVariant& child : v.toMap()) Texts(child, out);
}

CViewPrefsDlg* PrefsWindow() {
    for (LWindow* w = LWindow::NextWindow(nullptr); w; w = LWindow::NextWindow(w))
        if (auto* dlg = dynamic_cast<CViewPrefsDlg*>(w->GetFrame())) return dlg;
    return nullptr;
}

QFontDialog* Panel() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<QFontDialog*>(w); d && d->isVisible()) return d;
    return nullptr;
}

// The panel's list of families: the list nearest its top left.
QListView* FamilyList(QFontDialog* panel) {
    QListView* best = nullptr;
    for (QListView* v : panel->findChildren<QListView*>()) {
        if (!v->isVisible()) continue;
        if (!best || v->mapTo(panel, QPoint()).x() < best->mapTo(panel, QPoint()).x()) best = v;
    }
    return best;
}

CVPFontCell* Cell(CVPFontList& list, i32 row);

// A point of the panel's sample (right, low) that no other window covers:
// the font window grows with a bigger font and may lie over the panel.
QPoint SeenPoint(QFontDialog* panel) {
    for (int y = panel->height() - 60; y > 20; y -= 20)
        for (int x = panel->width() - 100; x > 20; x -= 20) {
            const QPoint p = panel->mapToGlobal(QPoint(x, y));
            QWidget* under = QApplication::widgetAt(p);
            if (under && under->window() == panel) return p;
        }
    return panel->mapToGlobal(QPoint(panel->width() - 100, panel->height() - 60));
}

// A point near the left end of a row's font field: the window may have grown
// under the panel since it opened, and only what the user sees is clicked.
QPoint SlotOf(CVPFontList& list, i32 row) {
    CTextSlot& slot = Cell(list, row)->fFamily;
    return ScreenPoint(&slot, LPoint{15, slot.Bounds().Height() / 2});
}

CVPFontCell* Cell(CVPFontList& list, i32 row) {
    return static_cast<CVPFontCell*>(list.GetCellFrame(LCell{0, row}, false));
}

std::string Family(u32 slot) {
    CViewFont f;
    return CViewPrefs::Instance().GetFont(slot, &f) ? std::string(f.family.CStr()) : "-";
}

f32 Points(u32 slot) {
    CViewFont f;
    CViewPrefs::Instance().GetFont(slot, &f);
    return f.points;
}

// The pixels of a row as the screen shows them.
QImage RowImage(CVPFontList& list, i32 row) {
    const QPoint tl = ScreenPoint(&list, LPoint{0, row * list.CellHeight()});
    return QGuiApplication::primaryScreen()
        ->grabWindow(0, tl.x(), tl.y(), list.Bounds().Width(), list.CellHeight())
        .toImage();
}

// The device window shown and taking input, then the preferences window
// opened from the application menu and taking input.
struct PrefsOpen {
    MWindow* devmw = nullptr;
    CViewPrefsDlg* prefs = nullptr;
    MWindow* prefsmw = nullptr;
};

void OpenPrefs(User& user, CKvsApp* kvs, PrefsOpen& out) {
    auto* devwin = static_cast<CKvsDevWin*>(kvs->DevDoc()->View());
    ASSERT_TRUE(RunUntil([&] { return devwin->IsShown(); }, 15000));
    out.devmw = AsMWindow(devwin->GetNativeWindow());
    ASSERT_TRUE(user.WaitActive(out.devmw));
    user.WaitTakesInput(out.devmw);
    ASSERT_TRUE(user.ChooseSettled(out.devmw, "KEVOruneSet", "Preferences"));
    ASSERT_TRUE(
        RunUntil([&] { return (out.prefs = PrefsWindow()) && out.prefs->IsShown(); }, 5000));
    out.prefsmw = AsMWindow(out.prefs->GetNativeWindow());
    ASSERT_TRUE(user.WaitActive(out.prefsmw));
    user.WaitTakesInput(out.prefsmw);
}

// The program started in the application's namespace and the preferences
// window opened (OpenPrefs); then the walk's body, which ends the program.
void WithPrefsOpen(const XvfbHarness& x, NetnsHarness& net, const TempDir& dir,
                   const std::function<void(User&, WalkLaunch&, PrefsOpen&)>& body) {
    User user(x);
    ASSERT_TRUE(net.InNs(net.AppNs(), [&] {
        WalkLaunch launch(dir.Path());
        CKvsApp* kvs = launch.Launch();
        PrefsOpen open;
        ASSERT_NO_FATAL_FAILURE(OpenPrefs(user, kvs, open));
        body(user, launch, open);
    }));
}

void Walk(const XvfbHarness& x, NetnsHarness& net, const TempDir& dir) {
    // ---- the window, from the application menu.
    WithPrefsOpen(x, net, dir, [&](User& user, WalkLaunch& launch, PrefsOpen& open) {
        CViewPrefsDlg* prefs = open.prefs;
        MWindow* prefsmw = open.prefsmw;
        CVPFontList& list = prefs->FontList();
        EXPECT_EQ(Panel(), nullptr) << "a panel before any row was chosen";
        const std::string before = Cell(list, 1)->fFamily.GetText().CStr();
        EXPECT_FALSE(before.empty());
        const QImage rowBefore = RowImage(list, 1);
        user.Shot("window");

        // ---- a click on the second row's font opens the panel for it.
        user.Click(SlotOf(list, 1));
        ASSERT_TRUE(RunUntil([] { return Panel() != nullptr; }, 3000))
            << "a click on a row's font opens no panel";
        QFontDialog* panel = Panel();
        EXPECT_EQ(panel->currentFont().family().toStdString(), before);
        EXPECT_TRUE(list.IsSelected(LCell{0, 1}));
        ASSERT_TRUE(user.WaitActive(panel));
        user.Shot("panel");

        // ---- a family and a size chosen by keys.
        // The family by the arrow keys from the one shown, the size typed.
        user.Key("alt+f");
        QListView* families = FamilyList(panel);
        ASSERT_NE(families, nullptr);
        const int from = families->currentIndex().row();
        const QModelIndexList to =
            families->model()->match(families->model()->index(0, 0), Qt::DisplayRole,
                                     QStringLiteral("DejaVu Serif"), 1, Qt::MatchExactly);
        ASSERT_EQ(to.size(), 1);
        const int steps = to[0].row() - from;
        for (int i = 0; i < std::abs(steps); ++i) user.Key(steps > 0 ? "Down" : "Up");
        EXPECT_TRUE(RunUntil([] { return Family(1) == "DejaVu Serif"; }, 3000)) << Family(1);
        user.Key("alt+s");
        user.Key("ctrl+a");
        user.Type("20");
        EXPECT_TRUE(RunUntil([] { return Points(1) == 20.0f; }, 3000)) << Points(1);
        EXPECT_EQ(Family(1), "DejaVu Serif");
        // No other row changed.
        for (u32 slot : {0u, 2u, 3u}) EXPECT_EQ(Family(slot), "-") << slot;
        // The window drawn again with the new preference.
        LoopDrained();

        // The row shows the family, and draws it in that font.
        EXPECT_TRUE(RunUntil(
            [&] { return Cell(list, 1)->fFamily.GetText() == LString("DejaVu Serif"); }, 2000));
        EXPECT_EQ(std::string(LFont(1).GetFamilyName().CStr()), "DejaVu Serif");
        EXPECT_FLOAT_EQ(f32(LFont(1).GetPointSize()), 20.0f);
        // The list's own texts are in the font of "Lists and fields".
        EXPECT_TRUE(LFont::Equals(Cell(list, 1)->fLabel.Style(), LFont(1)));
        EXPECT_NE(RowImage(list, 1), rowBefore) << "the row was not drawn again";
        user.Shot("chosen");

        // ---- back in the window, Tab takes the panel to the next row.
        user.Click(SlotOf(list, 1));
        ASSERT_TRUE(user.WaitActive(prefsmw));
        user.Key("Tab");
        EXPECT_TRUE(RunUntil([&] { return list.IsSelected(LCell{0, 2}); }, 2000));
        ASSERT_TRUE(RunUntil([] { return Panel() != nullptr; }, 3000));
        EXPECT_EQ(Panel()->currentFont().family().toStdString(),
                  std::string(Cell(list, 2)->fFamily.GetText().CStr()));

        // ---- closed with Escape, Return on the row brings it back.
        user.Click(SeenPoint(Panel()));
        ASSERT_TRUE(user.WaitActive(Panel()));
        user.Key("Escape");
        ASSERT_TRUE(RunUntil([] { return Panel() == nullptr; }, 3000));
        if (!user.WaitActive(prefsmw, 1000)) {
            user.Click(ScreenPoint(&list, LPoint{10, 4 * list.CellHeight() + 4}));
            ASSERT_TRUE(user.WaitActive(prefsmw));
        }
        // The window has the keyboard again: the panel the user closed stays closed.
        user.WaitTakesInput(prefsmw);
        LoopDrained();
        EXPECT_EQ(Panel(), nullptr) << "the closed panel came back on its own";
        user.Key("Return");
        ASSERT_TRUE(RunUntil([] { return Panel() != nullptr; }, 3000))
            << "Return on a row opens no panel";
        EXPECT_EQ(Family(2), "-");
        EXPECT_EQ(Family(1), "DejaVu Serif");

        // ---- closed again, a double click on the last row opens it for that row.
        user.Click(SeenPoint(Panel()));
        ASSERT_TRUE(user.WaitActive(Panel()));
        user.Key("Escape");
        ASSERT_TRUE(RunUntil([] { return Panel() == nullptr; }, 3000));
        user.Click(SlotOf(list, 3), 2);
        ASSERT_TRUE(RunUntil([] { return Panel() != nullptr; }, 3000))
            << "a double click on a row's font opens no panel";
        EXPECT_TRUE(list.IsSelected(LCell{0, 3}));
        EXPECT_EQ(Panel()->currentFont().family().toStdString(),
                  std::string(Cell(list, 3)->fFamily.GetText().CStr()));
        user.Shot("last");

        // No Qt warning; the preference goes to the preferences file at the end.
        EXPECT_EQ(gWarnings, std::vector<std::string>());
        const QPointer<MWindow> hidden(prefsmw);
        prefs->HideWindow();
        Await("the preferences window hidden", [&] { return !hidden || !hidden->isVisible(); });
        LoopDrained();
        EXPECT_EQ(Panel(), nullptr) << "the panel outlived its window";
        launch.Terminate();
        // The preferences file holds the slot's family and size among the view
        // preferences ("vwpf").
        QSettings ini(QString::fromStdString(dir.Path() + "/config/kevoruneset.ini"),
                      QSettings::IniFormat);
        std::vector<std::string> texts;
        Texts(ini.value("prefs").toMap().value("vwpf"), &texts);
        for (const char* want : {"DejaVu Serif", "20.0"})
            EXPECT_NE(std::find(texts.begin(), texts.end(), want), texts.end()) << want;
    });
}

// The panel minimised, and left under another window: each way the user asks
// for it (a row's font clicked, the window's command Ctrl+, from another
// window, its entry in the Window menu) brings it back on screen and in front.
void ComesBack(const XvfbHarness& x, NetnsHarness& net, const TempDir& dir) {
    WithPrefsOpen(x, net, dir, [&](User& user, WalkLaunch& launch, PrefsOpen& open) {
        MWindow* devmw = open.devmw;
        CViewPrefsDlg* prefs = open.prefs;
        MWindow* prefsmw = open.prefsmw;
        CVPFontList& list = prefs->FontList();
        user.Click(SlotOf(list, 1));
        ASSERT_TRUE(RunUntil([] { return Panel() != nullptr; }, 3000));
        QPointer<QFontDialog> panel = Panel();
        ASSERT_TRUE(user.WaitActive(panel));
        const QString title = panel->windowTitle();
        // Made active as a click on it would.
        auto activate = [&](QWidget* w) {
            if (!user.WaitActive(w, 500)) x.Xdotool("windowactivate " + std::to_string(w->winId()));
            user.WaitTakesInput(w);
        };
        auto front = [&] {
            const long at = StackIndex(x, ClientId(panel));
            for (QWidget* m : {static_cast<QWidget*>(devmw), static_cast<QWidget*>(prefsmw)})
                if (StackIndex(x, ClientId(m)) > at) return false;
            return true;
        };
        const struct {
            const char* tag;
            bool covered;  // under the device window, else minimised
            QWidget* from;
            int way;  // 0 a row's font clicked, 1 Ctrl+,, 2 the Window menu
        } ways[] = {{"row", false, prefsmw, 0},
                    {"ctrl_comma", false, devmw, 1},
                    {"window_menu", false, devmw, 2},
                    {"row_covered", true, prefsmw, 0}};
        std::string rows, sound;
        i32 row = 2;
        for (const auto& way : ways) {
            SCOPED_TRACE(way.tag);
            ASSERT_TRUE(panel);
            if (way.covered) {
                // On screen first, whatever the rows before left.
                if (panel->isMinimized())
                    panel->setWindowState(panel->windowState() & ~Qt::WindowMinimized);
                EXPECT_TRUE(
                    Await("the panel on screen", [&] { return XState(x, panel) == "Normal"; }));
                activate(devmw);
                const QPoint at = devmw->frameGeometry().topLeft() + QPoint(40, 60);
                x.Xdotool("windowmove " + std::to_string(panel->winId()) + " " +
                          std::to_string(at.x()) + " " + std::to_string(at.y()));
                EXPECT_TRUE(Await("the panel under the device window", [&] {
                    return StackIndex(x, ClientId(panel)) < StackIndex(x, ClientId(devmw));
                }));
            } else {
                x.Xdotool("windowminimize " + std::to_string(panel->winId()));
                EXPECT_TRUE(Await("the panel minimised", [&] {
                    return panel && panel->isMinimized() && XState(x, panel) == "Iconic";
                }));
            }
            activate(way.from);
            if (way.way == 0) {
                user.Click(SlotOf(list, row));
                row = 3 - row;
            } else if (way.way == 1) {
                user.Key("ctrl+comma");
            } else {
                EXPECT_TRUE(user.ChooseSettled(devmw, "Window", title));
            }
            Await("the panel back in front", [&] {
                return panel && !panel->isMinimized() && XState(x, panel) == "Normal" &&
                       panel->windowHandle()->isExposed() && front();
            });
            rows += std::string(way.tag) + "=" + (panel ? XState(x, panel) : "gone") +
                    (panel && front() ? ",front " : ",behind ");
            sound += std::string(way.tag) + "=Normal,front ";
            user.Shot(std::string("back_") + way.tag);
        }
        EXPECT_EQ(rows, sound);
        EXPECT_EQ(gWarnings, std::vector<std::string>());
        launch.Terminate();
    });
}

TEST(FontPanelWalk, ARowsFontChosenInThePanel) {
    WalkInChild("1280x800", "fontpanel", Walk);
}

TEST(FontPanelWalk, AMinimisedOrCoveredPanelComesBackByWhatAsksForIt) {
    WalkInChild("1280x800", "fontpanelback", ComesBack);
}

}  // namespace

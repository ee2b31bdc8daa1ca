#pragma once
// A Qt application on the offscreen platform with the drawing, menu, font and
// text services installed while alive, for tests of the Qt drawing layer.

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <cxxabi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <typeinfo>
#include <unistd.h>
#include <vector>

#include "base/Resources.h"
#include "framework/CHeaderFrame.h"
#include "framework/CViewPrefs.h"
#include "framework/LCellListPane.h"
#include "framework/LDrawCtx.h"
#include "framework/LEditText.h"
#include "framework/LFrame.h"
#include "framework/LScrollFrame.h"
#include "framework/LTextPane.h"
#include "framework/LWindow.h"
#include "platform/qt/QtDrawing.h"
#include "records/CRecord.h"
#include "records/DeviceKinds.h"
#include "records/PrefNodes.h"
#include "platform/qt/QtGraphicsServices.h"
#include "platform/qt/QtMenus.h"

// Text and images only: the controls are another layer's.
class TestControls final : public LHeadlessControls {
public:
    void DrawText(LNativeGraphics* g, LNativeFont* f, const char* s, u32 n, i32 x, i32 y) override {
        QtDrawText(g, f, s, n, x, y);
    }
    LNativeImageRef MakeImage(const u8* png, u32 size) override { return QtMakeImage(png, size); }
    f64 SmallSystemFontSize() override { return 9; }
};

// An offscreen screen of the given size, for QT_QPA_PLATFORM (the offscreen
// screen is 800 x 600 unless told otherwise).
inline std::string OffscreenOfSize(int width, int height) {
    // One file a process: programs running side by side do not read another's half written.
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    const std::string path =
        testing::TempDir() + "/kevo_offscreen_" + size + "_" + std::to_string(getpid()) + ".json";
    if (FILE* f = std::fopen(path.c_str(), "w")) {
        std::fprintf(f,
                     "{\"screens\":[{\"name\":\"big\",\"x\":0,\"y\":0,\"width\":%d,"
                     "\"height\":%d,\"logicalDpi\":96,\"logicalBaseDpi\":96,\"dpr\":1}]}",
                     width, height);
        std::fclose(f);
    }
    return "offscreen:configfile=" + path;
}

// The NSQ editor, and windows at the largest font sizes, need more than 800 x 600.
inline std::string LargeOffscreen() {
    return OffscreenOfSize(1600, 1000);
}

inline QApplication* MakeTestApp() {
    static int argc = 1;
    static char name[] = "KEVOruneSet";
    static char* argv[] = {name, nullptr};
    static LResFile res(AppResFileRef());
    SetDefaultResChain(&res);
    auto* app = new QApplication(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    return app;
}

struct QtDrawServices {
    QtDrawServices() {
        InstallGraphicsServices(&fGraphics);
        InstallControlServices(&fControls);
    }
    ~QtDrawServices() {
        InstallControlServices(nullptr);
        InstallGraphicsServices(nullptr);
    }
    std::unique_ptr<QApplication> fApp{MakeTestApp()};
    QtGraphicsServices fGraphics;
    TestControls fControls;
    QtDrawingServices fDrawing;
    QtMenuServices fMenus;
};

// A drawing context over a white 32-bit image; Finish ends the painting.
struct QtImageCtx {
    QtImageCtx(int width, int height) : fImage(width, height, QImage::Format_RGB32) {
        fPainter.fillRect(fImage.rect(), Qt::white);
    }
    const QImage& Finish() {
        fPainter.end();
        return fImage;
    }
    QImage fImage;
    QPainter fPainter{&fImage};
    QtPainterGraphics fGraphics{fPainter, QRegion(fImage.rect())};
    LDrawCtx fCtx{&fGraphics};
};

// Every shown pane of a window that its frame cuts off: placed partly outside
// a frame that does not scroll, as a layout does whose preferred size does not
// add up what it places. A field cut off takes no editor, so a click on it
// leaves the keys to the list around it. A cell list's cells scroll and are
// not checked against it; what a cell (a live one, or the prototype as last
// stamped) places is. With names, only the header titles (kTitles) or all
// labels (kLabels) whose text, measured in its own font (ascent to descent),
// is wider or taller than the box it is drawn in, or reaches past its frame.
// "" when nothing is cut, else one line a pane.
enum NameScope { kNoNames = 0, kTitles = 1, kLabels = 2 };
inline std::string CutPanesIn(LFrame& frame, bool stamped, bool rowsOnly = false,
                              NameScope names = kNoNames) {
    auto name = [](LPane* p) {
        char* d = abi::__cxa_demangle(typeid(*p).name(), nullptr, nullptr, nullptr);
        std::string n = d ? d : typeid(*p).name();
        std::free(d);
        return n;
    };
    auto text = [](const LRect& r) {
        return std::to_string(r.left) + "," + std::to_string(r.top) + " " +
               std::to_string(r.right) + "," + std::to_string(r.bottom);
    };
    const LRect& b = frame.Bounds();
    // A scroll frame's port cuts its content only where scrolling reaches it.
    const LRect inside = dynamic_cast<LScrollFrame::Port*>(&frame) ? LRect(-32767, -32767, 32767, 32767)
                         : frame.Window()                          ? b
                                                                   : LRect(0, 0, b.Width(), b.Height());
    std::string cuts;
    for (LLink* l = frame.Children().Head(); !l->IsEnd(); l = l->Next()) {
        auto* p = static_cast<LPane*>(l);
        if (!(stamped ? (p->State() & LPane::kVisible) : p->IsShown())) continue;
        LRect seen = p->Bounds();
        const bool row = dynamic_cast<LListCell*>(&frame) != nullptr;
        auto* label = dynamic_cast<LTextPane*>(p);
        if (names && label && !label->GetText().IsEmpty() &&
            (names == kLabels || dynamic_cast<CRespText*>(p))) {
            LDrawCtx ctx;
            const LRect& box = p->Bounds();
            const bool wraps = label->WrapMode() == LTextBox::kWrap;
            const i32 w = wraps ? box.Width() : label->GetPrefWidth(&ctx, 0);
            const i32 h = label->GetPrefHeight(&ctx, wraps ? box.Width() : 0);
            // The line's box: a frame that clipped an accent above it would
            // clip every name set at its top, and none of ours carries one.
            LRect line(box.left, box.top, box.left + std::max(w, box.Width()),
                       box.top + std::max(h, box.Height()));
            LRect kept = line;
            const std::string what = name(p) + " \"" + label->GetText().CStr() + "\" (" +
                                     std::to_string(w) + "x" + std::to_string(h) + ")";
            if (w > box.Width() || h > box.Height())
                cuts += what + " in its box " + text(box) + " in " + name(&frame) + "\n";
            else if (kept.Intersect(inside) != line)
                cuts += what + " at " + text(line) + " cut by " + name(&frame) + " of " +
                        text(inside) + "\n";
        }
        if (!names && (row || !rowsOnly) && !p->Bounds().IsEmpty() &&
            seen.Intersect(inside) != p->Bounds())
            cuts += name(p) + " at " + text(p->Bounds()) + " in " + name(&frame) + " of " +
                    text(inside) + "\n";
        // A field of a list's row squeezed narrower than a few characters of
        // its font (or to nothing, its left edge past its right) shows no name
        // and takes no click.
        auto* field = dynamic_cast<LEditText*>(p);
        if (field && row && !names) {
            LDrawCtx ctx;
            const i32 least = 3 * field->GetPrefWidth(&ctx, -13);
            if (p->Bounds().right - p->Bounds().left < least)
                cuts += name(p) + " squeezed at " + text(p->Bounds()) + " in " + name(&frame) +
                        " of " + text(inside) + "\n";
        }
        if (auto* f = dynamic_cast<LFrame*>(p)) cuts += CutPanesIn(*f, stamped, rowsOnly, names);
        auto* list = dynamic_cast<LCellListPane*>(p);
        if (!list) continue;
        // A list squeezed below one row shows none, and a row added to it
        // takes no click.
        if (!names && !rowsOnly && list->CellHeight() > 0 &&
            list->Bounds().Height() < list->CellHeight())
            cuts += name(p) + " squeezed at " + text(p->Bounds()) + " in " + name(&frame) +
                    ", below its row's height " + std::to_string(list->CellHeight()) + "\n";
        std::vector<LCellSlot> live = list->Pool();
        live.insert(live.end(), {list->CurrentSlot(), list->EditSlot()});
        for (const LCellSlot& s : live)
            if (s.IsValid() && s.frame->IsShown())
                cuts += CutPanesIn(*s.frame, false, rowsOnly, names);
        if (list->ProtoCell() && list->Rows() > 0)
            cuts += CutPanesIn(*list->ProtoCell(), true, rowsOnly, names);
    }
    return cuts;
}

// The whole window of any of its panes.
inline std::string CutPanes(LPane* pane) {
    while (pane->Container()) pane = pane->Container();
    auto* top = dynamic_cast<LFrame*>(pane);
    return top ? CutPanesIn(*top, false) : "";
}
inline std::string CutPanes(LPane& pane) {
    return CutPanes(&pane);
}
// What the rows of a window's lists cut off or squeeze, the rest aside.
inline std::string CutRowFields(LPane* pane) {
    while (pane->Container()) pane = pane->Container();
    auto* top = dynamic_cast<LFrame*>(pane);
    return top ? CutPanesIn(*top, false, true) : "";
}
// The header titles (or all labels) of a window that do not show their text whole.
inline std::string CutNames(LPane* pane, NameScope scope = kTitles) {
    while (pane->Container()) pane = pane->Container();
    auto* top = dynamic_cast<LFrame*>(pane);
    return top ? CutPanesIn(*top, false, false, scope) : "";
}

// Each font slot the preferences window offers (titles, lists and fields,
// small labels, monitors) set to a small and a large size in the general
// font's family, one at a time, with check(slot, points) run after the
// windows were laid out again; the defaults come back at the end. The
// preferences must be attached.
template <class F>
void ForEachSlotFont(F check, u32 slotMask = 0xF) {
    const QString family = QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    for (u32 slot = 0; slot < 4; ++slot) {
        if (!(slotMask & (1u << slot))) continue;
        for (const f32 points : {9.0f, 24.0f}) {
            CViewPrefs::Instance().SetFont(
                slot, CViewFont{LString(family.toUtf8().constData()), points});
            QCoreApplication::processEvents();
            check(slot, points);
        }
        CViewPrefs::Instance().SetFont(slot, CViewFont{LString(), 0});
    }
    QCoreApplication::processEvents();
}

// The fields Tab gives the keys to, one after another round the window, that
// are not then seen whole in it: a frame that scrolls must bring each into
// sight. One line each, "" when every one is seen.
inline std::string TabbedFieldsUnseen(LFrame& win) {
    auto* native = static_cast<QWidget*>(win.Window()->Native());
    std::string out;
    LPane* first = nullptr;
    for (int i = 0; i < 400; ++i) {
        for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
            QWidget* to = QApplication::focusWidget();
            QKeyEvent key(type, Qt::Key_Tab, Qt::NoModifier);
            QCoreApplication::sendEvent(to ? to : native, &key);
        }
        QCoreApplication::processEvents();
        LPane* leaf = win.FocusedLeaf();
        if (!leaf || leaf == first) break;
        if (!first) first = leaf;
        LDrawEnv env;
        leaf->GetContainerDrawEnv(&env);
        LRect frame = leaf->Bounds();
        frame.Offset(env.fOriginX, env.fOriginY);
        LRect seen = env.fClip.GetBounds();
        if (seen.Intersect(frame) != frame) {
            char* d = abi::__cxa_demangle(typeid(*leaf).name(), nullptr, nullptr, nullptr);
            out += std::string(d ? d : typeid(*leaf).name()) + " with the keys at " +
                   std::to_string(frame.left) + "," + std::to_string(frame.top) + " " +
                   std::to_string(frame.right) + "," + std::to_string(frame.bottom) +
                   " not seen whole\n";
            std::free(d);
        }
    }
    return out;
}

// Every scroll frame under the frame scrolled to (x, y), as far as it goes.
inline void ScrollFramesTo(LFrame& frame, i32 x, i32 y) {
    if (auto* scroll = dynamic_cast<LScrollFrame*>(&frame)) scroll->ScrollTo(x, y);
    for (LLink* l = frame.Children().Head(); !l->IsEnd(); l = l->Next())
        if (auto* f = dynamic_cast<LFrame*>(static_cast<LPane*>(l))) ScrollFramesTo(*f, x, y);
}

// What a window's content has of a 1280 x 800 screen within the window
// manager's frame and the window's menu bar.
inline constexpr i32 kSmallScreenContentW = 1270;
inline constexpr i32 kSmallScreenContentH = 760;
// The same of each small screen the program is made for, down to 800 x 600.
struct SmallScreen {
    const char* name;
    i32 w, h;
};
inline constexpr SmallScreen kSmallScreens[] = {
    {"1280 x 800", kSmallScreenContentW, kSmallScreenContentH},
    {"1024 x 768", 1014, 728},
    {"800 x 600", 790, 560}};

// What the rows of a window's lists cut off or squeeze with each font slot at
// a small and a large size, the window made as large as its content then asks
// (as the user would make it; a dialog does so itself); its size comes back
// afterwards. One line a slot and size that cuts, "" when none does. Without
// attached preferences a node of its own stands in while it runs. With names,
// the header titles (or all labels) not shown whole are reported too.
// onScreen: the window no larger than the screen, as a user's window is,
// nothing of it cut and every field Tab reaches seen whole; else as large as
// it asks, however large that is, and as large as a 1280 x 800 screen holds,
// nothing of it cut there. slotMask: the font slots swept, a bit each.
inline std::string RowFieldsAtEverySize(LFrame& win, NameScope names = kNoNames,
                                        bool onScreen = false, u32 slotMask = 0xF) {
    CRecord* own = nullptr;
    if (!CViewPrefs::Instance().Node()) {
        RegisterPrefNodeKinds();
        own = NewParamNodeRecord();
        CViewPrefs::Instance().Attach(own);
    }
    const LRect kept = win.Window() ? win.Window()->GetContentScreenRect() : LRect();
    std::string cuts;
    ForEachSlotFont([&](u32 slot, f32 points) {
        if (win.Window() && win.Window()->IsResizable() && win.HasLayout()) {
            LDrawCtx ctx;
            const LRect c = win.Window()->GetContentScreenRect();
            i32 width = win.GetPrefWidth(&ctx, 0), height = win.GetPrefHeight(&ctx, 0);
            if (onScreen) {
                const QRect room = QGuiApplication::primaryScreen()->availableGeometry();
                width = std::min(width, room.right() + 1 - c.left);
                height = std::min(height, room.bottom() + 1 - c.top);
            }
            win.SetWindowBounds(LRect(c.left, c.top, c.left + width, c.top + height));
        }
        QCoreApplication::processEvents();
        // On the screen, every field of the window within it, not only the rows'.
        std::string cut = onScreen ? CutPanes(&win) : CutRowFields(&win);
        const LRect asked = win.Window() ? win.Window()->GetContentScreenRect() : LRect();
        for (const SmallScreen& screen : kSmallScreens) {
            if (onScreen || !win.Window() || !win.HasLayout()) break;
            // However large it asks to be, on each small screen the program
            // is made for a window no larger than that screen holds keeps every
            // field within it (its columns give way, or it scrolls), and Tab
            // brings each field into sight.
            LDrawCtx ctx;
            const LRect c = win.Window()->GetContentScreenRect();
            const i32 width = win.GetPrefWidth(&ctx, 0), height = win.GetPrefHeight(&ctx, 0);
            if (width <= screen.w && height <= screen.h) continue;
            win.SetWindowBounds(LRect(c.left, c.top, c.left + std::min(width, screen.w),
                                      c.top + std::min(height, screen.h)));
            QCoreApplication::processEvents();
            std::string small = CutPanes(&win);
            for (i32 end : {32767, 0}) {
                ScrollFramesTo(win, end, end);
                small += TabbedFieldsUnseen(win);
            }
            if (!small.empty()) cut += std::string("on a ") + screen.name + " screen: " + small;
        }
        // A dialog sizes itself only when its fonts change: its own size back.
        if (win.Window() && win.Window()->GetContentScreenRect() != asked) {
            win.SetWindowBounds(asked);
            QCoreApplication::processEvents();
        }
        if (onScreen) {
            // There, every field Tab reaches is brought into sight too, from
            // either end the window was scrolled to.
            for (i32 end : {32767, 0}) {
                ScrollFramesTo(win, end, end);
                cut += TabbedFieldsUnseen(win);
            }
        }
        if (names) cut += CutNames(&win, names);
        if (!cut.empty())
            cuts += "slot " + std::to_string(slot) + " at " + std::to_string(int(points)) +
                    ": " + cut;
    }, slotMask);
    if (win.Window() && win.Window()->IsResizable()) win.SetWindowBounds(kept);
    if (own) {
        CViewPrefs::Instance().Attach(nullptr);
        CRecord::Destroy(own);
    }
    QCoreApplication::processEvents();
    return cuts;
}

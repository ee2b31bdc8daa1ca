// Under Xvfb with openbox: an IP address typed into the universe window and
// stored by Return and by Tab, a row dragged below another, and a recording's
// name dragged onto a scene's file slot. Skipped without Xvfb, openbox or xdotool.
#include <gtest/gtest.h>

#include <string>

#include "XvfbFrameTest.h"
#include "editors/CKvsScnPrmF.h"
#include "editors/CKvsUvadList.h"
#include "editors/CUvadWin.h"
#include "framework/CUndoQ.h"
#include "services/DragServices.h"
#include "records/CRecordDoc.h"
#include "records/DeviceKinds.h"
#include "records/RecordKinds.h"
#include "records/ScrapTypeNames.h"
#include "records/ShowKinds.h"
#include "records/Universes.h"

// Qt's drag on X11 wakes the session bus, whose library keeps a block for the process.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n";
}

namespace {

class UvadXvfb : public XvfbSuite {
protected:
    void SetUp() override {
        XvfbSuite::SetUp();
        if (IsSkipped()) return;
        RegisterAllRecordKinds();
    }
    static void Activate(LFrame& f) {
        auto* native = AsMWindow(f.GetNativeWindow());
        if (!WaitUntil([&] { return native->isActiveWindow(); }, 1000))
            gX->Xdotool("windowactivate " + std::to_string(native->winId()));
        ASSERT_TRUE(
            WaitUntil([&] { return native->isActiveWindow() && native->ActiveForMs() > 150; }));
    }
    // The screen point dx, dy into a pane.
    static std::string At(LPane& pane, i32 dx, i32 dy) {
        const u64 tl = pane.GetTopLeftIn(nullptr);
        const LRect c = LWindow::FindByNative(pane.GetNativeWindow())->GetContentScreenRect();
        return std::to_string(c.left + i32(LPane::UnpackX(tl)) + dx) + " " +
               std::to_string(c.top + i32(LPane::UnpackY(tl)) + dy);
    }
};

TEST_F(UvadXvfb, TypedAddressesAndARowDraggedBelowAnother) {
    CRecordDoc settings(CRecord::New(CRecordSchema::Find(kFamKvt, kKindDvst)));
    CRecord* table = settings.Root()->GetChild(DvstF::uvas);
    for (u32 i = 0; i < 3; ++i) {
        InsertNewUvadRecord(table, nullptr, i);
        table->GetListItem(UvasF::uvas, i)->SetU32(nullptr, UvadF::univ, i + 1);
    }
    CUvadWin* win = CUvadWin::New(gApp, nullptr, settings.Root(), 1201);
    win->Open();
    Activate(*win);
    auto cell = [&](i32 row) {
        return static_cast<CKvsUvadCell*>(win->List()->GetCellFrame(LCell{0, row}, false));
    };
    // Return stores row 0's address, Tab (leaving the field) row 1's.
    const struct {
        i32 row;
        const char* key;
    } kTyped[] = {{0, "Return"}, {1, "Tab"}};
    for (const auto& t : kTyped) {
        gX->Xdotool("mousemove " + At(cell(t.row)->fIp, 8, 6) + " click 1");
        Await("the address field taking keys",
              [&] { return cell(t.row)->fIp.Engine() && QApplication::focusWidget(); });
        TypePaced("10.0.0." + std::to_string(t.row + 7));
        KeysPaced(t.key);
        const std::string want = "10.0.0." + std::to_string(t.row + 7);
        EXPECT_TRUE(WaitUntil(
            [&] {
                return want ==
                       table->GetListItem(UvasF::uvas, u32(t.row))->GetString(UvadF::ipad).CStr();
            },
            2000))
            << t.key;
    }
    gX->Screenshot(KEVO_BINARY_DIR "/xvfb_uvad_typed.png");

    // Row 0 (universe 1) dragged by its last-universe label below row 2.
    const LRect r2 = win->List()->GetCellRect(LCell{0, 2});
    gX->Xdotool("mousemove " + At(cell(0)->fLast, 4, 4) + " mousedown 1");
    Await("the press taken", [] { return bool(QGuiApplication::mouseButtons() & Qt::LeftButton); });
    gX->Xdotool("mousemove_relative 0 8 sleep 0.2 mousemove " +
                At(*win->List(), 60, r2.bottom - 2) +
                " sleep 0.3 mousemove_relative 0 1 sleep 0.3 mouseup 1");
    EXPECT_TRUE(WaitUntil(
        [&] { return table->GetListItem(UvasF::uvas, 2)->GetU32(UvadF::univ) == 1; }, 3000));
    EXPECT_EQ(table->GetListItem(UvasF::uvas, 0)->GetU32(UvadF::univ), 2u);
    delete win;
}

TEST_F(UvadXvfb, ARecordingNameDraggedOntoTheFileSlot) {
    CUndoQ undo(gApp, 1u << 16);
    LFrame frame(&undo, nullptr, LPaneOpt::Window(kWindowOrdinary, 6));
    frame.SetWindowBounds(LRect(100, 100, 600, 400));
    CKvsScnPrmF* prm = new CKvsScnPrmF(&frame, &frame);
    prm->SetBounds(LRect(10, 60, 490, 290));
    CRecordDoc clip(CRecord::New(CRecordSchema::Find(kFamKvt, kKindSnct)));
    prm->SetContent(0, clip.Root());
    frame.ShowWindow();
    Activate(frame);
    LScrapData data;
    const std::string name = "take 4.drc";
    data.AddItem(ScrapTypeOf(kScrapDrcFileName), name.data(), u32(name.size()), 0);
    const LRect c = frame.Window()->GetContentScreenRect();
    const int x = c.left + 20, y = c.top + 20;
    gX->Xdotool("mousemove " + std::to_string(x) + " " + std::to_string(y) + " mousedown 1");
    Await("the press taken", [] { return bool(QGuiApplication::mouseButtons() & Qt::LeftButton); });
    gX->XdotoolAsync("sleep 0.3 mousemove " + std::to_string(x + 30) + " " + std::to_string(y) +
                     " sleep 0.2 mousemove " + At(prm->Fields().fFile, 20, 6) +
                     " sleep 0.3 mousemove_relative 2 2 sleep 0.3 mouseup 1");
    const LDragStart start{frame.Window()->Native(), &data, false, {}, {}, {x, y}};
    EXPECT_NE(DragServices().RunDrag(start), 0u);
    Await("the pointer let go", [] { return !(QGuiApplication::mouseButtons() & Qt::LeftButton); });
    EXPECT_STREQ(clip.Root()->GetString(SnctF::flnm).CStr(), "take 4.drc");
    EXPECT_STREQ(prm->Fields().fFile.GetText().CStr(), "take 4");
    EXPECT_TRUE(undo.Undo());
    EXPECT_STREQ(clip.Root()->GetString(SnctF::flnm).CStr(), "");
}

}  // namespace

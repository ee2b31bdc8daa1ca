// The monitor windows drawn by Qt offscreen, saved as PNGs in <build>/monitors/.
#include <QDir>
#include <QImage>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

#include "QtDrawFixture.h"
#include "ControlFixture.h"
// The DMX frames have slots of their own: not Qt's keyword.
#undef slots
#include "devices/CKvsDevCtl.h"
#include "devices/CKvsDevSet.h"
#include "devices/monitors/CKvsFileListCtl.h"
#include "devices/monitors/CKvsNetMon.h"
#include "devices/recordings/CKvsRecCtlF.h"
#include "framework/LDrawCtx.h"
#include "devices/monitors/CKvsScnUnvF.h"
#include "devices/monitors/CKvsUnivList.h"
#include "devices/monitors/CMonWin.h"
#include "framework/LListNavi.h"
#include "records/AppPrefsDoc.h"
#include "records/DeviceKinds.h"
#include "records/NsqPrefKinds.h"
#include "records/RecordKinds.h"
#include "tools/testkit/ArtDmxSender.h"

namespace {

// Saves the window and counts its pixels of the bars' green. A frame that the
// test placed by hand keeps its size at every font, so only header titles
// are checked in it.
int ShotGreen(LFrame* frame, const char* name, NameScope names = kLabels) {
    LoopDrained();
    QWidget* top = AsMWindow(frame->GetNativeWindow());
    const QImage image = top->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_TRUE(image.save(QStringLiteral(KEVO_BINARY_DIR "/monitors/") + name + ".png"));
    EXPECT_EQ(CutPanes(frame), "") << name;
    EXPECT_EQ(RowFieldsAtEverySize(*frame, names), "") << name;
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) n += (image.pixel(x, y) & 0xFFFFFF) == 0x00FF00;
    return n;
}

class Monitors : public ::testing::Test {
protected:
    static void SetUpTestSuite() { gEnv = new ControlEnv("offscreen"); }
    static void TearDownTestSuite() {
        delete gEnv;
        gEnv = nullptr;
    }
    void SetUp() override {
        QDir().mkpath(KEVO_BINARY_DIR "/monitors");
        RegisterAllRecordKinds();
        CKvsMonPrefRec::Create();
        prefs = std::make_unique<CRecordDoc>(CRecord::New(CRecordSchema::Find(kFamKvs, kKindPref)));
        SetAppPrefsDoc(prefs.get());
    }
    void TearDown() override {
        SetAppPrefsDoc(nullptr);
        CKvsMonPrefRec::Dispose();
    }
    // Two senders of universe 0x123 and one each of 0x124 and 0x7FFF.
    void Feed(CKvsNetMon& mon) {
        std::vector<u8> a(512), b(512);
        for (u32 i = 0; i < 512; ++i) a[i] = u8(i < 256 ? i : 511 - i), b[i] = u8(i % 64 * 4);
        const std::pair<u32, u16> sends[] = {
            {0xC0A80A05, 0x123}, {0xC0A80A06, 0x123}, {0xC0A80A07, 0x124}, {0x0A000001, 0x7FFF}};
        for (const auto& [sender, u] : sends) {
            const std::vector<u8>& l = sender == 0xC0A80A05 ? a : b;
            const std::vector<u8> d = artdmxtest::Datagram(u, l.data(), u32(l.size()));
            ASSERT_TRUE(mon.Accept(d.data(), u32(d.size()), sender, 1));
        }
    }

    static inline ControlEnv* gEnv = nullptr;
    std::unique_ptr<CRecordDoc> prefs;
};

TEST_F(Monitors, DmxMonitorWithItsChannelStripOpen) {
    CMonWin win(gApp);
    CDmxFrameBuf f;
    f.count = 513;
    for (u32 i = 1; i < 513; ++i) f.slots[i] = u8(i < 256 ? i : (i * 7) & 255);
    win.ShowWindow();
    win.SetWindowBounds(LRect(60, 60, 700, 400));
    win.ShowFrame(f);
    win.SelectChannel(99);
    EXPECT_GT(ShotGreen(&win, "monwin"), 8 * 64 * 10) << "eight graphs of bars";
    EXPECT_TRUE(win.Detail()->IsShown());
    // Every option pair: each text the cells show lies wholly inside the
    // channel list, clear of the scroll bar below it, and its row title
    // stands beside it.
    CRecord* opts = CKvsMonPrefRec::Get()->Root()->GetChild(DmxPrefF::mntr);
    const struct {
        u8 value, percent;
        const char* shot;
    } kOptions[] = {{0, 1, "monwin_percent"},
                    {1, 0, "monwin_value"},
                    {0, 0, "monwin_number"},
                    {1, 1, "monwin_both"}};
    for (const auto& o : kOptions) {
        opts->SetU8(nullptr, PfmnF::vsvl0, o.value);
        opts->SetU8(nullptr, PfmnF::vsvl1, o.percent);
        ShotGreen(&win, o.shot);
        CMonDtlFrm* d = win.Detail();
        auto* cell = static_cast<CMonDtlCell*>(d->fList->GetProtoCell());
        ASSERT_TRUE(cell);
        const LRect list = d->fList->Bounds();
        const LRect cb = cell->Bounds();
        auto visible = [](const LPane& p) { return (p.State() & LPane::kVisible) != 0; };
        EXPECT_EQ(visible(cell->fValue), o.value != 0) << o.shot;
        EXPECT_EQ(visible(cell->fPercent), o.percent != 0) << o.shot;
        for (const LTextPane* t : {&cell->fNumber, &cell->fValue, &cell->fPercent}) {
            if (!visible(*t)) continue;
            const LRect b = t->Bounds();
            EXPECT_LE(b.bottom - cb.top, list.Height()) << o.shot;
            EXPECT_GE(b.top - cb.top, 0) << o.shot;
        }
    }
}

TEST_F(Monitors, UniverseListWithTwoSenders) {
    LHandler sink;
    CKvsNetMon mon(&sink, 1, "kvtest-shot-unused");
    Feed(mon);
    CRecordDoc status(NewDevStatRecord());
    mon.PublishUniverses(status.Root(), 0, 0);
    ASSERT_EQ(status.Root()->GetListCount(DrcStatF::unvs), 3u);
    CtlFrame host;
    auto* navi = new LListNavi(&host, LListNavi::kVerticalBar, false);
    auto* list = new CKvsUnvList(navi, status.Root());
    navi->SetList(list);
    navi->SetBounds(LRect(10, 10, 390, 290));
    host.ShowWindow();
    EXPECT_GT(ShotGreen(&host, "univlist"), 3 * 40) << "a graph in each row";
    host.HideWindow();
    delete navi;
}

TEST_F(Monitors, DrcMonitorShowsTheMonitorsUniverses) {
    LHandler sink;
    CKvsNetMon mon(&sink, 1, "kvtest-shot-unused2");
    Feed(mon);
    CKvsDevSet set;
    CKvsDevCtl ctl(gApp, &set, 77);
    ctl.SetNetMon(&mon);
    prefs->Root()->SetU8(nullptr, PrefF::usnm, 1);
    {
        CKvsDrcMonWin win(gApp, &ctl);
        win.ShowWindow();
        win.SetWindowBounds(LRect(80, 80, 480, 330));
        win.SetSceneName(LString("/nsq/0/sc/1"));
        EXPECT_GT(ShotGreen(&win, "drcmon"), 3 * 40);
        EXPECT_EQ(win.Frame()->List()->Rows(), 3);
    }
    ctl.SetNetMon(nullptr);
}

TEST_F(Monitors, TheRecordControlShowsEachSendersWholeAddress) {
    LHandler sink;
    CKvsNetMon mon(&sink, 1, "kvtest-shot-unused3");
    std::vector<u8> levels(512, 100);
    // Two senders of one universe and a third of another, told apart only by
    // the last part of their addresses.
    const std::pair<u32, u16> sends[] = {
        {0xC612FFFE, 0x7FFF}, {0xC612FFFD, 0x7FFF}, {0xC612FFFC, 0x0}};
    for (const auto& [sender, u] : sends) {
        const std::vector<u8> d = artdmxtest::Datagram(u, levels.data(), 512);
        ASSERT_TRUE(mon.Accept(d.data(), u32(d.size()), sender, 1));
    }
    CKvsDevSet set;
    {
        CKvsDevCtl ctl(gApp, &set, 0);
        ctl.SetNetMon(&mon);
        prefs->Root()->SetU8(nullptr, PrefF::usnm, 1);
        LFrame win(gApp, nullptr, LPaneOpt::Window(kWindowOrdinary, 9));
        CKvsFileListCtl view(gApp, win, &ctl);
        LDrawCtx ctx;
        const i32 pw = view.Frame()->GetPrefWidth(&ctx, 0),
                  ph = view.Frame()->GetPrefHeight(&ctx, 0);
        win.SetWindowBounds(LRect(50, 50, 50 + pw, 50 + ph));
        view.Frame()->SetBounds(LRect(0, 0, pw, ph));
        win.ShowWindow();
        CKvsUnvList* list = view.Frame()->fUniverses;
        ASSERT_EQ(list->Rows(), 2);
        for (i32 row = 0; row < 2; ++row) {
            auto* cell = static_cast<CKvsUnivCell*>(list->GetProtoCellFor(LCell{0, row}));
            ASSERT_TRUE(cell);
            const std::string text = cell->fSender.GetText().CStr();
            EXPECT_EQ(text, row == 0 ? " 198.18.255.252" : "+198.18.255.253");
            const LRect b = cell->fSender.Bounds();
            EXPECT_GE(b.Width(), cell->fSender.GetPrefWidth(&ctx, 0)) << text;
            // Inside the list's visible width, beside its scroll bar.
            EXPECT_LE(b.right, list->Bounds().Width()) << text;
        }
        ShotGreen(&win, "rec_universes", kTitles);
        win.HideWindow();
        ctl.SetNetMon(nullptr);
    }
    prefs->Root()->SetU8(nullptr, PrefF::usnm, 0);
}

}  // namespace

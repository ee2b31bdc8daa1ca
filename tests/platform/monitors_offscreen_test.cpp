// The monitor windows drawn by Qt offscreen, saved as PNGs (<build>/monitors/):
// the DMX monitor with its channel strip open, a universe list with a universe
// of two senders, and the DRC monitor; with pixel checks of what they show.
#include <QDir>
#include <QImage>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

#include "ControlFixture.h"
// The DMX frames have slots of their own: not Qt's keyword.
#undef slots
#include "devices/CKvsDevCtl.h"
#include "devices/CKvsDevSet.h"
#include "devices/monitors/CKvsNetMon.h"
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

QImage Shot(LFrame* frame, const char* name) {
    QCoreApplication::processEvents();
    QWidget* top = AsMWindow(frame->GetNativeWindow());
    const QImage image = top->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_TRUE(image.save(QStringLiteral(KEVO_BINARY_DIR "/monitors/") + name + ".png"));
    return image;
}

int CountColour(const QImage& image, QRgb colour, QRect in = QRect()) {
    if (in.isNull()) in = image.rect();
    int n = 0;
    for (int y = in.top(); y <= in.bottom() && y < image.height(); ++y)
        for (int x = in.left(); x <= in.right() && x < image.width(); ++x)
            n += (image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF);
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
    // Two senders of universe 0x123 and one of 0x124 and 0x7FFF.
    void Feed(CKvsNetMon& mon) {
        std::vector<u8> a(512), b(512), c(200);
        for (u32 i = 0; i < 512; ++i) {
            a[i] = u8(i < 256 ? i : 511 - i);
            b[i] = u8(i % 64 * 4);
        }
        for (u32 i = 0; i < 200; ++i) c[i] = 255;
        const struct {
            u32 sender;
            u16 u;
            const std::vector<u8>* l;
        } sends[] = {{0xC0A80A05, 0x123, &a},
                     {0xC0A80A06, 0x123, &b},
                     {0xC0A80A07, 0x124, &c},
                     {0x0A000001, 0x7FFF, &b}};
        for (const auto& s : sends) {
            const std::vector<u8> d = artdmxtest::Datagram(s.u, s.l->data(), u32(s.l->size()));
            ASSERT_TRUE(mon.Accept(d.data(), u32(d.size()), s.sender, 1));
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
    RunUntil([] { return false; }, 100);
    const QImage image = Shot(&win, "monwin");
    // Eight graphs of green bars and the strip below them.
    EXPECT_GT(CountColour(image, qRgb(0, 255, 0)), 8 * 64 * 10);
    EXPECT_TRUE(win.Detail()->IsShown());
    // The meters' lit parts (their image's own colour) show beside the unlit ones.
    int lit = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            lit += qGreen(image.pixel(x, y)) == 230 && qBlue(image.pixel(x, y)) == 40;
    EXPECT_GT(lit, 20 * 6 * 10) << "lit meters in the strip";
    EXPECT_GE(image.height(),
              win.Grid()->Rows() * win.Grid()->CellHeight() + win.Detail()->Bounds().Height());
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
    RunUntil([] { return false; }, 100);
    const QImage image = Shot(&host, "univlist");
    // The miniature graphs: one row at least 40 columns of bars each.
    EXPECT_GT(CountColour(image, qRgb(0, 255, 0)), 3 * 40);
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
        RunUntil([] { return false; }, 100);
        EXPECT_EQ(win.Frame()->List()->Rows(), 3);
        const QImage image = Shot(&win, "drcmon");
        EXPECT_GT(CountColour(image, qRgb(0, 255, 0)), 3 * 40);
    }
    ctl.SetNetMon(nullptr);
}

}  // namespace

// Universe lists on the headless fakes, and the DMX monitor a double click opens.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "devices/monitors/CKvsUnivList.h"
#include "devices/monitors/CMonWin.h"
#include "framework/AppSingletons.h"
#include "framework/CMainLoop.h"
#include "framework/InputState.h"
#include "framework/LListNavi.h"
#include "framework/MousePoint.h"
#include "framework/StdDialogs.h"
#include "records/AppPrefsDoc.h"
#include "records/DeviceKinds.h"
#include "records/NsqPrefKinds.h"
#include "records/RecordKinds.h"
#include "records/Universes.h"
#include "tests/devlink/VirtualRunLoop.h"
#include "tests/framework/FakeControls.h"
#include "tests/framework/FakeWindows.h"

namespace {

void SetStat(CRecord* status, u32 univ, std::vector<u8> stat, u32 host = 0x0A000001, u8 hstx = 0) {
    CRecord* u = FindOrAddUniverseRec(status, univ);
    u->SetU32(nullptr, UnvsF::host, host);
    u->SetU8(nullptr, UnvsF::hstx, hstx);
    SetUniverseRecData(u, stat.data(), u32(stat.size()));
}

TEST(UnivList, NumbersSendersAndGraphs) {
    RegisterAllRecordKinds();
    CRecordDoc doc(NewDevStatRecord());
    SetStat(doc.Root(), 0x123, {0}, 0xC0A80105, 1);
    CRecord* u = doc.Root()->GetListItem(DrcStatF::unvs, 0);
    EXPECT_EQ(std::string(CKvsUnivList::SenderText(u).CStr()), "+192.168.1.5");
    u->SetU8(nullptr, UnvsF::hstx, 2);
    EXPECT_EQ(std::string(CKvsUnivList::SenderText(u).CStr()), "*192.168.1.5");

    const LRect a(10, 0, 76, 23);  // W = 64
    const struct {
        std::vector<u8> stat;
        u32 bars;
    } kRows[] = {
        {{0}, 0}, {{}, 0}, {std::vector<u8>(513, 255), 64}, {std::vector<u8>(2000, 255), 64}};
    for (const auto& r : kRows) {
        std::vector<LRect> bars(64);
        const u32 n = CKvsUnivList::GraphBars(a, r.stat.data(), u32(r.stat.size()), bars.data());
        EXPECT_EQ(n, r.bars) << r.stat.size();
        for (u32 i = 0; i < n; ++i)
            EXPECT_TRUE(bars[i].left >= a.left && bars[i].right <= a.right &&
                        bars[i].top >= a.top && bars[i].bottom <= a.bottom)
                << r.stat.size() << " bar " << i;
    }
}

class UnvList : public ::testing::Test {
protected:
    void SetUp() override {
        static LResFile appFile(AppResFileRef());
        SetDefaultResChain(&appFile);
        RegisterAllRecordKinds();
        CKvsMonPrefRec::Create();
        prefs = std::make_unique<CRecordDoc>(CRecord::New(CRecordSchema::Find(kFamKvs, kKindPref)));
        SetAppPrefsDoc(prefs.get());
        controls.fClock = &services.fNow;
        services.fNow = 500000;
        app = std::make_unique<CMainLoopBase>();
        host = std::make_unique<LFrame>(app.get(), nullptr, LPaneOpt::Window(kWindowOrdinary, 6));
        host->SetWindowBounds(LRect(100, 100, 500, 400));
        host->ShowWindow();
        navi = new LListNavi(host.get(), LListNavi::kVerticalBar, false);
        list = new CKvsUnvList(navi, status.Root());
        navi->SetList(list);
        navi->SetBounds(LRect(0, 0, 400, 300));
    }
    void TearDown() override {
        host.reset();
        app.reset();
        SetAppPrefsDoc(nullptr);
        CKvsMonPrefRec::Dispose();
    }
    void Press(i32 row, u32 afterMs = 100) {
        services.Advance(afterMs);
        const LRect c = list->GetCellRect(LCell{0, row});
        const LPoint zero = ScreenPointIn(list, LPoint{0, 0});
        const LPoint at{c.left + 5 - zero.x, c.top + 3 - zero.y};
        mouse.SetEvent(at, 0, true, ++event, services.fNow);
        LHandler::Send(LMouse_Click, &mouse, list);
        LHandler::Send(LMouse_Release, &mouse, list);
    }

    CVirtualRunLoop loop;
    FakeServices services;
    FakeControls controls;
    FakeWindows windows{services};
    LMouse mouse;
    LKeyboard keyboard;
    std::unique_ptr<CRecordDoc> prefs;
    CRecordDoc status{NewDevStatRecord()};
    std::unique_ptr<CMainLoopBase> app;
    std::unique_ptr<LFrame> host;
    LListNavi* navi = nullptr;
    CKvsUnvList* list = nullptr;
    u32 event = 0;
};

TEST_F(UnvList, RowsFollowTheRecordAndTheFormat) {
    SetStat(status.Root(), 0x123, {0, 1});
    SetStat(status.Root(), 0x10, {0, 1});
    EXPECT_EQ(list->Rows(), 2);
    auto text = [&](i32 row) {
        auto* c = static_cast<CKvsUnivCell*>(list->GetProtoCellFor(LCell{0, row}));
        return c ? std::string(c->fUniverse.GetText().CStr()) : std::string("-");
    };
    EXPECT_EQ(text(1), "  1/ 2/ 3");
    list->SetNumberFormat(1);
    EXPECT_EQ(text(1), "  292");
    ClearUniverseRecs(status.Root());
    EXPECT_EQ(list->Rows(), 0);
}

TEST_F(UnvList, ADoubleClickOpensTheMonitorOnlyOnTheRowClickedBefore) {
    prefs->Root()->SetRectToArray(nullptr, PrefF::mnpl, LRect(150, 160, 750, 560));
    SetStat(status.Root(), 1, {0, 10, 20});
    SetStat(status.Root(), 2, {0, 30, 40, 50});
    Press(0);
    Press(1);
    EXPECT_EQ(list->Monitor(), nullptr);
    EXPECT_EQ(list->SelectedUniverse(), 2u);
    EXPECT_TRUE(list->Selection().IsEmpty()) << "no lasting selection";
    Press(1);
    ASSERT_NE(list->Monitor(), nullptr);
    CMonWin* mon = list->Monitor();
    EXPECT_TRUE(mon->Window()->IsVisible());
    EXPECT_EQ(mon->GetWindowBounds(), LRect(150, 160, 750, 560)) << "placed from mnpl";
    EXPECT_EQ(mon->Shown().count, 4u);
    EXPECT_EQ(mon->Grid()->Levels()[2], 50);

    SetStat(status.Root(), 2, {0, 30, 40, 99});
    EXPECT_EQ(mon->Grid()->Levels()[2], 99);
    SetStat(status.Root(), 1, {0, 77});
    EXPECT_EQ(mon->Grid()->Levels()[0], 30);

    Press(0, 1000);
    EXPECT_EQ(mon->Grid()->Levels()[0], 77);
    EXPECT_EQ(mon->Stats().fPackets, 1u);

    status.Root()->RemoveItem(nullptr, DrcStatF::unvs, 0);
    EXPECT_EQ(mon->Shown().count, 0u);
    EXPECT_EQ(mon->Grid()->Levels()[0], 0);
    EXPECT_EQ(mon->Stats().fPackets, 0u);

    LHandler::Send(LFrame_Close, mon, list);
    navi->SetState(LPane::kOpHide);
    navi->SetState(LPane::kOpShow);
    EXPECT_FALSE(mon->Window()->IsVisible()) << "closed, it stays closed";
    mon->SetWindowBounds(LRect(200, 210, 800, 610));
    const LRect last = mon->GetWindowBounds();
    host.reset();
    EXPECT_EQ(prefs->Root()->GetRectFromArray(PrefF::mnpl), last);
}

TEST_F(UnvList, ANewSourceRebuildsTheRowsAndFeedsTheMonitor) {
    SetStat(status.Root(), 7, {0, 1, 2});
    Press(0);
    Press(0);
    ASSERT_NE(list->Monitor(), nullptr);
    CRecordDoc other(NewDevStatRecord());
    SetStat(other.Root(), 5, {0});
    SetStat(other.Root(), 7, {0, 200});
    list->SetSource(other.Root());
    EXPECT_EQ(list->Rows(), 2);
    EXPECT_EQ(list->Monitor()->Grid()->Levels()[0], 200);
    SetStat(status.Root(), 7, {0, 3});
    EXPECT_EQ(list->Monitor()->Grid()->Levels()[0], 200) << "the old source is no longer heard";
    SetStat(other.Root(), 7, {0, 201});
    EXPECT_EQ(list->Monitor()->Grid()->Levels()[0], 201);
    host.reset();  // before the source it listens to
}

TEST_F(UnvList, AMonitorFillingItsListFeedsOnlyForItsOwnUniverse) {
    SetStat(status.Root(), 300, {0, 1});
    Press(0);
    Press(0);
    CMonWin* mon = list->Monitor();
    ASSERT_NE(mon, nullptr);
    ASSERT_EQ(list->SelectedUniverse(), 300u);
    mon->ResetStats();
    ClearUniverseRecs(status.Root());
    EXPECT_EQ(mon->Stats().fPackets, 0u) << "gone: an empty frame, no update";
    // 512 universes arrive one by one, the monitor's own among them.
    for (u32 u = 0; u < 512; ++u) SetStat(status.Root(), u, {0, u8(u), 9});
    EXPECT_EQ(list->Rows(), 512);
    // Its arrival, then its levels: not once for each other universe.
    EXPECT_EQ(mon->Stats().fPackets, 1u);
    EXPECT_EQ(mon->Grid()->Levels()[0], u8(300));
    auto text = [&](i32 row) {
        auto* c = static_cast<CKvsUnivCell*>(list->GetProtoCellFor(LCell{0, row}));
        return c ? std::string(c->fUniverse.GetText().CStr()) : std::string("-");
    };
    EXPECT_EQ(text(0), "  0/ 0/ 0");
    EXPECT_EQ(text(511), "  1/15/15");
    // Removed from the middle: the rows below move up.
    status.Root()->RemoveItem(nullptr, DrcStatF::unvs, 1);
    EXPECT_EQ(list->Rows(), 511);
    EXPECT_EQ(text(1), "  0/ 0/ 2");
    EXPECT_EQ(mon->Stats().fPackets, 1u);
}

}  // namespace

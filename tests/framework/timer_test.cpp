#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "framework/LTimer.h"
#include "tests/framework/FakeServices.h"

namespace {

// Owns timers as children and logs which of them expired.
class Owner : public LHandler {
public:
    explicit Owner(LHandler* parent = nullptr) : LHandler(parent) {}
    LMessage HandleMessage(const LMessage& msg) override {
        if (msg.Is(LTimer_Expire)) {
            fFired.push_back(static_cast<LTimer*>(msg.source));
            if (fOnExpire) fOnExpire(static_cast<LTimer*>(msg.source));
            return LMessage();
        }
        return LHandler::HandleMessage(msg);
    }
    std::vector<LTimer*> fFired;
    std::function<void(LTimer*)> fOnExpire;
};

// Drains one pass the way the main loop does.
u32 Pass(FakeServices& fake, LHandler* modal = nullptr, LHandler* window = nullptr,
         bool active = true) {
    u32 n = 0;
    for (;;) {
        LMessage m = LTimer::TakeNextDue(fake.fNow, modal, window, active);
        if (m.IsEmpty()) break;
        EXPECT_TRUE(m.Is(LTimer_Expire));
        LHandler::Send(m);
        if (++n > 1000) break;
    }
    return n;
}

}  // namespace

TEST(Timer, LateRepeatingTimerNeitherBurstsNorDrifts) {
    FakeServices fake;
    fake.fNow = 5000;
    Owner owner;
    LTimer t(&owner);
    t.StartRepeating(100);
    EXPECT_EQ(t.Deadline(), 5100u);

    fake.fNow = 5100 + 250;
    EXPECT_EQ(Pass(fake), 1u);
    EXPECT_EQ(t.Deadline(), fake.fNow + 100);

    u32 deadline = t.Deadline();
    fake.fNow = deadline + 30;
    EXPECT_EQ(Pass(fake), 1u);
    EXPECT_EQ(t.Deadline(), deadline + 100);
    EXPECT_TRUE(t.IsRunning());
}

TEST(Timer, DeadlinesAcrossTheClockWrap) {
    FakeServices fake;
    fake.fNow = 0xFFFFFF00u;
    Owner owner;
    LTimer late(&owner), early(&owner), later(&owner);
    late.Start(0x200);   // after the wrap: deadline 0x100
    early.Start(0x80);   // before the wrap: 0xFFFFFF80
    later.Start(0x300);  // 0x200
    EXPECT_EQ(LTimer::NextWaitMs(nullptr, nullptr, true), 0x80);
    fake.fNow = 0xFFFFFFF0u;
    EXPECT_EQ(Pass(fake), 1u);
    fake.fNow = 0x150;  // wrapped
    EXPECT_EQ(Pass(fake), 1u);
    ASSERT_EQ(owner.fFired.size(), 2u);
    EXPECT_EQ(owner.fFired[0], &early);
    EXPECT_EQ(owner.fFired[1], &late);
    EXPECT_EQ(LTimer::NextWaitMs(nullptr, nullptr, true), 0xB0);
}

TEST(Timer, RearmOnStartAndAfterServiceNotOnStop) {
    FakeServices fake;
    Owner owner;
    LTimer t(&owner);
    t.Start(40);
    ASSERT_EQ(fake.fRearmWaits.size(), 1u);
    EXPECT_EQ(fake.fRearmWaits[0], 40);
    t.StartRepeating(25);
    ASSERT_EQ(fake.fRearmWaits.size(), 2u);
    EXPECT_EQ(fake.fRearmWaits[1], 25);
    fake.Advance(25);
    LTimer::FireDue(fake.fNow, nullptr, nullptr, true);
    ASSERT_EQ(fake.fRearmWaits.size(), 3u);
    EXPECT_EQ(fake.fRearmWaits[2], 25);
    EXPECT_EQ(owner.fFired.size(), 1u);
    t.Stop();
    EXPECT_EQ(fake.fRearmWaits.size(), 3u);
}

TEST(Timer, ModalityHoldsAndReleases) {
    FakeServices fake;
    Owner app;
    Owner dialog(&app);  // runs a modal loop
    Owner document(&app);
    LTimer inDialog(&dialog), inDocument(&document), always(&document);
    inDialog.Start(10, 1);
    inDocument.Start(10, 1);
    always.Start(10, 0);
    fake.Advance(10);
    // During the dialog's modal loop only mode 0 and timers inside the dialog run.
    EXPECT_EQ(Pass(fake, &dialog), 2u);
    EXPECT_EQ(dialog.fFired.size(), 1u);
    ASSERT_EQ(document.fFired.size(), 1u);
    EXPECT_EQ(document.fFired[0], &always);
    EXPECT_TRUE(inDocument.IsRunning());  // held, not lost
    EXPECT_EQ(LTimer::NextWaitMs(&dialog, nullptr, true), 2147483647);
    // Once the modal loop is over the held timer goes first.
    EXPECT_EQ(LTimer::NextWaitMs(nullptr, nullptr, true), 0);
    EXPECT_EQ(Pass(fake), 1u);
    ASSERT_EQ(document.fFired.size(), 2u);
    EXPECT_EQ(document.fFired[1], &inDocument);
}

TEST(Timer, ModeTable) {
    FakeServices fake;
    Owner app;
    Owner modal(&app), window(&app), elsewhere(&app);
    LTimer inModal(&modal), inWindow(&window), outside(&elsewhere);
    struct Row {
        u32 mode;
        bool modalIn, modalOut, modalInInactive, modalOutInactive;
    };
    // With a modal handler.
    const Row rows[] = {
        {0, true, true, true, true},    {4, true, true, true, true},
        {1, true, false, true, false},  {5, true, false, true, false},
        {2, true, true, false, false},  {6, true, true, false, false},
        {3, true, false, false, false}, {7, true, false, false, false},
        {9, true, false, true, false},
    };
    for (const Row& r : rows) {
        inModal.Start(0u, r.mode);
        outside.Start(0u, r.mode);
        EXPECT_EQ(inModal.MayDeliver(&modal, nullptr, true), r.modalIn) << r.mode;
        EXPECT_EQ(outside.MayDeliver(&modal, nullptr, true), r.modalOut) << r.mode;
        EXPECT_EQ(inModal.MayDeliver(&modal, nullptr, false), r.modalInInactive) << r.mode;
        EXPECT_EQ(outside.MayDeliver(&modal, nullptr, false), r.modalOutInactive) << r.mode;
    }
    // Without one: the front dialog window decides for modes 1, 3 (active), 4, 5, 7 (active),
    // above 7.
    for (u32 mode : {1u, 4u, 5u, 8u}) {
        outside.Start(0u, mode);
        inWindow.Start(0u, mode);
        EXPECT_FALSE(outside.MayDeliver(nullptr, &window, true)) << mode;
        EXPECT_TRUE(inWindow.MayDeliver(nullptr, &window, false)) << mode;
        EXPECT_TRUE(outside.MayDeliver(nullptr, nullptr, false)) << mode;
    }
    for (u32 mode : {3u, 7u}) {
        inWindow.Start(0u, mode);
        EXPECT_FALSE(inWindow.MayDeliver(nullptr, &window, false)) << mode;
        EXPECT_TRUE(inWindow.MayDeliver(nullptr, &window, true)) << mode;
    }
    for (u32 mode : {2u, 6u}) {
        outside.Start(0u, mode);
        EXPECT_TRUE(outside.MayDeliver(nullptr, &window, true)) << mode;
        EXPECT_FALSE(outside.MayDeliver(nullptr, nullptr, false)) << mode;
    }
    outside.Start(0u, 0);
    EXPECT_TRUE(outside.MayDeliver(nullptr, &window, false));
}

// The Quit and the session's end (SIGTERM, a logout) on the headless main loop:
// an end that comes while a question of the Quit is up ends the program as a
// forced end, once, after the Quit's handlers made ready for it.
#include <gtest/gtest.h>

#include <memory>

#include "framework/StdDialogs.h"
#include "framework/LTimer.h"
#include "tests/framework/HeadlessAppTest.h"

namespace {

// Asks before quitting, as the device document does when its data could not
// be sent: Cancel refuses the quit unless the end has been forced meanwhile.
class AskingApp : public CMainLoopBase {
public:
    LMessage HandleMessage(const LMessage& msg) override {
        if (!msg.Is(CMainLoopBase_Quit) || msg.source != RunLoop())
            return CMainLoopBase::HandleMessage(msg);
        FakeMainLoop* loop = Loop();
        ++quits;
        if (loop->fEndForced) {
            ++readied;
        } else if (ask) {
            CSaveChangesDialog ask(this);
            answer = ask.Ask(CSaveChangesDialog::kClosing);
            terminatedUnderQuestion = loop->fTerminated;
            if (answer == 0 && !loop->fEndForced) return LMessage();
            if (loop->fEndForced) ++readied;
        }
        // Sending what is left: a second signal may come meanwhile.
        if (onReady) onReady();
        if (refuse) return LMessage();
        return CMainLoopBase::HandleMessage(msg);
    }
    FakeMainLoop* Loop() { return static_cast<FakeMainLoop*>(RunLoop()); }

    std::function<void()> onReady;
    bool ask = true;
    bool refuse = false;
    u32 quits = 0;
    u32 readied = 0;
    i32 answer = -1;
    u32 terminatedUnderQuestion = 0;
};

// SIGTERM as the loop hears it: at a turn, after a while. Or the Quit command.
class Signal : public LHandler {
public:
    Signal(LHandler* parent, u32 afterMs, bool quit = false)
        : LHandler(parent), fTimer(this), fQuit(quit) {
        if (afterMs) fTimer.Start(afterMs);
    }
    LMessage HandleMessage(const LMessage& msg) override {
        if (msg.Is(LTimer_Expire) && msg.source == &fTimer) {
            fTimer.Stop();
            if (CMainLoop* loop = CMainLoop::Current())
                fQuit ? loop->RequestQuit() : loop->RequestEnd();
            return LMessage();
        }
        return LHandler::HandleMessage(msg);
    }

private:
    LTimer fTimer;
    bool fQuit;
};

// The native timer as it fires inside a modal turn: the pending end is looked at.
class NativeTimer : public LHandler {
public:
    explicit NativeTimer(LHandler* parent) : LHandler(parent), fTimer(this) { fTimer.Start(100); }
    LMessage HandleMessage(const LMessage& msg) override {
        if (msg.Is(LTimer_Expire) && msg.source == &fTimer) {
            fTimer.Start(100);
            if (CMainLoop* loop = CMainLoop::Current()) loop->RunPendingEnd();
            return LMessage();
        }
        return LHandler::HandleMessage(msg);
    }

private:
    LTimer fTimer;
};

class QuitEnd : public HeadlessAppTest {
protected:
    void SetUp() override {
        HeadlessAppTest::SetUp();
        app.reset();
        app = std::make_unique<AskingApp>();
        FirstTick();
    }
    AskingApp& App() { return *static_cast<AskingApp*>(app.get()); }
    // The loop as no end had come yet, for the next case of a table.
    FakeMainLoop* FreshLoop() {
        FakeMainLoop* loop = App().Loop();
        loop->fEndForced = loop->fEnding = 0;
        loop->fTerminated = 0;
        return loop;
    }
};

TEST_F(QuitEnd, AnEndDuringTheQuitsQuestionEndsOnceAsAForcedEnd) {
    enum Start { kQuit, kEnd };
    const struct Case {
        const char* what;
        Start start;
        u32 key;         // the answer typed to the question, 0 for none
        u32 signalMs;    // SIGTERM after that long (0: none)
        bool refuse;     // the handler refuses even so
        bool second;     // a second SIGTERM while the end makes ready
        u32 terminated;  // times the program was ended
        i32 answer;      // what the question returned, -1 when not asked
        u32 readied;     // the handler made ready for a forced end
    } cases[] = {
        {"Quit, Cancel", kQuit, 27, 0, false, false, 0, 0, 0},
        {"Quit, Save", kQuit, 13, 0, false, false, 1, 1, 0},
        {"SIGTERM, no Quit", kEnd, 0, 0, false, false, 1, -1, 1},
        {"SIGTERM while asked", kQuit, 0, 300, false, false, 1, 0, 1},
        {"SIGTERM while asked, refused", kQuit, 0, 300, true, false, 1, 0, 1},
        {"SIGTERM while asked, then again", kQuit, 0, 300, false, true, 1, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        AskingApp& a = App();
        FakeMainLoop* loop = FreshLoop();
        a.quits = a.readied = a.terminatedUnderQuestion = 0;
        a.answer = -1;
        a.refuse = c.refuse;
        a.onReady = nullptr;
        if (c.second) a.onReady = [&] { loop->RequestEnd(); };
        if (c.key) windows.ScriptTurn({FakeEvent{FakeEvent::kKeyDown, c.key, 0, {}}});
        Signal signal(&a, c.signalMs);
        if (c.start == kQuit)
            loop->RequestQuit();
        else
            loop->RequestEnd();
        EXPECT_EQ(loop->fTerminated, c.terminated);
        EXPECT_EQ(a.answer, c.answer);
        EXPECT_EQ(a.readied, c.readied);
        // One protocol, and nothing ended under the handler while it asked.
        EXPECT_EQ(a.quits, 1u);
        EXPECT_EQ(a.terminatedUnderQuestion, 0u);
        EXPECT_EQ(loop->fInQuit, 0);
        EXPECT_EQ(loop->ModalDepth(), 0u);
    }
}

// A step in hand (a card write, a view being replaced) when the end or the Quit
// comes: its modal turns go on until it is done, the quit protocol runs only
// once it has returned to the main loop, and nothing of the end happens under
// it. A step that never returns by itself has the end go on under it, late.
TEST_F(QuitEnd, AnEndOrAQuitDuringAStepWaitsForTheStep) {
    const struct Case {
        const char* what;
        bool quit;        // the Quit command instead of SIGTERM
        u32 stepMs;       // the step's length; 0: it never ends by itself
        u32 quitsInStep;  // the protocol ran while the step was in hand
        bool endingSeen;  // the step's turns saw the end coming
        u32 readied;
    } cases[] = {
        {"SIGTERM during a card write", false, 1500, 0, true, 1},
        {"Quit during a card write", true, 1500, 0, false, 0},
        {"SIGTERM during a step that never ends", false, 0, 1, true, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        AskingApp& a = App();
        FakeMainLoop* loop = FreshLoop();
        a.quits = a.readied = 0;
        a.ask = false;
        a.refuse = false;
        a.onReady = nullptr;
        Signal signal(&a, 300, c.quit);
        NativeTimer native(&a);
        LHandler step(&a);
        const u32 t0 = services.fNow;
        u32 quitsInStep = 0;
        bool endingSeen = false;
        const u32 limit = c.stepMs ? c.stepMs : 60000;
        while (services.fNow - t0 < limit && !loop->fTerminated) {
            LHandler::Send(LHandler_Mode, &step, &a);
            quitsInStep = a.quits;
            endingSeen = endingSeen || loop->fEnding;
        }
        const u32 stepEnded = services.fNow - t0;
        loop->TimerFired(nullptr);
        EXPECT_EQ(quitsInStep, c.quitsInStep);
        EXPECT_EQ(endingSeen, c.endingSeen);
        EXPECT_EQ(a.quits, 1u);
        EXPECT_EQ(a.readied, c.readied);
        EXPECT_EQ(loop->fTerminated, 1u);
        if (c.stepMs == 0) {
            EXPECT_GE(stepEnded, CMainLoop::kStepEndLimitMs);
            EXPECT_LT(stepEnded, CMainLoop::kStepEndLimitMs + 2000);
        }
        EXPECT_EQ(loop->fEndPending + loop->fQuitPending, 0);
        EXPECT_EQ(loop->ModalDepth(), 0u);
    }
}

}  // namespace

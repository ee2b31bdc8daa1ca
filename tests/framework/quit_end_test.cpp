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
        } else {
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
    bool refuse = false;
    u32 quits = 0;
    u32 readied = 0;
    i32 answer = -1;
    u32 terminatedUnderQuestion = 0;
};

// SIGTERM as the loop hears it: at a turn, after a while.
class Signal : public LHandler {
public:
    Signal(LHandler* parent, u32 afterMs) : LHandler(parent), fTimer(this) {
        if (afterMs) fTimer.Start(afterMs);
    }
    LMessage HandleMessage(const LMessage& msg) override {
        if (msg.Is(LTimer_Expire) && msg.source == &fTimer) {
            if (CMainLoop* loop = CMainLoop::Current()) loop->RequestEnd();
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
        FakeMainLoop* loop = a.Loop();
        loop->fEndForced = loop->fEnding = 0;
        loop->fTerminated = 0;
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

}  // namespace

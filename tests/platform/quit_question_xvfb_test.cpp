// Quit while the play data cannot reach the device: the program says so and
// asks whether to save. A forced end (SIGTERM, as a logout sends it) that comes
// while that question is up ends the program as any forced end does: the
// question goes unanswered, the play data is sent once more without asking,
// nothing else is asked, and the program ends with status 0. The device's log
// shows the play data written once, whole, to the device it belongs to. Under
// a real X server with a window manager, against simulated devices in
// namespaces of the test's own (root only); the walk in a child process.
#include <QApplication>
#include <QPointer>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "PlayEditWalk.h"
#include "base/CMemStrm.h"
#include "editors/CKvsPlayCmd.h"
#include "editors/CKvsSeqList.h"
#include "records/PropRecord.h"
#include "records/RecordKinds.h"
#include "records/ShowKinds.h"

// Qt's drag on X11 wakes the session bus, whose library keeps a block for the process.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n";
}

using namespace testtftp;

namespace {

const char* const kPlayFiles[] = {"/sdc/playersetting", "/sdc/sequencesetting"};

// The frame of a shown dialog of that kind, or null.
template <class D>
D* ShownDialog(MWindow** window = nullptr) {
    for (MWindow* w : ShownWindows()) {
        D* d = w->Owner() ? dynamic_cast<D*>(w->Owner()->GetFrame()) : nullptr;
        if (!d) continue;
        if (window) *window = w;
        return d;
    }
    return nullptr;
}

// What a person does once Quit is chosen, run from a timer because the
// program's dialogs run their own loops under the key that chose Quit: the
// alert that the device could not be written is answered with Return; once
// the save question is up, the device takes writes again and the session
// ends (SIGTERM). Any message or question after that is a failure.
class QuitScript {
public:
    QuitScript(Walk& w, SimDeviceProcess& sim) : fW(w), fSim(sim) {
        QObject::connect(&fTimer, &QTimer::timeout, [this] { Tick(); });
        fTimer.start(30);
    }
    bool Asked() const { return fAsked; }
    bool Alerted() const { return fAlerted; }
    bool Ended() const { return fSentAt != 0; }

private:
    void Tick() {
        if (fBusy) return;
        fBusy = true;
        Step();
        fBusy = false;
    }
    void Step() {
        MWindow* window = nullptr;
        if (Ended()) {
            // The question may linger until its loop's next turn; nothing new comes.
            auto* message = ShownDialog<CSimpleMessageDialog>(&window);
            if (!message) ShownDialog<CSaveChangesDialog>(&window);
            if (window && window != fQuestion && !fLate.count(window)) {
                fLate[window] = true;
                ADD_FAILURE() << "a dialog after the end began: "
                              << window->windowTitle().toUtf8().constData()
                              << (message ? message->fMessage.GetText().CStr() : "");
            }
            return;
        }
        if (ShownDialog<CSaveChangesDialog>(&window)) {
            if (!TakesInput(fW.x, window)) return;
            fAsked = true;
            fQuestion = window;
            fW.Shot("quit_question");
            // The device is back: what the question was about can go now.
            EXPECT_EQ(fSim.Cmd("fault-clear").rfind("ok", 0), 0u);
            fSim.Cmd("log clear");
            AppDelegate::Instance()->CatchSignals();
            fSentAt = LTickMs();
            ::kill(getpid(), SIGTERM);
            return;
        }
        if (ShownDialog<CSimpleMessageDialog>(&window) && !fAlerted) {
            if (!TakesInput(fW.x, window)) return;
            fAlerted = true;
            fW.Shot("quit_alert");
            fW.Key("Return");
        }
    }

    Walk& fW;
    SimDeviceProcess& fSim;
    QTimer fTimer;
    QPointer<MWindow> fQuestion;
    std::map<MWindow*, bool> fLate;
    u32 fSentAt = 0;
    bool fBusy = false;
    bool fAsked = false;
    bool fAlerted = false;
};

// The record in a file of the simulated card, read whole; null when it is not.
CRecord* CardRecord(const std::string& path) {
    RegisterAllRecordKinds();
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    const std::string data = bytes.str();
    if (data.empty()) return nullptr;
    std::vector<u8> copy(data.begin(), data.end());
    CMemStrm strm(copy.data(), u32(copy.size()));
    CRecord* r = PropRecord::ReadNew(&strm);
    if (r && strm.Position() != copy.size()) {
        CRecord::Destroy(r);
        return nullptr;
    }
    return r;
}

void WalkTermDuringQuitQuestion(const XvfbHarness& x, NetnsHarness& net, const TempDir& dir) {
    WithPlayEdit(x, net, dir, [&](PlayEdit& p) {
        Walk& w = p.w;
        CKvsPlayCmd* edit = p.screen->PlayView();
        ASSERT_NE(edit, nullptr);
        // A new sequence: play data that only the files on the card carry.
        CRecord* seqs = p.frame->SeqSettings();
        w.Click(PaneAt(&p.frame->PlusButton()));
        ASSERT_TRUE(
            Await("the new sequence", [&] { return seqs->GetListCount(SqstF::sqcs) == 1; }));
        w.AwaitQuiet("adding a sequence");
        LoopDrained();
        // Its name typed, and left open: the Quit ends the edit.
        auto* row = static_cast<CKvsSeqCell*>(p.frame->List()->GetCellFrame(LCell{0, 0}, false));
        ASSERT_NE(row, nullptr);
        w.Click(PaneAt(&row->fName));
        ASSERT_TRUE(
            Await("the name field taking keys", [&] { return row->fName.Engine() != nullptr; }));
        w.Type("Finale");
        // Left open on purpose: the keys are taken; whatever they queued has run.
        LoopDrained();
        ASSERT_TRUE(edit->SeqDoc().IsModified() || edit->PlayDoc().IsModified());

        // The device refuses the play data for now.
        ASSERT_EQ(
            p.sim.Cmd("fault error code=2 serno=1201 dir=in opcode=WRQ path=/sdc/playersetting")
                .rfind("ok", 0),
            0u);
        w.Activate(p.ctl);
        QuitScript script(w, p.sim);
        QTimer::singleShot(0, [&] { w.Key("ctrl+q"); });
        // A program that does not end fails the walk instead of keeping it.
        QTimer::singleShot(60000, [] { QCoreApplication::exit(7); });
        const int status = QApplication::exec();
        EXPECT_EQ(status, 0);
        EXPECT_TRUE(script.Alerted()) << "no alert that the device could not be written";
        ASSERT_TRUE(script.Asked()) << "the save question never came";
        ASSERT_TRUE(script.Ended());
        EXPECT_EQ(gWarnings, std::vector<std::string>());

        // Written once each, whole, to 1201 alone, after the question.
        std::map<std::string, int> writes;
        std::map<std::string, std::string> xferOf;
        const std::vector<std::string> log = p.sim.Log();
        for (const std::string& line : log) {
            if (line.rfind("req ", 0) != 0 || SimDeviceProcess::Field(line, "op") != "WRQ")
                continue;
            const std::string path = SimDeviceProcess::Field(line, "path");
            if (path.rfind("/sdc/", 0) != 0 || SimDeviceProcess::Field(line, "ans") == "again")
                continue;
            const std::string key = SimDeviceProcess::Field(line, "dev") + path;
            ++writes[key];
            xferOf[key] = SimDeviceProcess::Field(line, "x");
        }
        auto count = [&](const std::string& key) {
            const auto it = writes.find(key);
            return it == writes.end() ? 0 : it->second;
        };
        for (const char* file : kPlayFiles) {
            SCOPED_TRACE(file);
            EXPECT_EQ(count("1201" + std::string(file)), 1);
            EXPECT_EQ(count("305" + std::string(file)), 0);
            bool ok = false;
            for (const std::string& line : log)
                if (line.rfind("end ", 0) == 0 && SimDeviceProcess::Field(line, "dev") == "1201" &&
                    SimDeviceProcess::Field(line, "x") == xferOf["1201" + std::string(file)])
                    ok = SimDeviceProcess::Field(line, "result") == "ok";
            EXPECT_TRUE(ok) << "the write did not end well";
        }
        EXPECT_EQ(writes.size(), std::size(kPlayFiles)) << "other files written";
        CRecord* onCard = CardRecord(dir.Path() + "/1201/sdc/sequencesetting");
        ASSERT_NE(onCard, nullptr) << "the sequence settings on the card are not whole";
        ASSERT_EQ(onCard->GetListCount(SqstF::sqcs), 1u);
        EXPECT_STREQ(onCard->GetListItem(SqstF::sqcs, 0)->GetString(SqncF::sqnm).CStr(), "Finale");
        CRecord::Destroy(onCard);
        CRecord* play = CardRecord(dir.Path() + "/1201/sdc/playersetting");
        EXPECT_NE(play, nullptr) << "the play settings on the card are not whole";
        if (play) CRecord::Destroy(play);
    });
}

TEST(QuitQuestion, SigtermWhileTheSaveQuestionIsUp) {
    RunPlayEditWalk("1600x1000", "qq", WalkTermDuringQuitQuestion);
}

}  // namespace

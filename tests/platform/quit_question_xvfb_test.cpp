// Quit while the play data cannot reach the device: the program says so and
// asks whether to save. A forced end (SIGTERM, as a logout sends it) that comes
// while that question is up ends the program as any forced end does: the
// question goes unanswered, the play data is sent once more without asking,
// nothing else is asked, and the program ends with status 0. The device's log
// shows the play data written once, whole, to the device it belongs to. Under
// a real X server with a window manager, against simulated devices in
// namespaces of the test's own (root only); the walk in a child process.
// A play-settings file opened without its device asks about its changes on
// every way out that would end them, and keeps everything on Cancel.
#include <QApplication>
#include <QFileDialog>
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
#include "PlayFileOnDisk.h"
#include "XvfbAnswer.h"
#include "base/CMemStrm.h"
#include "editors/CKvsPlayAsnWin.h"
#include "editors/CKvsPlayCmd.h"
#include "editors/CKvsSchEditFrm.h"
#include "editors/CKvsSchList.h"
#include "editors/CKvsSchWin.h"
#include "editors/CKvsSeqList.h"
#include "platform/qt/QtFilePanels.h"
#include "platform/qt/QtMainLoop.h"
#include "records/CChunkFile.h"
#include "records/NsqPrefKinds.h"
#include "records/PropRecord.h"
#include "records/RecordKinds.h"
#include "records/Schedule.h"
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

// A new sequence, with its name field clicked and taking keys.
void ClickNewSequenceName(PlayEdit& p, CKvsSeqCell** clicked) {
    Walk& w = p.w;
    CRecord* seqs = p.frame->SeqSettings();
    w.Click(PaneAt(&p.frame->PlusButton()));
    ASSERT_TRUE(Await("the new sequence", [&] { return seqs->GetListCount(SqstF::sqcs) == 1; }));
    w.AwaitQuiet("adding a sequence");
    LoopDrained();
    auto* row = static_cast<CKvsSeqCell*>(p.frame->List()->GetCellFrame(LCell{0, 0}, false));
    ASSERT_NE(row, nullptr);
    w.Click(PaneAt(&row->fName));
    ASSERT_TRUE(
        Await("the name field taking keys", [&] { return row->fName.Engine() != nullptr; }));
    *clicked = row;
}

void WalkTermDuringQuitQuestion(const XvfbHarness& x, NetnsHarness& net, const TempDir& dir) {
    WithPlayEdit(x, net, dir, [&](PlayEdit& p) {
        Walk& w = p.w;
        CKvsPlayCmd* edit = p.screen->PlayView();
        ASSERT_NE(edit, nullptr);
        // A new sequence: play data that only the files on the card carry.
        CKvsSeqCell* row = nullptr;
        ClickNewSequenceName(p, &row);
        ASSERT_NE(row, nullptr);
        // Its name typed, and left open: the Quit ends the edit.
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

// Quit while the device is away: the writing's Cancel is there from its first
// second and is taken, the alert read, and Don't Save answered as the device
// comes back. The user's answer holds: the program ends without a window left
// behind, and neither then nor when it is taken down does anything reach the
// card, whose files stay as they were before the edit.
class DontSaveScript {
public:
    DontSaveScript(Walk& w, SimDeviceProcess& sim) : fW(w), fSim(sim) {
        QObject::connect(&fTimer, &QTimer::timeout, [this] { Step(); });
        fTimer.start(30);
    }
    bool Declined() const { return fDeclinedAt != 0; }
    u32 DeclinedAt() const { return fDeclinedAt; }
    // From the writing's dialog shown to its Cancel there; -1 before.
    i64 CancelAfterMs() const { return fCancelAfter; }

private:
    void Step() {
        MWindow* window = nullptr;
        if (Declined()) return;
        if (auto* ask = ShownDialog<CSaveChangesDialog>(&window)) {
            if (!TakesInput(fW.x, window)) return;
            fW.Shot("quit_dont_save");
            EXPECT_EQ(fSim.Cmd("fault-clear").rfind("ok", 0), 0u);
            fSim.Cmd("log clear");
            fDeclinedAt = LTickMs();
            fW.Click(PaneAt(&ask->fDontSave));
            return;
        }
        if (ShownDialog<CSimpleMessageDialog>(&window)) {
            if (TakesInput(fW.x, window) && !fAlerted) {
                fAlerted = true;
                fW.Key("Return");
            }
            return;
        }
        auto* progress = ShownDialog<CSimpleProgressDialog>(&window);
        if (!progress || fCancelAfter >= 0) return;
        if (!fSeenAt) fSeenAt = LTickMs();
        if (!progress->fButton.IsShown() || !TakesInput(fW.x, window)) return;
        fCancelAfter = i64(LTickMs() - fSeenAt);
        fW.Shot("quit_writing");
        fW.Click(PaneAt(&progress->fButton));
    }

    Walk& fW;
    SimDeviceProcess& fSim;
    QTimer fTimer;
    u32 fSeenAt = 0;
    i64 fCancelAfter = -1;
    u32 fDeclinedAt = 0;
    bool fAlerted = false;
};

int gEnds = 0;

void WalkDontSaveWithTheDeviceAway(const XvfbHarness& x, NetnsHarness& net, const TempDir& dir) {
    WithPlayEdit(x, net, dir, [&](PlayEdit& p) {
        Walk& w = p.w;
        CKvsPlayCmd* edit = p.screen->PlayView();
        ASSERT_NE(edit, nullptr);
        CKvsSeqCell* row = nullptr;
        ClickNewSequenceName(p, &row);
        ASSERT_NE(row, nullptr);
        // The device goes away as the name is typed: nothing of it reaches the device.
        ASSERT_EQ(p.sim.Cmd("fault drop serno=1201 dir=in").rfind("ok", 0), 0u);
        w.Type("Finale");
        LoopDrained();
        gEnds = 0;
        CQtMainLoop::SetTerminateHandler([] { ++gEnds; });
        w.Activate(p.ctl);
        DontSaveScript script(w, p.sim);
        QTimer::singleShot(0, [&] { w.Key("ctrl+q"); });
        ASSERT_TRUE(Await(
            "Don't Save answered", [&] { return script.Declined(); }, 60000));
        EXPECT_GE(script.CancelAfterMs(), 0);
        EXPECT_LT(script.CancelAfterMs(), 1000) << "the writing's Cancel came late";
        ASSERT_TRUE(Await(
            "the program ended", [&] { return gEnds > 0; }, 20000));
        EXPECT_LT(LTickMs() - script.DeclinedAt(), 15000u);
        CQtMainLoop::SetTerminateHandler(&AppDelegate::EndApplication);
        // A while longer, as the device answers: still nothing for the card.
        RunUntil([] { return false; }, 3000);
        for (const std::string& line : p.sim.Log()) {
            if (line.rfind("pkt ", 0) != 0 || SimDeviceProcess::Field(line, "dir") != "in")
                continue;
            const std::string path = SimDeviceProcess::Field(line, "path");
            EXPECT_TRUE(path.rfind("/sdc/", 0) != 0 && path != "/.cmd/fsflush")
                << "after Don't Save: " << line;
        }
    });
    // Taken down too, the program wrote nothing of the declined edit to the card.
    CRecord* onCard = CardRecord(dir.Path() + "/1201/sdc/sequencesetting");
    EXPECT_TRUE(!onCard || onCard->GetListCount(SqstF::sqcs) == 0)
        << "the declined sequence is on the card";
    if (onCard) CRecord::Destroy(onCard);
}

// A Count-Down typed while the device is away, and Quit chosen at once: the
// wait for the device says what it waits for and offers Cancel from its first
// second; cancelled, the question names the setting and the user either quits
// without it (the device, back, never hears it) or waits until the device,
// back, has taken it; the program then ends.
// Or the device comes back while the question is up, unanswered: the question
// goes by itself once the device has taken it, and the program ends.
struct CountDownQuit {
    const char* what;
    bool wait;
    std::vector<std::string> heard;  // the count-downs the device took
    bool backWhileAsked = false;
};
const CountDownQuit kCountDownQuits[] = {
    {"quit without it", false, {}},
    {"wait until it is taken", true, {"55"}},
    {"the device back while asked", false, {"55"}, true},
};

class CountDownScript {
public:
    CountDownScript(Walk& w, SimDeviceProcess& sim, bool wait, bool back = false)
        : fW(w), fSim(sim), fWait(wait), fBack(back) {
        QObject::connect(&fTimer, &QTimer::timeout, [this] { Step(); });
        fTimer.start(30);
    }
    bool Answered() const { return fPhase == 4; }
    std::string fQuestion;
    i64 fCancelAfterMs = -1;

private:
    void Step() {
        MWindow* window = nullptr;
        if (fPhase == 0) {
            auto* d = ShownDialog<CCSetNDlg>(&window);
            if (!d || !TakesInput(fW.x, window)) return;
            fW.x.XdotoolAsync(Where(PaneAt(&d->fField)) +
                              " click 1 sleep 0.2 key ctrl+a ; xdotool type --delay 100 55 ; "
                              "xdotool sleep 0.3 key Return sleep 0.3 key Return");
            fPhase = 1;
        } else if (fPhase == 1) {
            if (ShownDialog<CCSetNDlg>()) return;
            walkwatch::Note("the count-down stored: Ctrl+Q");
            fW.x.XdotoolAsync("key ctrl+q");
            fPhase = 2;
        } else if (fPhase == 2) {
            // A device whose tries are over already leaves nothing to wait for.
            if (ShownDialog<CSimpleMessageDialog>()) {
                fPhase = 3;
                return;
            }
            auto* progress = ShownDialog<CSimpleProgressDialog>(&window);
            if (!progress) return;
            if (!fSeenAt) fSeenAt = LTickMs();
            if (!progress->fButton.IsShown() || !TakesInput(fW.x, window)) return;
            fCancelAfterMs = i64(LTickMs() - fSeenAt);
            fW.Shot("quit_unsent_wait");
            fW.Click(PaneAt(&progress->fButton));
            fPhase = 3;
        } else if (fPhase == 3) {
            auto* ask = ShownDialog<CSimpleMessageDialog>(&window);
            if (!ask || !ask->fCancelBtn.IsShown() || !TakesInput(fW.x, window)) return;
            fQuestion = ask->fMessage.GetText().CStr();
            fW.Shot("quit_unsent_question");
            if (fBack) {
                EXPECT_EQ(fSim.Cmd("fault-clear").rfind("ok", 0), 0u);
                fPhase = 4;
                return;
            }
            if (fWait) {
                EXPECT_EQ(fSim.Cmd("fault-clear").rfind("ok", 0), 0u);
            }
            fW.Click(PaneAt(fWait ? &ask->fOk : &ask->fCancelBtn));
            fPhase = 4;
        }
    }

    Walk& fW;
    SimDeviceProcess& fSim;
    bool fWait;
    bool fBack;
    QTimer fTimer;
    u32 fPhase = 0;
    u32 fSeenAt = 0;
};

void WalkCountDownAtQuit(const XvfbHarness& x, NetnsHarness& net, const TempDir& dir,
                         const CountDownQuit& row) {
    WithPlayEdit(x, net, dir, [&](PlayEdit& p) {
        Walk& w = p.w;
        ASSERT_EQ(p.sim.Cmd("fault drop serno=1201 dir=in").rfind("ok", 0), 0u);
        p.sim.Cmd("log clear");
        gEnds = 0;
        CQtMainLoop::SetTerminateHandler([] { ++gEnds; });
        w.Activate(p.ctl);
        CountDownScript script(w, p.sim, row.wait, row.backWhileAsked);
        ASSERT_TRUE(w.Choose(p.ctl, "Device", "Count-Down"));
        ASSERT_TRUE(Await(
            "the question answered", [&] { return script.Answered(); }, 60000));
        if (script.fCancelAfterMs >= 0) {
            EXPECT_LT(script.fCancelAfterMs, 1000) << "the wait's Cancel came late";
        }
        EXPECT_NE(script.fQuestion.find("1201"), std::string::npos) << script.fQuestion;
        EXPECT_NE(script.fQuestion.find("quit without them"), std::string::npos)
            << script.fQuestion;
        ASSERT_TRUE(Await(
            "the program ended", [&] { return gEnds > 0; }, 30000));
        CQtMainLoop::SetTerminateHandler(&AppDelegate::EndApplication);
        // The device back for a while: it hears only what the user waited for.
        p.sim.Cmd("fault-clear");
        RunUntil([] { return false; }, 5000);
        EXPECT_EQ(w.Written("ccst"), row.heard);
    });
}

// ---------------------------------------------------------------- a play-settings file

// A play-settings file opened without its device, changed (its schedule's event
// renamed, or a number left typed in its Play Buttons window), then left one
// way: each way the program would ask about when the window closes asks the
// same question, after the typed number is stored; Save writes the file the
// window holds (no panel asks where), Don't Save writes nothing, Cancel keeps
// every window and the program. SIGTERM cannot ask: the program ends and the
// file stays as it was.
enum class FileEdit { kEventName, kColumns };
enum class FileWay {
    kCloseBox,
    kCtrlW,
    kQuitKeyInSchedule,
    kQuitMenuInWindow,
    kDeviceWindow,
    kSigterm
};
// kPanelTerm: while the question is up a file panel opens inside it, as a
// Save to a new file opens one, and the session ends (SIGTERM) with it up.
enum class Reply { kSave, kDontSave, kCancel, kNone, kPanelTerm };
struct FileEnd {
    const char* what;
    FileEdit edit;
    FileWay way;
    Reply reply;
};
constexpr FileEnd kFileEnds[] = {
    {"a typed number, the close box, Save", FileEdit::kColumns, FileWay::kCloseBox, Reply::kSave},
    {"a typed number, Ctrl+W, Cancel", FileEdit::kColumns, FileWay::kCtrlW, Reply::kCancel},
    {"a renamed event, Ctrl+W, Don't Save", FileEdit::kEventName, FileWay::kCtrlW,
     Reply::kDontSave},
    {"a renamed event, Ctrl+Q in the schedule, Save", FileEdit::kEventName,
     FileWay::kQuitKeyInSchedule, Reply::kSave},
    {"a renamed event, Ctrl+Q in the schedule, Cancel", FileEdit::kEventName,
     FileWay::kQuitKeyInSchedule, Reply::kCancel},
    {"a typed number, Quit from the window's menu, Don't Save", FileEdit::kColumns,
     FileWay::kQuitMenuInWindow, Reply::kDontSave},
    {"a typed number, the device window closed, Save", FileEdit::kColumns, FileWay::kDeviceWindow,
     Reply::kSave},
    {"a renamed event, the device window closed, Cancel", FileEdit::kEventName,
     FileWay::kDeviceWindow, Reply::kCancel},
    {"a renamed event, SIGTERM", FileEdit::kEventName, FileWay::kSigterm, Reply::kNone},
    {"a renamed event, Ctrl+Q, a file panel inside the question, SIGTERM", FileEdit::kEventName,
     FileWay::kQuitKeyInSchedule, Reply::kPanelTerm},
};

// The play file's two records, read back; null where the file has none.
struct PlayFile {
    explicit PlayFile(const std::string& path) {
        RegisterAllRecordKinds();
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        bytes = s.str();
        if (bytes.empty()) return;
        CChunkFile file;
        if (!file.OpenRead(bytes.data(), u32(bytes.size()))) return;
        while (CRecord* r = file.ReadRecord()) {
            CRecord** slot = r->Kind() == kKindSqst   ? &seq
                             : r->Kind() == kKindPlys ? &play
                                                      : nullptr;
            if (slot && !*slot)
                *slot = r;
            else
                CRecord::Destroy(r);
        }
    }
    ~PlayFile() {
        if (seq) CRecord::Destroy(seq);
        if (play) CRecord::Destroy(play);
    }
    std::string EventName() const {
        const CRecord* sched = seq ? seq->GetChild(SqstF::schd) : nullptr;
        return sched && sched->GetListCount(SchdF::flts)
                   ? sched->GetListItem(SchdF::flts, 0)->GetString(ScevF::name).CStr()
                   : "";
    }
    i64 Columns() const { return play ? i64(play->GetU32(PlysF::btcs)) : -1; }
    std::string bytes;
    CRecord* seq = nullptr;
    CRecord* play = nullptr;
};

// The keys that put a path into a file panel's name field and accept it: the
// text typed, then Return once the field's completion has caught up (a second
// xdotool, since `type` takes every word after it as text).
std::string TypedPath(const std::string& path) {
    return "key ctrl+a BackSpace type --delay 60 " + path + "; xdotool sleep 0.5 key Return";
}

// The answer to the save question, given once it takes input. A second
// question is a failure, and so is a save panel: the file has its own path.
class FileQuestionScript {
public:
    FileQuestionScript(const XvfbHarness& x, Reply reply) : fX(x), fReply(reply) {
        QObject::connect(&fTimer, &QTimer::timeout, [this] { Step(); });
        fTimer.start(30);
    }
    int Asked() const { return fAsked; }
    bool Done() const { return fAsked > 0; }

private:
    void Step() {
        MWindow* window = nullptr;
        // The question answered stays up under the save panel until the file is written.
        auto* d = ShownDialog<CSaveChangesDialog>(&window);
        if (d && window != fQuestion) {
            if (!TakesInput(fX, window)) return;
            if (++fAsked > 1) ADD_FAILURE() << "asked a second time";
            fQuestion = window;
            if (fReply == Reply::kPanelTerm) {
                PanelThenTerm();
                return;
            }
            if (fReply == Reply::kSave)
                fX.XdotoolAsync("key Return");
            else if (fReply == Reply::kCancel)
                fX.XdotoolAsync("key Escape");
            else {
                const QPoint at = PaneAt(&d->fDontSave);
                fX.XdotoolAsync("mousemove " + std::to_string(at.x()) + " " +
                                std::to_string(at.y()) + " click 1");
            }
            return;
        }
        QFileDialog* panel = QtFilePanelServices::Running();
        if (fPanelSeen || !panel || !panel->isVisible() || !TakesInput(fX, panel)) return;
        fPanelSeen = true;
        ADD_FAILURE() << "a save panel asked where the file goes";
        panel->reject();
    }

    // Runs in the question's loop, as the question's Save would: the panel's
    // own loop then holds the quit until the panel goes.
    void PanelThenTerm() {
        fPanelSeen = true;
        AppDelegate::Instance()->CatchSignals();
        u32 sentAt = 0;
        QTimer term;
        QObject::connect(&term, &QTimer::timeout, [&] {
            QFileDialog* panel = QtFilePanelServices::Running();
            if (sentAt || !panel || !panel->isVisible()) return;
            sentAt = LTickMs();
            ::kill(getpid(), SIGTERM);
        });
        term.start(50);
        // A panel the end leaves up is closed here, so that the walk goes on
        // to its failure instead of waiting on it.
        QTimer giveUp;
        giveUp.setSingleShot(true);
        QObject::connect(&giveUp, &QTimer::timeout, [] {
            if (QFileDialog* panel = QtFilePanelServices::Running()) panel->reject();
        });
        giveUp.start(15000);
        CSavePanel panel;
        panel.Run();
        term.stop();
        giveUp.stop();
        EXPECT_NE(sentAt, 0u) << "the panel never showed";
        // The forced end's bound: what it waits for a dialog to unwind.
        EXPECT_LT(LTickMs() - sentAt, AppDelegate::kUnwindLimitMs)
            << "the file panel outlived the forced end";
    }

    const XvfbHarness& fX;
    Reply fReply;
    QTimer fTimer;
    QPointer<MWindow> fQuestion;
    int fAsked = 0;
    bool fPanelSeen = false;
};

int gTerminations = 0;

// A play-settings file with one schedule event of that name, the schedule in
// use: what the walks open and change. False when it could not be written.
bool WriteScheduleFile(const std::string& path, const std::string& eventName) {
    CRecordDoc seqs(NewSeqSettingsRecord());
    seqs.Root()->SetU8(nullptr, SqstF::sqfm, 1);
    seqs.Root()->SetU8(nullptr, SqstF::ussc, 1);
    InsertNewScheduleEvent(seqs.Root()->GetChild(SqstF::schd), nullptr, 0);
    seqs.Root()
        ->GetChild(SqstF::schd)
        ->GetListItem(SchdF::flts, 0)
        ->SetString(nullptr, ScevF::name, LString(eventName.c_str()));
    return WritePlayFile(path, seqs.Root());
}

// A file opened as a user opens it: Device > Open Play Settings File… in the
// device window, the path typed into the open panel.
void OpenAsUser(const XvfbHarness& x, Walk& w, MWindow* devQt, const std::string& path) {
    Answer open(x, TypedPath(path));
    ASSERT_TRUE(w.Choose(devQt, "Device", "Open Play Settings"));
    ASSERT_TRUE(Await(
        "the file opened", [&] { return open.Closed(); }, 15000));
}

void WalkFileEnd(const XvfbHarness& x, NetnsHarness& net, const TempDir& dir, const FileEnd& e) {
    WithPlayEdit(x, net, dir, [&](PlayEdit& p) {
        Walk& w = p.w;
        // The file: one schedule event named "Opening", the schedule in use.
        const std::string path = dir.Path() + "/show.kvplay";
        const std::string saved = dir.Path() + "/saved.kvplay";
        ASSERT_TRUE(WriteScheduleFile(path, "Opening"));
        const std::string before = PlayFile(path).bytes;

        // Opened as a user opens it.
        auto* devwin = static_cast<CKvsDevWin*>(p.kvs->DevDoc()->View());
        MWindow* devQt = AsMWindow(devwin->GetNativeWindow());
        w.Activate(devQt);
        const std::vector<MWindow*> shownBefore = ShownWindows();
        ASSERT_NO_FATAL_FAILURE(OpenAsUser(x, w, devQt, path));
        MWindow* fileWin = nullptr;
        CKvsSchWin* sch = nullptr;
        ASSERT_TRUE(Await(
            "the file's window and its schedule",
            [&] {
                for (MWindow* m : ShownWindows())
                    if (std::find(shownBefore.begin(), shownBefore.end(), m) == shownBefore.end() &&
                        FrameOf<CKvsDevCtlWin>(m))
                        fileWin = m;
                sch = nullptr;
                for (MWindow* m : ShownWindows())
                    if (auto* f = FrameOf<CKvsSchWin>(m)) sch = f;
                return fileWin && sch;
            },
            10000));
        // Moved apart as a user would, so that every window's title can be
        // clicked: the file's window to the lower right, its schedule to the
        // lower left, the device window's close box free.
        MWindow* schQt = AsMWindow(sch->GetNativeWindow());
        for (auto [win, to] : {std::pair{static_cast<QWidget*>(fileWin), QPoint(500, 330)},
                               std::pair{static_cast<QWidget*>(schQt), QPoint(40, 520)}}) {
            WaitShown(win);
            x.Xdotool("windowmove " + std::to_string(win->winId()) + " " + std::to_string(to.x()) +
                      " " + std::to_string(to.y()));
            Await("'" + win->windowTitle().toStdString() + "' moved", [&, win = win, to = to] {
                return win->geometry().topLeft() == to || win->frameGeometry().topLeft() == to;
            });
            WaitShown(win);
        }
        LoopDrained();

        // The change.
        if (e.edit == FileEdit::kEventName) {
            w.Activate(schQt);
            auto* cell = static_cast<CKvsSchCell*>(
                sch->EditFrame()->fList->GetCellFrame(LCell{0, 0}, false));
            ASSERT_NE(cell, nullptr);
            w.Click(PaneAt(&cell->fName));
            ASSERT_TRUE(
                Await("the name taking keys", [&] { return cell->fName.Engine() != nullptr; }));
            w.Key("ctrl+a BackSpace");
            w.Type("Finale");
            w.Key("Return");
            ASSERT_TRUE(Await("the name stored", [&] {
                return std::string(cell->fName.GetText().CStr()) == "Finale";
            }));
        } else {
            w.Activate(fileWin);
            ASSERT_TRUE(w.Choose(fileWin, "Play", "Play Buttons"));
            CKvsPlayAsnWin* asn = nullptr;
            ASSERT_TRUE(Await("the play buttons", [&] {
                for (MWindow* m : ShownWindows())
                    if (auto* f = FrameOf<CKvsPlayAsnWin>(m)) asn = f;
                return asn != nullptr;
            }));
            WaitShown(AsMWindow(asn->GetNativeWindow()));
            w.TypeNumber(&asn->fCols, "6");
            // Left open on purpose: the keys are taken; whatever they queued has run.
            LoopDrained();
        }
        w.Shot("file_end_change");

        // The way out, the question answered.
        FileQuestionScript script(x, e.reply);
        const bool quits = e.way == FileWay::kQuitKeyInSchedule ||
                           e.way == FileWay::kQuitMenuInWindow || e.way == FileWay::kDeviceWindow;
        gTerminations = 0;
        if (quits) CQtMainLoop::SetTerminateHandler([] { ++gTerminations; });
        auto closeBox = [&](QWidget* win) {
            const QRect f = win->frameGeometry();
            x.XdotoolAsync("mousemove " + std::to_string(f.right() - 10) + " " +
                           std::to_string(f.top() + 8) + " click 1");
        };
        switch (e.way) {
            case FileWay::kCloseBox:
                w.Activate(fileWin);
                closeBox(fileWin);
                break;
            case FileWay::kCtrlW:
                w.Activate(fileWin);
                x.XdotoolAsync("key ctrl+w");
                break;
            case FileWay::kQuitKeyInSchedule:
                w.Activate(schQt);
                x.XdotoolAsync("key ctrl+q");
                break;
            case FileWay::kQuitMenuInWindow:
                w.Activate(fileWin);
                w.Choose(fileWin, "KEVOruneSet", "Quit");
                break;
            case FileWay::kDeviceWindow:
                w.Activate(devQt);
                closeBox(devQt);
                break;
            case FileWay::kSigterm: {
                AppDelegate::Instance()->CatchSignals();
                QTimer::singleShot(50, [] { ::kill(getpid(), SIGTERM); });
                QTimer::singleShot(20000, [] { QCoreApplication::exit(7); });
                EXPECT_EQ(QApplication::exec(), 0);
                break;
            }
        }

        if (e.reply != Reply::kNone && e.reply != Reply::kPanelTerm) {
            EXPECT_TRUE(Await(
                "the question answered", [&] { return script.Done(); }, 20000));
        }
        const bool kept = e.reply == Reply::kCancel;
        if (e.way == FileWay::kCloseBox || e.way == FileWay::kCtrlW) {
            if (!kept) {
                EXPECT_TRUE(
                    Await("the file's window closed", [&] { return !fileWin->isVisible(); }));
            }
        } else if (quits) {
            EXPECT_TRUE(Await("the program ended or not",
                              [&] { return kept ? script.Done() : gTerminations > 0; }));
        }
        const auto edited = [&](const PlayFile& f) {
            return e.edit == FileEdit::kEventName ? f.EventName() == "Finale" : f.Columns() == 6;
        };
        if (e.reply == Reply::kSave)
            Await(
                "the file saved", [&] { return edited(PlayFile(path)); }, 10000);
        LoopDrained();
        w.Shot("file_end");
        CQtMainLoop::SetTerminateHandler(&AppDelegate::EndApplication);

        EXPECT_EQ(script.Asked(), e.reply == Reply::kNone ? 0 : 1);
        if (kept) {
            EXPECT_TRUE(fileWin->isVisible()) << "Cancel closed the file's window";
            EXPECT_TRUE(sch->Window()->IsVisible());
            EXPECT_TRUE(devQt->isVisible());
            EXPECT_EQ(gTerminations, 0) << "Cancel ended the program";
        }
        if (e.reply == Reply::kSave) {
            EXPECT_TRUE(edited(PlayFile(path))) << "Save did not write the window's own file";
        } else {
            EXPECT_EQ(PlayFile(path).bytes, before) << "written without Save";
        }
        EXPECT_TRUE(PlayFile(saved).bytes.empty()) << "another file written";
    });
}

// ---------------------------------------------------------------- two files

// Two play-settings files open side by side, each one's event renamed; the
// first closed with Ctrl+W, the program then quit with Ctrl+Q, both questions
// answered Save. The file opened last is the one the open panel remembers: it
// must not take the first window's show. Each file then holds exactly what its
// own window showed, byte for byte, and no panel asked where.
void WalkTwoFiles(const XvfbHarness& x, NetnsHarness& net, const TempDir& dir) {
    WithPlayEdit(x, net, dir, [&](PlayEdit& p) {
        Walk& w = p.w;
        struct File {
            std::string path, opening, finale, expected;
            MWindow* win = nullptr;
            CKvsSchWin* sch = nullptr;
        } files[] = {{dir.Path() + "/a1201.kvplay", "Opening A", "Finale A", "", nullptr, nullptr},
                     {dir.Path() + "/n305.kvplay", "Opening N", "Finale N", "", nullptr, nullptr}};
        for (File& f : files) {
            ASSERT_TRUE(WriteScheduleFile(f.path, f.opening));
            // What the window will hold once its event is renamed, as a file.
            ASSERT_TRUE(WriteScheduleFile(dir.Path() + "/expected.kvplay", f.finale));
            f.expected = PlayFile(dir.Path() + "/expected.kvplay").bytes;
        }
        auto* devwin = static_cast<CKvsDevWin*>(p.kvs->DevDoc()->View());
        MWindow* devQt = AsMWindow(devwin->GetNativeWindow());
        for (u32 i = 0; i < 2; ++i) {
            File& f = files[i];
            w.Activate(devQt);
            const std::vector<MWindow*> shownBefore = ShownWindows();
            ASSERT_NO_FATAL_FAILURE(OpenAsUser(x, w, devQt, f.path));
            ASSERT_TRUE(Await(
                "the file's window and its schedule",
                [&] {
                    for (MWindow* m : ShownWindows()) {
                        if (std::find(shownBefore.begin(), shownBefore.end(), m) !=
                            shownBefore.end())
                            continue;
                        if (FrameOf<CKvsDevCtlWin>(m)) f.win = m;
                        if (auto* s = FrameOf<CKvsSchWin>(m)) f.sch = s;
                    }
                    return f.win && f.sch;
                },
                10000));
            // Every title free to be clicked: the schedules side by side at the
            // top right, clear of the device window's title; the files' windows
            // side by side below them.
            MWindow* schQt = AsMWindow(f.sch->GetNativeWindow());
            WaitShown(f.win);
            WaitShown(schQt);
            const QRect sch = schQt->frameGeometry();
            const QPoint schAt(i == 0 ? 730 : 1910 - sch.width(), 20);
            const QPoint fileAt(i32(i) * 960, std::max(500, 40 + sch.height()));
            for (auto [win, to] : {std::pair{static_cast<QWidget*>(f.win), fileAt},
                                   std::pair{static_cast<QWidget*>(schQt), schAt}}) {
                WaitShown(win);
                x.Xdotool("windowmove " + std::to_string(win->winId()) + " " +
                          std::to_string(to.x()) + " " + std::to_string(to.y()));
                Await("'" + win->windowTitle().toStdString() + "' moved", [&, win = win, to = to] {
                    return win->geometry().topLeft() == to || win->frameGeometry().topLeft() == to;
                });
                WaitShown(win);
            }
            LoopDrained();
        }
        w.Shot("two_files_open");
        for (File& f : files) {
            MWindow* schQt = AsMWindow(f.sch->GetNativeWindow());
            w.Activate(schQt);
            auto* cell = static_cast<CKvsSchCell*>(
                f.sch->EditFrame()->fList->GetCellFrame(LCell{0, 0}, false));
            ASSERT_NE(cell, nullptr);
            w.Click(PaneAt(&cell->fName));
            ASSERT_TRUE(
                Await("the name taking keys", [&] { return cell->fName.Engine() != nullptr; }));
            w.Key("ctrl+a BackSpace");
            w.Type(f.finale);
            w.Key("Return");
            ASSERT_TRUE(Await("the name stored", [&] {
                return std::string(cell->fName.GetText().CStr()) == f.finale;
            }));
        }
        w.Shot("two_files_edited");

        // The first file's window closed, its question answered Save.
        {
            FileQuestionScript script(x, Reply::kSave);
            w.Activate(files[0].win);
            x.XdotoolAsync("key ctrl+w");
            EXPECT_TRUE(Await(
                "the first question answered", [&] { return script.Done(); }, 20000));
            EXPECT_TRUE(Await("the first file's window closed",
                              [&] { return !files[0].win->isVisible(); }));
            EXPECT_TRUE(Await(
                "the first file saved",
                [&] { return PlayFile(files[0].path).bytes == files[0].expected; }, 10000));
            LoopDrained();
            EXPECT_EQ(script.Asked(), 1);
        }
        // Then Quit: the second file's question, Save.
        {
            FileQuestionScript script(x, Reply::kSave);
            gTerminations = 0;
            CQtMainLoop::SetTerminateHandler([] { ++gTerminations; });
            w.Activate(files[1].win);
            x.XdotoolAsync("key ctrl+q");
            EXPECT_TRUE(Await(
                "the second question answered", [&] { return script.Done(); }, 20000));
            EXPECT_TRUE(Await(
                "the program ended", [&] { return gTerminations > 0; }, 20000));
            LoopDrained();
            w.Shot("two_files_quit");
            CQtMainLoop::SetTerminateHandler(&AppDelegate::EndApplication);
            EXPECT_EQ(script.Asked(), 1);
        }
        for (const File& f : files) {
            EXPECT_EQ(PlayFile(f.path).bytes, f.expected) << f.path << " holds another show";
            EXPECT_EQ(PlayFile(f.path).EventName(), f.finale) << f.path;
        }
    });
}

// The rows whose way out closes the file's window alone, or the program.
void WalkFileEnds(bool programEnds) {
    for (const FileEnd& e : kFileEnds) {
        if ((e.way == FileWay::kCloseBox || e.way == FileWay::kCtrlW) == programEnds) continue;
        SCOPED_TRACE(e.what);
        RunPlayEditWalk("1600x1000", "qf", [&](auto&... a) { WalkFileEnd(a..., e); });
    }
}

TEST(QuitQuestion, APlaySettingsFileChangedAsksWhenItsWindowCloses) {
    WalkFileEnds(false);
}

TEST(QuitQuestion, APlaySettingsFileChangedAsksWhenTheProgramEnds) {
    WalkFileEnds(true);
}

TEST(QuitQuestion, TwoFilesEachSavedIntoItsOwn) {
    RunPlayEditWalk("1920x1200", "q2", WalkTwoFiles);
}

TEST(QuitQuestion, DontSaveWithTheDeviceAwayIsKept) {
    RunPlayEditWalk("1600x1000", "qd", WalkDontSaveWithTheDeviceAway);
}

TEST(QuitQuestion, ACountDownTheDeviceHasNotTakenIsNamedAtQuit) {
    for (const CountDownQuit& row : kCountDownQuits) {
        SCOPED_TRACE(row.what);
        RunPlayEditWalk("1600x1000", "qc", [&](auto&... a) { WalkCountDownAtQuit(a..., row); });
    }
}

TEST(QuitQuestion, SigtermWhileTheSaveQuestionIsUp) {
    RunPlayEditWalk("1600x1000", "qq", WalkTermDuringQuitQuestion);
}

}  // namespace

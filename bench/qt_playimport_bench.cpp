// Importing a play file into the basic play edit of a device on loopback: 200
// and 800 sequences of 50 named scenes, 100 schedule events and 64 triggers,
// each import replacing the show the one before it brought. The time is the
// import alone (the program answers nothing meanwhile); the writes it queues
// for the device go out after it, counted as "drained_ms".
//
// Edits of many rows of such a show (250 schedule events) anywhere in its
// lists, each with its Undo and Redo: a paste of every sequence at row 1, a
// delete of all but the last, a delete of the first 99, a paste of 1,000
// schedule events over a selection. The time of a row is the edit's own; the
// device takes each step's writes before the next step starts.
//
// Long lists on screen: one sequence of 1,000 or 8,000 scenes in the scene
// list, or 1,000 or 4,000 events in the schedule window, copied whole and
// pasted at row 1, then Undo and Redo. Each step's time takes in the redraw of
// the window the list is in.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "base/Clock.h"
#include "base/Paths.h"
#include "base/Resources.h"
#include "bench/QtBenchStage.h"
#include "devices/CKvsDevCtl.h"
#include "devices/CKvsDevSet.h"
#include "devices/recordings/CDrcCmdHandler.h"
#include "devlink/CDevRequestQueue.h"
#include "devlink/NetIf.h"
#include "editors/CKvsPlayFrm.h"
#include "editors/CKvsScnEdF.h"
#include "editors/CKvsScnList.h"
#include "editors/CKvsSchEditFrm.h"
#include "editors/CKvsSchList.h"
#include "editors/CKvsSchWin.h"
#include "editors/PlayHooks.h"
#include "editors/CKvsSeqList.h"
#include "framework/AppSingletons.h"
#include "framework/CMainLoop.h"
#include "framework/LFrame.h"
#include "platform/qt/AppDelegate.h"
#include "platform/qt/QtControls.h"
#include "records/AppPrefsDoc.h"
#include "records/CRecordDoc.h"
#include "records/DeviceKinds.h"
#include "records/NsqPrefKinds.h"
#include "records/Schedule.h"
#include "records/Sequences.h"
#include "records/ShowKinds.h"
#include "records/ScrapTypeNames.h"
#include "records/Triggers.h"
#include "editors/LListEdit.h"
#include "framework/LMenu.h"
#include "services/RunLoop.h"
#include "services/WindowKinds.h"
#include "tools/testkit/SimDeviceProcess.h"

namespace {

using benchkit::LoopbackPrefs;
using benchkit::Owner;
using benchkit::Pump;
using benchkit::TheStage;

// The show as a user builds it, written as a play file by an edit of no device.
bool WriteShow(Owner& owner, LFrame& host, u32 sequences, u32 scenes, const std::string& url,
               u32 events = 100) {
    CDrcCmdHandler source(&owner, &host, nullptr);
    CRecord* settings = source.SeqSettings();
    for (u32 i = 0; i < sequences; ++i) {
        InsertNewSequence(settings, nullptr, i);
        CRecord* seq = settings->GetListItem(SqstF::sqcs, i);
        for (u32 j = 0; j < scenes; ++j) {
            InsertSceneUnique(seq, nullptr, SqncF::scns, j, nullptr);
            CRecord* scene = seq->GetListItem(SqncF::scns, j);
            scene->SetString(
                nullptr, ScenF::snnm,
                LString(("Cue " + std::to_string(i) + "." + std::to_string(j)).c_str()));
            scene->GetChild(ScenF::ctdr)
                ->SetString(nullptr, SnctF::flnm,
                            LString(("take" + std::to_string(j % 20) + ".drc").c_str()));
        }
    }
    CRecord* schedule = settings->GetChild(SqstF::schd);
    CRecord* aux = settings->GetChild(SqstF::axps);
    if (!schedule || !aux) return false;
    for (u32 e = 0; e < events; ++e) InsertNewScheduleEvent(schedule, nullptr, e);
    for (u32 p = 0; p < 8; ++p) {
        CRecord* play = aux->GetListItem(AplsF::plys, AddAuxPlay(aux, nullptr));
        for (u32 t = 0; t < 8; ++t) {
            CRecord* trigger = play->GetListItem(AplyF::trgs, AddAuxTrigger(play, nullptr));
            AuxTriggerSetModeAndValue(trigger, nullptr, 1, t + 1);
        }
    }
    return source.WritePlayFile(LString(url.c_str()));
}

// A device on a loopback address of this process's own, simulated, with a
// play file of the show written for it and the basic play edit that feeds it.
struct Rig {
    Rig() = default;
    explicit Rig(LHandler* ownerParent) : owner(ownerParent) {}
    LoopbackPrefs netPrefs;
    CLocalAddrWatch watch{&netPrefs};
    testtftp::TempDir dir;
    testtftp::SimDeviceProcess sim;
    Owner owner;
    LFrame host{gApp, nullptr, LPaneOpt::Window(kWindowOrdinary, 6)};
    LString url;
    CKvsDevSet set;
    std::unique_ptr<CKvsDevCtl> ctl;
    std::unique_ptr<CDrcCmdHandler> edit;

    // False, and the benchmark skipped, when something is missing.
    bool Start(benchmark::State& state, u32 serno, u32 octet, u32 sequences, u32 events,
               u32 scenes = 50) {
        const u32 ip = (127u << 24) | (27u << 16) | ((20u + u32(getpid()) % 200u) << 8) | octet;
        const std::string ipText =
            "127.27." + std::to_string((ip >> 8) & 255) + "." + std::to_string(octet);
        if (!sim.Ok() || sim.Cmd("add-device serno=" + std::to_string(serno) + " addr=" + ipText +
                                 " root=" + dir.Path() + "/d port=61007")
                                 .rfind("ok", 0) != 0) {
            state.SkipWithError("no simulated device");
            return false;
        }
        sim.Cmd("packet-log off");
        host.SetWindowBounds(LRect(0, 0, 1000, 600));
        PosixPathToFileUrl(&url, LString((dir.Path() + "/show.kvplay").c_str()));
        if (!WriteShow(owner, host, sequences, scenes, url.CStr(), events)) {
            state.SkipWithError("the play file was not written");
            return false;
        }
        set.Add(serno)->SetU32(nullptr, DevcF::address, ip);
        ctl = std::make_unique<CKvsDevCtl>(&owner, &set, serno);
        edit = std::make_unique<CDrcCmdHandler>(&owner, &host, ctl.get());
        edit->Frame()->SetBounds(LRect(0, 0, 1000, 600));
        return true;
    }
    bool Idle() const { return !edit->SeqChannel()->IsBusy() && !edit->PlayChannel()->IsBusy(); }
};

// The Undo and Redo times of the timed edits, as averages beside each benchmark.
struct UndoRedoTimes {
    double undo = 0, redo = 0;

    // Books one iteration, then puts the show back as imported for the next,
    // outside the timing.
    void Add(benchmark::State& state, Rig& rig, double doMs, double undoMs, double redoMs) {
        state.SetIterationTime(doMs / 1000.0);
        undo += undoMs;
        redo += redoMs;
        state.PauseTiming();
        rig.edit->UndoQueue().Undo();
        Pump([&] { return rig.Idle(); }, 120000);
        state.ResumeTiming();
    }
    void Report(benchmark::State& state) const {
        state.counters["undo_ms"] = benchmark::Counter(undo, benchmark::Counter::kAvgIterations);
        state.counters["redo_ms"] = benchmark::Counter(redo, benchmark::Counter::kAvgIterations);
    }
};

// The milliseconds a step of an edit takes, then the edit let go idle outside
// the time; -1 when the step failed or the edit never came idle. settle: what
// is timed with the step once it has returned (the work it put off).
double TimedMs(Rig& rig, const std::function<bool()>& step,
               const std::function<void()>& settle = nullptr) {
    const auto t0 = std::chrono::steady_clock::now();
    const bool ok = step();
    if (settle) settle();
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    return ok && Pump([&] { return rig.Idle(); }, 120000) ? ms : -1.0;
}

void BM_ImportPlayFile(benchmark::State& state) {
    TheStage();
    RunLoopMakeMain();
    const u32 sequences = u32(state.range(0));
    Rig rig;
    if (!rig.Start(state, 307, 1, sequences, 100)) return;
    CDrcCmdHandler& edit = *rig.edit;
    const LString& url = rig.url;
    const auto idle = [&] { return rig.Idle(); };
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        const bool loaded = edit.LoadPlayData(url);
        const auto t1 = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
        if (!loaded || edit.SeqSettings()->GetListCount(SqstF::sqcs) != sequences) {
            state.SkipWithError("the play file was not imported");
            return;
        }
        state.PauseTiming();
        if (!Pump(idle, 60000)) {
            state.SkipWithError("the device did not take the show");
            return;
        }
        state.counters["drained_ms"] =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t1)
                .count();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ImportPlayFile)
    ->Arg(200)
    ->Arg(800)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

// The edits of many rows, by row (range 1) of the table below.
struct ListStep {
    const char* what;
    u8 list;         // 0 the sequences, 1 the schedule's events
    u32 from, to;    // the rows selected, [from, to)
    bool toFromEnd;  // to counts back from the list's end
    bool paste;      // else delete
};
const ListStep kListSteps[] = {
    {"paste all sequences at row 1", 0, 0, 0, true, true},
    {"delete all but the last", 0, 0, 1, true, false},
    {"delete the first 99", 0, 0, 99, false, false},
    {"paste 1000 events over a selection", 1, 10, 20, false, true},
};

void BM_EditManyRows(benchmark::State& state) {
    TheStage();
    RunLoopMakeMain();
    const u32 sequences = u32(state.range(0));
    const ListStep& step = kListSteps[state.range(1)];
    state.SetLabel(step.what);
    Rig rig;
    if (!rig.Start(state, 308, 2, sequences, 250)) return;
    CDrcCmdHandler& edit = *rig.edit;
    const auto idle = [&] { return rig.Idle(); };
    if (!edit.LoadPlayData(rig.url) || !Pump(idle, 120000)) {
        state.SkipWithError("the show was not imported");
        return;
    }
    CRecord* settings = edit.SeqSettings();
    CRecord* record = step.list == 0 ? settings : settings->GetChild(SqstF::schd);
    const u8 field = step.list == 0 ? u8(SqstF::sqcs) : u8(SchdF::flts);
    const char* type = step.list == 0 ? kScrapSequence : kScrapSchedule;
    const auto command = [&](const char* cmd, const LRgn& rows, i32 at) {
        LMenuItem item(nullptr);
        item.SetCommand(cmd);
        return LListEdit::DoStdCmd(&edit, record, field, rows, true, type, &item, &at);
    };
    const auto rows = [](u32 from, u32 to) { return LRgn(LRect(0, i32(from), 1, i32(to))); };
    // What a paste brings is copied first: the list whole, or 1,000 events.
    if (step.paste) {
        LRgn copied = rows(0, record->GetListCount(field));
        CRecordDoc events(NewSeqSettingsRecord());
        if (step.list == 1) {
            CRecord* schedule = events.Root()->GetChild(SqstF::schd);
            for (u32 e = 0; e < 1000; ++e) InsertNewScheduleEvent(schedule, nullptr, e);
            LScrapData* data = LListEdit::CopySelection(schedule, field, rows(0, 1000), true, type);
            if (!data || !LClipboard::Instance()) {
                state.SkipWithError("no clipboard");
                return;
            }
            LClipboard::Instance()->Put(data);
        } else {
            command(LStdCmd_Copy, copied, 0);
        }
    }
    const auto timed = [&](const std::function<bool()>& fn) { return TimedMs(rig, fn); };
    UndoRedoTimes times;
    for (auto _ : state) {
        const u32 before = record->GetListCount(field);
        const u32 to = step.toFromEnd ? before - step.to : step.to;
        const double doMs = timed([&] {
            if (step.paste)
                return command(LStdCmd_Paste, rows(step.from, to), step.from ? i32(step.from) : 1) >
                       0;
            return command(LStdCmd_Delete, rows(step.from, to), 0) == -1;
        });
        const u32 after = record->GetListCount(field);
        const double undoMs = timed([&] { return edit.UndoQueue().Undo(); });
        const bool undone = record->GetListCount(field) == before;
        const double redoMs = timed([&] { return edit.UndoQueue().Redo(); });
        const bool redone = record->GetListCount(field) == after;
        if (doMs < 0 || undoMs < 0 || redoMs < 0 || after == before || !undone || !redone) {
            state.SkipWithError("the edit, its Undo or its Redo did not take");
            return;
        }
        times.Add(state, rig, doMs, undoMs, redoMs);
    }
    times.Report(state);
}
BENCHMARK(BM_EditManyRows)
    ->ArgsProduct({{200, 800}, {0, 1, 2, 3}})
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

// Long lists on screen, by list (range 0: 0 the scenes of one sequence, 1 the
// schedule's events) and length (range 1).
void BM_LongListPaste(benchmark::State& state) {
    TheStage();
    RunLoopMakeMain();
    const bool events = state.range(0) == 1;
    const u32 rows = u32(state.range(1));
    state.SetLabel(events ? "events pasted at row 1" : "scenes pasted at row 1");
    InstallScheduleHooks(PlayHooks());
    Rig rig(gApp);
    if (!rig.Start(state, 309 + u32(events), 3 + u32(events), 1, events ? rows : 10,
                   events ? 10 : rows)) {
        return;
    }
    CDrcCmdHandler& edit = *rig.edit;
    const auto idle = [&] { return rig.Idle(); };
    if (!edit.LoadPlayData(rig.url) || !Pump(idle, 120000)) {
        state.SkipWithError("the show was not imported");
        return;
    }
    rig.host.ShowWindow();
    CRecord* settings = edit.SeqSettings();
    LTypedCellList* list = nullptr;
    if (events) {
        settings->SetU8(nullptr, SqstF::ussc, 1);
        edit.SyncScheduleWindow();
        auto* win = static_cast<CKvsSchWin*>(edit.Window(PlayWindow::kSchedule));
        if (!win) {
            state.SkipWithError("no schedule window");
            return;
        }
        win->ShowWindow();
        list = win->EditFrame()->fList;
    } else {
        edit.Frame()->List()->SelectCell(LCell{0, 0});
        list = edit.Frame()->SceneEdit()->List();
    }
    Pump([] { return false; }, 200);
    if (!list || u32(list->Rows()) != rows) {
        state.SkipWithError("the list does not show the rows");
        return;
    }
    const auto command = [list](const char* cmd) {
        LMenuItem item(nullptr);
        item.SetCommand(cmd);
        LHandler::Send(LMenuItem_Selected, &item, list);
    };
    list->SetSelection(LRgn(LRect(0, 0, 1, i32(rows))));
    command(LStdCmd_Copy);
    const auto timed = [&](const std::function<bool()>& fn) {
        // What the step put off to the loop, then the window drawn as the
        // step left it.
        return TimedMs(rig, fn, [&] {
            RunLoopRunOnce(0);
            list->RequestUpdateNow();
        });
    };
    UndoRedoTimes times;
    for (auto _ : state) {
        list->SelectCell(LCell{0, 1});
        const double doMs = timed([&] {
            command(LStdCmd_Paste);
            return u32(list->Rows()) == 2 * rows;
        });
        const double undoMs =
            timed([&] { return edit.UndoQueue().Undo() && u32(list->Rows()) == rows; });
        const double redoMs =
            timed([&] { return edit.UndoQueue().Redo() && u32(list->Rows()) == 2 * rows; });
        if (doMs < 0 || undoMs < 0 || redoMs < 0) {
            state.SkipWithError("the paste, its Undo or its Redo did not take");
            return;
        }
        times.Add(state, rig, doMs, undoMs, redoMs);
    }
    times.Report(state);
}
BENCHMARK(BM_LongListPaste)
    ->Args({0, 1000})
    ->Args({0, 8000})
    ->Args({1, 1000})
    ->Args({1, 4000})
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

}  // namespace

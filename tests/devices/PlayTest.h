#pragma once
// Shared by the play-edit tests: a chain top that runs every wait's nested turns on
// the virtual clock and answers dialogs, hook stubs, the enabled menu, fake panels.
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include "editors/CKvsPlayCmd.h"
#include "framework/CFilePanel.h"
#include "framework/LDialog.h"
#include "framework/LMenu.h"
#include "framework/LTimer.h"
#include "framework/StdDialogs.h"
#include "records/CChunkFile.h"
#include "tests/devlink/VirtualRunLoop.h"

namespace playtest {

// Each nested turn moves the clocks on by up to 100 ms and fires the due timers.
struct Root : LHandler {
    CVirtualRunLoop* loop = nullptr;
    std::function<void(LDialog*)> answer;
    std::vector<std::string> texts;  // every message dialog shown
    std::vector<std::string> heard;  // messages that reached the top
    u32 cancelledAt = 0;             // when a progress dialog's button was first taken
    bool pressButtons = true;
    // A progress dialog's button is pressed once the dialog has shown nothing
    // moving for this long: the user gives up on a silent device.
    u32 patienceMs = CKvsPlayCmd::kIdleLimitMs;
    u32 quietSince = 0;
    // Set by answer: the message stays up for this turn while the clocks move
    // on (the user reading it); a later text of it is told again.
    bool keepUp = false;
    const CSimpleMessageDialog* held = nullptr;
    LMessage HandleMessage(const LMessage& msg) override {
        if (!msg.Is(LHandler_Mode)) {
            if (msg.name) heard.push_back(msg.name);
            return LMessage();
        }
        auto* dialog = dynamic_cast<LDialog*>(msg.source);
        if (auto* m = dynamic_cast<CSimpleMessageDialog*>(dialog)) {
            // Only once per dialog: a result set by answer ends it.
            const std::string text = m->fMessage.GetText().CStr();
            if (m->Result() == 0 && (m != held || texts.empty() || texts.back() != text))
                texts.push_back(text);
            keepUp = false;
            if (answer) answer(dialog);
            held = keepUp && m->Result() == 0 ? m : nullptr;
            if (held) {
                Turn();
                return LMessage();
            }
            if (m->Result() == 0) m->SetResult(1);
            return LMessage();
        }
        held = nullptr;
        Turn();
        if (dialog && answer) answer(dialog);
        auto* progress = dynamic_cast<CSimpleProgressDialog*>(dialog);
        if (pressButtons && progress && progress->fButton.IsShown() && progress->Result() == 0) {
            // The spinner's phase marked as seen: a dialog new to the user, or
            // one whose spinner turned since, starts the patience anew.
            if (progress->fPhase < 4) {
                progress->fPhase += 4;
                quietSince = loop->NowMs();
            }
            if (loop->NowMs() - quietSince >= patienceMs) {
                if (!cancelledAt) cancelledAt = loop->NowMs();
                progress->SetResult(1);
            }
        }
        return LMessage();
    }
    void Turn() {
        loop->RunUntil([] { return false; }, 10);
        if (!loop->AdvanceToNext(100)) loop->Advance(100);
        LTimer::FireDue(loop->NowMs(), nullptr, nullptr, true);
    }
    bool Heard(const char* name) const {
        for (const std::string& h : heard)
            if (h == name) return true;
        return false;
    }
};

// A plain window for every window hook, counted.
inline int gWindowsMade = 0;
inline LFrame* MakeStubWindow(const CPlayWindowArgs& a) {
    ++gWindowsMade;
    return new LFrame(a.parent, nullptr, LPaneOpt::Window(kWindowOrdinary, 9));
}

// Format dialog answers, cancelled when none is left.
struct DialogAnswers {
    std::deque<bool> nsq;  // the format dialog: true NSQ, false basic
    int formatAsked = 0;
};
inline DialogAnswers gAnswers;
inline bool StubFormat(LHandler*, LPane*, bool* nsq, bool*) {
    ++gAnswers.formatAsked;
    if (gAnswers.nsq.empty()) return false;
    *nsq = gAnswers.nsq.front();
    gAnswers.nsq.pop_front();
    return true;
}
inline bool StubTrigger(LHandler*, LPane*, CRecord*, f32* number, bool* external) {
    *number = 12.75f;
    *external = true;
    return true;
}
inline bool StubFader(LHandler*, LPane*, CRecord*, bool* vsmf) {
    *vsmf = true;
    return true;
}
inline void StubBlackout(MPlayDevice&, LHandler*) {}
inline std::vector<std::string> gCopied;
inline void StubCopy(MPlayDevice&, LHandler*, const CShowMediaScan*,
                     const std::vector<LString>& names) {
    for (const LString& n : names) gCopied.push_back(n.CStr());
}

inline void FillHooks() {
    for (auto& w : PlayHooks().windows) w = MakeStubWindow;
    PlayHooks().seqFormat = StubFormat;
    PlayHooks().sceneTrigger = StubTrigger;
    PlayHooks().masterFader = StubFader;
    DeviceHooks().createBlackout = StubBlackout;
    DeviceHooks().runCopyToUms = StubCopy;
}
inline void EmptyHooks() {
    PlayHooks() = CPlayHooks();
    DeviceHooks() = CDeviceHooks();
    PlayViews() = CPlayViewRegistry();
    gAnswers = DialogAnswers();
    gCopied.clear();
    gWindowsMade = 0;
}

// The commands of the bar that the handler enables, in menu order; checked ones with "*".
inline std::string Enabled(LMenuBar& bar, LHandler* handler) {
    bar.ResetItemStates();
    LHandler::Send(LMenuBar_Ready, &bar, handler);
    std::string out;
    bar.ForEachItem(&out, [](void* o, LMenuItem* item) {
        if (item->fEnabled && item->FirstCommand().CStr()[0] == 'c')
            *static_cast<std::string*>(o) +=
                std::string(item->FirstCommand().CStr()) + (item->fChecked ? "* " : " ");
    });
    return out;
}

// Chooses the bar's item carrying the command, as the menu would.
inline void Choose(LMenuBar& bar, LHandler* handler, const char* command) {
    struct Find {
        const char* command;
        LMenuItem* item = nullptr;
    } find{command};
    bar.ForEachItem(&find, [](void* o, LMenuItem* item) {
        auto* f = static_cast<Find*>(o);
        if (!f->item && item->HasCommand(f->command)) f->item = item;
    });
    ASSERT_NE(find.item, nullptr) << command;
    LHandler::Send(LMenuItem_Selected, find.item, handler);
}

// Panels answered from a queue: each entry the chosen path, empty for Cancel.
struct FakePanels : LFilePanelServices {
    FakePanels() { InstallFilePanelServices(this); }
    ~FakePanels() override { InstallFilePanelServices(nullptr); }
    void RunPanel(CFilePanel& panel) override {
        starts.push_back(std::string(panel.StartDir().CStr()) + "|" + panel.DefaultName().CStr());
        if (answers.empty()) {
            panel.SetResult(false, LString());
            return;
        }
        const std::string a = answers.front();
        answers.pop_front();
        panel.SetResult(!a.empty(), LString(a.c_str()));
    }
    std::deque<std::string> answers;
    std::vector<std::string> starts;
};

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}
inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}
inline std::vector<std::string> ListDir(const std::string& path) {
    std::vector<std::string> out;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(path, ec))
        out.push_back(e.path().filename().string());
    return out;
}
// A chunk file of the records, as an export writes it.
inline void WriteChunks(const std::string& path, u32 outer, u32 inner,
                        std::initializer_list<const CRecord*> records) {
    LDataBuf buffer;
    CChunkFile file;
    file.OpenWrite(outer, inner, buffer);
    for (const CRecord* r : records) file.WriteRecord(r);
    file.Close();
    WriteFile(path, std::string(reinterpret_cast<char*>(buffer.Data()), file.WrittenSize()));
}

}  // namespace playtest

// A stand-in application object on the Qt shell. Each message it takes is one
// line on standard output. KVSHELL (comma separated) scripts it:
//   refuse      the first "CMainLoopBase_Quit" is consumed (the quit refused)
//   enablequit  the menus' Quit item is enabled
//   ctrlq       a window is shown and Ctrl-Q pressed in it
//   dialog      a dialog window is shown and a modal loop runs until the end
//   slowquit    the quit takes 1.5 s of modal turns, as a card write does
//   slowstep    a step of 1.5 s of modal turns runs once launched, as a card
//               write of a format change does
#include <QCoreApplication>
#include <QKeyEvent>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/Clock.h"
#include "framework/AppSingletons.h"
#include "framework/CMainLoop.h"
#include "framework/InputState.h"
#include "framework/LFrame.h"
#include "framework/LMenu.h"
#include "platform/qt/AppDelegate.h"
#include "platform/qt/QtWindows.h"

namespace {

bool Has(const char* word) {
    const char* script = std::getenv("KVSHELL");
    if (!script) return false;
    const size_t n = std::strlen(word);
    for (const char* p = script; (p = std::strstr(p, word)); p += n) {
        if ((p == script || p[-1] == ',') && (p[n] == 0 || p[n] == ',')) return true;
    }
    return false;
}

void Say(const char* text) {
    std::printf("%s\n", text);
    std::fflush(stdout);
}

class StandInApp : public CMainLoopBase {
public:
    ~StandInApp() override {
        // Made last, deleted first: everything else is still there.
        Say(gMouse && gKeyboard && gDesktop && gClipboard ? "~app before singletons" : "~app late");
        delete fWindow;
    }

    LMessage HandleMessage(const LMessage& msg) override {
        if (msg.Is(CExtCmd_Open)) {
            const CExtCmd* cmd = static_cast<CExtCmd*>(msg.source);
            std::string line = "open " + std::to_string(cmd->fPaths.Count());
            for (u32 i = 0; i < cmd->fPaths.Count(); ++i)
                line += " " + std::string(cmd->fPaths.At(i).CStr());
            Say(line.c_str());
            if (!fStarted) Start();
            return LMessage();
        }
        if (msg.Is(CMainLoopBase_Quit)) {
            if (Has("refuse") && !fRefused) {
                fRefused = true;
                Say("quit refused");
                return LMessage();
            }
            Say("quit");
            if (Has("slowquit")) {
                Say("writing");
                const u32 start = LTickMs();
                while (LTickMs() - start < 1500) Send(LHandler_Mode, this, this);
                Say("written");
            }
        }
        if (msg.Is(LMenuBar_Ready) && Has("enablequit"))
            static_cast<LMenuBar*>(msg.source)->EnableCommand(LStdCmd_Quit);
        return CMainLoopBase::HandleMessage(msg);
    }

    void Start() {
        fStarted = true;
        if (Has("ctrlq")) {
            fWindow = new LFrame(this, nullptr, LPaneOpt::Window(kWindowOrdinary, 6));
            fWindow->ShowWindow();
            QTimer::singleShot(0, [this] {
                QKeyEvent press(QEvent::KeyPress, Qt::Key_Q, Qt::ControlModifier,
                                QString(QChar(17)));
                QWidget* view = AsMWindow(fWindow->GetNativeWindow())->View();
                QCoreApplication::sendEvent(view, &press);
                Say("ctrlq sent");
            });
        }
        if (Has("slowstep")) {
            QTimer::singleShot(0, [this] {
                Say("stepping");
                const u32 start = LTickMs();
                while (LTickMs() - start < 1500) Send(LHandler_Mode, this, this);
                Say("stepped");
            });
        }
        if (Has("dialog")) {
            QTimer::singleShot(0, [this] {
                fWindow = new LFrame(this, nullptr, LPaneOpt::Window(kWindowDialog, 3));
                fWindow->ShowWindow();
                Say("modal");
                for (;;) Send(LHandler_Mode, this, this);
            });
        }
    }

    LFrame* fWindow = nullptr;
    bool fStarted = false;
    bool fRefused = false;
};

}  // namespace

int main(int argc, char** argv) {
    const int status =
        AppMain(argc, argv, [] { return static_cast<CMainLoopBase*>(new StandInApp); });
    Say(gApp || gMouse || gDesktop || gProcessInfo ? "exit with singletons left" : "exit clean");
    return status;
}

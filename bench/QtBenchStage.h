#pragma once
// What the benchmarks that drive the program on Qt's own loop share: the
// application and its services, made once and kept to the end; an owner for
// the windows that answers nothing (no dialog is expected while measuring);
// the network interface chosen as loopback; the loop turned until a condition
// holds.
#include <QApplication>
#include <functional>

#include "base/Clock.h"
#include "base/Resources.h"
#include "devlink/NetIf.h"
#include "framework/AppSingletons.h"
#include "framework/CMainLoop.h"
#include "platform/qt/AppDelegate.h"
#include "platform/qt/QtControls.h"
#include "records/AppPrefsDoc.h"
#include "records/CRecordDoc.h"
#include "records/NsqPrefKinds.h"
#include "records/RecordKinds.h"
#include "services/RunLoop.h"

namespace benchkit {

struct Stage {
    Stage() {
        // Offscreen unless told otherwise (xcb under Xvfb draws as a screen does).
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "bench", *argv[] = {name, nullptr};
        app = new QApplication(argc, argv);
        shell = new QtShell;
        controls = new QtControlServices;
        InitAppSingletons([] { return new CMainLoopBase; });
        static LResFile appFile(AppResFileRef());
        SetDefaultResChain(&appFile);
        RegisterAllRecordKinds();
        prefs = new CRecordDoc(CRecord::New(CRecordSchema::Find(kFamKvs, kKindPref)));
        SetAppPrefsDoc(prefs);
    }
    QApplication* app;
    QtShell* shell;
    QtControlServices* controls;
    CRecordDoc* prefs;
};

inline Stage& TheStage() {
    static Stage* s = new Stage;
    return *s;
}

struct Owner : LHandler {
    // Under the main loop (gApp), as the program's windows are, what they put
    // off to the loop waits for it.
    explicit Owner(LHandler* parent = nullptr) : LHandler(parent) {}
    LMessage HandleMessage(const LMessage& msg) override {
        if (msg.Is(LHandler_Mode)) {
            RunLoopRunOnce(5);
            return LMessage();
        }
        return LHandler::HandleMessage(msg);
    }
};

struct LoopbackPrefs : CNetIfPrefSource {
    LString ChosenInterfaceName() override { return LString("lo"); }
    void AddChangeListener(void*, ChangeFn) override {}
    void RemoveChangeListener(void*, ChangeFn) override {}
};

// Turns the loop until pred holds, at most ms.
inline bool Pump(const std::function<bool()>& pred, u32 ms) {
    const u32 start = LTickMs();
    while (!pred() && u32(LTickMs() - start) < ms) RunLoopRunOnce(5);
    return pred();
}

}  // namespace benchkit

#pragma once
// The whole application as a user starts it, inside a test's own network
// namespace: Qt on the given platform, the preferences in the INI file of a
// configuration folder of the test's own, the network interface chosen
// beforehand (the namespaces have no default route to choose it by). Ended
// and taken down in the right order however the test leaves.
#include <QApplication>

#include <string>

#include "devices/AppPrefStore.h"
#include "devices/CKvsApp.h"
#include "framework/AppSingletons.h"
#include "platform/qt/AppDelegate.h"
#include "platform/qt/QtAppPrefStore.h"
#include "platform/qt/QtControls.h"

class AppLaunch {
public:
    AppLaunch(const char* platform, const std::string& configDir) {
        qputenv("QT_QPA_PLATFORM", platform);
        qputenv("XDG_CONFIG_HOME", QByteArray(configDir.c_str()));
        static int argc = 1;
        static char name[] = "kevoruneset", *argv[] = {name, nullptr};
        fApp = new QApplication(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
        fShell = new QtShell;
        fControls = new QtControlServices;
        fDelegate = new AppDelegate(QStringList());
        InstallAppPrefStore(&fStore);
        if (CPrefNode* prefs = fStore.OpenPrefs(true)) {
            prefs->SetString("ntif", LString("eth0"));
            fStore.ClosePrefs(prefs, true);
            fPrefsWritten = true;
        }
    }
    ~AppLaunch() {
        Terminate();
        InstallAppPrefStore(nullptr);
        delete fDelegate;
        delete fControls;
        delete fShell;
        delete fApp;
    }
    AppLaunch(const AppLaunch&) = delete;
    AppLaunch& operator=(const AppLaunch&) = delete;

    bool PrefsWritten() const { return fPrefsWritten; }
    QtAppPrefStore& Store() { return fStore; }

    CKvsApp* Launch() {
        fDelegate->WillFinishLaunching(NewKvsApp);
        fDelegate->DidFinishLaunching();
        return static_cast<CKvsApp*>(gApp);
    }
    void Terminate() {
        if (fTerminated) return;
        fTerminated = true;
        fDelegate->WillTerminate();
    }

private:
    QApplication* fApp;
    QtShell* fShell;
    QtControlServices* fControls;
    AppDelegate* fDelegate;
    QtAppPrefStore fStore;
    bool fPrefsWritten = false;
    bool fTerminated = false;
};

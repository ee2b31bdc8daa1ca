#pragma once
// The native edge of the process: the Qt services installed beside the
// framework, and the application delegate that creates the framework's
// singletons, turns the system's requests (files on the command line, quit,
// SIGTERM, SIGHUP and SIGINT, the session's logout, activation) into messages, and
// matches key equivalents against the menus. `main` is the program's: it calls
// AppMain with the factory of its application object.

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <memory>

#include "framework/AppSingletons.h"

class CMainLoop;
class QKeyEvent;
class QtDrawingServices;
class QtGraphicsServices;
class QtWindowServices;
class QtMenuLayer;
class QtPasteboard;
class QtDragServices;
class QtFilePanelServices;

// The Qt services (windows, screens, the clock and the main timer, drawing,
// fonts and cursors) and the key-equivalent filter, installed while it lives.
// Needs the QApplication.
class QtShell {
public:
    QtShell();
    ~QtShell();
    QtShell(const QtShell&) = delete;
    QtShell& operator=(const QtShell&) = delete;

    QtWindowServices& Windows() { return *fWindows; }
    QtMenuLayer& MenuLayer() { return *fMenuLayer; }

private:
    std::unique_ptr<QtWindowServices> fWindows;
    std::unique_ptr<QtGraphicsServices> fGraphics;
    std::unique_ptr<QtDrawingServices> fDrawing;
    std::unique_ptr<QtPasteboard> fPasteboard;
    std::unique_ptr<QtDragServices> fDrag;
    std::unique_ptr<QtFilePanelServices> fPanels;
    std::unique_ptr<QObject> fKeyFilter;
    // After the key filter: filters installed later run first, so a bridged edit
    // key reaches the dialog's field before the key equivalents.
    std::unique_ptr<QtMenuLayer> fMenuLayer;
};

// Validates the menus, then fires the first enabled item in menu-bar order
// whose key the event carries (Ctrl as Command): "LMenuItem_Selected" to the
// menu target, or the quit protocol for an item carrying "LStdCmd_Quit".
// False when no item took the key.
bool PerformKeyEquivalent(const QKeyEvent& e);

class AppDelegate : public QObject {
public:
    // files: the paths given on the command line, opened at launch.
    explicit AppDelegate(QStringList files);
    ~AppDelegate() override;
    static AppDelegate* Instance();

    // Before exec(): every singleton, last the application object.
    void WillFinishLaunching(AppFactory makeApp);
    // The first turn of the loop: the command line's files, else one empty
    // open request.
    void DidFinishLaunching();
    void OpenFile(const QString& path);
    void OpenUntitled();
    // The quit protocol: true when no handler refused.
    bool ShouldTerminate();
    // After exec(): the singletons in reverse order.
    void WillTerminate();
    // The Quit action and the logout: the protocol, then the end.
    void RequestQuit();
    // SIGTERM, SIGHUP and SIGINT: a logout or a shutdown that may not be refused; the
    // protocol makes ready (typed values stored and sent, uploads cancelled),
    // then the end.
    void RequestEnd();
    // Ends the application: leaves exec(); inside framework modal loops, once
    // every open dialog has ended as cancelled and the stack is back at exec().
    // A modal loop that is no dialog and still runs after kUnwindLimitMs is
    // ended the old way: shut down in place and exit at once.
    static void EndApplication();
    static constexpr u32 kUnwindLimitMs = 3000;
    // SIGTERM, SIGHUP and SIGINT reach RequestEnd through a self-pipe.
    void CatchSignals();

    CMainLoop* fMain = nullptr;
    bool fFileOpened = false;

private:
    QStringList fFiles;
    void EndWhenUnwound();

    int fPipe[2] = {-1, -1};
    bool fTerminated = false;
    QTimer* fUnwind = nullptr;
};

// QApplication, the services, the delegate and the event loop; answers the
// process's exit status.
// displayName: the program's name as users read it in the menus ("%0"); the
// executable's name when null.
int AppMain(int argc, char** argv, AppFactory makeApp, const char* displayName = nullptr);

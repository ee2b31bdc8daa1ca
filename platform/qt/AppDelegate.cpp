#include "platform/qt/AppDelegate.h"

#include "platform/qt/QtMenus.h"
#include "platform/qt/QtMenuLayer.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <iterator>
#include <utility>
#include <cstdio>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "base/Clock.h"
#include "base/Paths.h"
#include "base/Threads.h"
#include "framework/CMainLoop.h"
#include "framework/InputState.h"
#include "framework/LMenu.h"
#include "services/RunLoop.h"
#include "platform/qt/QtControls.h"
#include "platform/qt/QtDrawing.h"
#include "platform/qt/QtEvents.h"
#include "platform/qt/QtGraphicsServices.h"
#include "platform/qt/QtMainLoop.h"
#include "platform/qt/QtDrag.h"
#include "platform/qt/QtFilePanels.h"
#include "platform/qt/QtPasteboard.h"
#include "platform/qt/QtWindows.h"

namespace {

AppDelegate* sDelegate = nullptr;
int sSignalFd = -1;
// The session's end, however it comes: a shutdown or a logout (SIGTERM), the
// terminal closed or the desktop session hung up (SIGHUP), Ctrl+C (SIGINT).
// Each is the same forced end, so that a second one during the first cannot
// cut a card write in half.
constexpr int kEndSignals[] = {SIGTERM, SIGHUP, SIGINT};
bool sCaught[std::size(kEndSignals)] = {};

void OnSignal(int) {
    if (sSignalFd < 0) return;
    const char byte = 'q';
    // Nothing else is safe in a signal handler; the main loop reads the byte.
    [[maybe_unused]] ssize_t n = write(sSignalFd, &byte, 1);
}

// One filter for the whole application: key equivalents are the menus', never
// a widget's (no QShortcut objects).
class KeyEquivalentFilter : public QObject {
public:
    bool eventFilter(QObject* obj, QEvent* e) override {
        if (e->type() != QEvent::KeyPress || !obj->isWidgetType()) return false;
        const QKeyEvent* k = static_cast<QKeyEvent*>(e);
        if (!(k->modifiers() & Qt::ControlModifier) || QApplication::activePopupWidget())
            return false;
        return PerformKeyEquivalent(*k);
    }
};

}  // namespace

// ---------------------------------------------------------------- shell

QtShell::QtShell()
    : fWindows(std::make_unique<QtWindowServices>()),
      fGraphics(std::make_unique<QtGraphicsServices>()),
      fDrawing(std::make_unique<QtDrawingServices>()),
      fPasteboard(std::make_unique<QtPasteboard>()),
      fDrag(std::make_unique<QtDragServices>()),
      fPanels(std::make_unique<QtFilePanelServices>()),
      fKeyFilter(std::make_unique<KeyEquivalentFilter>()) {
    InstallWindowServices(fWindows.get());
    InstallGraphicsServices(fGraphics.get());
    InstallPasteboardServices(fPasteboard.get());
    qApp->installEventFilter(fKeyFilter.get());
    fMenuLayer = std::make_unique<QtMenuLayer>();
    CQtMainLoop::SetTerminateHandler(&AppDelegate::EndApplication);
}

QtShell::~QtShell() {
    CQtMainLoop::SetTerminateHandler(nullptr);
    fMenuLayer.reset();
    if (qApp) qApp->removeEventFilter(fKeyFilter.get());
    InstallPasteboardServices(nullptr);
    InstallGraphicsServices(nullptr);
    InstallWindowServices(nullptr);
}

bool PerformKeyEquivalent(const QKeyEvent& e) {
    CMainLoop* loop = CMainLoop::Current();
    LKeyboard* kb = LKeyboard::Instance();
    if (!loop || !kb || !FillKeyboardFromQt(e) || !kb->IsCommandDown()) return false;
    LString key;
    if (!KeyTextFromKeyboard(&key)) return false;
    // Validated exactly as before a menu opens.
    loop->ValidateMenus();
    LMenuBar* bar = LMenuBar::Current();
    if (!bar) return false;
    LMenuItem* item = nullptr;
    for (u32 i = 0; !item && i < bar->CountMenus(); ++i)
        item = bar->MenuAt(i)->FindEnabledItemByKey(key);
    if (!item) return false;
    if (item->HasCommand(LStdCmd_Quit)) {
        // Quit has no item of its own in the bar: it is the application's.
        loop->RequestQuit();
        return true;
    }
    LHandler* interceptor = LMenuBar::Interceptor();
    LHandler::Send(LMenuItem_Selected, item, interceptor ? interceptor : FindMenuTarget(loop));
    return true;
}

// ---------------------------------------------------------------- delegate

AppDelegate::AppDelegate(QStringList files) : fFiles(std::move(files)) {
    sDelegate = this;
    // The session's logout asks as the Quit command does.
    QObject::connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager& m) {
        if (!ShouldTerminate()) {
            m.cancel();
            return;
        }
        QTimer::singleShot(0, this, &AppDelegate::EndApplication);
    });
    QObject::connect(qApp, &QGuiApplication::applicationStateChanged, this,
                     [this](Qt::ApplicationState state) {
                         if (!fMain) return;
                         const bool active = state == Qt::ApplicationActive;
                         if (bool(fMain->fActive) != active) fMain->SetActive(active);
                     });
}

AppDelegate::~AppDelegate() {
    if (fPipe[0] >= 0) {
        for (size_t i = 0; i < std::size(kEndSignals); ++i)
            if (std::exchange(sCaught[i], false)) std::signal(kEndSignals[i], SIG_DFL);
        sSignalFd = -1;
        close(fPipe[0]);
        close(fPipe[1]);
    }
    if (sDelegate == this) sDelegate = nullptr;
}

AppDelegate* AppDelegate::Instance() {
    return sDelegate;
}

void AppDelegate::CatchSignals() {
    if (fPipe[0] >= 0 || socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fPipe) != 0) return;
    fcntl(fPipe[1], F_SETFL, O_NONBLOCK);
    sSignalFd = fPipe[1];
    auto* notifier = new QSocketNotifier(fPipe[0], QSocketNotifier::Read, this);
    QObject::connect(notifier, &QSocketNotifier::activated, this, [this] {
        char buf[16];
        [[maybe_unused]] ssize_t n = read(fPipe[0], buf, sizeof buf);
        RequestEnd();
    });
    struct sigaction sa = {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (size_t i = 0; i < std::size(kEndSignals); ++i) {
        // Started to outlive its terminal (nohup): a hangup stays ignored.
        struct sigaction was = {};
        if (sigaction(kEndSignals[i], nullptr, &was) == 0 && was.sa_handler == SIG_IGN) continue;
        sCaught[i] = sigaction(kEndSignals[i], &sa, nullptr) == 0;
    }
}

void AppDelegate::WillFinishLaunching(AppFactory makeApp) {
    // Known before the application object builds its first window.
    const QByteArray name = QtMenuServices::AppName().toUtf8();
    LProcessInfo::SetProgramName(LString(name.constData(), u32(name.size())));
    InitAppSingletons(makeApp);
    fMain = CMainLoop::Current();
}

void AppDelegate::DidFinishLaunching() {
    for (const QString& f : fFiles) OpenFile(f);
    fFiles.clear();
    OpenUntitled();
}

void AppDelegate::OpenFile(const QString& path) {
    fFileOpened = true;
    if (!fMain) return;
    LString url;
    PosixPathToFileUrl(&url, LString(QFileInfo(path).absoluteFilePath().toUtf8().constData()));
    fMain->OpenFiles(&url, 1);
}

void AppDelegate::OpenUntitled() {
    if (fFileOpened || !fMain) return;
    fFileOpened = true;
    fMain->OpenFiles(nullptr, 0);
}

bool AppDelegate::ShouldTerminate() {
    return !fMain || fMain->RunQuitProtocol();
}

void AppDelegate::WillTerminate() {
    if (fTerminated) return;
    fTerminated = true;
    ShutdownAppSingletons();
    fMain = nullptr;
    // The windows the singletons released go now, while Qt is still there.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void AppDelegate::RequestQuit() {
    if (fMain)
        fMain->RequestQuit();
    else
        EndApplication();
}

void AppDelegate::RequestEnd() {
    if (fMain)
        fMain->RequestEnd();
    else
        EndApplication();
    // A file panel runs a loop of its own that no dialog's turn ends: one a
    // quit's question opened would hold the forced end until someone closed it.
    if (QFileDialog* panel = QtFilePanelServices::Running()) panel->reject();
}

void AppDelegate::EndApplication() {
    CMainLoop* loop = CMainLoop::Current();
    if (sDelegate && loop && loop->ModalDepth() > 0) {
        // Torn down from inside a dialog's turn, the application would free what
        // the dialogs on the stack still use: they end as cancelled first, and
        // the application ends once the stack is back at the main loop.
        loop->fEnding = 1;
        sDelegate->EndWhenUnwound();
        return;
    }
    QCoreApplication::exit(0);
}

void AppDelegate::EndWhenUnwound() {
    if (fUnwind) return;
    fUnwind = new QTimer(this);
    const u32 start = LTickMs();
    QObject::connect(fUnwind, &QTimer::timeout, this, [this, start] {
        CMainLoop* loop = CMainLoop::Current();
        if (loop && loop->ModalDepth() > 0) {
            if (LTickMs() - start < kUnwindLimitMs) return;
            // A modal loop that is no dialog does not end by itself: the old way.
            WillTerminate();
            MainRunLoopClosing();
            std::fflush(nullptr);
            _exit(0);
        }
        fUnwind->stop();
        QCoreApplication::exit(0);
    });
    fUnwind->start(5);
}

// ---------------------------------------------------------------- entry

int AppMain(int argc, char** argv, AppFactory makeApp, const char* displayName) {
    SystemInfo::Query(&gSystemInfo);
    QApplication app(argc, argv);
    // Not Qt's display name: that one would be appended to every window title.
    if (displayName) QtMenuServices::SetAppName(QString::fromUtf8(displayName));
    QApplication::setQuitOnLastWindowClosed(false);
    QStringList files = QApplication::arguments();
    files.removeFirst();
    int status = 0;
    {
        QtShell shell;
        QtControlServices controls;
        AppDelegate delegate(files);
        delegate.CatchSignals();
        delegate.WillFinishLaunching(makeApp);
        QTimer::singleShot(0, &delegate, [&delegate] { delegate.DidFinishLaunching(); });
        status = QApplication::exec();
        delegate.WillTerminate();
    }
    MainRunLoopClosing();
    return status;
}

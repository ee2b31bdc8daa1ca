#include "platform/qt/QtAppPrefStore.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <utility>

#include "platform/qt/CAppPrefs.h"

namespace {

QtAppPrefStore::ReportFn gHook = nullptr;
bool gQuitting = false;

void ShowMessage(const QString& text) {
    QMessageBox box(QMessageBox::Warning, QCoreApplication::applicationName(), text,
                    QMessageBox::Ok);
    box.exec();
}

// The preferences are saved after the main loop ended: watched from the first
// open (at start), so that a failure then goes to stderr, not to a message that
// would wait for a loop that never runs again.
QApplication* WatchQuit() {
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    static QApplication* watched = nullptr;
    if (app && app != watched) {
        watched = app;
        gQuitting = false;
        QObject::connect(app, &QCoreApplication::aboutToQuit, [] { gQuitting = true; });
    }
    return app;
}

void ToStderr(const QString& text) {
    std::fprintf(stderr, "KEVOruneSet: %s\n", text.toLocal8Bit().constData());
}

// Said where the user sees it: in a message while the program runs (one shown
// before the loop starts waits for it), on stderr once it quits or when the
// window said it before (*said).
void Report(const QString& text, bool* said = nullptr) {
    if (said && *said) {
        if (!gHook) ToStderr(text);
        return;
    }
    if (said) *said = true;
    if (gHook) {
        gHook(text.toStdString());
        return;
    }
    QApplication* app = WatchQuit();
    if (!app || gQuitting || QCoreApplication::closingDown()) {
        ToStderr(text);
        return;
    }
    if (QThread::currentThread()->loopLevel() > 0) {
        ShowMessage(text);
        return;
    }
    QTimer::singleShot(0, app, [text] {
        if (gQuitting) {
            std::fprintf(stderr, "KEVOruneSet: %s\n", text.toLocal8Bit().constData());
            return;
        }
        ShowMessage(text);
    });
}

}  // namespace

void QtAppPrefStore::SetReportHook(ReportFn hook) {
    gHook = hook;
}

CPrefNode* QtAppPrefStore::OpenPrefs(bool writable) {
    WatchQuit();
    delete fOpen;
    fOpen = new CAppPrefs(LString(), writable ? 1 : 0);
    // Said once: a later open finds the same bytes already kept.
    if (!fOpen->UnreadableCopy().isEmpty())
        Report(QStringLiteral("The preferences in %1 could not be read; the program starts "
                              "with its defaults. The file was kept as %2.")
                   .arg(fOpen->FilePath(), fOpen->UnreadableCopy()));
    // Said for the start's read: the ones for a save end in the save's word.
    const bool start = !std::exchange(fStarted, true);
    if (fOpen->ReadFailed() && start)
        Report(QStringLiteral("The preferences in %1 could not be read (is it a folder, or not "
                              "yours to read?); the program runs with its defaults, and the "
                              "file is left as it is.")
                   .arg(fOpen->FilePath()));
    if (!fOpen->Root().IsOpen()) {
        delete fOpen;
        fOpen = nullptr;
        return nullptr;
    }
    return &fOpen->Root();
}

void QtAppPrefStore::ClosePrefs(CPrefNode*, bool writable) {
    if (!fOpen) return;
    // A save that did not reach the file is said, not lost in silence.
    if (writable && fOpen->Save() != CAppPrefs::kSaveOk)
        Report(QStringLiteral("The preferences could not be saved to %1 (is the disk full or "
                              "the folder read-only?). The file there was left as it was.")
                   .arg(fOpen->FilePath()),
               &fWriteSaid);
    delete fOpen;
    fOpen = nullptr;
}

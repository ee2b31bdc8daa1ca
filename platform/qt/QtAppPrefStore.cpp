#include "platform/qt/QtAppPrefStore.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <cstdio>

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

// Said where the user sees it: in a message while the program runs (one shown
// before the loop starts waits for it), on stderr once it quits.
void Report(const QString& text) {
    if (gHook) {
        gHook(text.toStdString());
        return;
    }
    QApplication* app = WatchQuit();
    if (!app || gQuitting || QCoreApplication::closingDown()) {
        std::fprintf(stderr, "KEVOruneSet: %s\n", text.toLocal8Bit().constData());
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
                   .arg(fOpen->FilePath()));
    delete fOpen;
    fOpen = nullptr;
}

// Where the preferences store says what went wrong: a message while the program
// runs (one found at start waits for the loop), stderr once it has quit.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/qt/CAppPrefs.h"
#include "platform/qt/QtAppPrefStore.h"
#include "tools/testkit/SimDeviceProcess.h"

namespace {

size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

TEST(PrefsReport, AMessageWhileRunningStderrAtQuit) {
    testtftp::TempDir dir;
    setenv("XDG_CONFIG_HOME", dir.Path().c_str(), 1);
    int argc = 1;
    char name[] = "prefs_report";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);  // as the program runs
    const std::string path = CAppPrefs::PathFor(LString()).toStdString();
    std::ofstream(path) << "not preferences";

    std::vector<std::string> shown;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            EXPECT_EQ(box->buttons().size(), 1);
            shown.push_back(box->text().toStdString());
            box->accept();
        }
    });
    answer.start(5);

    QtAppPrefStore store;
    testing::internal::CaptureStderr();
    // At start, before the loop: read, found unreadable, kept; said once the loop runs.
    CPrefNode* node = store.OpenPrefs(false);
    if (node) store.ClosePrefs(node, false);
    // While running: the file's place taken by a folder, so the save fails.
    QTimer::singleShot(50, [&] {
        std::filesystem::remove(path);
        std::filesystem::create_directories(path);
        CPrefNode* n = store.OpenPrefs(true);
        ASSERT_NE(n, nullptr);
        store.ClosePrefs(n, true);
        app.quit();
    });
    app.exec();
    // At quit, after the loop: stderr.
    node = store.OpenPrefs(true);
    ASSERT_NE(node, nullptr);
    store.ClosePrefs(node, true);
    const std::string err = testing::internal::GetCapturedStderr();

    ASSERT_EQ(shown.size(), 2u);
    EXPECT_NE(shown[0].find(".unreadable"), std::string::npos) << shown[0];
    EXPECT_NE(shown[1].find("could not be saved"), std::string::npos) << shown[1];
    EXPECT_EQ(Count(err, "could not be saved"), 1u) << err;
    EXPECT_EQ(Count(err, "could not be read"), 0u) << err;
}

}  // namespace

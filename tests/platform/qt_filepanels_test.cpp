// File panels (offscreen): the type rule of the open panel, the start folder,
// a cancelled run with the framework's timers firing meanwhile.
#include <gtest/gtest.h>

#include <QFileDialog>
#include <QTimer>

#include <filesystem>
#include <fstream>

#include "ShellFixture.h"
#include "base/Paths.h"
#include "base/Resources.h"
#include "platform/qt/QtFilePanels.h"
#include "tools/testkit/SimDeviceProcess.h"

namespace {

ShellEnv* gEnv;

// The type list "drc" then "*" from a packed string list.
struct Types {
    Types() {
        static const char kList[] = "\0\2TEXT\nKVSR\nShow files\ndrc\0????\n????\nAll files\n*\0";
        std::string list(kList, sizeof kList - 1), a = "KVRA";
        auto put = [&a](u32 v) {
            for (int s = 24; s >= 0; s -= 8) a.push_back(char(v >> s));
        };
        put(1), put(FourCC("CST#")), put(0);
        a += std::string("\0\5TYPES", 7);
        put(u32(list.size()));
        a += list;
        file = std::make_unique<LResFile>(OpenResArchive(a.data(), u32(a.size())));
        res = std::make_unique<LStrListRes>(&id, file.get(), FourCC("CST#"));
        types = std::make_unique<CFileTypeList>(*res);
    }
    LResId id{0, "TYPES"};
    std::unique_ptr<LResFile> file;
    std::unique_ptr<LStrListRes> res;
    std::unique_ptr<CFileTypeList> types;
};

class Panels : public ::testing::Test {
protected:
    static void SetUpTestSuite() { gEnv = new ShellEnv("offscreen"); }
    static void TearDownTestSuite() { delete gEnv; }
    LString Url(const std::string& rel) {
        LString u;
        return PosixPathToFileUrl(&u, LString((fDir.Path() + rel).c_str()));
    }
    testtftp::TempDir fDir;
};

TEST_F(Panels, TypeRuleAndStartFolder) {
    Types t;
    ASSERT_EQ(t.types->Count(), 2u);
    std::filesystem::create_directories(fDir.Path() + "/sub");
    for (const char* f : {"/a.drc", "/A.DRC", "/b.wav", "/noext"}) std::ofstream(fDir.Path() + f);
    COpenPanel panel;
    panel.SetFileTypes(t.types.get());
    const struct {
        u32 entry;
        const char* shown;
    } cases[] = {{0, "/a.drc /A.DRC /sub "}, {1, "/a.drc /A.DRC /b.wav /noext /sub "}};
    for (const auto& c : cases) {
        panel.ApplyChoice(c.entry);
        std::string shown;
        for (const char* f : {"/a.drc", "/A.DRC", "/b.wav", "/noext", "/sub", "/gone"})
            if (panel.ShouldShow((fDir.Path() + f).c_str())) shown += std::string(f) + " ";
        EXPECT_EQ(shown, c.shown) << c.entry;
    }
    // The deepest existing folder; nothing above a volume that is gone.
    panel.SetStartPath(Url("/sub/x/y/z.drc"));
    EXPECT_EQ(panel.StartDir(), Url("/sub"));
    CFolderPanel gone;
    gone.SetStartPath(LString("file:///NoSuchVolume/shows/x/"));
    EXPECT_TRUE(gone.StartDir().IsEmpty());
    // An existing file: its folder, its name and its type.
    panel.ApplyChoice(1);
    panel.SetStartPath(Url("/A.DRC"));
    EXPECT_EQ(panel.DefaultName(), "A.DRC");
    EXPECT_EQ(panel.SelectedEntry(), 0);
}

TEST_F(Panels, CancelledWhileTimersFire) {
    Types t;
    for (CFilePanel::Kind kind : {CFilePanel::kOpen, CFilePanel::kSave}) {
        std::unique_ptr<CFilePanel> panel;
        if (kind == CFilePanel::kOpen)
            panel = std::make_unique<COpenPanel>();
        else
            panel = std::make_unique<CSavePanel>();
        panel->SetFileTypes(t.types.get());
        panel->SetDirectory(Url("/"));
        gLog.clear();
        LTimer timer(gApp);
        timer.Start(30u);
        QString suffix;
        bool modal = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            QFileDialog* dlg = QtFilePanelServices::Running();
            if (!dlg || !dlg->isVisible()) return;
            modal = dlg->windowModality() == Qt::ApplicationModal;
            suffix = dlg->defaultSuffix();
            if (std::count(gLog.begin(), gLog.end(), "LTimer_Expire") || timer.IsRunning() == false)
                dlg->reject();
        });
        poll.start(10);
        EXPECT_FALSE(panel->Run());
        EXPECT_EQ(panel->WasAccepted(), 0);
        LString chosen;
        EXPECT_TRUE(panel->GetChosenPath(&chosen).IsEmpty());
        EXPECT_FALSE(timer.IsRunning()) << "the framework's timer fired during the run";
        EXPECT_TRUE(modal);
        EXPECT_EQ(suffix.toStdString(), kind == CFilePanel::kSave ? "drc" : "");
    }
}

}  // namespace

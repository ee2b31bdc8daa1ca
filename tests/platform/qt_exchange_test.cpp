// Data exchange on Qt (offscreen): clipboard, drops, dropped files, file panels.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QDropEvent>
#include <QFileDialog>
#include <QMimeData>
#include <QTimer>
#include <QUrl>

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "ShellFixture.h"
#include "base/CDropFileRef.h"
#include "base/LHandle.h"
#include "base/Paths.h"
#include "base/Resources.h"
#include "framework/LDropPane.h"
#include "platform/qt/MEmbeddedView.h"
#include "platform/qt/QtControls.h"
#include "platform/qt/QtDrag.h"
#include "platform/qt/QtFilePanels.h"
#include "platform/qt/QtPasteboard.h"
#include "tools/testkit/SimDeviceProcess.h"

namespace {

ShellEnv* gEnv;
std::string gDrops;
const LString kScene("com.kevorune.scraptype.kevoruneset.scene");
const LScrapType kText{LString(), FourCC("TEXT")};

class Exchange : public ::testing::Test {
protected:
    static void SetUpTestSuite() { gEnv = new ShellEnv("offscreen"); }
    static void TearDownTestSuite() { delete gEnv; }
    LString Url(const std::string& rel) {
        LString u;
        return PosixPathToFileUrl(&u, LString((fDir.Path() + rel).c_str()));
    }
    testtftp::TempDir fDir;
};

TEST_F(Exchange, PasteboardTypesCopyPasteAndText) {
    for (auto [code, text] : {std::pair{FourCC(" AB "), "AB"}, {0x41004243u, "A"}})
        EXPECT_EQ(MimeFormatOf({LString(), code}).toStdString(),
                  "application/x-fourcc-" + std::string(text));
    LClipboard clip;
    EXPECT_FALSE(LPbScrapReader().HasType(kScene)) << "no pasteboard attached";
    auto* data = new LScrapData;
    data->AddItem({kScene, 0}, "first", 5, 0);
    data->AddItem(kText, "code", 4, 0);
    data->AddItem({kScene, 0}, "second!", 7, 0);
    clip.Put(data);
    EXPECT_TRUE(QGuiApplication::clipboard()->mimeData()->hasFormat("public.data"));
    LDataBuf buf;
    EXPECT_TRUE(clip.GetReader().GetData({kScene, 0}, buf) && buf.Capacity() == 7) << "later wins";
    EXPECT_TRUE(clip.GetReader().GetData(kText, buf) && buf.Capacity() == 4);
    LTextScrap text;
    text.WriteToPasteboard();  // empty: nothing changes
    EXPECT_TRUE(clip.HasType(kScene) && !text.IsAvailable());
    // A drag's pasteboard: local exactly when every item has flag bit 0.
    for (auto [f1, local] : {std::pair{3u, true}, {0u, false}}) {
        LScrapData d;
        d.AddItem({kScene, 0}, "a", 1, 1);
        d.AddItem(kText, "b", 1, f1);
        QMimeData mime;
        EXPECT_TRUE(d.WriteToPasteboard(&mime) == local && mime.formats().size() == 3);
    }
}

// Takes drags over its bounds with its operation and logs the messages.
class Target : public LPane {
public:
    Target(LFrame* f, const char* name, LRect r) : LPane(f, f), fName(name), fReg(this) {
        SetBounds(r);
    }
    LMessage HandleMessage(const LMessage& msg) override {
        if (msg.Is(LDrop_Sense)) {
            LDrop::From(msg)->TrackTarget(this);
            LDrop::From(msg)->SetOperation(fOp);
            return LMessage();
        }
        for (const char* n : {LDrop_Enter, LDrop_Drag, LDrop_Leave, LDrop_Drop})
            if (msg.Is(n)) return gDrops += std::string(" ") + fName + ":" + (n + 6), LMessage();
        return LPane::HandleMessage(msg);
    }
    const char* fName;
    i32 fOp = 3;
    LDropRegistration fReg;
};

class Drops : public Exchange {
protected:
    void SetUp() override {
        gDrops.clear();
        fFrame.GetWindow()->SetContentRect(LRect(100, 100, 400, 300));
        fFrame.ShowWindow();
        fMime.setData("x.y.scene", "scene bytes");
    }
    // A drag event to the content view: accepted, and the action.
    std::pair<bool, int> Send(QEvent::Type t, int x, int y,
                              Qt::DropActions acts = Qt::CopyAction | Qt::MoveAction) {
        std::unique_ptr<QDropEvent> e;
        if (t == QEvent::DragEnter)
            e.reset(new QDragEnterEvent({x, y}, acts, &fMime, Qt::LeftButton, Qt::NoModifier));
        else if (t == QEvent::DragMove)
            e.reset(new QDragMoveEvent({x, y}, acts, &fMime, Qt::LeftButton, Qt::NoModifier));
        else
            e.reset(new QDropEvent(QPointF(x, y), acts, &fMime, Qt::LeftButton, Qt::NoModifier));
        e->setAccepted(false);
        QCoreApplication::sendEvent(fFrame.Native()->View(), e.get());
        return {e->isAccepted(), int(e->dropAction())};
    }
    RecFrame fFrame{kWindowOrdinary, 6};
    QMimeData fMime;
};

TEST_F(Drops, MessagesOperationsCursorsAndAnswers) {
    auto* a = new Target(&fFrame, "a", LRect(0, 0, 100, 100));
    auto* b = new Target(&fFrame, "b", LRect(150, 0, 250, 100));
    Send(QEvent::DragEnter, 10, 10);
    Send(QEvent::DragMove, 160, 10);
    EXPECT_EQ(gDrops, " a:Enter a:Drag a:Leave b:Enter b:Drag");
    EXPECT_FALSE(Send(QEvent::DragMove, 120, 150).first) << "nobody there";
    Send(QEvent::DragMove, 20, 20);
    EXPECT_EQ(Send(QEvent::Drop, 20, 20), std::pair(true, int(Qt::CopyAction)));
    Send(QEvent::DragEnter, 10, 10);  // operations and cursors of the next drag
    const Qt::DropActions cm = Qt::CopyAction | Qt::MoveAction, c = Qt::CopyAction;
    const std::tuple<i32, Qt::DropActions, DropCursor, int> cases[] = {
        {1, cm, DropCursor::kArrow, Qt::CopyAction},
        {1, c, DropCursor::kCopy, Qt::CopyAction},
        {2, cm, DropCursor::kArrow, Qt::MoveAction},
        {3, cm, DropCursor::kCopy, Qt::CopyAction},
        {4, c, DropCursor::kPlus, Qt::CopyAction},
        {5, Qt::LinkAction, DropCursor::kLink, Qt::LinkAction},
        {0, c, DropCursor::kArrow, Qt::IgnoreAction},
        {7, c, DropCursor::kArrow, Qt::IgnoreAction}};
    for (const auto& [op, offered, cursor, action] : cases) {
        a->fOp = op;
        const auto [taken, got] = Send(QEvent::DragMove, 10, 10, offered);
        EXPECT_TRUE(taken == (action != Qt::IgnoreAction) && (!taken || got == action)) << op;
        EXPECT_EQ(static_cast<QtDragServices&>(DragServices()).CursorOf(fFrame.Native()), cursor);
    }
    delete a;
    delete b;
    EXPECT_FALSE(fFrame.Native()->View()->acceptDrops()) << "last drop pane gone";
}

TEST_F(Drops, DraggedTypesAndFiles) {
    const std::string d = fDir.Path();
    std::ofstream(d + "/a.drc") << "a";
    std::ofstream(d + "/b.wav") << "b";
    ASSERT_EQ(symlink((d + "/a.drc").c_str(), (d + "/link").c_str()), 0);
    fMime.setUrls({QUrl::fromLocalFile(QString::fromStdString(d + "/link")),
                   QUrl::fromLocalFile(QString::fromStdString(d + "/b.wav")),
                   QUrl("https://example.org/x")});
    Target t(&fFrame, "t", LRect(0, 0, 200, 200));
    Send(QEvent::DragEnter, 10, 10);
    LDrop* drop = LDropMgr::Instance().DropFor(fFrame.Native());
    EXPECT_TRUE(DragHasType(drop, {LString("x.y.scene"), 0}) && !DragHasType(drop, kText));
    EXPECT_TRUE(DragHasFiles(drop));
    CDropDataReader reader(drop->Source());
    const void* p;
    u32 n;
    EXPECT_FALSE(reader.GetData(LScrapType{LString("x.y.scene"), 0}, 1, &p, &n)) << "offered once";
    EXPECT_TRUE(reader.GetData(LScrapType{LString("x.y.scene"), 0}, 0, &p, &n));
    CDragFileReader files;
    files.Attach(drop);
    LString path;
    u32 status = 9;
    EXPECT_TRUE(files.GetFilePath(0, &path, &status) && path == Url("/a.drc") && status == 0);
    EXPECT_TRUE(files.GetFilePath(1, &path) && path == Url("/b.wav"));
    EXPECT_FALSE(files.GetFilePath(2, &path)) << "not a file";
    Send(QEvent::Drop, 10, 10);
    // Links that cannot be followed keep their path; the status says why.
    const std::pair<std::string, u32> refs[] = {
        {"file:///Root" + d + "/missing.drc", CDropFileRef::kFileMissing},
        {"file:///NoSuchVolume/Music/a.wav", CDropFileRef::kFolderMissing}};
    for (const auto& [url, want] : refs) {
        const CDropFileRef ref{LString(url.c_str())};
        EXPECT_TRUE(ref.Status() == want && ref.Path() == url.c_str()) << url;
    }
}

// The type list "drc" then "*", from a packed string list.
std::unique_ptr<CFileTypeList> Types() {
    static const char kList[] = "\0\2TEXT\nKVSR\nShows\ndrc\0????\n????\nAll\n*\0";
    std::string list(kList, sizeof kList - 1), a = "KVRA";
    for (u32 v : {1u, FourCC("CST#"), 0u})
        for (int s = 24; s >= 0; s -= 8) a.push_back(char(v >> s));
    a += std::string("\0\5TYPES\0\0\0", 10) + char(list.size()) + list;
    LResFile file(OpenResArchive(a.data(), u32(a.size())));
    LResId id{0, "TYPES"};
    return std::make_unique<CFileTypeList>(LStrListRes(&id, &file, FourCC("CST#")));
}

TEST_F(Exchange, PanelTypesAndStartFolder) {
    auto types = Types();
    std::filesystem::create_directories(fDir.Path() + "/sub");
    for (const char* f : {"/a.drc", "/A.DRC", "/b.wav"}) std::ofstream(fDir.Path() + f);
    COpenPanel panel;
    panel.SetFileTypes(types.get());
    for (const auto& [entry, want] :
         {std::pair{0u, "/a.drc/A.DRC/sub"}, {1u, "/a.drc/A.DRC/b.wav/sub"}}) {
        panel.ApplyChoice(entry);
        std::string shown;
        for (const char* f : {"/a.drc", "/A.DRC", "/b.wav", "/sub", "/gone"})
            if (panel.ShouldShow((fDir.Path() + f).c_str())) shown += f;
        EXPECT_EQ(shown, want);
    }
    panel.SetStartPath(Url("/sub/x/y/z.drc"));
    EXPECT_EQ(panel.StartDir(), Url("/sub"));
    CFolderPanel gone;
    gone.SetStartPath(LString("file:///NoSuchVolume/shows/x/"));
    EXPECT_TRUE(gone.StartDir().IsEmpty()) << "nothing above a volume that is gone";
    panel.ApplyChoice(1);
    panel.SetStartPath(Url("/A.DRC"));
    EXPECT_TRUE(panel.DefaultName() == "A.DRC" && panel.SelectedEntry() == 0);
}

TEST_F(Exchange, PanelCancelledWhileTimersFire) {
    auto types = Types();
    QtControlServices controls;  // hosts the accessory frame
    COpenPanel open;
    CSavePanel save;
    for (CFilePanel* panel : {static_cast<CFilePanel*>(&open), static_cast<CFilePanel*>(&save)}) {
        panel->SetFileTypes(types.get());
        LTimer timer(gApp);
        timer.Start(30u);
        std::string seen;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            QFileDialog* dlg = QtFilePanelServices::Running();
            if (!dlg || !dlg->isVisible() || timer.IsRunning()) return;
            seen = std::to_string(dlg->windowModality()) + dlg->defaultSuffix().toStdString() +
                   (std::ranges::any_of(dlg->findChildren<QWidget*>(),
                                        [](QWidget* w) { return dynamic_cast<MEmbeddedView*>(w); })
                        ? "+pop-up"
                        : "");
            dlg->reject();
        });
        poll.start(10);
        LString chosen;
        EXPECT_TRUE(!panel->Run() && !panel->WasAccepted() &&
                    panel->GetChosenPath(&chosen).IsEmpty());
        EXPECT_EQ(seen, panel == &save ? "2drc+pop-up" : "2+pop-up") << "modal, timers fired, type";
    }
}

}  // namespace

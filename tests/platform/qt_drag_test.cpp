// Drops on Qt (offscreen): drag events of the content view reach the panes as
// "LDrop_" messages; operations, cursors and answers; the dragged data and
// dropped files.
#include <gtest/gtest.h>

#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include <fstream>
#include <unistd.h>

#include "ShellFixture.h"
#include "base/CDropFileRef.h"
#include "base/Paths.h"
#include "framework/LDropPane.h"
#include "platform/qt/QtDrag.h"
#include "tools/testkit/SimDeviceProcess.h"

namespace {

ShellEnv* gEnv;
std::string gDrops;

// Takes drags over its bounds with its operation and logs the messages.
class Target : public LPane {
public:
    Target(LFrame* frame, const char* name, LRect r)
        : LPane(frame, frame), fName(name), fReg(this) {
        SetBounds(r);
    }
    LMessage HandleMessage(const LMessage& msg) override {
        if (msg.Is(LDrop_Sense)) {
            LDrop::From(msg)->TrackTarget(this);
            LDrop::From(msg)->SetOperation(fOp);
            return LMessage();
        }
        for (const char* n : {LDrop_Enter, LDrop_Drag, LDrop_Leave, LDrop_Drop})
            if (msg.Is(n)) {
                gDrops += std::string(gDrops.empty() ? "" : " ") + fName + ":" + (n + 6);
                if (msg.Is(LDrop_Drop)) fDropped = LDrop::From(msg);
                return LMessage();
            }
        return LPane::HandleMessage(msg);
    }
    const char* fName;
    i32 fOp = 3;
    LDrop* fDropped = nullptr;
    LDropRegistration fReg;
};

class Drops : public ::testing::Test {
protected:
    static void SetUpTestSuite() { gEnv = new ShellEnv("offscreen"); }
    static void TearDownTestSuite() { delete gEnv; }
    void SetUp() override {
        gDrops.clear();
        fFrame.GetWindow()->SetContentRect(LRect(100, 100, 400, 300));
        fFrame.ShowWindow();
        fMime.setData("public.data", "");
        fMime.setData("x.y.scene", "scene bytes");
    }
    // Sends a drag event to the content view; answers whether it was accepted
    // and the action.
    std::pair<bool, int> Send(QEvent::Type t, int x, int y,
                              Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction) {
        QWidget* view = fFrame.Native()->View();
        QDropEvent* e =
            t == QEvent::DragEnter
                ? new QDragEnterEvent(QPoint(x, y), actions, &fMime, Qt::LeftButton, Qt::NoModifier)
            : t == QEvent::DragMove
                ? new QDragMoveEvent(QPoint(x, y), actions, &fMime, Qt::LeftButton, Qt::NoModifier)
                : new QDropEvent(QPointF(x, y), actions, &fMime, Qt::LeftButton, Qt::NoModifier);
        e->setAccepted(false);
        QCoreApplication::sendEvent(view, e);
        const std::pair<bool, int> r{e->isAccepted(), int(e->dropAction())};
        delete e;
        return r;
    }
    RecFrame fFrame{kWindowOrdinary, 6};
    QMimeData fMime;
};

TEST_F(Drops, MessagesBetweenPanesAndNoTaker) {
    auto* a = new Target(&fFrame, "a", LRect(0, 0, 100, 100));
    auto* b = new Target(&fFrame, "b", LRect(150, 0, 250, 100));
    EXPECT_TRUE(fFrame.Native()->View()->acceptDrops());
    EXPECT_TRUE(Send(QEvent::DragEnter, 10, 10).first);
    EXPECT_TRUE(Send(QEvent::DragMove, 160, 10).first);
    EXPECT_EQ(gDrops, "a:Enter a:Drag a:Leave b:Enter b:Drag");
    gDrops.clear();
    // Nobody there: none, the arrow.
    EXPECT_FALSE(Send(QEvent::DragMove, 120, 150).first);
    EXPECT_EQ(gDrops, "b:Leave");
    auto* drag = static_cast<QtDragServices*>(&DragServices());
    EXPECT_EQ(drag->CursorOf(fFrame.Native()), DropCursor::kArrow);
    // Dropped: the reader fetches the type once; only index 0 of it.
    Send(QEvent::DragMove, 20, 20);
    const auto dropped = Send(QEvent::Drop, 20, 20);
    EXPECT_TRUE(dropped.first);
    EXPECT_EQ(dropped.second, int(Qt::CopyAction));
    EXPECT_NE(gDrops.find("a:Drop"), std::string::npos);
    delete a;
    EXPECT_TRUE(fFrame.Native()->View()->acceptDrops());
    delete b;
    EXPECT_FALSE(fFrame.Native()->View()->acceptDrops()) << "last drop pane gone";
}

TEST_F(Drops, OperationsCursorsAndAnswers) {
    const struct {
        i32 op;
        Qt::DropActions offered;
        DropCursor cursor;
        bool accepted;
        int action;
    } cases[] = {
        {1, Qt::CopyAction | Qt::MoveAction, DropCursor::kArrow, true, Qt::CopyAction},
        {1, Qt::CopyAction, DropCursor::kCopy, true, Qt::CopyAction},
        {2, Qt::CopyAction | Qt::MoveAction, DropCursor::kArrow, true, Qt::MoveAction},
        {3, Qt::CopyAction | Qt::MoveAction, DropCursor::kCopy, true, Qt::CopyAction},
        {4, Qt::CopyAction, DropCursor::kPlus, true, Qt::CopyAction},
        {5, Qt::LinkAction, DropCursor::kLink, true, Qt::LinkAction},
        {0, Qt::CopyAction, DropCursor::kArrow, false, Qt::IgnoreAction},
    };
    Target t(&fFrame, "t", LRect(0, 0, 200, 200));
    Send(QEvent::DragEnter, 10, 10);
    for (const auto& c : cases) {
        t.fOp = c.op;
        const auto r = Send(QEvent::DragMove, 10, 10, c.offered);
        EXPECT_EQ(r.first, c.accepted) << c.op;
        if (c.accepted) {
            EXPECT_EQ(r.second, c.action) << c.op;
        }
        EXPECT_EQ(static_cast<QtDragServices&>(DragServices()).CursorOf(fFrame.Native()), c.cursor)
            << c.op;
    }
    EXPECT_EQ(SystemOperationFor(1, 19), 19u);
    EXPECT_EQ(SystemOperationFor(7, 19), 0u);
}

TEST_F(Drops, DraggedTypesAndFiles) {
    testtftp::TempDir dir;
    const std::string a = dir.Path() + "/a.drc", b = dir.Path() + "/b.wav";
    std::ofstream(a) << "a";
    std::ofstream(b) << "b";
    ASSERT_EQ(symlink(a.c_str(), (dir.Path() + "/link").c_str()), 0);
    fMime.setUrls({QUrl::fromLocalFile(QString::fromStdString(dir.Path() + "/link")),
                   QUrl::fromLocalFile(QString::fromStdString(b)), QUrl("https://example.org/x")});
    Target t(&fFrame, "t", LRect(0, 0, 200, 200));
    Send(QEvent::DragEnter, 10, 10);
    LDrop* drop = LDropMgr::Instance().DropFor(fFrame.Native());
    ASSERT_TRUE(drop);
    EXPECT_TRUE(DragHasType(drop, LScrapType{LString("x.y.scene"), 0}));
    EXPECT_FALSE(DragHasType(drop, LScrapType{LString(), FourCC("TEXT")}));
    EXPECT_TRUE(DragHasFiles(drop));
    CDropDataReader reader(drop->Source());
    const void* p;
    u32 n;
    EXPECT_FALSE(reader.GetData(LScrapType{LString("x.y.scene"), 0}, 1, &p, &n));
    EXPECT_TRUE(reader.GetData(LScrapType{LString("x.y.scene"), 0}, 0, &p, &n));
    EXPECT_EQ(n, 11u);
    CDragFileReader files;
    files.Attach(drop);
    LString path, want;
    u32 status = 9;
    ASSERT_TRUE(files.GetFilePath(0, &path, &status));
    EXPECT_EQ(path, PosixPathToFileUrl(&want, LString(a.c_str())));
    EXPECT_EQ(status, 0u);
    ASSERT_TRUE(files.GetFilePath(1, &path, &status));
    EXPECT_EQ(path, PosixPathToFileUrl(&want, LString(b.c_str())));
    EXPECT_FALSE(files.GetFilePath(2, &path)) << "not a file";
    EXPECT_FALSE(files.GetFilePath(3, &path));
    Send(QEvent::Drop, 10, 10);
}

// Links that cannot be followed keep their path; the status says why.
TEST(DropFileRef, Statuses) {
    testtftp::TempDir dir;
    const std::string d = dir.Path();
    ASSERT_EQ(symlink((d + "/gone").c_str(), (d + "/dangling").c_str()), 0);
    const struct {
        std::string url;
        u32 status;
    } cases[] = {
        {"file:///Root" + d + "/missing.drc", CDropFileRef::kFileMissing},
        {"file:///Root" + d + "/nofolder/x/missing.drc", CDropFileRef::kFolderMissing},
        {"file:///Root" + d + "/dangling", CDropFileRef::kFileMissing},
        {"file:///NoSuchVolume/Music/a.wav", CDropFileRef::kFolderMissing},
    };
    for (const auto& c : cases) {
        const CDropFileRef ref(LString(c.url.c_str()));
        EXPECT_EQ(ref.Status(), c.status) << c.url;
        EXPECT_EQ(ref.Path(), c.url.c_str());
    }
}

}  // namespace

#include <gtest/gtest.h>

#include <QDrag>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

#include <fstream>
#include <string>

#include "ControlFixture.h"
#include "XvfbHarness.h"
#include "base/Resources.h"
#include "devices/CKvsDevCtl.h"
#include "devices/CKvsDevSet.h"
#include "devices/CKvsUploads.h"
#include "devices/files/CKvsFileFrm.h"
#include "records/CRecordDoc.h"
#include "records/PrefNodes.h"
#include "tools/testkit/SimDeviceProcess.h"

// Qt's drag on X11 wakes the session bus, whose library keeps a block for the process.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n";
}

namespace {

// A device without a queue: nothing is listed or sent, the contents stay as set.
struct Link : MDevObjLink {
    Link() : contents(NewDeviceContentsRecord()) {}
    CReqQueue* DeviceQueue() override { return nullptr; }
    CRecord* ContentsRecord() override { return contents.Root(); }
    LHandler* DialogOwner() override { return nullptr; }
    CRecordDoc contents;
};

TEST(FilesXvfb, RealFileDragOntoTheDropAreaQueuesUploads) {
    XvfbHarness x;
    if (!x.Ok()) GTEST_SKIP() << "no Xvfb, openbox or xdotool";
    ControlEnv env("xcb");
    static LResFile appFile(AppResFileRef());
    SetDefaultResChain(&appFile);
    RegisterAllRecordKinds();
    testtftp::TempDir dir;
    const std::string a = dir.Path() + "/take 1.drc", b = dir.Path() + "/take2.drc";
    std::ofstream(a) << "one";
    std::ofstream(b) << "two";

    CKvsDevSet set;
    Link link;
    link.ContentsRecord()->SetU8(nullptr, DctsF::field0, 1);  // the audio tab
    CKvsDevCtl ctl(gApp, &set, 999);
    LFrame win(&ctl, nullptr, LPaneOpt::Window(kWindowOrdinary, 6));
    win.Window()->SetContentRect(LRect(100, 100, 500, 400));
    CKvsFileFrm frm(&win, &win, &link);
    frm.SetBounds(LRect(0, 0, 400, 300));
    win.ShowWindow();
    RunUntil([] { return false; }, 500);
    ASSERT_EQ(frm.fDrop.Kind(), 1u);

    QWidget source;
    source.setWindowTitle("source");
    source.setGeometry(700, 100, 200, 200);
    source.show();
    RunUntil([] { return false; }, 500);

    const LRect c = win.Window()->GetContentScreenRect();
    const LRect d = frm.fDrop.Bounds();
    const int toX = c.left + (d.left + d.right) / 2, toY = c.top + (d.top + d.bottom) / 2;
    const QPoint from = source.mapToGlobal(QPoint(100, 100));
    x.Xdotool("mousemove " + std::to_string(from.x()) + " " + std::to_string(from.y()) +
              " mousedown 1");
    RunUntil([] { return false; }, 200);
    x.XdotoolAsync("sleep 0.3 mousemove " + std::to_string(from.x() - 30) + " " +
                   std::to_string(from.y()) + " sleep 0.2 mousemove " + std::to_string(toX) + " " +
                   std::to_string(toY) + " sleep 0.3 mousemove_relative 2 2 sleep 0.3 mouseup 1");
    auto* mime = new QMimeData;
    mime->setUrls({QUrl::fromLocalFile(QString::fromStdString(a)),
                   QUrl::fromLocalFile(QString::fromStdString(b))});
    // Qt deletes the drag itself once it ended.
    auto* drag = new QDrag(&source);
    drag->setMimeData(mime);
    const Qt::DropAction done = drag->exec(Qt::CopyAction);
    EXPECT_EQ(done, Qt::CopyAction);
    ASSERT_TRUE(RunUntil([&] { return ctl.Uploads() != nullptr; }, 3000));
    EXPECT_EQ(ctl.Uploads()->Jobs().JobsAdded(), 2u);
    ctl.Uploads()->Jobs().CancelAll();
    RunUntil([] { return false; }, 200);
    x.Screenshot(KEVO_BINARY_DIR "/files/xvfb_drop.png");
}

}  // namespace

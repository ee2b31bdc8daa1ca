// Under Xvfb: another process (this program as a child) reads our clipboard and
// offers text; real drags moved by xdotool while QDrag::exec runs.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QMimeData>
#include <QProcess>

#include <cstdio>

#include "XvfbKeys.h"
#include "ShellFixture.h"
#include "XvfbHarness.h"
#include "framework/LDropPane.h"
#include "platform/qt/QtDrag.h"

// Qt's drag on X11 wakes the session bus, whose library keeps a block for the process.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n";
}

namespace {

XvfbHarness* gX;
ShellEnv* gEnv;
const LScrapType kSeq{LString("com.kevorune.scraptype.kevoruneset.sequence"), 0};

class ExchangeXvfb : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (getenv("KV_CLIP_CHILD")) return;
        gX = new XvfbHarness;
        if (gX->Ok()) gEnv = new ShellEnv("xcb");
    }
    static void TearDownTestSuite() { delete gEnv, delete gX; }
    void SetUp() override {
        if (!gX || !gX->Ok()) GTEST_SKIP() << "no Xvfb, openbox or xdotool, or the child";
    }
    static void Start(QProcess& p, const char* task) {
        qputenv("KV_CLIP_CHILD", task);
        p.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=ClipChild.*"});
        qunsetenv("KV_CLIP_CHILD");
    }
};

TEST_F(ExchangeXvfb, ClipboardBetweenProcesses) {
    auto* data = new LScrapData;
    data->AddItem(kSeq, "\x00\x01\xFFseq\r\n", 8, 0);
    data->AddItem(LScrapType{LString(), FourCC("TEXT")}, "\x00zz", 3, 0);
    LClipboard clip;
    clip.Put(data);
    QProcess reader;
    Start(reader, "read");
    ASSERT_TRUE(WaitUntil([&] { return reader.state() == QProcess::NotRunning; }, 10000));
    EXPECT_TRUE(reader.readAllStandardOutput().contains("<0001ff7365710d0a>\n<007a7a>\n"));
    QProcess offer;
    Start(offer, "offer");
    EXPECT_TRUE(WaitUntil([] { return LTextScrap().IsAvailable(); }, 10000));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "from the other side");
    offer.kill();
    offer.waitForFinished(5000);
}

TEST(ClipChild, Serve) {
    const char* task = getenv("KV_CLIP_CHILD");
    if (!task) GTEST_SKIP() << "run by ClipboardBetweenProcesses";
    ShellEnv env("xcb");
    if (std::string(task) == "offer") {
        QGuiApplication::clipboard()->setText("from the other side");
        for (;;) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    }
    for (const char* f : {kSeq.name.CStr(), "application/x-fourcc-TEXT"})
        printf("<%s>\n", QGuiApplication::clipboard()->mimeData()->data(f).toHex().data());
}

// Takes drags with a move; keeps the bytes dropped.
struct Target : LPane {
    Target(LFrame* frame, LRect r) : LPane(frame, frame), fReg(this) { SetBounds(r); }
    LMessage HandleMessage(const LMessage& msg) override {
        LDrop* drop = LDrop::From(msg);
        const void* p;
        u32 n;
        if (msg.Is(LDrop_Sense)) drop->TrackTarget(this), drop->SetOperation(2);
        if (msg.Is(LDrop_Drop))
            if (CDropDataReader r(drop->Source()); r.GetData(kSeq, 0, &p, &n))
                fDropped.assign(static_cast<const char*>(p), n);
        return std::string(msg.name).starts_with("LDrop_") ? LMessage() : LPane::HandleMessage(msg);
    }
    std::string fDropped;
    LDropRegistration fReg;
};

TEST_F(ExchangeXvfb, RealDragMovedOntoAPaneOrDroppedNowhere) {
    RecFrame frame(kWindowOrdinary, 6);
    frame.GetWindow()->SetContentRect(LRect(100, 100, 500, 400));
    frame.ShowWindow();
    Await("the window active",
          [&] { return frame.Native()->isActiveWindow() && frame.Native()->ActiveForMs() > 150; });
    Target target(&frame, LRect(200, 0, 380, 200));
    const LRect c = frame.GetWindow()->GetContentScreenRect();
    LScrapData data;
    data.AddItem(kSeq, "seq", 3, 0);
    const std::tuple<int, int, u32, const char*> cases[] = {
        {c.left + 300, c.top + 100, kDragMove, "seq"}, {5, 5, 0, ""}};
    for (const auto& [toX, toY, performed, dropped] : cases) {
        target.fDropped.clear();
        const int x = c.left + 40, y = c.top + 40;
        gX->Xdotool("mousemove " + std::to_string(x) + " " + std::to_string(y) + " mousedown 1");
        Await("the press taken",
              [] { return bool(QGuiApplication::mouseButtons() & Qt::LeftButton); });
        gX->XdotoolAsync("sleep 0.3 mousemove " + std::to_string(x + 30) + " " + std::to_string(y) +
                         " sleep 0.2 mousemove " + std::to_string(toX) + " " + std::to_string(toY) +
                         " sleep 0.3 mousemove_relative 2 2 sleep 0.3 mouseup 1");
        const LDragStart start{frame.GetWindow()->Native(), &data, false, {}, {}, {x, y}};
        EXPECT_EQ(DragServices().RunDrag(start), performed) << toX;
        EXPECT_EQ(target.fDropped, dropped);
        Await("the pointer let go",
              [] { return !(QGuiApplication::mouseButtons() & Qt::LeftButton); });
    }
}

}  // namespace

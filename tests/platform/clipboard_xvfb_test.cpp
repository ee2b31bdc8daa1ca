// The clipboard between processes under a real X server: a second process (this
// program again, in its child role) reads what we copied, and offers text that
// we see. Skipped where Xvfb, openbox or xdotool is missing.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QMimeData>
#include <QProcess>

#include <cstdio>

#include "ShellFixture.h"
#include "XvfbHarness.h"
#include "base/LScrap.h"

namespace {

XvfbHarness* gX;
ShellEnv* gEnv;

const LString kSeq("com.kevorune.scraptype.kevoruneset.sequence");

class ClipXvfb : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (getenv("KV_CLIP_CHILD")) return;
        gX = new XvfbHarness;
        if (gX->Ok()) gEnv = new ShellEnv("xcb");
    }
    static void TearDownTestSuite() {
        delete gEnv;
        delete gX;
    }
    void SetUp() override {
        if (getenv("KV_CLIP_CHILD")) GTEST_SKIP();
        if (!gX->Ok()) GTEST_SKIP() << "no Xvfb, openbox or xdotool";
    }
    // The child role with a task; the clipboard is served while it runs.
    static void StartChild(QProcess& p, const char* task) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("KV_CLIP_CHILD", task);
        p.setProcessEnvironment(env);
        p.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=ClipChild.*"});
    }
};

TEST_F(ClipXvfb, AnotherProcessReadsTypesByteExact) {
    std::string bytes("\x00\x01\xFFsequence\r\n", 13);
    auto* data = new LScrapData;
    data->AddItem(LScrapType{kSeq, 0}, bytes.data(), u32(bytes.size()), 0);
    data->AddItem(LScrapType{LString(), FourCC("TEXT")}, "\x00zz", 3, 0);
    LClipboard clip;
    clip.Put(data);
    QProcess child;
    StartChild(child, "read");
    ASSERT_TRUE(RunUntil([&] { return child.state() == QProcess::NotRunning; }, 10000));
    const QByteArray out = child.readAllStandardOutput();
    EXPECT_NE(out.indexOf(QByteArray(kSeq.CStr()) + "=" +
                          QByteArray(bytes.data(), qsizetype(bytes.size())).toHex() + "\n"),
              -1)
        << out.toStdString();
    EXPECT_NE(out.indexOf("application/x-fourcc-TEXT=007a7a\n"), -1) << out.toStdString();
    EXPECT_NE(out.indexOf("public.data=\n"), -1) << out.toStdString();
}

TEST_F(ClipXvfb, TextOfferedByAnotherProcess) {
    QGuiApplication::clipboard()->clear();
    LTextScrap text;
    ASSERT_TRUE(RunUntil([&] { return !text.IsAvailable(); }));
    QProcess child;
    StartChild(child, "offer");
    EXPECT_TRUE(RunUntil([&] { return text.IsAvailable(); }, 10000));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "from the other side");
    child.kill();
    child.waitForFinished(5000);
}

// The child role: reads the formats, or offers text until killed.
TEST(ClipChild, Serve) {
    const char* task = getenv("KV_CLIP_CHILD");
    if (!task) GTEST_SKIP() << "run by the ClipXvfb tests";
    ShellEnv env("xcb");
    if (std::string(task) == "offer") {
        QGuiApplication::clipboard()->setText("from the other side");
        for (;;) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    }
    const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
    ASSERT_TRUE(mime);
    for (const char* f : {kSeq.CStr(), "application/x-fourcc-TEXT", "public.data"})
        printf("%s=%s\n", f, mime->data(f).toHex().constData());
}

}  // namespace

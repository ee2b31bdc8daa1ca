// The clipboard on QClipboard (offscreen): pasteboard types of scrap types,
// Copy and Paste through the application's clipboard, the text item, and
// items written to a drag's mime data.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QMimeData>

#include "ShellFixture.h"
#include "base/LHandle.h"
#include "base/LScrap.h"
#include "platform/qt/QtPasteboard.h"

namespace {

ShellEnv* gEnv;

class Pasteboard : public ::testing::Test {
protected:
    static void SetUpTestSuite() { gEnv = new ShellEnv("offscreen"); }
    static void TearDownTestSuite() { delete gEnv; }
    void SetUp() override { QGuiApplication::clipboard()->clear(); }
};

const LString kScene("com.kevorune.scraptype.kevoruneset.scene");

TEST_F(Pasteboard, TypeOfCodeOnlyItems) {
    const struct {
        const char* name;
        u32 code;
        const char* format;
    } cases[] = {
        {"", FourCC("TEXT"), "application/x-fourcc-TEXT"},
        {"", FourCC(" AB "), "application/x-fourcc-AB"},
        {"", FourCC("  X "), "application/x-fourcc-X"},
        {"", 0x41004243u, "application/x-fourcc-A"},
        {"x.y.scene", FourCC("TEXT"), "x.y.scene"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MimeFormatOf(LScrapType{LString(c.name), c.code}).toStdString(), c.format)
            << c.name << " " << c.code;
    }
}

TEST_F(Pasteboard, CopyAndPaste) {
    LClipboard clip;
    EXPECT_FALSE(LPbScrapReader().HasType(kScene)) << "no pasteboard attached yet";
    auto* data = new LScrapData;
    data->AddItem(LScrapType{kScene, 0}, "first", 5, 0);
    data->AddItem(LScrapType{LString(), FourCC("TEXT")}, "code", 4, 0);
    data->AddItem(LScrapType{kScene, 0}, "second!", 7, 0);
    clip.Put(data);
    const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
    ASSERT_TRUE(mime);
    EXPECT_TRUE(mime->hasFormat("public.data"));
    EXPECT_EQ(mime->data("application/x-fourcc-TEXT"), QByteArray("code"));
    EXPECT_TRUE(clip.HasType(kScene));
    EXPECT_FALSE(clip.HasType(LString("other.type")));
    LDataBuf buf;
    ASSERT_TRUE(clip.GetReader().GetData(LScrapType{kScene, 0}, buf));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(buf.Data()), buf.Capacity()), "second!");
    ASSERT_TRUE(clip.GetReader().GetData(LScrapType{LString(), FourCC("TEXT")}, buf));
    EXPECT_EQ(buf.Capacity(), 4u);
    EXPECT_FALSE(clip.GetReader().GetData(LScrapType{LString("none"), 0}, buf));
}

TEST_F(Pasteboard, TextItem) {
    LTextScrap empty;
    QGuiApplication::clipboard()->setText("kept");
    empty.WriteToPasteboard();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "kept");
    LTextScrap text;
    text.fText = LString("new \xE2\x82\xAC");
    text.WriteToPasteboard();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QString::fromUtf8("new \xE2\x82\xAC"));
    EXPECT_TRUE(text.IsAvailable());
    QGuiApplication::clipboard()->clear();
    EXPECT_FALSE(text.IsAvailable());
}

// A drag is local exactly when every item stays inside the application.
TEST_F(Pasteboard, DragPasteboardAndLocalItems) {
    const struct {
        u32 flags[2];
        bool local;
    } cases[] = {{{1, 1}, true}, {{1, 0}, false}, {{0, 3}, false}, {{3, 1}, true}};
    for (const auto& c : cases) {
        LScrapData data;
        data.AddItem(LScrapType{kScene, 0}, "a", 1, c.flags[0]);
        data.AddItem(LScrapType{LString(), FourCC("scn ")}, "b", 1, c.flags[1]);
        QMimeData mime;
        EXPECT_EQ(data.WriteToPasteboard(&mime), c.local);
        EXPECT_EQ(mime.formats().size(), 3) << mime.formats().join(",").toStdString();
        CMimeDropSource* src = new CMimeDropSource(&mime);
        CDropDataReader reader(src);
        src->Release();
        const void* p;
        u32 n;
        EXPECT_TRUE(reader.GetData(LScrapType{LString(), FourCC("scn ")}, 0, &p, &n));
        EXPECT_EQ(n, 1u);
        EXPECT_FALSE(reader.GetData(LScrapType{kScene, 0}, 1, &p, &n)) << "offered once";
    }
}

}  // namespace

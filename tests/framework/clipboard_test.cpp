// Clipboard operations over the pasteboard, and the device-file pop-up menu.
#include <gtest/gtest.h>

#include "FakeWindows.h"
#include "base/LScrap.h"
#include "framework/ContentFileMenu.h"
#include "framework/LMenu.h"
#include "records/CRecord.h"
#include "records/CRecordDoc.h"
#include "records/PrefNodes.h"

namespace {

int sDeleted = 0;

class CountedText : public LTextScrap {
public:
    ~CountedText() override { ++sDeleted; }
};

TEST(Clipboard, OwnedItemsDataListsAndOtherApplications) {
    FakeServices services;
    FakeWindows windows(services);
    LClipboard clip;
    LTextScrap kind;

    // Text from another application: offered, but a text item cannot read it.
    windows.ExternalText();
    EXPECT_TRUE(clip.CanProvide(kind));
    EXPECT_FALSE(clip.Read(kind));

    // Our own text is written out and pastes back.
    CountedText* mine = new CountedText;
    mine->fText = "abc";
    sDeleted = 0;
    clip.SetOwner(mine);
    EXPECT_EQ(windows.fText, "abc");
    EXPECT_TRUE(clip.CanProvide(kind));
    EXPECT_TRUE(clip.Read(kind));
    EXPECT_EQ(kind.fText, "abc");
    // Handing over the item already owned keeps it alive.
    clip.SetOwner(mine);
    EXPECT_EQ(sDeleted, 0);
    EXPECT_EQ(mine->fText, "abc");
    // Replacing it deletes it exactly once.
    clip.SetOwner(new CountedText);
    EXPECT_EQ(sDeleted, 1);

    // A data list goes to the pasteboard at once; null only empties.
    LScrapData* data = new LScrapData;
    ASSERT_TRUE(data->AddItem(LScrapType{"a.scraptype.kevoruneset.sequence", 0}, "xy", 2, 0));
    clip.Put(data);
    EXPECT_EQ(sDeleted, 2);
    EXPECT_EQ(clip.fData, data);
    EXPECT_TRUE(clip.HasType("a.scraptype.kevoruneset.sequence"));
    EXPECT_FALSE(clip.HasType("b.scraptype.kevoruneset.scene"));
    LDataBuf bytes;
    EXPECT_TRUE(clip.GetReader().GetData(LScrapType{"a.scraptype.kevoruneset.sequence", 0}, bytes));
    EXPECT_EQ(bytes.Capacity(), 2u);
    const u32 writes = windows.fPbWrites;
    clip.Put(nullptr);
    EXPECT_EQ(clip.fData, nullptr);
    EXPECT_EQ(clip.fOwner, nullptr);
    EXPECT_EQ(windows.fPbWrites, writes);
}

TEST(ContentFiles, NamesAndThePopupMenu) {
    RegisterPrefNodeKinds();
    FakeServices services;
    FakeWindows windows(services);
    CRecordDoc doc(NewDeviceContentsRecord());
    CRecord* contents = doc.Root();
    for (const char* name : {"b.drc", "a.drc"}) NodeListInsertSorted(contents, 0, name, "1", "");
    NodeListInsertSorted(contents, 1, "song.wav", "1", "");

    struct Name {
        const char* name;
        const char* shown;
    } names[] = {{"a.drc", "a"}, {"gone.drc", "(gone)"}, {"", ""}, {"song.wav", "(song)"}};
    for (const Name& n : names) {
        LString s;
        EXPECT_EQ(GetContentFileDisplayName(&s, n.name, contents, 0), n.shown) << n.name;
    }

    LMenu menu(nullptr, LString("POP"), LString("Files"));
    for (const char* title : {"None", "", "stale"}) {
        LMenuItem* item = new LMenuItem(&menu);
        item->fTitle = title;
        menu.AppendItem(item);
    }
    struct Fill {
        const char* current;
        int checked;  // the index of the one checked item
    } fills[] = {{"", 0}, {"b.drc", 3}, {"gone.drc", -1}};
    for (const Fill& f : fills) {
        FillContentFileMenu(&menu, contents, 0, f.current);
        ASSERT_EQ(menu.CountItems(), 4u);
        EXPECT_EQ(menu.ItemAt(2)->fTitle, "a");
        for (u32 i = 0; i < 4; ++i)
            EXPECT_EQ(menu.ItemAt(i)->fChecked != 0, int(i) == f.checked) << f.current << i;
    }
    LString full;
    EXPECT_EQ(GetSelectedContentFile(&full, menu.ItemAt(3), contents, 0), "b.drc");
    EXPECT_EQ(GetSelectedContentFile(&full, menu.ItemAt(0), contents, 0), "");
}

}  // namespace

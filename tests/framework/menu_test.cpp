// Menus: building from resources, key texts, validation queries, the
// interceptor, window bars lent to the current bar, and the program's own bars.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "FakeWindows.h"
#include "TestResources.h"
#include "framework/InputState.h"
#include "framework/LMenu.h"

namespace {

constexpr u32 T = kMenuResType;
constexpr u32 B = kMenuBarResType;

// Records what reaches it.
class Recorder : public LHandler {
public:
    LMessage HandleMessage(const LMessage& msg) override {
        got.push_back({msg.name, msg.source});
        return LMessage();
    }
    std::vector<std::pair<std::string, LHandler*>> got;
};

class Menus : public ::testing::Test {
protected:
    void SetUp() override {
        const u32 ref = OpenTestArchive({
            {T,
             "QUITM",
             {"QUITM\nFile", "cA\nAlpha\nA", "\n", "\n", "LStdCmd_Quit\nQuit\nQ", "cB\nBeta"}},
            {T, "ONE", {"ONE\nOne", "cX\nFirst", "cV\nOne", "cS\nSub\n\nSUB"}},
            {T, "TWO", {"TWO\nTwo", "cX\nSecond", "cV\nTwo\nsZ"}},
            {T, "SUB", {"SUB\nSub", "cX\nInner"}},
            {T, "W1", {"W1\nW1", "cW\nWin"}},
            {T, "W2", {"W2\nW2"}},
            {T, "WINDOW", {"WINDOW\nWindow"}},
            {B, "BAR", {"ONE", "TWO"}},
            {B, "BARW", {"ONE", "WINDOW"}},
            {B, "WBAR", {"W1", "W2"}},
        });
        ASSERT_NE(ref, 0u);
        file = std::make_unique<LResFile>(ref);
    }
    static std::string Names(const LMenuBar& bar) {
        std::string s;
        for (u32 i = 0; i < bar.CountMenus(); ++i)
            s += std::string(bar.MenuAt(i)->Name().View()) + " ";
        return s;
    }

    FakeServices services;
    FakeWindows windows{services};
    std::unique_ptr<LResFile> file;
};

TEST_F(Menus, QuitEndsTheMenuAndTakesTheSeparatorsBeforeIt) {
    LMenuBar bar(nullptr);
    LMenu menu(&bar, "QUITM", file.get());
    ASSERT_EQ(menu.CountItems(), 2u);
    EXPECT_EQ(menu.ItemAt(0)->fTitle, "Alpha");
    EXPECT_TRUE(menu.ItemAt(1)->HasCommand(LStdCmd_Quit));
    // The platform's own application menu has Quit: no native item for ours.
    FakeWindows::Menu* native = windows.FindMenu(menu.Native());
    ASSERT_NE(native, nullptr);
    ASSERT_EQ(native->items.size(), 1u);
    EXPECT_EQ(native->items[0].title, "Alpha");
    EXPECT_EQ(menu.FindItemForNative(LNativeItem{menu.Native(), 0}), menu.ItemAt(0));
}

TEST(KeyTexts, Parse) {
    struct Case {
        const char* text;
        bool ok;
        u8 key;
        u32 itemMods;
    } cases[] = {
        {"sZ", true, 'Z', kItemShift},
        {"nF", true, 'F', kItemNoCommand},
        {"z", false, 0, 0},
        {"Q", true, 'Q', 0},
        {"con ", true, ' ', kItemControl | kItemOption | kItemNoCommand},
        {"sZx", false, 0, 0},
        {"", false, 0, 0},
        {"s\x7f", false, 0, 0},
    };
    for (const Case& c : cases) {
        LMenuItem item(nullptr);
        item.SetKeyText(c.text);
        EXPECT_EQ(item.fKeyChar, c.key) << c.text;
        EXPECT_EQ(item.fModifiers, c.itemMods) << c.text;
        u8 key;
        u32 flags;
        EXPECT_EQ(ParseKeyText(c.text, &key, &flags), c.ok) << c.text;
    }
}

TEST(KeyTexts, GlyphsAndKeyboard) {
    LString s;
    EXPECT_TRUE(KeyGlyphsFromSpec('A', kKeyControl | kKeyOption | kKeyShift | kKeyCommand, &s));
    EXPECT_EQ(s, "^\u2325\u21E7\u2318A");
    EXPECT_TRUE(KeyGlyphsFromSpec(' ', kKeyCommand, &s));
    EXPECT_EQ(s, "\u2318Space");
    EXPECT_FALSE(KeyGlyphsFromSpec(127, 0, &s));

    LKeyboard kb;
    struct Case {
        u32 ch;
        u32 mods;
        const char* text;  // null: no key text
    } cases[] = {
        {'z', kModShift, "snZ"},
        {'z', kModShift | kModCommand, "sZ"},
        {'a', kModControl | kModOption | kModCommand, "coA"},
        {'1', kModShift, "n1"},
        {8, 0, nullptr},
    };
    for (const Case& c : cases) {
        kb.SetEvent(c.ch, c.mods);
        EXPECT_EQ(KeyTextFromKeyboard(&s), c.text != nullptr) << c.ch;
        if (c.text) {
            EXPECT_EQ(s, c.text);
            // What the keyboard builds must parse back to the same key.
            u8 key;
            u32 flags;
            EXPECT_TRUE(ParseKeyText(c.text, &key, &flags)) << c.text;
        }
    }
}

TEST_F(Menus, QueriesFollowMenuOrderAndSkipSubmenus) {
    LMenuBar bar(nullptr, "BAR", file.get());
    bar.ResetItemStates();
    bar.EnableCommand("cX");
    bar.EnableCommand("cS");
    LMenu* one = bar.FindMenu("ONE");
    LMenu* two = bar.FindMenu("TWO");
    LMenu* sub = bar.FindMenu("SUB");
    ASSERT_TRUE(one && two && sub);
    EXPECT_EQ(bar.FindEnabledItemByCommand("cX"), one->ItemAt(0));
    // Only the submenu's item carrying cS: the item holding the submenu never answers.
    EXPECT_EQ(bar.FindEnabledItemByCommand("cS"), nullptr);
    one->ItemAt(0)->fEnabled = 0;
    // Own items first, then submenus of enabled items, menu by menu.
    EXPECT_EQ(bar.FindEnabledItemByCommand("cX"), sub->ItemAt(0));
    LMenu* container = nullptr;
    i32 index = -1;
    EXPECT_TRUE(bar.LocateMenu(sub, &container, &index));
    EXPECT_EQ(container, one);
    EXPECT_EQ(index, 2);

    struct Case {
        const char* value;
        bool firstChecked, secondChecked, any;
    } cases[] = {
        {"Two", false, true, true}, {"", true, true, true}, {"Three", false, false, false}};
    for (const Case& c : cases) {
        bar.ResetItemStates();
        EXPECT_EQ(bar.CheckCommand("cV", c.value), c.any) << c.value;
        EXPECT_EQ(one->ItemAt(1)->fChecked != 0, c.firstChecked) << c.value;
        EXPECT_EQ(two->ItemAt(1)->fChecked != 0, c.secondChecked) << c.value;
    }

    // Validation reaches the native side: enabled, checked, key equivalent.
    bar.EnableCommand("cV", "Renamed");
    bar.SyncAll();
    const FakeWindows::Item& native = windows.FindMenu(two->Native())->items[1];
    EXPECT_TRUE(native.enabled);
    EXPECT_EQ(native.title, "Renamed");
    EXPECT_EQ(native.key, 'Z');
    EXPECT_EQ(native.modifiers, u32(kItemShift));
    EXPECT_EQ(bar.FindEnabledItemByKey("sZ"), two->ItemAt(1));
}

TEST_F(Menus, AnInterceptorTakesChosenItems) {
    LMenuBar bar(nullptr, "BAR", file.get());
    Recorder interceptor;
    LMenu* two = bar.FindMenu("TWO");
    two->EnableAllItems();
    LMenuBar::SetInterceptor(&interceptor);
    EXPECT_EQ(bar.ItemChosen(LNativeItem{two->Native(), 1}), nullptr);
    EXPECT_EQ(bar.FindEnabledItemByKey("sZ"), nullptr);
    LMenuBar::SetInterceptor(nullptr);
    ASSERT_EQ(interceptor.got.size(), 2u);
    EXPECT_EQ(interceptor.got[0].first, LMenuItem_Selected);
    EXPECT_EQ(interceptor.got[0].second, two->ItemAt(1));
    EXPECT_EQ(bar.ItemChosen(LNativeItem{two->Native(), 1}), two->ItemAt(1));
}

TEST_F(Menus, WindowBarsAreLentAndGivenBack) {
    struct Case {
        const char* bar;
        const char* merged;  // native bar while merged
        const char* list;    // the bar's own list while merged
    } cases[] = {
        {"BAR", "One|Two|W1|W2", "ONE TWO W1 W2 "},
        {"BARW", "One|W1|W2|Window", "ONE WINDOW W1 W2 "},
    };
    for (const Case& c : cases) {
        LMenuBar bar(nullptr, c.bar, file.get());
        ASSERT_TRUE(bar.IsCurrent());
        const std::string before = windows.BarTitles();
        {
            LWindowMenu wbar(nullptr, "WBAR", file.get());
            EXPECT_FALSE(wbar.IsCurrent());
            wbar.MergeIntoCurrentBar();
            EXPECT_EQ(windows.BarTitles(), c.merged) << c.bar;
            EXPECT_EQ(Names(bar), c.list) << c.bar;
            EXPECT_EQ(Names(wbar), "");
            wbar.UnmergeFromCurrentBar();
            EXPECT_EQ(Names(wbar), "W1 W2 ");
            EXPECT_EQ(windows.BarTitles(), before);
            // Lent again, then destroyed while lent: the bar keeps nothing of it.
            wbar.MergeIntoCurrentBar();
        }
        EXPECT_EQ(windows.BarTitles(), before);
        EXPECT_EQ(bar.CountMenus(), 2u);
    }
}

TEST_F(Menus, ItemsAddedLaterReachTheChainOnce) {
    Recorder owner;
    LMenuBar bar(&owner, "BAR", file.get());
    services.fNow += 1;
    LTimer::FireDue(services.fNow, nullptr, nullptr, true);
    LMenu* one = bar.FindMenu("ONE");
    owner.got.clear();
    one->AppendItem(new LMenuItem(one));
    one->AppendItem(new LMenuItem(one));
    LTimer::FireDue(services.fNow, nullptr, nullptr, true);
    ASSERT_EQ(owner.got.size(), 1u);
    EXPECT_EQ(owner.got[0].first, LMenuBar_Added);
    EXPECT_EQ(windows.FindMenu(one->Native())->items.size(), 5u);
}

// Every bar of the program builds, with every menu present and every key text valid.
TEST(ProgramMenus, EveryBarBuilds) {
    static LResFile app(AppResFileRef());
    FakeServices services;
    FakeWindows windows(services);
    int bars = 0;
    for (const auto& entry : std::filesystem::directory_iterator(KEVO_SOURCE_DIR "/resources")) {
        if (entry.path().extension() != ".tmnb") continue;
        ++bars;
        std::string name = entry.path().stem().string();
        LResId id{0, name.c_str()};
        LStrListRes list(&id, &app, B);
        for (u32 i = 0; i < list.Count(); ++i) {
            LString menuName;
            list.GetItem(&menuName, i);
            LResId mid{0, menuName.CStr()};
            EXPECT_GT(LStrListRes(&mid, &app, T).Count(), 0u)
                << "bar " << name << " names a missing 'TMNU' " << menuName.CStr();
        }
        LMenuBar bar(nullptr, name.c_str(), &app);
        bar.ForEachItem(&name, [](void* c, LMenuItem* it) {
            u8 key;
            u32 flags;
            if (it->fKeyText.IsEmpty()) return;
            EXPECT_TRUE(ParseKeyText(it->fKeyText.CStr(), &key, &flags))
                << "bar " << *static_cast<std::string*>(c) << ": bad key text \""
                << it->fKeyText.CStr() << "\" on " << it->fTitle.CStr();
        });
        if (name == "APP") {
            for (const char* cmd : kStdCmdNames) {
                bool found = false;
                for (u32 m = 0; m < bar.CountMenus() && !found; ++m)
                    for (u32 k = 0; k < bar.MenuAt(m)->CountItems() && !found; ++k)
                        found = bar.MenuAt(m)->ItemAt(k)->HasCommand(cmd);
                EXPECT_TRUE(found) << cmd;
            }
        }
    }
    EXPECT_GE(bars, 1);
}

}  // namespace

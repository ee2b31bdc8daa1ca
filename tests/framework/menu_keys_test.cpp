// Menu keys: applying the table to a bar, assigning keys through the dialog,
// the capture through the menus, and the table kept with the preferences.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FakeWindows.h"
#include "framework/CMenuKeyReg.h"
#include "framework/CViewPrefs.h"
#include "framework/InputState.h"
#include "records/DeviceKinds.h"
#include "records/NsqPrefKinds.h"
#include "records/ParamTables.h"
#include "records/PrefNodes.h"
#include "records/RecordKinds.h"

namespace {

// The application object's part in menu keys: the registry sees the bars and
// choices first, "LStdCmd_MenuKey" arms it, and the preferences record keeps
// the table (field mnky) and the view preferences (field vwpf).
class KeyApp : public CMainLoopBase {
public:
    LMessage HandleMessage(const LMessage& msg) override {
        const bool offered =
            msg.Is(LMenuBar_Added) || msg.Is(LMenuBar_Ready) || msg.Is(LMenuItem_Selected);
        if (offered && reg.HandleMessage(msg)) return LMessage();
        if (msg.Is(LMenuBar_Ready)) {
            auto* bar = static_cast<LMenuBar*>(msg.source);
            for (const char* c : {"cA", "cB", "cC", LStdCmd_MenuKey}) bar->EnableCommand(c);
        }
        if (msg.Is(LMenuItem_Selected)) {
            auto* item = static_cast<LMenuItem*>(msg.source);
            if (item->HasCommand(LStdCmd_MenuKey)) {
                reg.Arm();
                return LMessage();
            }
            chosen.push_back(std::string(item->FirstCommand().View()));
            return LMessage();
        }
        return CMainLoopBase::HandleMessage(msg);
    }
    void LoadPrefs(CRecord* pref) {
        reg.LoadFrom(pref, PrefF::mnky);
        CViewPrefs::Instance().Attach(pref->GetChild(PrefF::vwpf));
    }
    FakeMainLoop* Loop() { return static_cast<FakeMainLoop*>(RunLoop()); }

    CMenuKeyReg reg{this};
    std::vector<std::string> chosen;
};

// Deletes an item when it fires, as the application's rebuilt menus do.
struct ItemKiller : LHandler {
    LMessage HandleMessage(const LMessage&) override {
        if (victim) victim->Menu()->RemoveItem(victim);
        victim = nullptr;
        return LMessage();
    }
    LMenuItem* victim = nullptr;
};

struct MenuKeys : ::testing::Test {
    void SetUp() override {
        RegisterAllRecordKinds();
        static LResFile res(AppResFileRef());
        SetDefaultResChain(&res);
        app = std::make_unique<KeyApp>();
        bar = app->Loop()->AppMenuBar();
        menu = new LMenu(bar, LString("TEST"), LString("Test"));
        for (const char* spec : {"cA Alpha", "cB Beta", "cC One", "cC Two"}) {
            auto* item = new LMenuItem(menu);
            item->AddCommand(std::string(spec, 2).c_str());
            item->fTitle = item->fResTitle = spec + 3;
            menu->AppendItem(item);
        }
        bar->AddMenu(menu);
        pref = CRecord::New(CRecordSchema::Find(kFamKvs, kKindPref));
    }
    void TearDown() override {
        CViewPrefs::Instance().Attach(nullptr);
        CRecord::Destroy(pref);
        app.reset();
    }
    LMenuItem* Item(u32 i) { return menu->ItemAt(i); }
    std::string Key(u32 i) { return std::string(Item(i)->fKeyText.View()); }
    void Turn(std::initializer_list<u32> keys, u32 modifiers = 0) {
        std::vector<FakeEvent> turn;
        for (u32 c : keys) turn.push_back(FakeEvent{FakeEvent::kKeyDown, c, modifiers, {}});
        windows.ScriptTurn(turn);
    }
    // A table of (cmd, text, key) rows stored in the preferences record.
    void StoreRows(std::vector<std::vector<const char*>> rows) {
        CRecord* t = CRecord::New(CRecordSchema::Find(kFamUnd, kKindPrmt));
        ParamTableAppendColumn(t, nullptr);
        for (u32 r = 0; r < rows.size(); ++r) {
            ParamTableAppendRow(t, nullptr);
            const char* keys[] = {"cmd", "text", "key"};
            for (u32 k = 0; k < 3; ++k) ParamTableSetCell(t, nullptr, 0, r, keys[k], rows[r][k]);
        }
        CRecord::Destroy(pref->ReplaceChild(nullptr, PrefF::mnky, t));
    }

    FakeServices services;
    FakeWindows windows{services};
    LMouse mouse;
    LKeyboard keyboard;
    std::unique_ptr<KeyApp> app;
    LMenuBar* bar = nullptr;
    LMenu* menu = nullptr;
    CRecord* pref = nullptr;
};

TEST_F(MenuKeys, OneKeyNeverSitsOnTwoItems) {
    StoreRows({{"cA", "Alpha", "nK"}, {"cB", "Beta", "nK"}, {"cC", "One", "nJ"}});
    app->LoadPrefs(pref);
    EXPECT_EQ(Key(0), "");
    EXPECT_EQ(Key(1), "nK");
    EXPECT_EQ(app->reg.Cell(0, "key"), LString(""));
    EXPECT_EQ(Key(2), "nJ");
    EXPECT_EQ(Key(3), "");
}

TEST_F(MenuKeys, AssigningRefusesOwnAndUsedKeysAndKeepsEmptyKeysOnlyBesideOthers) {
    LMenuItem* undo = bar->FindMenu("EDIT")->ItemAt(0);
    ASSERT_FALSE(undo->fKeyText.IsEmpty());
    Turn({13});  // dismisses the "own key" message
    app->reg.AssignKey(undo);
    EXPECT_EQ(app->reg.Rows(), 0u);

    // Command-Z is Undo's: the message, then the dialog again.
    Turn({'z', 13}, kModCommand);
    Turn({13});
    Turn({'q', 13});
    // The item dies while the dialog runs; only its command and title are used.
    ItemKiller killer;
    killer.victim = Item(0);
    LTimer timer(&killer);
    timer.Start(1u);
    app->reg.AssignKey(Item(0));
    EXPECT_EQ(killer.victim, nullptr);
    ASSERT_EQ(app->reg.Rows(), 1u);
    EXPECT_EQ(app->reg.Cell(0, "cmd"), LString("cA"));
    EXPECT_EQ(app->reg.Cell(0, "text"), LString("Alpha"));
    EXPECT_EQ(app->reg.Cell(0, "key"), LString("nQ"));

    Turn({13});  // OK without a key, no other row of cB: dropped
    app->reg.AssignKey(Item(0));
    EXPECT_EQ(app->reg.Rows(), 1u);
    Turn({'j', 13});
    app->reg.AssignKey(Item(1));
    EXPECT_EQ(Key(1), "nJ");
    Turn({13});  // beside cC's row for "One": kept
    app->reg.AssignKey(Item(2));
    ASSERT_EQ(app->reg.Rows(), 3u);
    EXPECT_EQ(app->reg.Cell(2, "text"), LString("Two"));
    EXPECT_EQ(app->reg.Cell(2, "key"), LString(""));
}

TEST_F(MenuKeys, AnAbandonedCaptureEndsAtTheNextValidation) {
    app->Loop()->ValidateMenus();
    LHandler::Send(LMenuItem_Selected, bar->FindEnabledItemByCommand(LStdCmd_MenuKey), app.get());
    EXPECT_TRUE(app->reg.IsArmed());
    app->Loop()->ValidateMenus();
    EXPECT_TRUE(app->reg.IsCapturing());
    app->Loop()->ValidateMenus();
    EXPECT_FALSE(app->reg.IsArmed());
    if (LMenuItem* a = bar->FindEnabledItemByCommand("cA"))
        LHandler::Send(LMenuItem_Selected, a, app.get());
    EXPECT_EQ(app->chosen, (std::vector<std::string>{"cA"}));

    // Armed, a choice goes to the dialog instead (cancelled here).
    LHandler::Send(LMenuItem_Selected, bar->FindEnabledItemByCommand(LStdCmd_MenuKey), app.get());
    app->Loop()->ValidateMenus();
    Turn({27});
    EXPECT_EQ(bar->FindEnabledItemByCommand("cB"), nullptr);
    EXPECT_EQ(app->chosen.size(), 1u);
    EXPECT_EQ(app->reg.Rows(), 0u);
}

TEST_F(MenuKeys, TheDialogCapturesPrintableKeys) {
    const struct {
        std::initializer_list<u32> keys;
        u32 result;
        const char* key;
    } cases[] = {{{'a', 13}, 1, "nA"}, {{'1', 27}, 2, "n1"}, {{27}, 2, ""}};
    for (const auto& c : cases) {
        CMenuKeyDlg dlg(app.get());
        dlg.ShowWindow();
        Turn(c.keys);
        EXPECT_EQ(dlg.ModalStep(LDialog::kNoLimit), c.result);
        EXPECT_EQ(dlg.KeyText(), LString(c.key));
        EXPECT_EQ(dlg.fDisplay.GetText().IsEmpty(), *c.key == 0);
    }
}

TEST_F(MenuKeys, TheTableSurvivesThePreferencesWalkAndFailedCopiesKeepTheStoredOne) {
    StoreRows({{"cA", "Alpha", "nK"}, {"cC", "One", "nJ"}, {"cC", "Two", ""}});
    app->LoadPrefs(pref);
    app->reg.SaveTo(pref, PrefF::mnky);
    CMemPrefStore store;
    ASSERT_TRUE(WriteToPrefNode(store, pref));
    CRecord* back = CRecord::New(CRecordSchema::Find(kFamKvs, kKindPref));
    ASSERT_TRUE(ReadFromPrefNode(store, back));
    KeyApp other;
    other.reg.LoadFrom(back, PrefF::mnky);
    ASSERT_EQ(other.reg.Rows(), 3u);
    for (u32 r = 0; r < 3; ++r)
        for (const char* k : {"cmd", "text", "key"})
            EXPECT_EQ(other.reg.Cell(r, k), app->reg.Cell(r, k)) << r << k;
    // Another kind in the field leaves the table.
    CRecord::Destroy(back->ReplaceChild(nullptr, PrefF::mnky, NewParamNodeRecord()));
    other.reg.LoadFrom(back, PrefF::mnky);
    EXPECT_EQ(other.reg.Rows(), 3u);
    CRecord::Destroy(back);

    // A cell nested too deep for the chunk reader: the copy fails.
    CRecord* n = app->reg.Table()->GetListItem(PrmtF::elms, 0);
    for (int i = 0; i < 80 && n; ++i) n = NodeGetOrCreate(n, nullptr, "x");
    const CRecord* stored = pref->GetChild(PrefF::mnky);
    app->reg.SaveTo(pref, PrefF::mnky);
    EXPECT_EQ(pref->GetChild(PrefF::mnky), stored);
}

}  // namespace

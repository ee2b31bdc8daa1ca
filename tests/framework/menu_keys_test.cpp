// Menu keys: applying the table to a bar, assigning keys through the dialog,
// the capture through the menus, and the table kept with the preferences.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FakeWindows.h"
#include "MenuKeyApp.h"
#include "framework/StdDialogs.h"
#include "framework/InputState.h"
#include "records/DeviceKinds.h"
#include "records/NsqPrefKinds.h"
#include "records/ParamTables.h"
#include "records/PrefNodes.h"
#include "records/RecordKinds.h"

namespace {

// Deletes an item when it fires, as the application's rebuilt menus do.
struct ItemKiller : LHandler {
    LMessage HandleMessage(const LMessage&) override {
        if (victim) victim->Menu()->RemoveItem(victim);
        victim = nullptr;
        return LMessage();
    }
    LMenuItem* victim = nullptr;
};

// Notes the text of each message dialog it finds up when it fires.
struct MessagePeek : LHandler {
    LMessage HandleMessage(const LMessage&) override {
        LWindow* w = LDesktop::FindWindowById(kWindowDialog);
        auto* d = w ? dynamic_cast<CSimpleMessageDialog*>(w->GetFrame()) : nullptr;
        const LString text = d ? d->fMessage.GetText() : LString();
        if (d && (seen.empty() || !(seen.back() == text))) seen.push_back(text);
        return LMessage();
    }
    std::vector<LString> seen;
};

struct MenuKeys : ::testing::Test {
    void SetUp() override {
        RegisterAllRecordKinds();
        static LResFile res(AppResFileRef());
        SetDefaultResChain(&res);
        app = std::make_unique<MenuKeyApp>();
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
    // The rows as "cmd text key;" each.
    static std::string Table(const CMenuKeyReg& reg) {
        std::string s;
        for (u32 r = 0; r < reg.Rows(); ++r)
            for (const char* k : {"cmd", "text", "key"})
                s += std::string(reg.Cell(r, k).View()) + (*k == 'k' ? ";" : " ");
        return s;
    }
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
    std::unique_ptr<MenuKeyApp> app;
    LMenuBar* bar = nullptr;
    LMenu* menu = nullptr;
    CRecord* pref = nullptr;
};

TEST_F(MenuKeys, OneKeyNeverSitsOnTwoItems) {
    StoreRows({{"cA", "Alpha", "nK"}, {"cB", "Beta", "nK"}, {"cC", "One", "nJ"}});
    app->LoadPrefs(pref);
    EXPECT_EQ(Key(0) + "," + Key(1) + "," + Key(2) + "," + Key(3), ",nK,nJ,");
    EXPECT_EQ(Table(app->reg), "cA Alpha ;cB Beta nK;cC One nJ;");
}

TEST_F(MenuKeys, ApplyingAgainGivesWhatTheFirstRunGave) {
    const std::vector<std::vector<std::vector<const char*>>> tables = {
        {{"cC", "One", "nK"}},
        {{"cC", "Two", "nK"}},
        {{"cC", "One", "nK"}, {"cC", "Two", ""}},
        {{"cA", "Alpha", "nK"}, {"cB", "Beta", "nK"}, {"cC", "One", "nJ"}},
        {{"cB", "Beta", "nK"}, {"cA", "Alpha", "nK"}, {"cC", "Three", "nJ"}},
    };
    for (const auto& rows : tables) {
        for (u32 i = 0; i < 4; ++i) Item(i)->SetKeyText(LString());
        StoreRows(rows);
        app->LoadPrefs(pref);
        auto state = [&] {
            return Key(0) + "," + Key(1) + "," + Key(2) + "," + Key(3) + " " + Table(app->reg);
        };
        const std::string first = state();
        for (int run = 2; run <= 3; ++run) {
            app->reg.ApplyKeys(bar);
            EXPECT_EQ(state(), first) << "run " << run << " of " << rows.size() << " rows";
        }
    }
}

TEST_F(MenuKeys, AssigningRefusesOwnAndUsedKeysAndKeepsEmptyKeysOnlyBesideOthers) {
    LMenuItem* undo = bar->FindMenu("EDIT")->ItemAt(0);
    ASSERT_FALSE(undo->fKeyText.IsEmpty());
    MessagePeek peek;
    LTimer peeking(&peek);
    peeking.StartRepeating(1u);
    Turn({});
    Turn({13});  // dismisses the "own key" message
    app->reg.AssignKey(undo);
    // Command-Z is Undo's: the message, then the dialog again. The item dies
    // while the dialog runs; only its command and title are used.
    Turn({'z', 13}, kModCommand);
    Turn({});
    Turn({13});
    // A key without Ctrl would be a letter typed: refused, the dialog again.
    Turn({'k', 13});
    Turn({});
    Turn({13});
    Turn({'e', 13}, kModCommand);
    ItemKiller killer;
    killer.victim = Item(0);
    LTimer timer(&killer);
    timer.Start(1u);
    app->reg.AssignKey(Item(0));
    EXPECT_EQ(killer.victim, nullptr);
    EXPECT_EQ(Table(app->reg), "cA Alpha E;");
    EXPECT_EQ(peek.seen, (std::vector<LString>{StdDialogText("CMENUKEYREG", 0),
                                               StdDialogText("CMENUKEYREG", 1),
                                               StdDialogText("CMENUKEYREG", 2)}));
    peeking.Stop();
    for (u32 i : {0, 1, 2}) {
        if (i == 1)
            Turn({'j', 13}, kModCommand);
        else
            Turn({13});
        app->reg.AssignKey(Item(i));  // Beta, One, Two
    }
    EXPECT_EQ(Key(1), "J");
    // Beta's empty key had no other row of its command; Two's stays beside One's.
    EXPECT_EQ(Table(app->reg), "cA Alpha E;cC One J;cC Two ;");
}

// A key the user gave stays theirs: it can be given again, changed and
// removed, in the session and after the table was stored and read back.
TEST_F(MenuKeys, AGivenKeyCanBeChangedAndRemoved) {
    MessagePeek peek;
    LTimer peeking(&peek);
    peeking.StartRepeating(1u);
    const struct {
        const char* what;
        u32 item;
        u32 key;           // 0: OK without a key
        bool restart;      // the table stored and read back first
        const char* keys;  // the four items' keys after
        const char* table;
    } steps[] = {
        {"given", 0, 'k', false, "K,,,", "cA Alpha K;"},
        {"given the same again", 0, 'k', false, "K,,,", "cA Alpha K;"},
        {"changed", 0, 'l', false, "L,,,", "cA Alpha L;"},
        {"another item", 1, 'k', false, "L,K,,", "cA Alpha L;cB Beta K;"},
        {"changed after a restart", 1, 'm', true, "L,M,,", "cA Alpha L;cB Beta M;"},
        {"removed", 0, 0, false, ",M,,", "cB Beta M;"},
        {"removed after a restart", 1, 0, true, ",,,", ""},
    };
    for (const auto& s : steps) {
        if (s.restart) {
            app->SavePrefs(pref);
            for (u32 i = 0; i < 4; ++i) Item(i)->SetKeyText(LString());
            app->LoadPrefs(pref);
        }
        if (s.key)
            Turn({s.key, 13}, kModCommand);
        else
            Turn({13});
        app->reg.AssignKey(Item(s.item));
        EXPECT_EQ(Key(0) + "," + Key(1) + "," + Key(2) + "," + Key(3), s.keys) << s.what;
        EXPECT_EQ(Table(app->reg), s.table) << s.what;
        EXPECT_EQ(peek.seen.size(), 0u) << s.what;
        peek.seen.clear();
    }
    peeking.Stop();
}

TEST_F(MenuKeys, AnAbandonedCaptureEndsAtTheNextValidation) {
    app->Loop()->ValidateMenus();
    LHandler::Send(LMenuItem_Selected, bar->FindEnabledItemByCommand(LStdCmd_MenuKey), app.get());
    app->Loop()->ValidateMenus();
    EXPECT_TRUE(app->reg.IsCapturing());
    app->Loop()->ValidateMenus();
    EXPECT_FALSE(app->reg.IsArmed());
    LHandler::Send(LMenuItem_Selected, bar->FindEnabledItemByCommand("cA"), app.get());
    EXPECT_EQ(app->chosen, (std::vector<std::string>{"cA"}));
    // Armed, a choice goes to the dialog instead (cancelled here).
    LHandler::Send(LMenuItem_Selected, bar->FindEnabledItemByCommand(LStdCmd_MenuKey), app.get());
    app->Loop()->ValidateMenus();
    Turn({27});
    EXPECT_EQ(bar->FindEnabledItemByCommand("cB"), nullptr);
    EXPECT_EQ(app->chosen.size() + app->reg.Rows(), 1u);
}

TEST_F(MenuKeys, TheDialogCapturesPrintableKeysAndShowsThem) {
    CMenuKeyDlg dlg(app.get());
    dlg.ShowWindow();
    Turn({'1', 13});
    EXPECT_EQ(dlg.ModalStep(LDialog::kNoLimit), 1u);
    EXPECT_EQ(dlg.KeyText(), LString("n1"));
    EXPECT_EQ(dlg.fDisplay.GetText(), LString("1"));
}

TEST_F(MenuKeys, TheTableSurvivesThePreferencesWalkAndFailedCopiesKeepTheStoredOne) {
    StoreRows({{"cA", "Alpha", "nK"}, {"cC", "One", "nJ"}, {"cC", "Two", ""}});
    app->LoadPrefs(pref);
    app->SavePrefs(pref);
    CMemPrefStore store;
    ASSERT_TRUE(WriteToPrefNode(store, pref));
    CRecord* back = CRecord::New(CRecordSchema::Find(kFamKvs, kKindPref));
    ASSERT_TRUE(ReadFromPrefNode(store, back));
    MenuKeyApp other;
    other.reg.LoadFrom(back, PrefF::mnky);
    EXPECT_EQ(Table(other.reg), "cA Alpha nK;cC One nJ;cC Two ;");
    // Another kind in the field leaves the table.
    CRecord::Destroy(back->ReplaceChild(nullptr, PrefF::mnky, NewParamNodeRecord()));
    other.reg.LoadFrom(back, PrefF::mnky);
    EXPECT_EQ(other.reg.Rows(), 3u);
    CRecord::Destroy(back);
    // A cell nested too deep for the chunk reader: the copy fails.
    CRecord* n = app->reg.Table()->GetListItem(PrmtF::elms, 0);
    for (int i = 0; i < 80 && n; ++i) n = NodeGetOrCreate(n, nullptr, "x");
    const CRecord* stored = pref->GetChild(PrefF::mnky);
    app->SavePrefs(pref);
    EXPECT_EQ(pref->GetChild(PrefF::mnky), stored);
}

}  // namespace

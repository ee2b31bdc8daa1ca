#pragma once
// The stand-in application object's part in menu keys and view preferences:
// the registry sees the bars and choices first, "LStdCmd_MenuKey" arms it, and
// the preferences record keeps the key table (field mnky) and the view
// preferences (field vwpf). It enables the test commands cA, cB and cC and logs
// the commands chosen.

#include <string>
#include <vector>

#include "framework/CMainLoop.h"
#include "framework/CMenuKeyReg.h"
#include "framework/CViewPrefs.h"
#include "records/NsqPrefKinds.h"
#include "tests/framework/FakeWindows.h"

class MenuKeyApp : public CMainLoopBase {
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
    void SavePrefs(CRecord* pref) { reg.SaveTo(pref, PrefF::mnky); }
    FakeMainLoop* Loop() { return static_cast<FakeMainLoop*>(RunLoop()); }

    CMenuKeyReg reg{this};
    std::vector<std::string> chosen;
};

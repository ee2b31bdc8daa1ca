#include "devices/DevCtlCommands.h"

#include <string>

#include "devices/CInputSetnDlgs.h"
#include "devices/CKvsDevCtl.h"
#include "devices/CSndDevPane.h"
#include "devices/recordings/CKvsRecSetnDlg.h"
#include "framework/LMenu.h"
#include "framework/StdDialogs.h"
#include "records/AppPrefsDoc.h"
#include "records/DeviceKinds.h"
#include "records/NsqPrefKinds.h"
#include "records/ShowKinds.h"

namespace {

constexpr const char* kCommands[] = {"cMonNet",  "cDrMXSetn", "cAnSetn", "cSACNSetn",
                                     "csACNout", "cCCSetn",   "cAudFmt", "cUseRcSvr",
                                     "cUnvAdr", "cRecSetn"};

CRecord* AppPrefs() {
    CRecordDoc* doc = AppPrefsDoc();
    return doc ? doc->Root() : nullptr;
}

CRecord* Child(CRecord* r, u8 field) {
    return r ? r->GetChild(field) : nullptr;
}

void Toggle(CRecord* r, u8 field) {
    if (r) r->SetU8(nullptr, field, r->GetU8(field) ? 0 : 1);
}

}  // namespace

void EnableControlCommands(CKvsDevCtl& ctl, LMenuBar* bar) {
    CRecord* settings = ctl.Settings();
    if (ctl.Serial() == 0 || !settings) return;
    const bool sacnOut = settings->GetU8(DvstF::saco) != 0;
    if (!sacnOut) {
        bar->EnableCommand("cMonNet");
        CRecord* prefs = AppPrefs();
        if (prefs && prefs->GetU8(PrefF::usnm)) bar->CheckCommand("cMonNet");
    }
    for (const char* c :
         {"cDrMXSetn", "cAnSetn", "cSACNSetn", "csACNout", "cCCSetn", "cAudFmt", "cUseRcSvr"})
        bar->EnableCommand(c);
    bar->EnableCommand("cRecSetn");
    if (sacnOut) bar->CheckCommand("csACNout");
    CRecord* prmc = Child(settings, DvstF::prmc);
    if (prmc && prmc->GetU8(PrmcF::rcsv)) bar->CheckCommand("cUseRcSvr");
    bar->EnableCommand("cUnvAdr");
    const CRecord* uvas = Child(settings, DvstF::uvas);
    if (uvas && uvas->GetListCount(UvasF::uvas) > 0) bar->CheckCommand("cUnvAdr");
}

bool RunControlCommand(CKvsDevCtl& ctl, LMenuItem* item) {
    for (const char* c : kCommands)
        if (item->HasCommand(c)) return RunControlCommand(ctl, c);
    return false;
}

bool RunControlCommand(CKvsDevCtl& ctl, const char* command) {
    const std::string c = command;
    CRecord* settings = ctl.Settings();
    if (!settings) return false;
    if (c == "cMonNet") {
        Toggle(AppPrefs(), PrefF::usnm);
    } else if (c == "cRecSetn") {
        CKvsRecSetnDlg d(&ctl);
        d.Load(Child(settings, DvstF::prrc));
        if (d.RunModal() == 1) d.Save(Child(settings, DvstF::prrc));
    } else if (c == "cDrMXSetn") {
        CKvsDrMXSetnDlg d(&ctl);
        d.Load(Child(settings, DvstF::prdr));
        if (d.RunModal() == 1) d.Store(Child(settings, DvstF::prdr));
    } else if (c == "cAnSetn") {
        CKvsAnSetnDlg d(&ctl);
        d.Load(settings);
        if (d.RunModal() == 1) d.Store(settings);
    } else if (c == "cSACNSetn") {
        CKvsSACNSetnDlg d(&ctl);
        d.Load(settings);
        if (d.RunModal() == 1) d.Store(settings);
    } else if (c == "csACNout") {
        Toggle(settings, DvstF::saco);
    } else if (c == "cCCSetn") {
        CRecord* prmc = Child(settings, DvstF::prmc);
        if (!prmc) return true;
        CCSetNDlg d(&ctl);
        d.fField.SetValue(f32(prmc->GetU32(PrmcF::ccst)));
        if (d.RunModal() == 1) {
            const f64 v = d.fField.GetValue();
            prmc->SetU32(nullptr, PrmcF::ccst, v <= 0 ? 0 : u32(v + 0.5));
        }
    } else if (c == "cAudFmt") {
        CSndDevPane pane(&ctl, &ctl);
        pane.Run();
    } else if (c == "cUnvAdr") {
        ctl.OpenUvadWindow();
    } else if (c == "cUseRcSvr") {
        Toggle(Child(settings, DvstF::prmc), PrmcF::rcsv);
    } else {
        return false;
    }
    return true;
}

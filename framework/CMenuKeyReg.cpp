#include "framework/CMenuKeyReg.h"

#include <vector>

#include "framework/InputState.h"
#include "framework/StdDialogs.h"
#include "records/CloneRecord.h"
#include "records/DeviceKinds.h"
#include "records/ParamTables.h"
#include "records/PrefNodes.h"
#include "records/RecordKinds.h"

namespace {

constexpr const char* kCmd = "cmd";
constexpr const char* kText = "text";
constexpr const char* kKey = "key";

CRecord* NewTable() {
    RegisterDeviceKinds();
    RegisterPrefNodeKinds();
    return CRecord::New(CRecordSchema::Find(kFamUnd, kKindPrmt));
}

bool IsTable(const CRecord* r) {
    return r && r->Family() == kFamUnd && r->Kind() == kKindPrmt;
}

// A key given now must act at once, from every window and whatever has the
// keys: only one with Ctrl reaches the menus before any field or list takes it.
bool MenusCanTake(const LString& key) {
    u8 ch = 0;
    u32 flags = 0;
    return ParseKeyText(key.CStr(), &ch, &flags) && (flags & kKeyCommand) != 0;
}

struct Collected {
    LMenuItem* item;
    LString key;
    u32 row;
    bool exact;
};

}  // namespace

// ---- CMenuKeyDlg

CMenuKeyDlg::CMenuKeyDlg(LHandler* parent)
    : LDialog(parent, nullptr, LPaneOpt::Window(kWindowDialog, 0)),
      fOk(this),
      fCancel(this),
      fPrompt(this, LTextBox::kWrap),
      fDisplay(this) {
    const char* name = "CMENUKEYDLG";
    SetTitle(StdDialogText(name, 0));
    fOk.SetTitle(StdDialogText(name, 1));
    fCancel.SetTitle(StdDialogText(name, 2));
    fPrompt.SetText(StdDialogText(name, 3));
    SetDefaultButton(&fOk);
    SetCancelButton(&fCancel);
    SizeDirectly(*this, name, nullptr);
}

LMessage CMenuKeyDlg::HandleMessage(const LMessage& msg) {
    LString text;
    if (msg.Is(LKeyboard_Down) && KeyTextFromKeyboard(&text)) {
        fKey = text;
        // Shown as the menus will show it once assigned.
        LString shown;
        KeyDisplayFromKeyText(text, &shown);
        fDisplay.SetText(shown);
        return LMessage();
    }
    return LDialog::HandleMessage(msg);
}

// ---- CMenuKeyReg

CMenuKeyReg::CMenuKeyReg(LHandler* owner) : fOwner(owner), fTable(NewTable()) {}

CMenuKeyReg::~CMenuKeyReg() {
    CRecord::Destroy(fTable);
}

u32 CMenuKeyReg::Rows() const {
    u32 cols = 0, rows = 0;
    if (fTable) ParamTableGetSize(fTable, &cols, &rows);
    return rows;
}

LString CMenuKeyReg::Cell(u32 row, const char* key) const {
    LString v;
    if (!fTable || !ParamTableGetCell(fTable, 0, row, key, &v)) v = LString();
    return v;
}

void CMenuKeyReg::Arm() {
    if (!fTable) return;
    fArmed = 1;
    fCapturing = 0;
    LMenuBar::SetInterceptor(fOwner);
}

bool CMenuKeyReg::HandleMessage(const LMessage& msg) {
    if (msg.Is(LMenuBar_Added)) {
        if (msg.source) ApplyKeys(static_cast<LMenuBar*>(msg.source));
        return false;
    }
    if (msg.Is(LMenuBar_Ready)) {
        if (fCapturing) {
            // The menus closed without a choice: the capture is over.
            LMenuBar::SetInterceptor(nullptr);
            fArmed = 0;
            fCapturing = 0;
        } else if (fArmed && msg.source) {
            static_cast<LMenuBar*>(msg.source)->ForEachItem(nullptr, [](void*, LMenuItem* item) {
                item->ResetState();
                item->fEnabled = 1;
            });
            fCapturing = 1;
        }
        return false;
    }
    if (msg.Is(LMenuItem_Selected) && fArmed) {
        LMenuBar::SetInterceptor(nullptr);
        fArmed = 0;
        fCapturing = 0;
        AssignKey(static_cast<LMenuItem*>(msg.source));
        return true;
    }
    return false;
}

void CMenuKeyReg::ShowMessage(u32 item) {
    CSimpleMessageDialog dlg(fOwner, LPaneOpt::Window(kWindowDialog, 0));
    dlg.Run(StdDialogText("CMENUKEYREG", item), 0, false);
}

void CMenuKeyReg::AssignKey(LMenuItem* item) {
    if (!item) return;
    if (!item->fResKeyText.IsEmpty()) {
        ShowMessage(0);
        return;
    }
    LMenu* menu = LMenuTracer::Find(item, "");
    struct Find {
        LMenu* menu;
        bool found;
    } find{menu, false};
    if (menu)
        LMenuBar::WithCurrent(&find, [](void* ctx, LMenuBar* bar) {
            auto* f = static_cast<Find*>(ctx);
            LMenu* container = nullptr;
            i32 index = -1;
            f->found = bar && bar->LocateMenu(f->menu, &container, &index);
        });
    if (!find.found) return;
    // The dialog runs event turns in which menus are rebuilt and their items
    // deleted: only copies of what the row needs are used after it.
    const LString cmd = item->FirstCommand();
    const LString title = item->fTitle;
    item = nullptr;
    LString key;
    for (;;) {
        CMenuKeyDlg dlg(fOwner);
        if (dlg.RunModal() != 1) return;
        key = dlg.KeyText();
        if (key.IsEmpty()) break;
        if (!MenusCanTake(key)) {
            ShowMessage(2);
            continue;
        }
        struct Used {
            const LString* key;
            const LString* cmd;
            const LString* title;
            bool used;
        } used{&key, &cmd, &title, false};
        LMenuBar::WithCurrent(&used, [](void* ctx, LMenuBar* bar) {
            if (!bar) return;
            bar->ForEachItem(ctx, [](void* c, LMenuItem* it) {
                auto* u = static_cast<Used*>(c);
                // The item's own key, given again, is no other item's.
                if (it->FirstCommand() == *u->cmd && it->fTitle == *u->title) return;
                if (!it->fKeyText.IsEmpty() && it->fKeyText == *u->key) u->used = true;
            });
        });
        if (!used.used) break;
        ShowMessage(1);
    }
    AddRow(cmd, title, key);
    Compact();
    ApplyToCurrent();
}

void CMenuKeyReg::AddRow(const LString& cmd, const LString& text, const LString& key) {
    if (!fTable) return;
    u32 cols = 0, rows = 0;
    ParamTableGetSize(fTable, &cols, &rows);
    if (cols == 0) ParamTableAppendColumn(fTable, nullptr);
    ParamTableAppendRow(fTable, nullptr);
    const u32 row = Rows() - 1;
    ParamTableSetCell(fTable, nullptr, 0, row, kCmd, cmd);
    ParamTableSetCell(fTable, nullptr, 0, row, kText, text);
    ParamTableSetCell(fTable, nullptr, 0, row, kKey, key);
}

void CMenuKeyReg::Compact() {
    if (!fTable) return;
    for (i32 r = i32(Rows()) - 1; r >= 0; --r) {
        const LString cmd = Cell(u32(r), kCmd);
        if (cmd.IsEmpty()) {
            ParamTableRemoveRow(fTable, nullptr, u32(r));
            continue;
        }
        LString text;
        const bool hasText = ParamTableGetCell(fTable, 0, u32(r), kText, &text);
        bool otherTitle = false;
        for (i32 j = r - 1; j >= 0; --j) {
            if (!(Cell(u32(j), kCmd) == cmd)) continue;
            LString t;
            const bool has = ParamTableGetCell(fTable, 0, u32(j), kText, &t);
            if (has == hasText && t == text) {
                // The later assignment wins.
                ParamTableRemoveRow(fTable, nullptr, u32(j));
                --r;
            } else {
                otherTitle = true;
            }
        }
        if (Cell(u32(r), kKey).IsEmpty() && !otherTitle)
            ParamTableRemoveRow(fTable, nullptr, u32(r));
    }
}

void CMenuKeyReg::ApplyKeys(LMenuBar* bar) {
    if (!bar || !fTable) return;
    struct Ctx {
        CMenuKeyReg* reg;
        std::vector<Collected> items;
    } ctx{this, {}};
    bar->ForEachItem(&ctx, [](void* c, LMenuItem* item) {
        auto* x = static_cast<Ctx*>(c);
        if (item->fSubmenu) return;
        // The table decides afresh: a key it gave before and no longer gives
        // (changed, removed) leaves the item.
        if (!(item->fKeyText == item->fResKeyText)) item->SetKeyText(item->fResKeyText);
        if (!item->fResKeyText.IsEmpty()) return;
        const LString cmd = item->FirstCommand();
        if (cmd.IsEmpty()) return;
        i32 last = -1;
        bool exact = false;
        for (u32 r = 0; r < x->reg->Rows(); ++r) {
            if (!(x->reg->Cell(r, kCmd) == cmd)) continue;
            last = i32(r);
            if (x->reg->Cell(r, kText) == item->fTitle) {
                exact = true;
                break;
            }
        }
        if (last < 0) return;
        const LString key = x->reg->Cell(u32(last), kKey);
        if (key.IsEmpty())
            item->SetKeyText(LString());
        else
            x->items.push_back(Collected{item, key, u32(last), exact});
    });
    // One key never sits on two items of a bar: the later row wins, and a row
    // shared by two items of one command stays with the exact match.
    std::vector<Collected>& items = ctx.items;
    for (size_t a = 0; a < items.size(); ++a) {
        for (size_t b = a + 1; b < items.size() && !items[a].key.IsEmpty(); ++b) {
            Collected& A = items[a];
            Collected& B = items[b];
            if (B.key.IsEmpty() || !(B.key == A.key)) continue;
            if (B.row < A.row) {
                ParamTableSetCell(fTable, nullptr, 0, B.row, kKey, LString());
                B.key = LString();
            } else if (A.row < B.row) {
                ParamTableSetCell(fTable, nullptr, 0, A.row, kKey, LString());
                A.key = LString();
            } else {
                if (!A.exact) A.key = LString();
                if (!B.exact) B.key = LString();
            }
        }
    }
    for (Collected& c : items) c.item->SetKeyText(c.key);
    bar->SyncAll();
}

void CMenuKeyReg::ApplyToCurrent() {
    LMenuBar::WithCurrent(
        this, [](void* ctx, LMenuBar* bar) { static_cast<CMenuKeyReg*>(ctx)->ApplyKeys(bar); });
}

void CMenuKeyReg::SaveTo(CRecord* record, u8 field) {
    if (!record) return;
    CRecord* copy = CloneRecordViaChunks(fTable);
    // Writing nothing over the stored table would lose it at the next save.
    if (!copy) return;
    CRecord::Destroy(record->ReplaceChild(nullptr, field, copy));
}

void CMenuKeyReg::LoadFrom(const CRecord* record, u8 field) {
    CRecord* copy = record ? CloneRecordViaChunks(record->GetChild(field)) : nullptr;
    if (!IsTable(copy)) {
        CRecord::Destroy(copy);
        return;
    }
    CRecord::Destroy(fTable);
    fTable = copy;
    Compact();
    ApplyToCurrent();
}

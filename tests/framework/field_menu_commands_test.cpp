// Menu commands reaching a focused text field first, as the menu target: the
// clipboard's are the field's, acting where it has something for them, and Undo
// with an edit open takes back that edit, not an older step; in a window that
// keeps no history of the field's edits, the field's own last change.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/LScrap.h"
#include "base/Resources.h"
#include "framework/CNumVol.h"
#include "framework/CUndoQ.h"
#include "framework/LDialog.h"
#include "framework/LEditText.h"
#include "framework/LMenu.h"
#include "framework/LStdCtl.h"
#include "records/CRecordDoc.h"
#include "tests/framework/ControlPanes.h"
#include "tests/framework/HeadlessAppTest.h"

namespace {

using namespace RecField;
constexpr u32 kFam = FourCC("FMCT");
const RecFieldDesc kRoot[] = {U32(1, 1)};
CRecordSchema gRoot(kFam, FourCC("ROOT"), 1, kRoot);

// Clipboard content of another kind than text (a list's rows).
class RowsScrap : public LClipItem {
public:
    bool IsAvailable() override { return true; }
    bool ReadFromPasteboard() override { return false; }
    void WriteToPasteboard() override {}
    bool AssignFrom(LClipItem&) override { return false; }
    const char* GetTypeName() const override { return "RowsScrap"; }
};

// A list row holding the field: it stores the committed number in the record
// and hands the history's messages to the queue above it.
class Row : public ClipBox {
public:
    Row(CUndoQ* q, CRecord* record) : fQ(q), fRecord(record) {}
    LMessage HandleMessage(const LMessage& msg) override {
        if (msg.Is(LNumEdit_Enter) && msg.source != this) {
            fSeen.push_back(msg.name);
            fRecord->SetU32(this, 0, u32(static_cast<LNumEdit*>(msg.source)->GetLong()));
            return LMessage();
        }
        if (msg.Is(CUndoStrm_Find)) return LMessage::CopyRetarget(msg, fQ);
        if ((msg.Is(LMenuItem_Selected) || msg.Is(LMenuBar_Ready)) && msg.source != this) {
            fSeen.push_back(msg.name);
            return LMessage::CopyRetarget(msg, fQ);
        }
        return ClipBox::HandleMessage(msg);
    }
    // The commands and stores seen, in order, joined by blanks; cleared.
    std::string Seen() {
        std::string out;
        for (const std::string& m : fSeen) out += (out.empty() ? "" : " ") + m;
        fSeen.clear();
        return out;
    }
    CUndoQ* fQ;
    CRecord* fRecord;
    std::vector<std::string> fSeen;
};

struct Stage : ControlStage {
    static void SetUpResources() {
        static LResFile app(AppResFileRef());
        SetDefaultResChain(&app);
    }
    Stage() {
        SetUpResources();
        LClipboard::MakeInstance(&fClip);
    }
    ~Stage() { LClipboard::MakeInstance(nullptr); }
    LMenuItem* Item(LMenuBar& bar, const char* command) {
        for (u32 m = 0; m < bar.CountMenus(); ++m)
            for (u32 i = 0; i < bar.MenuAt(m)->CountItems(); ++i)
                if (bar.MenuAt(m)->ItemAt(i)->HasCommand(command)) return bar.MenuAt(m)->ItemAt(i);
        return nullptr;
    }
    // Validated and chosen as the menu does, with the field as the menu target;
    // whether the item was enabled.
    bool Choose(LPane* target, const char* command) {
        LMenuBar bar(nullptr, "APP");
        bar.ResetItemStates();
        LHandler::Send(LMenuBar_Ready, &bar, target);
        LMenuItem* item = Item(bar, command);
        const bool on = item && item->fEnabled;
        if (on) LHandler::Send(LMenuItem_Selected, item, target);
        return on;
    }
    LClipboard fClip;
};

// The list around a field, with a row selected: it enables every clipboard
// command for its rows.
struct RowsBox : ClipBox {
    LMessage HandleMessage(const LMessage& msg) override {
        if (msg.Is(LMenuBar_Ready))
            for (const char* c : {LStdCmd_Copy, LStdCmd_Cut, LStdCmd_Delete, LStdCmd_Paste})
                static_cast<LMenuBar*>(msg.source)->EnableCommand(c);
        return ClipBox::HandleMessage(msg);
    }
};

// While a field is edited the clipboard commands are its own: enabled only
// where it has something for them, and never passed on to the rows around it.
TEST(FieldMenuCommands, TheFieldTakesTheClipboardCommandsActingWhereItHasSomethingFor) {
    enum Clip { kEmpty, kText, kRows };
    const struct {
        const char* command;
        bool selected;
        Clip clip;
        bool enabled;  // the field has something for it
        const char* text;
    } cases[] = {
        {LStdCmd_Copy, false, kEmpty, false, "tr"},   {LStdCmd_Copy, true, kEmpty, true, "tr"},
        {LStdCmd_Cut, false, kEmpty, false, "tr"},    {LStdCmd_Cut, true, kEmpty, true, ""},
        {LStdCmd_Delete, false, kEmpty, false, "tr"}, {LStdCmd_Delete, true, kEmpty, true, ""},
        {LStdCmd_Paste, false, kRows, false, "tr"},   {LStdCmd_Paste, true, kRows, false, "tr"},
        {LStdCmd_Paste, false, kEmpty, false, "tr"},  {LStdCmd_Paste, false, kText, true, "trk"},
        {LStdCmd_Paste, true, kText, true, "k"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.command) + (c.selected ? " selected" : " caret") + " clip " +
                     std::to_string(int(c.clip)));
        Stage s;
        RowsBox rows;
        LEditText e(&rows);
        e.SetBounds(LRect(10, 10, 110, 30));
        e.SetText("tr");
        e.RequestFocus();
        FakeTextField* f = s.fControls.fField;
        ASSERT_NE(f, nullptr);
        f->SetSelection(c.selected ? 0 : 2, c.selected ? 2 : 0);
        if (c.clip == kRows) s.fClip.SetOwner(new RowsScrap);
        if (c.clip == kText) {
            auto* text = new LTextScrap;
            text->fText = LString("k");
            s.fClip.SetOwner(text);
            s.fControls.fClipboard = "k";
        }
        LMenuBar bar(nullptr, "APP");
        bar.ResetItemStates();
        LHandler::Send(LMenuBar_Ready, &bar, &e);
        LMenuItem* item = s.Item(bar, c.command);
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(bool(item->fEnabled), c.enabled);
        rows.Take();
        // Chosen all the same (by its key): the rows around never hear of it.
        LHandler::Send(LMenuItem_Selected, item, &e);
        EXPECT_EQ(rows.Take().find("LMenuItem_Selected"), std::string::npos);
        EXPECT_EQ(f->fText, c.text);
    }
}

TEST(FieldMenuCommands, DeleteKeysOnlyEverEditTheField) {
    // Nothing left to delete is no reason to pass the key on: a Backspace too
    // many in an emptied name deleted the row around it.
    const struct {
        const char* text;
        u32 caret, selected;
        u32 ch;  // 8 Backspace, 127 Delete
    } cases[] = {
        {"tr", 2, 0, 8}, {"tr", 0, 0, 8}, {"tr", 0, 0, 127}, {"tr", 2, 0, 127},
        {"", 0, 0, 8},   {"", 0, 0, 127}, {"tr", 0, 2, 8},   {"tr", 0, 2, 127},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("'") + c.text + "' caret " + std::to_string(c.caret) + " char " +
                     std::to_string(c.ch));
        Stage s;
        LEditText e(&s.fBox);
        e.SetBounds(LRect(10, 10, 110, 30));
        e.SetText(c.text);
        e.RequestFocus();
        ASSERT_NE(s.fControls.fField, nullptr);
        s.fControls.fField->SetSelection(c.caret, c.selected);
        s.fBox.Take();
        s.Key(&e, c.ch);
        EXPECT_EQ(s.fBox.Take(), "");
        EXPECT_EQ(s.fKeys.fUsed, 0) << "left to the native field";
    }
}

TEST(FieldMenuCommands, UndoWithAnEditOpenTakesBackThatEdit) {
    const struct {
        const char* what;
        const char* typed;  // null: no edit open
        u32 afterUndo;
        bool redoTo;  // Redo then brings back the value before the Undo
        const char* log;
    } cases[] = {
        {"typed over the last step", "3", 2, true,
         "LMenuBar_Ready LNumEdit_Enter LMenuItem_Selected"},
        {"nothing typed", nullptr, 1, true, "LMenuBar_Ready LMenuItem_Selected"},
        {"typed what is stored", "2", 1, true, "LMenuBar_Ready LNumEdit_Enter LMenuItem_Selected"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CUndoQ q(nullptr, 0x10000);
        CRecordDoc doc(CRecord::New(&gRoot));
        Stage s;
        Row row(&q, doc.Root());
        doc.Root()->SetU32(&row, 0, 2);  // the step before, from 1 to 2
        CRecord::ClearCoalescing();
        LNumEdit n(&row);
        n.SetBounds(LRect(10, 10, 110, 30));
        n.SetLong(2);
        n.RequestFocus();
        ASSERT_NE(s.fControls.fField, nullptr);
        if (c.typed) {
            s.fControls.fField->SelectAll();
            s.fControls.fField->Type(c.typed);
        }
        row.Seen();
        const u32 before = doc.Root()->GetU32(0);
        EXPECT_TRUE(s.Choose(&n, LStdCmd_Undo));
        EXPECT_EQ(row.Seen(), c.log);
        EXPECT_EQ(doc.Root()->GetU32(0), c.afterUndo);
        // The edit is over: the focus leaving stores nothing more, so the redo stays.
        row.fFocus.Set(nullptr);
        EXPECT_TRUE(q.CanRedo());
        ASSERT_TRUE(q.Redo());
        const u32 redone = doc.Root()->GetU32(0);
        EXPECT_EQ(redone, c.typed ? u32(std::stoul(c.typed)) : before);
    }
}

TEST(FieldMenuCommands, ListCommandsWithAnEditOpenActOnTheTypedValue) {
    const struct {
        const char* command;
        const char* typed;  // null: no edit open
        const char* log;    // what reaches the row
        const char* after;  // ... when the focus leaves then
    } cases[] = {
        // The clipboard's are the field's, though it has nothing for them.
        {LStdCmd_Copy, "3", "", "LNumEdit_Enter"},
        {LStdCmd_Cut, "3", "", "LNumEdit_Enter"},
        {LStdCmd_Delete, "3", "", "LNumEdit_Enter"},
        {LStdCmd_Paste, "3", "", "LNumEdit_Enter"},
        {"cDuplicate", "3", "LNumEdit_Enter LMenuItem_Selected", ""},
        {"cDuplicate", nullptr, "LMenuItem_Selected", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.command) + (c.typed ? " typed" : ""));
        CUndoQ q(nullptr, 0x10000);
        CRecordDoc doc(CRecord::New(&gRoot));
        Stage s;
        s.fClip.SetOwner(new RowsScrap);  // rows to paste: the field takes no Paste
        Row row(&q, doc.Root());
        doc.Root()->SetU32(&row, 0, 2);
        LNumEdit n(&row);
        n.SetBounds(LRect(10, 10, 110, 30));
        n.SetLong(2);
        n.RequestFocus();
        ASSERT_NE(s.fControls.fField, nullptr);
        if (c.typed) {
            s.fControls.fField->SelectAll();
            s.fControls.fField->Type(c.typed);
            s.fControls.fField->SetSelection(1, 0);  // a caret: nothing for the field's own Copy
        }
        row.Seen();
        LMenuItem item(nullptr);
        item.SetCommand(c.command);
        LHandler::Send(LMenuItem_Selected, &item, &n);
        EXPECT_EQ(row.Seen(), c.log);
        // Stored once, before the list's command or as the focus leaves.
        row.fFocus.Set(nullptr);
        EXPECT_EQ(row.Seen(), c.after);
        EXPECT_EQ(doc.Root()->GetU32(0), c.typed ? 3u : 2u);
    }
}

TEST(FieldMenuCommands, UndoIsOfferedForAnOpenEditAlone) {
    CUndoQ q(nullptr, 0x10000);
    CRecordDoc doc(CRecord::New(&gRoot));
    Stage s;
    Row row(&q, doc.Root());
    LNumEdit n(&row);
    n.SetBounds(LRect(10, 10, 110, 30));
    n.RequestFocus();
    LMenuBar bar(nullptr, "APP");
    auto undoOn = [&] {
        bar.ResetItemStates();
        LHandler::Send(LMenuBar_Ready, &bar, &n);
        LMenuItem* item = s.Item(bar, LStdCmd_Undo);
        return item && item->fEnabled;
    };
    EXPECT_FALSE(undoOn()) << "an empty history and nothing typed";
    s.fControls.fField->Type("7");
    EXPECT_TRUE(undoOn());
    s.fControls.fField->SelectAll();
    s.fKeys.fModifiers = 0;
    s.Key(&n, 13);  // Return ends the edit: nothing open, and the history has it
    EXPECT_EQ(doc.Root()->GetU32(0), 7u);
    EXPECT_TRUE(undoOn());
    ASSERT_TRUE(q.Undo());
    EXPECT_FALSE(undoOn()) << "the edit ended with Return is not taken back twice";
}

// A row bound anew from its record while its field is typed in (every change
// of the row comes back as such a refresh): the typed text stays, and the
// stored one is shown once the edit is over.
TEST(FieldMenuCommands, ARefreshKeepsWhatIsBeingTyped) {
    enum End { kFocusLeaves, kEndStored, kEndDropped };
    const struct {
        const char* what;
        bool typed, inRefresh;
        End end;
        const char* during;  // the field's text after the refresh
    } cases[] = {
        {"typed, focus leaves", true, true, kFocusLeaves, "7"},
        {"typed, edit ended", true, true, kEndStored, "7"},
        {"typed, edit dropped", true, true, kEndDropped, "7"},
        {"nothing typed", false, true, kFocusLeaves, "2"},
        {"the owner's own rewrite", true, false, kFocusLeaves, "2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Stage s;
        LEditText e(&s.fBox);
        e.SetBounds(LRect(10, 10, 110, 30));
        e.SetText("1");
        e.RequestFocus();
        FakeTextField* f = s.fControls.fField;
        ASSERT_NE(f, nullptr);
        if (c.typed) {
            f->SelectAll();
            f->Type("7");
        }
        if (c.inRefresh) {
            LFieldRefresh refresh;
            e.SetText("2");
        } else {
            e.SetText("2");
        }
        EXPECT_EQ(f->fText, c.during);
        if (c.end == kFocusLeaves) s.fBox.fFocus.Set(nullptr);
        if (c.end != kFocusLeaves) e.EndOpenEdit(c.end == kEndStored);
        EXPECT_EQ(std::string(e.GetText().CStr()), "2");
    }
    // A number field keeps its caret too: a selection of the typed digits
    // would be replaced by the next one.
    Stage s;
    CNumVol n(&s.fBox);
    n.SetRange(0, 100, 1);
    n.SetBounds(LRect(10, 10, 110, 30));
    n.SetValue(4);
    n.RequestFocus();
    FakeTextField* f = s.fControls.fField;
    ASSERT_NE(f, nullptr);
    f->SelectAll();
    f->Type("1");
    {
        LFieldRefresh refresh;
        n.SetValue(4);
    }
    f->Type("2");
    EXPECT_EQ(f->fText, "12");
    EXPECT_EQ(n.GetValue(), 12);
}

// A number field in a dialog, which stores what is typed only on its OK, and
// one in a list row of an editor window, stored when the edit ends into a
// record whose history takes the menu's Undo.
struct FieldDialog : LDialog {
    FieldDialog(LHandler* parent, CRecord* record)
        : LDialog(parent, nullptr, LPaneOpt::Window(kWindowDialog, 0)),
          fRecord(record),
          field(this),
          ok(this) {
        SetWindowBounds(LRect(100, 100, 300, 200));
        field.SetBounds(LRect(10, 10, 110, 30));
        ok.SetBounds(LRect(100, 60, 180, 80));
        SetDefaultButton(&ok);
    }
    LMessage HandleMessage(const LMessage& msg) override {
        if (msg.Is(LNumEdit_Enter) && msg.source == &field) {
            fRecord->SetU32(this, 0, u32(field.GetLong()));
            return LMessage();
        }
        return LDialog::HandleMessage(msg);
    }
    CRecord* fRecord;
    LNumEdit field;
    LStdButton ok;
};

struct RowWindow : LFrame {
    RowWindow(LHandler* parent, CUndoQ* q, CRecord* record)
        : LFrame(parent, nullptr, LPaneOpt::Window(kWindowOrdinary, 0)),
          fQ(q),
          fRecord(record),
          field(this) {
        SetWindowBounds(LRect(100, 100, 300, 200));
        field.SetBounds(LRect(10, 10, 110, 30));
    }
    LMessage HandleMessage(const LMessage& msg) override {
        if (msg.Is(LNumEdit_Enter) && msg.source == &field) {
            fRecord->SetU32(this, 0, u32(field.GetLong()));
            return LMessage();
        }
        if (msg.Is(CUndoStrm_Find) || msg.Is(LMenuBar_Ready) || msg.Is(LMenuItem_Selected))
            return LMessage::CopyRetarget(msg, fQ);
        return LFrame::HandleMessage(msg);
    }
    CUndoQ* fQ;
    CRecord* fRecord;
    LNumEdit field;
};

class FieldUndo : public HeadlessAppTest {
protected:
    void SetUp() override {
        HeadlessAppTest::SetUp();
        FirstTick();
        LClipboard::MakeInstance(&fClip);
    }
    void TearDown() override {
        LClipboard::MakeInstance(nullptr);
        HeadlessAppTest::TearDown();
    }
    LClipboard fClip;
};

// Typed over the value it opened with, all selected, cut, then Undo: a dialog's
// field shows again what was cut, and a second Undo the value it opened with;
// OK stores what it shows. A list row's edit is stored and taken back by the
// history instead, so the record is as before the edit.
TEST_F(FieldUndo, UndoInADialogsFieldTakesBackItsLastChange) {
    const struct {
        const char* what;
        bool dialog;
        u32 undos;
        const char* shown;  // the field's text after them
        u32 stored;         // the record after them
        u32 confirmed;      // ... after OK (a dialog) or Return (a row)
    } cases[] = {
        {"dialog, one Undo", true, 1, "3", 2, 3},
        {"dialog, two", true, 2, "2", 2, 2},
        {"dialog, three: nothing left to take back", true, 3, "2", 2, 2},
        {"list row", false, 1, nullptr, 2, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CUndoQ q(nullptr, 0x10000);
        CRecordDoc doc(CRecord::New(&gRoot));
        std::unique_ptr<FieldDialog> dlg;
        std::unique_ptr<RowWindow> row;
        if (c.dialog)
            dlg = std::make_unique<FieldDialog>(app.get(), doc.Root());
        else
            row = std::make_unique<RowWindow>(app.get(), &q, doc.Root());
        LFrame& win = dlg ? static_cast<LFrame&>(*dlg) : *row;
        LNumEdit& field = dlg ? dlg->field : row->field;
        doc.Root()->SetU32(&win, 0, 2);
        CRecord::ClearCoalescing();
        win.ShowWindow();
        field.SetLong(2);
        field.RequestFocus();
        FakeTextField* f = controls.fField;
        ASSERT_NE(f, nullptr);
        f->SelectAll();
        f->Type("3");
        f->SelectAll();
        LMenuBar bar(nullptr, "APP");
        auto choose = [&](const char* command) {
            bar.ResetItemStates();
            LHandler::Send(LMenuBar_Ready, &bar, &field);
            LMenuItem* item = nullptr;
            for (u32 m = 0; !item && m < bar.CountMenus(); ++m)
                for (u32 i = 0; !item && i < bar.MenuAt(m)->CountItems(); ++i)
                    if (bar.MenuAt(m)->ItemAt(i)->HasCommand(command))
                        item = bar.MenuAt(m)->ItemAt(i);
            const bool on = item && item->fEnabled;
            if (on) LHandler::Send(LMenuItem_Selected, item, &field);
            return on;
        };
        EXPECT_TRUE(choose(LStdCmd_Cut));
        EXPECT_EQ(f->fText, "");
        for (u32 i = 0; i < c.undos; ++i)
            EXPECT_EQ(choose(LStdCmd_Undo), !c.dialog || i < 2) << "undo " << i;
        if (c.shown) {
            EXPECT_EQ(controls.fField ? controls.fField->fText : "(no field)", c.shown);
        }
        EXPECT_EQ(doc.Root()->GetU32(0), c.stored);
        if (dlg) {
            LHandler::Send(LStdCtl_Selected, &dlg->ok, dlg.get());
        } else {
            EXPECT_TRUE(q.CanRedo()) << "the edit, stored, waits to be redone";
            field.EndOpenEdit(true);
        }
        EXPECT_EQ(doc.Root()->GetU32(0), c.confirmed);
        field.SetState(LPane::kOpUnfocus);
        win.HideWindow();
    }
}

// A window of one kind holding a number field stored into a record, whose
// changes it shows; with a history of its own when given one, which sees every
// message first (as the universe addresses window's does).
template <class Base>
struct KindWindow : Base {
    KindWindow(LHandler* parent, u32 type, CRecordDoc* doc, CUndoQ* own)
        : Base(parent, nullptr, LPaneOpt::Window(type, 0)), fDoc(doc), fOwn(own), field(this) {
        this->SetWindowBounds(LRect(100, 100, 300, 200));
        field.SetBounds(LRect(10, 10, 110, 30));
        doc->AddListener(this, Shown);
    }
    ~KindWindow() override { fDoc->RemoveListener(this, Shown); }
    static void Shown(void* self, CRecordNote*) {
        auto* w = static_cast<KindWindow*>(self);
        w->field.SetLong(i32(w->fDoc->Root()->GetU32(0)));
    }
    LMessage HandleMessage(const LMessage& msg) override {
        if (fOwn && fOwn->HandleMessage(msg).IsEmpty()) return LMessage();
        if (msg.Is(LNumEdit_Enter) && msg.source == &field) {
            fDoc->Root()->SetU32(fUnrecorded ? nullptr : this, 0, u32(field.GetLong()));
            return LMessage();
        }
        return Base::HandleMessage(msg);
    }
    bool RecordsNoEdits() const override { return fUnrecorded; }
    CRecordDoc* fDoc;
    CUndoQ* fOwn;
    bool fUnrecorded = false;  // before the field, which asks while it is built
    LNumEdit field;
};

// Every kind of window with a field, each edit of the field's text taken back
// and made again: where nothing keeps the field's edits (a dialog, a modal or
// plain window without a history) the field's own last change, nothing
// stored; where a history keeps them, the edit stored and taken back by it.
// The step of the history above (the control window's, above a dialog or the
// universe addresses opened from it) is never taken back from another window.
TEST_F(FieldUndo, EveryKindOfWindowTakesBackItsFieldsOwnChange) {
    enum Kind { kDialog, kModal, kPlain, kOwnHistory, kEditor, kUnrecorded };
    const struct {
        const char* what;
        Kind kind;
    } windows[] = {
        {"a dialog opened from an editor", kDialog},
        {"a modal window without a history (speed calculator)", kModal},
        {"a plain window without a history (device window)", kPlain},
        {"a window with its own history under an editor (universe addresses)", kOwnHistory},
        {"an editor whose history keeps the field's edits", kEditor},
        {"a panel under an editor whose fields no history records (schedule test)", kUnrecorded},
    };
    enum Op { kType, kCut, kPaste, kDelete };
    const struct {
        const char* what;
        Op op;
        const char* text;  // the field's after it
        u32 stored;        // ... as a history stores it
    } ops[] = {
        {"typed", kType, "3", 3},
        {"cut", kCut, "", 0},
        {"pasted", kPaste, "7", 7},
        {"deleted", kDelete, "", 0},
    };
    for (const auto& k : windows) {
        for (const auto& o : ops) {
            SCOPED_TRACE(std::string(k.what) + ", " + o.what);
            const bool history = k.kind == kOwnHistory || k.kind == kEditor;
            // The editor above, with a step of its own to be left alone.
            CUndoQ outer(app.get(), 0x10000);
            LHandler outerEdit(&outer);
            CRecordDoc outerDoc(CRecord::New(&gRoot));
            outerDoc.Root()->SetU32(nullptr, 0, 4);
            outerDoc.Root()->SetU32(&outerEdit, 0, 5);
            CRecord::ClearCoalescing();
            CUndoQ own(&outer, 0x10000);
            CRecordDoc doc(CRecord::New(&gRoot));
            doc.Root()->SetU32(nullptr, 0, 2);
            LHandler* parent =
                (k.kind == kModal || k.kind == kPlain) ? static_cast<LHandler*>(app.get()) : &outer;
            std::unique_ptr<LFrame> win;
            LNumEdit* field = nullptr;
            auto make = [&](auto* w) {
                field = &w->field;
                win.reset(w);
            };
            switch (k.kind) {
                case kDialog:
                    make(new KindWindow<LDialog>(parent, kWindowDialog, &doc, nullptr));
                    break;
                case kModal:
                    make(new KindWindow<LModalFrame>(parent, kWindowOrdinary, &doc, nullptr));
                    break;
                case kOwnHistory:
                    make(new KindWindow<LFrame>(parent, kWindowOrdinary, &doc, &own));
                    break;
                default:
                    make(new KindWindow<LFrame>(parent, kWindowOrdinary, &doc, nullptr));
                    break;
            }
            if (k.kind == kUnrecorded)
                static_cast<KindWindow<LFrame>*>(win.get())->fUnrecorded = true;
            win->ShowWindow();
            field->SetLong(2);
            field->RequestFocus();
            FakeTextField* f = controls.fField;
            ASSERT_NE(f, nullptr);
            auto* clip = new LTextScrap;
            clip->fText = LString("7");
            fClip.SetOwner(clip);
            controls.fClipboard = "7";
            LMenuBar bar(nullptr, "APP");
            auto ready = [&](const char* command) {
                bar.ResetItemStates();
                LHandler::Send(LMenuBar_Ready, &bar, field);
                for (u32 m = 0; m < bar.CountMenus(); ++m)
                    for (u32 i = 0; i < bar.MenuAt(m)->CountItems(); ++i)
                        if (bar.MenuAt(m)->ItemAt(i)->HasCommand(command))
                            return bar.MenuAt(m)->ItemAt(i);
                return static_cast<LMenuItem*>(nullptr);
            };
            // Chosen as the menu or its key does: whether it was enabled.
            auto choose = [&](const char* command, bool evenDimmed = false) {
                LMenuItem* item = ready(command);
                const bool on = item && item->fEnabled;
                if (item && (on || evenDimmed)) LHandler::Send(LMenuItem_Selected, item, field);
                return on;
            };
            auto shown = [&] {
                return controls.fField ? controls.fField->fText : std::string("(no field)");
            };
            f->SelectAll();
            switch (o.op) {
                case kType:
                    f->Type("3");
                    break;
                case kCut:
                    EXPECT_TRUE(choose(LStdCmd_Cut));
                    break;
                case kPaste:
                    EXPECT_TRUE(choose(LStdCmd_Paste));
                    break;
                case kDelete:
                    EXPECT_TRUE(choose(LStdCmd_Delete));
                    break;
            }
            EXPECT_EQ(shown(), o.text);
            EXPECT_TRUE(choose(LStdCmd_Undo));
            EXPECT_EQ(shown(), "2");
            EXPECT_EQ(doc.Root()->GetU32(0), 2u);
            EXPECT_TRUE(choose(LStdCmd_Redo));
            EXPECT_EQ(shown(), history ? std::to_string(o.stored) : std::string(o.text));
            EXPECT_EQ(doc.Root()->GetU32(0), history ? o.stored : 2u);
            EXPECT_TRUE(choose(LStdCmd_Undo));
            EXPECT_EQ(shown(), "2");
            // Nothing more of the window's own: dimmed, and its key does
            // nothing; an editor's older step is its own to take back.
            EXPECT_EQ(choose(LStdCmd_Undo, true), k.kind == kEditor);
            EXPECT_EQ(outerDoc.Root()->GetU32(0), k.kind == kEditor ? 4u : 5u);
            EXPECT_EQ(outer.CanUndo(), k.kind != kEditor);
            field->SetState(LPane::kOpUnfocus);
            // No field focused, the window is the menus' target: a panel whose
            // fields no history records offers nothing of the editor above.
            if (k.kind == kUnrecorded) {
                LMenuItem* undo = ready(LStdCmd_Undo);
                ASSERT_NE(undo, nullptr);
                EXPECT_FALSE(undo->fEnabled);
                LHandler::Send(LMenuItem_Selected, undo, win.get());
                EXPECT_EQ(outerDoc.Root()->GetU32(0), 5u);
            }
            win->HideWindow();
            win.reset();
        }
    }
}

}  // namespace

// Every field of every window of the play edit with the history that records
// its edits, or none: typed into, the edit left open or ended, then Undo as
// the menu or its key sends it. A field a history records has its step taken
// back by that history; a field none records takes back its own last change.
// Neither ever takes back a step of the play edit that is not the field's.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "editors/CKvsAxPlyWin.h"
#include "editors/CKvsPlayAsnWin.h"
#include "editors/CKvsSchEditFrm.h"
#include "editors/CKvsSchList.h"
#include "editors/CKvsSchWin.h"
#include "editors/CKvsScnEdF.h"
#include "editors/CKvsScnList.h"
#include "editors/CKvsSeqList.h"
#include "editors/CKvsSeqWins.h"
#include "editors/CUvadWin.h"
#include "editors/DeviceHooks.h"
#include "editors/nsq/CKvsPlay2Frm.h"
#include "editors/nsq/CNSqKinds.h"
#include "editors/nsq/CNSqTimeScale.h"
#include "editors/PlayHooks.h"
#include "framework/LCellListPane.h"
#include "records/AppPrefsDoc.h"
#include "records/NsqSets.h"
#include "records/PrefNodes.h"
#include "records/Schedule.h"
#include "records/Triggers.h"
#include "tests/editors/SeqEditFixture.h"

namespace {

enum class History { kPlayEdit, kOwn, kNone };

template <class F>
void ForEachPaneIn(LFrame* frame, const F& f) {
    for (LLink* l = frame->Children().Head(); !l->IsEnd(); l = l->Next()) {
        auto* pane = static_cast<LPane*>(l);
        f(pane);
        if (auto* sub = dynamic_cast<LFrame*>(pane)) ForEachPaneIn(sub, f);
        // A list's fields live in its rows: the first row stands for every one.
        if (auto* list = dynamic_cast<LCellListPane*>(pane); list && list->IsShown())
            if (LListCell* row = list->GetCellFrame(LCell{0, 0}, false)) ForEachPaneIn(row, f);
    }
}

// The fields the user can type into.
std::vector<LEditText*> FieldsOf(LFrame* window) {
    std::vector<LEditText*> out;
    ForEachPaneIn(window, [&](LPane* p) {
        auto* e = dynamic_cast<LEditText*>(p);
        if (e && e->IsShown() && !e->IsReadOnly() && !e->IsStatic()) out.push_back(e);
    });
    return out;
}

// The scene edit frame's universes, which hold no field.
struct NoUniverses : MScnUnvFrame {
    explicit NoUniverses(LPane* container) : fPane(new LFrame(container, container)) {}
    LPane* Pane() override { return fPane; }
    void SetActive(bool) override {}
    void SetShown(bool s) override { fPane->SetState(s ? LPane::kOpShow : LPane::kOpHide); }
    void RefreshUniverseStatus() override {}
    LFrame* fPane;
};

// A play file's device: the scene monitor polls nothing.
struct FileDevice : FakePlayDevice {
    u32 DeviceSerial() const override { return 0; }
    CRecordDoc* SeqStatDoc() override { return &fSeqStat; }
    CRecordDoc fSeqStat{NewKind(kFamKvt, kKindSsta)};
};

struct Stage : SeqEditStage {
    Stage() {
        SetAppPrefsDoc(&fPrefs);
        CRecord* seq = AddSeq(1, "S");
        CRecord* sc = NewKind(kFamKvt, kKindScen);
        seq->InsertItem(nullptr, SqncF::scns, 0, sc);
        CRecord* sched = Settings()->GetChild(SqstF::schd);
        InsertNewScheduleEvent(sched, nullptr, 0);
        SchEventAddPeriod(sched->GetListItem(SchdF::flts, 0), nullptr);
        CRecord* plays = Settings()->GetChild(SqstF::axps);
        AddAuxTrigger(plays->GetListItem(AplsF::plys, AddAuxPlay(plays, nullptr)), nullptr);
    }
    ~Stage() {
        fShown.reset();
        fList.reset();
        fScenes.reset();
        fNsq.reset();
        fScale.reset();
        fCtx.reset();
        DeviceHooks().newScnUnvFrame = nullptr;
        SetAppPrefsDoc(nullptr);
    }
    CPlayWindowArgs Args() {
        CPlayWindowArgs a;
        a.parent = &fUndo;
        a.owner = &fWin;
        a.device = &fDevice;
        a.seqSettings = Settings();
        a.playSettings = fPlayDoc.Root();
        return a;
    }
    // A step of the play edit that no field of these windows makes.
    u32 Sentinel() {
        CRecord::ClearCoalescing();
        Settings()->SetU32(&fWin, SqstF::tgmk, ++fMark);
        CRecord::ClearCoalescing();
        return fMark;
    }
    // Chosen as the menu or its key does, dimmed or not.
    void Choose(LEditText* field, const char* command) {
        LMenuBar bar(nullptr, "APP");
        LHandler::Send(LMenuBar_Ready, &bar, field);
        LMenuItem* item = nullptr;
        for (u32 m = 0; !item && m < bar.CountMenus(); ++m)
            for (u32 i = 0; !item && i < bar.MenuAt(m)->CountItems(); ++i)
                if (bar.MenuAt(m)->ItemAt(i)->HasCommand(command)) item = bar.MenuAt(m)->ItemAt(i);
        ASSERT_NE(item, nullptr) << command;
        LHandler::Send(LMenuItem_Selected, item, field);
    }

    CRecordDoc fPrefs{NewKind(kFamKvs, kKindPref)};
    CRecordDoc fPlayDoc{NewKind(kFamKvt, kKindPlys)};
    CRecordDoc fNode{NewKind(kFamUnd, kKindPrms)};
    CRecordDoc fDevSettings{NewKind(kFamKvt, kKindDvst)};
    std::unique_ptr<LFrame> fShown;
    std::unique_ptr<CKvsSeqList> fList;
    FileDevice fFileDevice;
    std::unique_ptr<CKvsScnEdF> fScenes;
    std::unique_ptr<CNSqDevCtx> fCtx;
    std::unique_ptr<CNSqTimeScale> fScale;
    std::unique_ptr<CKvsPlay2Frm> fNsq;
    u32 fMark = 0;
};

TEST(FieldHistory, EveryFieldOfEveryWindowUndoesOnlyWhatItsHistoryRecorded) {
    const struct {
        const char* window;
        // Built and shown, the rows that hold fields selected; the history of
        // its own when it keeps one.
        std::function<LFrame*(Stage&, CUndoQ** own)> open;
        History history;
        size_t fields;  // how many it shows
    } windows[] = {
        {"schedule: event name, conditions, execution and period",
         [](Stage& s, CUndoQ**) -> LFrame* {
             auto* w = new CKvsSchWin(&s.fUndo, &s.fWin, &s.fDevice, s.Settings());
             w->ShowWindow();
             w->EditFrame()->fList->SelectCell(LCell{0, 0});
             return w;
         },
         History::kPlayEdit, 10},
        {"schedule test window",
         [](Stage& s, CUndoQ**) -> LFrame* {
             auto* w = new CKvsSchWin(&s.fUndo, &s.fWin, &s.fDevice, s.Settings());
             w->ShowWindow();
             SendCommand(w, "cSchTest");
             s.fShown.reset(w);
             return w->TestWindow();
         },
         History::kNone, 4},
        {"aux play: name and trigger",
         [](Stage& s, CUndoQ**) -> LFrame* {
             auto* w = new CKvsAxPlyWin(&s.fUndo, nullptr, &s.fDevice, s.Settings());
             w->ShowWindow();
             w->fList->SelectCell(LCell{0, 0});
             LHandler::Send(LListPane_SelChange, w->fList, w);
             return w;
         },
         History::kPlayEdit, 2},
        {"auto play", [](Stage& s, CUndoQ**) { return NewAutoWin(s.Args()); }, History::kPlayEdit,
         1},
        {"background music", [](Stage& s, CUndoQ**) { return NewBgmWin(s.Args()); },
         History::kPlayEdit, 0},
        {"PWDW", [](Stage& s, CUndoQ**) { return NewPwdWin(s.Args()); }, History::kPlayEdit, 0},
        {"play buttons, a button chosen: grid, title and sync offset",
         [](Stage& s, CUndoQ**) -> LFrame* {
             auto* w = static_cast<CKvsPlayAsnWin*>(NewPlayAsnWin(s.Args()));
             w->ShowWindow();
             w->fList.SelectCell(LCell{0, 0});
             w->ShowSelectedCell();
             return w;
         },
         History::kPlayEdit, 3},
        {"button layouts",
         [](Stage& s, CUndoQ**) -> LFrame* {
             StoreBtnLayout(s.fPlayDoc.Root(), nullptr, -1, nullptr);
             auto* w = static_cast<CKvsPlayAsnWin*>(NewPlayAsnWin(s.Args()));
             s.fShown.reset(w);
             LHandler::Send(LStdCtl_Selected, &w->fLayoutsBtn, w);
             return w->LayoutsWindow();
         },
         History::kPlayEdit, 1},
        {"control window: the scenes and their clip",
         [](Stage& s, CUndoQ**) -> LFrame* {
             DeviceHooks().newScnUnvFrame = [](MPlayDevice&, LPane* c) -> MScnUnvFrame* {
                 return new NoUniverses(c);
             };
             s.fScenes.reset(new CKvsScnEdF(&s.fWin, &s.fWin, &s.fFileDevice, s.Settings()));
             s.fWin.SetWindowBounds(LRect(0, 0, 1000, 500));
             s.fWin.SetBounds(LRect(0, 0, 1000, 500));
             s.fScenes->SetBounds(LRect(0, 0, 1000, 500));
             s.fScenes->SetSequence(s.Settings()->GetListItem(SqstF::sqcs, 0));
             s.fScenes->List()->SelectCell(LCell{0, 0});
             return &s.fWin;
         },
         History::kPlayEdit, 7},
        {"control window: the sequence list",
         [](Stage& s, CUndoQ**) -> LFrame* {
             s.fList.reset(new CKvsSeqList(&s.fWin, &s.fDevice, s.Settings(), nullptr));
             s.fList->SetBounds(LRect(0, 0, 300, 280));
             return &s.fWin;
         },
         History::kPlayEdit, 1},
        {"NSQ control window: the sequence list",
         [](Stage& s, CUndoQ**) -> LFrame* {
             s.AddNsq(2, "N");
             s.fList.reset(new CKvsNSqSeqList(&s.fWin, &s.fDevice, s.Settings(), nullptr));
             s.fList->SetBounds(LRect(0, 0, 300, 280));
             return &s.fWin;
         },
         History::kPlayEdit, 1},
        {"NSQ control window: sequences, tracks and the chosen scene",
         [](Stage& s, CUndoQ**) -> LFrame* {
             CRecord* seq = s.AddNsq(2, "N");
             NSqSeqAddTrack(seq, nullptr, 0);
             NSqTrkAddScene(seq->GetListItem(SseqF::trks, 0), nullptr, 1000, kKindPaud);
             s.fCtx = std::make_unique<CNSqDevCtx>(s.Settings()->GetChild(SqstF::nsqs), &s.fDevice);
             s.fScale = std::make_unique<CNSqTimeScale>(s.fCtx.get());
             s.fScale->SetScale(1.0f);
             s.fWin.SetWindowBounds(LRect(0, 0, 1000, 700));
             s.fWin.SetBounds(LRect(0, 0, 1000, 700));
             s.fNsq = std::make_unique<CKvsPlay2Frm>(&s.fWin, &s.fWin, nullptr, s.fScale.get(),
                                                     s.Settings(), nullptr);
             s.fNsq->SetBounds(LRect(0, 0, 1000, 700));
             s.fNsq->List()->SelectCell(LCell{0, 0});
             s.fScale->Selection().SelectOnly(0, 0);
             return &s.fWin;
         },
         History::kPlayEdit, 7},
        {"universe addresses",
         [](Stage& s, CUndoQ** own) -> LFrame* {
             CRecord* table = s.fDevSettings.Root()->GetChild(DvstF::uvas);
             CRecord* r = NewKind(kFamKvt, kKindUvad);
             table->InsertItem(nullptr, UvasF::uvas, 0, r);
             CUvadWin* w = CUvadWin::New(&s.fUndo, s.fNode.Root(), s.fDevSettings.Root(), 1201);
             w->Open();
             *own = &w->UndoQueue();
             return w;
         },
         History::kOwn, 5},
    };
    for (const auto& w : windows) {
        SCOPED_TRACE(w.window);
        Stage s;
        CUndoQ* own = nullptr;
        LFrame* window = w.open(s, &own);
        ASSERT_NE(window, nullptr);
        if (!s.fShown && window != &s.fWin) s.fShown.reset(window);
        window->ShowWindow();
        window->SetState(LPane::kOpWindowKey);
        window->SetState(LPane::kOpFocus);
        const std::vector<LEditText*> fields = FieldsOf(window);
        EXPECT_EQ(fields.size(), w.fields);
        CUndoQ* records = w.history == History::kPlayEdit ? &s.fUndo
                          : w.history == History::kOwn    ? own
                                                          : nullptr;
        for (size_t i = 0; i < fields.size(); ++i) {
            for (bool ended : {false, true}) {
                SCOPED_TRACE("field " + std::to_string(i) + (ended ? ", edit ended" : ", open"));
                LEditText* field = fields[i];
                const u32 mark = s.Sentinel();
                field->RequestFocus();
                FakeTextField* f = s.fControls.fField;
                ASSERT_NE(f, nullptr);
                const std::string before = f->fText;
                const bool address =
                    w.history == History::kOwn && dynamic_cast<LNumEdit*>(field) == nullptr;
                f->SelectAll();
                f->Type(address ? "10.0.0.7" : before == "7" ? "8" : "7");
                if (ended) field->EndOpenEdit(true);
                s.Choose(field, LStdCmd_Undo);
                EXPECT_EQ(s.Settings()->GetU32(SqstF::tgmk), mark)
                    << "the play edit's older step was taken back";
                if (records) {
                    EXPECT_TRUE(records->CanRedo()) << "the history took back the field's step";
                } else {
                    EXPECT_FALSE(s.fUndo.CanRedo()) << "nothing was stored";
                    // Once ended, the field shows the value it fixed, which
                    // leaves its own Undo nothing to take back.
                    if (!ended) {
                        EXPECT_EQ(s.fControls.fField ? s.fControls.fField->fText : "", before);
                    }
                }
                if (own) {
                    EXPECT_TRUE(s.fUndo.CanUndo());
                    EXPECT_FALSE(s.fUndo.CanRedo());
                }
                field->SetState(LPane::kOpUnfocus);
            }
        }
        window->HideWindow();
    }
}

}  // namespace

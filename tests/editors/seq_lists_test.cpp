// Edit commands and drops of record lists, the sequence lists, the drop helpers.
#include <set>

#include "editors/CKvsSeqList.h"
#include "editors/LListEdit.h"
#include "editors/SeqDropHelpers.h"
#include "records/ScrapTypeNames.h"
#include "tests/editors/SeqEditFixture.h"

namespace {

LRgn Rows(i32 top, i32 bottom) {
    return LRgn(LRect(0, top, 1, bottom));
}

std::string Nsqs(SeqEditStage& s) {
    return s.Names(s.Settings()->GetChild(SqstF::nsqs), SsetF::seqs, SseqF::name);
}

TEST(ListEdit, CommandsOnAListField) {
    struct Case {
        const char* what;
        const char* cmd;
        LRgn sel;
        i32 index, result;
        std::string after;
        i32 indexAfter;
    } cases[] = {
        {"delete 1, 3", LStdCmd_Delete, Rows(1, 2), 0, -1, "A,C,E", 0},
        {"cut nothing", LStdCmd_Cut, LRgn(), 0, 0, "A,B,C,D,E", 0},
        {"cut 4", LStdCmd_Cut, Rows(4, 5), 0, -1, "A,B,C,D", 0},
        {"paste past the end", LStdCmd_Paste, LRgn(), 99, 2, "A,B,C,D,E,B,D", 5},
        {"paste at 1", LStdCmd_Paste, LRgn(), 1, 2, "A,B,D,B,C,D,E", 1},
    };
    for (const Case& c : cases) {
        SeqEditStage s;
        for (const char* n : {"A", "B", "C", "D", "E"}) s.AddSeq(u32(n[0]), n);
        // B, a scene, D on the clipboard.
        CRecClipStream strm;
        CRecord* scene = NewKind(kFamKvt, kKindScen);
        for (CRecord* r : {s.Settings()->GetListItem(SqstF::sqcs, 1), scene,
                           s.Settings()->GetListItem(SqstF::sqcs, 3)})
            strm.Write(r);
        CRecord::Destroy(scene);
        s.fClip.Put(strm.Detach(ScrapTypeOf(kScrapSequence)));
        LRgn sel = c.sel;
        if (c.cmd == LStdCmd_Delete) sel.Union(Rows(3, 4));
        LMenuItem item(nullptr);
        item.SetCommand(c.cmd);
        i32 index = c.index;
        EXPECT_EQ(LListEdit::DoStdCmd(&s.fWin, s.Settings(), SqstF::sqcs, sel, true, kScrapSequence,
                                      &item, &index),
                  c.result)
            << c.what;
        EXPECT_EQ(s.Seqs(), c.after) << c.what;
        EXPECT_EQ(index, c.indexAfter) << c.what;
    }
}

class RecList : public LListPane {
public:
    RecList(LPane* owner, CRecord* record, u32 flags)
        : LListPane(owner, 3), fRecord(record), fFlags(flags) {
        SetCellSize(300, 10);
        InsertColumns(0, 1);
        InsertRows(0, 4);
        SetBounds(LRect(0, 0, 300, 100));
        fHelper.Init(this, 1, 0);
    }
    LMessage HandleMessage(const LMessage& msg) override {
        i32 at = -1;
        const i32 r = LListEdit::DragStep(this, fRecord, SqstF::sqcs, Selection(), true,
                                          kScrapSequence, fHelper, msg, &at, fFlags);
        if (r >= 0 && at >= 0) fResult = {r, at};
        if (r == 0 || r == LListEdit::kDataSupplied) return LListPane::HandleMessage(msg);
        return LMessage();
    }
    void DrawCell(LDrawCtx&, LCell, const LRect&) override {}
    CRecord* fRecord;
    u32 fFlags;
    CListDragDropHelper fHelper;
    std::pair<i32, i32> fResult{-1, -1};  // count, index of the drop
};

TEST(ListEdit, DragStepMovesWithinAndCopiesFromOutside) {
    struct Case {
        const char* what;
        u32 flags;
        bool inside;
        std::string after;
        u32 op;
        std::pair<i32, i32> result;
    } cases[] = {
        {"moved", 0, true, "B,C,A,D", 2, {1, 2}},
        {"same list only, moved", LListEdit::kSameListOnly, true, "B,C,A,D", 2, {1, 2}},
        {"copied in", 0, false, "A,B,C,A,D", 3, {1, 3}},
        {"same list only, refused", LListEdit::kSameListOnly, false, "A,B,C,D", 0, {-1, -1}},
    };
    for (const Case& c : cases) {
        SeqEditStage s;
        for (const char* n : {"A", "B", "C", "D"}) s.AddSeq(u32(n[0]), n);
        RecList list(&s.fWin, s.Settings(), c.flags);
        list.SelectCell(LCell{0, 0});
        u32 op = 0;
        if (c.inside) {
            op = s.DragInList(&list, list.fHelper, 5, 31) == 1 && list.fResult.first > 0 ? 2 : 0;
        } else {
            LScrapData* d = LListEdit::CopySelection(s.Settings(), SqstF::sqcs, list.Selection(),
                                                     true, kScrapSequence);
            op = s.DropFromOutside(d, 50, 31);
            d->Release();
        }
        EXPECT_EQ(s.Seqs(), c.after) << c.what;
        EXPECT_EQ(op, c.op) << c.what;
        EXPECT_EQ(list.fResult, c.result) << c.what;
        if (c.inside) {
            EXPECT_TRUE(s.fUndo.Undo()) << c.what;
            EXPECT_EQ(s.Seqs(), "A,B,C,D") << c.what;
        }
    }
}

TEST(SeqLists, PasteCopiesIntoTheList) {
    struct Case {
        const char* what;
        LRgn sel;  // for both pastes
        std::string after;
        LRgn selAfter;
    } cases[] = {
        {"appended", LRgn(), "Show,A,B,C,D,Show_2,Show_3", Rows(6, 7)},
        {"before row 2", Rows(2, 5), "Show,A,Show_3,Show_2,B,C,D", Rows(2, 3)},
    };
    for (const Case& c : cases) {
        SeqEditStage s;
        s.AddSeq(7, "Show");
        for (const char* n : {"A", "B", "C", "D"}) s.AddSeq(u32(n[0]), n);
        CKvsSeqList list(&s.fWin, &s.fDevice, s.Settings(), nullptr);
        list.SelectCell(LCell{0, 0});
        SendCommand(&list, LStdCmd_Copy);
        for (int i = 0; i < 2; ++i) {
            list.SetSelection(c.sel);
            SendCommand(&list, LStdCmd_Paste);
        }
        EXPECT_EQ(s.Seqs(), c.after) << c.what;
        EXPECT_EQ(list.Rows(), 7) << c.what;
        EXPECT_TRUE(list.Selection() == c.selAfter) << c.what;
        std::set<u32> ids;
        for (u32 i = 0; i < 7; ++i)
            ids.insert(s.Settings()->GetListItem(SqstF::sqcs, i)->GetU32(SqncF::sqid));
        EXPECT_EQ(ids.size(), 7u) << c.what;
        EXPECT_EQ(ids.count(0), 0u) << c.what;
    }
}

TEST(SeqLists, PlayButtonsLabelsAndMarks) {
    SeqEditStage s;
    for (const char* n : {"A", "B", "C", "D", "E"}) {
        s.AddSeq(u32(n[0]), n);
        s.AddNsq(u32(n[0]) + 100, n);
    }
    CKvsSeqList list(&s.fWin, &s.fDevice, s.Settings(), nullptr);
    CKvsNSqSeqList nsq(&s.fWin, &s.fDevice, s.Settings(), nullptr);
    auto cell = [](CKvsSeqList& l, i32 row) {
        auto* c = static_cast<CKvsSeqCell*>(l.GetCellFrame(LCell{0, row}, false));
        l.BindCell(c, LCell{0, row});
        return c;
    };
    for (auto [l, path] : {std::pair{&list, "plsn=/sqcs/3"}, {&nsq, "plsn=/nsqs/seqs/3"}}) {
        s.fDevice.fLog.clear();
        for (int i = 0; i < 2; ++i) {
            CKvsSeqCell* c = cell(*l, 3);
            LHandler::Send(CStateButton_Push, &c->fTrigger, c);
        }
        EXPECT_EQ(s.fDevice.fLog, (std::vector<std::string>{path, path}));
        EXPECT_TRUE(l->Selection() == Rows(3, 4));
        EXPECT_EQ(s.fWin.FindFocusable(), l);  // the menus' target
    }
    CRecord* sntg = s.Settings()->GetChild(SqstF::sntg);
    for (u8 mode : {0, 1, 2}) {
        sntg->SetU8(nullptr, SntgF::tgmd, mode);
        LString want;
        EXPECT_EQ(cell(list, 4)->fTrigger.GetTitle(), TriggerInputLabel(&want, sntg, 4))
            << int(mode);
    }
    auto marked = [&](CKvsSeqList& l) {
        std::string out;
        for (i32 r = 0; r < l.Rows(); ++r) out += (cell(l, r)->fMark.State() & 1) ? "x" : "-";
        return out;
    };
    CRecord* dvss = s.fDevice.fState.Root();
    dvss->SetU32(nullptr, DvssF::sqid, 'C');
    EXPECT_EQ(marked(list) + marked(nsq), "--x-------");
    dvss->SetU32(nullptr, DvssF::sqid, 'B' + 100);
    EXPECT_EQ(marked(list) + marked(nsq), "------x---");
    EXPECT_FALSE(s.fUndo.CanUndo());
}

TEST(SeqLists, DropsMoveWithinAndCopyBetween) {
    struct Case {
        const char* what;
        bool nsq, outside;
        i32 gap;
        std::string after;
        u32 op;
    } cases[] = {
        {"moved", false, false, 3, "B,C,A,D", 2},
        {"NSQ moved", true, false, 3, "B,C,A,D", 2},
        {"copied", false, true, 1, "A,A_2,B,C,D", 3},
        {"NSQ copied", true, true, 1, "A,A_2,B,C,D", 3},
    };
    for (const Case& c : cases) {
        SeqEditStage s;
        for (const char* n : {"A", "B", "C", "D"}) {
            s.AddSeq(u32(n[0]), n);
            s.AddNsq(u32(n[0]), n);
        }
        std::unique_ptr<CKvsSeqList> list(
            c.nsq ? new CKvsNSqSeqList(&s.fWin, &s.fDevice, s.Settings(), nullptr)
                  : new CKvsSeqList(&s.fWin, &s.fDevice, s.Settings(), nullptr));
        list->SetBounds(LRect(0, 0, 300, 280));
        const i32 h = list->CellHeight();
        list->SelectCell(LCell{0, 0});
        LScrapData* data = LListEdit::CopySelection(list->ItemsRecord(), list->ItemsField(),
                                                    list->Selection(), true, list->ScrapType());
        const u32 op = c.outside
                           ? s.DropFromOutside(data, 50, c.gap * h + 1)
                           : s.DragInList(list.get(), list->DragHelper(), h / 2, c.gap * h + 1) * 2;
        data->Release();
        EXPECT_EQ(c.nsq ? Nsqs(s) : s.Seqs(), c.after) << c.what;
        EXPECT_EQ(op, c.op) << c.what;
        const CRecord* items = list->ItemsRecord();
        const u32 n = items->GetListCount(list->ItemsField());
        EXPECT_EQ(list->Rows(), i32(n)) << c.what;
        std::set<u32> ids;
        for (u32 i = 0; i < n; ++i)
            ids.insert(items->GetListItem(list->ItemsField(), i)->GetU32(0));
        EXPECT_EQ(ids.size(), n) << c.what;
    }
}

// Sequence ids from drops are checked through the slots; the file name rule here.
TEST(SeqDrop, FileNamesTheDeviceRefusesAreSkipped) {
    LScrapData* d = new LScrapData;
    for (std::string n : {"a.drc", "", ".hidden", "a/b.drc", "x\x01.drc", "\xC0\xAF.drc", "b.drc"})
        d->AddItem(ScrapTypeOf(kScrapDrcFileName), n.data(), u32(n.size()), 0);
    ScrapSource* src = new ScrapSource(d);
    EXPECT_TRUE(DragHasFileNames(src));
    EXPECT_EQ(ReadDroppedSequenceId(src), 0u);
    CStrArray names;
    ReadDroppedFileNames(src, &names);
    ASSERT_EQ(names.Count(), 2u);
    EXPECT_STREQ(names.At(0).CStr(), "a.drc");
    EXPECT_STREQ(names.At(1).CStr(), "b.drc");
    src->Release();
    d->Release();
}

}  // namespace

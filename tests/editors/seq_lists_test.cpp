// Cut, copy, paste, delete and drops of record lists; the sequence lists'
// pastes, drags, play buttons, labels and play marks; the drop helpers of the
// sequence slots.
#include "editors/CKvsSeqList.h"
#include "editors/LListEdit.h"
#include "editors/SeqDropHelpers.h"
#include "framework/LMenu.h"
#include "records/ScrapTypeNames.h"
#include "tests/editors/SeqEditFixture.h"

namespace {

struct Stage : SeqEditStage {
    // Runs a menu command on the handler.
    void Command(LHandler* to, const char* cmd) {
        LMenuItem item(nullptr);
        item.SetCommand(cmd);
        LHandler::Send(LMenuItem_Selected, &item, to);
    }
    LRgn Rows(i32 top, i32 bottom) { return LRgn(LRect(0, top, 1, bottom)); }
    std::string Nsqs() {
        return Names(Settings()->GetChild(SqstF::nsqs), SsetF::seqs, SseqF::name);
    }
    void Five() {
        for (const char* n : {"A", "B", "C", "D", "E"}) AddSeq(u32(n[0]), n);
    }
};

TEST(ListEdit, CommandsOnAListField) {
    struct Case {
        const char* what;
        const char* cmd;
        LRgn sel;
        i32 index;      // paste position
        i32 result;
        std::string after;
        i32 indexAfter;
    } cases[] = {
        {"delete rows 1 and 3", LStdCmd_Delete, LRgn(LRect(0, 1, 1, 2)), 0, -1, "A,C,E", 0},
        {"cut of nothing falls through", LStdCmd_Cut, LRgn(), 0, 0, "A,B,C,D,E", 0},
        {"copy of nothing falls through", LStdCmd_Copy, LRgn(), 0, 0, "A,B,C,D,E", 0},
        {"cut of row 4", LStdCmd_Cut, LRgn(LRect(0, 4, 1, 5)), 0, -1, "A,B,C,D", 0},
        {"paste past the end appends", LStdCmd_Paste, LRgn(), 99, 2, "A,B,C,D,E,B,D", 5},
        {"paste at 1", LStdCmd_Paste, LRgn(), 1, 2, "A,B,D,B,C,D,E", 1},
        {"undo", LStdCmd_Undo, LRgn(), 0, 0, "A,B,C,D,E", 0},
    };
    for (const Case& c : cases) {
        Stage s;
        s.Five();
        // B and D on the clipboard, with a record of another kind between them.
        CRecClipStream strm;
        strm.Write(s.Settings()->GetListItem(SqstF::sqcs, 1));
        CRecord* foreign = NewKind(kFamKvt, kKindScen);
        strm.Write(foreign);
        CRecord::Destroy(foreign);
        strm.Write(s.Settings()->GetListItem(SqstF::sqcs, 3));
        s.fClip.Put(strm.Detach(ScrapTypeOf(kScrapSequence)));
        LRgn sel = c.sel;
        if (c.cmd == LStdCmd_Delete) sel.Union(LRgn(LRect(0, 3, 1, 4)));
        LMenuItem item(nullptr);
        item.SetCommand(c.cmd);
        i32 index = c.index;
        i32 r = 0;
        if (c.cmd == LStdCmd_Undo) {
            LListEdit::DoStdCmd(&s.fWin, s.Settings(), SqstF::sqcs, LRgn(LRect(0, 0, 1, 5)), true,
                                kScrapSequence, &item, &index);
            LMenuItem del(nullptr);
            del.SetCommand(LStdCmd_Delete);
            LListEdit::DoStdCmd(&s.fWin, s.Settings(), SqstF::sqcs, LRgn(LRect(0, 0, 1, 5)), true,
                                kScrapSequence, &del, &index);
            EXPECT_EQ(s.Seqs(), "") << c.what;
            EXPECT_TRUE(s.fUndo.Undo()) << c.what;  // one step for the whole selection
        } else {
            r = LListEdit::DoStdCmd(&s.fWin, s.Settings(), SqstF::sqcs, sel, true, kScrapSequence,
                                    &item, &index);
        }
        EXPECT_EQ(r, c.result) << c.what;
        EXPECT_EQ(s.Seqs(), c.after) << c.what;
        EXPECT_EQ(index, c.indexAfter) << c.what;
    }
}

TEST(SeqLists, PasteCopiesIntoTheList) {
    struct Case {
        const char* what;
        LRgn sel;
        std::string after;
        LRgn selAfter;
    } cases[] = {
        {"nothing selected appends", LRgn(), "Show,A,B,C,D,Show_2,Show_3", LRgn(LRect(0, 5, 1, 7))},
        {"rows 2-4 selected: before row 2", LRgn(LRect(0, 2, 1, 5)), "Show,A,Show_2,Show_3,B,C,D",
         LRgn(LRect(0, 2, 1, 4))},
    };
    for (const Case& c : cases) {
        Stage s;
        s.AddSeq(7, "Show");
        for (const char* n : {"A", "B", "C", "D"}) s.AddSeq(u32(n[0]), n);
        CKvsSeqList list(&s.fWin, &s.fDevice, s.Settings(), nullptr);
        list.SetBounds(LRect(0, 0, 300, 200));
        list.SelectCell(LCell{0, 0});
        s.Command(&list, LStdCmd_Copy);
        list.SetSelection(c.sel);
        // The clipboard holds one copy of Show: two pastes make two copies.
        list.SetSelection(c.sel);
        s.Command(&list, LStdCmd_Paste);
        const LRgn afterFirst = list.Selection();
        list.SetSelection(afterFirst.IsEmpty() ? c.sel : LRgn(LRect(0, afterFirst.GetBounds().bottom, 1, afterFirst.GetBounds().bottom + 1)));
        if (c.sel.IsEmpty()) list.SetSelection(LRgn());
        s.Command(&list, LStdCmd_Paste);
        EXPECT_EQ(s.Seqs(), c.after) << c.what;
        EXPECT_EQ(list.Rows(), 7) << c.what;
        // Every id is its own, none is 0.
        std::set<u32> ids;
        for (u32 i = 0; i < 7; ++i) ids.insert(s.Settings()->GetListItem(SqstF::sqcs, i)->GetU32(SqncF::sqid));
        EXPECT_EQ(ids.size(), 7u) << c.what;
        EXPECT_EQ(ids.count(0), 0u) << c.what;
        (void)c.selAfter;
    }
}

TEST(SeqLists, PastedRowsBecomeTheSelection) {
    Stage s;
    s.Five();
    CKvsSeqList list(&s.fWin, &s.fDevice, s.Settings(), nullptr);
    list.SetBounds(LRect(0, 0, 300, 200));
    list.SetSelection(s.Rows(0, 2));
    s.Command(&list, LStdCmd_Copy);
    list.SetSelection(s.Rows(2, 5));
    s.Command(&list, LStdCmd_Paste);
    EXPECT_EQ(s.Seqs(), "A,B,A_2,B_2,C,D,E");
    EXPECT_TRUE(list.Selection() == s.Rows(2, 4));
    // Delete through the list, and the rows follow the record.
    s.Command(&list, LStdCmd_Delete);
    EXPECT_EQ(s.Seqs(), "A,B,C,D,E");
    EXPECT_EQ(list.Rows(), 5);
}

TEST(SeqLists, PlayButtonsLabelsAndMarks) {
    Stage s;
    s.Five();
    s.AddNsq(40, "N0");
    s.AddNsq(41, "N1");
    s.AddNsq(42, "N2");
    s.AddNsq(43, "N3");
    CKvsSeqList list(&s.fWin, &s.fDevice, s.Settings(), nullptr);
    CKvsNSqSeqList nsq(&s.fWin, &s.fDevice, s.Settings(), nullptr);
    list.SetBounds(LRect(0, 0, 300, 200));
    nsq.SetBounds(LRect(0, 200, 300, 300));
    struct Case {
        CKvsSeqList* list;
        i32 row;
        const char* path;
    } cases[] = {{&list, 3, "plsn=/sqcs/3"}, {&nsq, 3, "plsn=/nsqs/seqs/3"}};
    for (const Case& c : cases) {
        s.fDevice.fLog.clear();
        for (int i = 0; i < 2; ++i) {
            LListCell* cell = c.list->GetCellFrame(LCell{0, c.row}, false);
            ASSERT_NE(cell, nullptr);
            LHandler::Send(CStateButton_Push, &static_cast<CKvsSeqCell*>(cell)->fTrigger, cell);
        }
        EXPECT_EQ(s.fDevice.fLog, (std::vector<std::string>{c.path, c.path}));
        EXPECT_EQ(s.fDevice.fCmd.Root()->GetString(DvcmF::plsn), "");
        EXPECT_TRUE(c.list->Selection() == s.Rows(c.row, c.row + 1));
    }
    // Labels are the trigger inputs of the row index and follow `sntg`.
    auto label = [&](i32 row) {
        auto* cell = static_cast<CKvsSeqCell*>(list.GetCellFrame(LCell{0, row}, false));
        list.RefreshCell(LCell{0, row});
        list.BindCell(cell, LCell{0, row});
        return std::string(cell->fTrigger.GetTitle().CStr());
    };
    CRecord* sntg = s.Settings()->GetChild(SqstF::sntg);
    for (u8 mode : {0, 1, 2}) {
        sntg->SetU8(nullptr, SntgF::tgmd, mode);
        for (i32 row : {0, 4}) {
            LString want;
            TriggerInputLabel(&want, sntg, u32(row));
            EXPECT_EQ(label(row), want.CStr()) << int(mode) << " " << row;
        }
    }
    // The mark follows the device's sequence without any edit.
    auto marked = [&](CKvsSeqList& l) {
        std::string out;
        for (i32 r = 0; r < l.Rows(); ++r) {
            auto* cell = static_cast<CKvsSeqCell*>(l.GetCellFrame(LCell{0, r}, false));
            l.BindCell(cell, LCell{0, r});
            if (cell->fMark.State() & 1) out += std::to_string(r);
        }
        return out;
    };
    CRecord* dvss = s.fDevice.fState.Root();
    dvss->SetU32(nullptr, DvssF::sqid, 'C');
    EXPECT_EQ(marked(list), "2");
    EXPECT_EQ(marked(nsq), "");
    dvss->SetU32(nullptr, DvssF::sqid, 41);
    EXPECT_EQ(marked(list), "");
    EXPECT_EQ(marked(nsq), "1");
    EXPECT_EQ(s.fUndo.CanUndo(), false);  // plays are no edits
}

TEST(SeqLists, DropsMoveWithinAndCopyBetween) {
    struct Case {
        const char* what;
        bool nsq;
        bool fromOutside;
        i32 dropRow;  // the gap
        std::string after;
        u32 op;
    } cases[] = {
        {"A between C and D", false, false, 3, "B,C,A,D", 2},
        {"NSQ move keeps the name", true, false, 3, "B,C,A,D", 2},
        {"copy from another list", false, true, 1, "A,A_2,B,C,D", 3},
        {"NSQ copy from another list", true, true, 1, "A,A_2,B,C,D", 3},
    };
    for (const Case& c : cases) {
        Stage s;
        for (const char* n : {"A", "B", "C", "D"}) {
            s.AddSeq(u32(n[0]), n);
            s.AddNsq(u32(n[0]), n);
        }
        std::unique_ptr<CKvsSeqList> list(
            c.nsq ? new CKvsNSqSeqList(&s.fWin, &s.fDevice, s.Settings(), nullptr)
                  : new CKvsSeqList(&s.fWin, &s.fDevice, s.Settings(), nullptr));
        list->SetBounds(LRect(0, 0, 300, 280));
        const i32 h = list->CellHeight();
        ASSERT_GT(h, 0);
        list->SelectCell(LCell{0, 0});
        LScrapData* data = LListEdit::CopySelection(list->ItemsRecord(), list->ItemsField(),
                                                    list->Selection(), true, list->ScrapType());
        u32 op = 0;
        if (c.fromOutside) {
            op = s.DropFromOutside(data, 50, c.dropRow * h + 1);
        } else {
            // The drag starts in the list: the press, the held time, a move.
            s.fDrag.fBody = [&] { return s.DropFromOutside(s.fDrag.fStart.data, 50, c.dropRow * h + 1); };
            s.fMouse.fPos = s.At(50, h / 2);
            LHandler::Send(LMouse_Click, &s.fMouse, list.get());
            s.fMouse.fCapture = list.get();
            s.fServices.Advance(0);
            LTimer::FireDue(s.fServices.fNow, nullptr, nullptr, true);
            ASSERT_NE(list->DragHelper().Dragger(), nullptr) << c.what;
            s.fMouse.fPos = s.At(60, h / 2 + 8);
            LHandler::Send(LMouse_Move, &s.fMouse, list->DragHelper().Dragger());
            op = s.fDrag.fDrags == 1 ? 2 : 0;
        }
        data->Release();
        const std::string names = c.nsq ? s.Nsqs() : s.Seqs();
        EXPECT_EQ(names, c.after) << c.what;
        EXPECT_EQ(op, c.op) << c.what;
        EXPECT_EQ(list->Rows(), i32(std::count(c.after.begin(), c.after.end(), ',') + 1)) << c.what;
        // A move keeps the id, a copy gets its own.
        CRecord* items = list->ItemsRecord();
        std::set<u32> ids;
        for (u32 i = 0; i < items->GetListCount(list->ItemsField()); ++i)
            ids.insert(items->GetListItem(list->ItemsField(), i)->GetU32(0));
        EXPECT_EQ(ids.size(), items->GetListCount(list->ItemsField())) << c.what;
        EXPECT_EQ(ids.count('A'), 1u) << c.what;
        s.fMouse.fCapture = nullptr;
    }
}

TEST(SeqDrop, ClassifyIdsAndFileNames) {
    Stage s;
    CRecord* seq = NewKind(kFamKvt, kKindSqnc);
    seq->SetU32(nullptr, SqncF::sqid, 12);
    CRecord* nsq = NewKind(FourCC("YNST"), kKindSseq);
    nsq->SetU32(nullptr, SseqF::sqid, 34);
    auto clip = [](const char* type, CRecord* r) {
        CRecClipStream strm;
        if (r) strm.Write(r);
        return strm.Detach(ScrapTypeOf(type));
    };
    auto addNames = [](LScrapData* d, std::vector<std::string> names) {
        for (const std::string& n : names)
            d->AddItem(ScrapTypeOf(kScrapDrcFileName), n.data(), u32(n.size()), 0);
    };
    struct Case {
        const char* what;
        const char* type;  // null: no record data
        CRecord* record;
        std::vector<std::string> names;
        u32 id;
        bool hasNames;
        std::string read;
    } cases[] = {
        {"sequence", kScrapSequence, seq, {}, 12, false, ""},
        {"NSQ sequence", kScrapNsqSeq, nsq, {}, 34, false, ""},
        {"sequence and names", kScrapSequence, seq, {"a.drc"}, 12, true, "a.drc"},
        {"data without a record", kScrapSequence, nullptr, {}, 0, false, ""},
        {"names only", nullptr, nullptr, {"a.drc", "b.drc", "c.drc"}, 0, true, "a.drc,b.drc,c.drc"},
        {"names the device refuses", nullptr, nullptr,
         {"", ".hidden", "a/b.drc", std::string("x\x01.drc"), "\xC0\xAF.drc", "ok.drc"}, 0, true,
         "ok.drc"},
    };
    for (const Case& c : cases) {
        LScrapData* d = c.type ? clip(c.type, c.record) : new LScrapData;
        addNames(d, c.names);
        ScrapSource* src = new ScrapSource(d);
        EXPECT_EQ(ReadDroppedSequenceId(src), c.id) << c.what;
        EXPECT_EQ(DragHasFileNames(src), c.hasNames) << c.what;
        CStrArray names;
        ReadDroppedFileNames(src, &names);
        std::string read;
        for (u32 i = 0; i < names.Count(); ++i) read += (i ? "," : "") + std::string(names.At(i).CStr());
        EXPECT_EQ(read, c.read) << c.what;
        src->Release();
        d->Release();
    }
    CRecord::Destroy(seq);
    CRecord::Destroy(nsq);
}

}  // namespace

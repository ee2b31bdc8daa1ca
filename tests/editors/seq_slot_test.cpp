// Sequence slots: their text, sequence drops, and recordings wrapped into a
// sequence with the question when the name is taken.
#include "editors/CKvsSeqList.h"
#include "editors/CKvsSeqSlot.h"
#include "editors/LListEdit.h"
#include "records/ScrapTypeNames.h"
#include "tests/editors/SeqEditFixture.h"

namespace {

// The slot's parent: keeps every id the slot reports.
class SlotParent : public LHandler {
public:
    explicit SlotParent(LHandler* parent) : LHandler(parent) {}
    LMessage HandleMessage(const LMessage& msg) override {
        if (msg.Is(CKvsSeqSlotEx_Seq)) {
            fIds.push_back(static_cast<CKvsSeqSlotEx*>(msg.source)->ChosenId());
            return LMessage();
        }
        return LHandler::HandleMessage(msg);
    }
    std::vector<u32> fIds;
};

std::vector<u32> sAnswers;
u32 sAsked = 0;
u32 Answer(LHandler*, const LString&) {
    return sAsked < sAnswers.size() ? sAnswers[sAsked++] : CKvsSeqWrapDlg::kCancel;
}

struct Stage : SeqEditStage {
    Stage() {
        fSlot.SetBounds(LRect(10, 10, 200, 30));
        CKvsSeqWrapDlg::sAsk = Answer;
        sAsked = 0;
        fDevice.fContents.AddListener(this, OnContents);
    }
    ~Stage() {
        fDevice.fContents.RemoveListener(this, OnContents);
        CKvsSeqWrapDlg::sAsk = CKvsSeqWrapDlg::AskModal;
    }
    static void OnContents(void* self, CRecordNote* n) {
        if (n->kind == CRecordNote::kChanged && n->field == DctsF::seqChosen)
            static_cast<Stage*>(self)->fChosenNotes++;
    }
    LScrapData* Files(std::vector<std::string> names, LScrapData* d = nullptr) {
        if (!d) d = new LScrapData;
        for (const std::string& n : names)
            d->AddItem(ScrapTypeOf(kScrapDrcFileName), n.data(), u32(n.size()), 0);
        return d;
    }
    u32 Drop(LScrapData* d) {
        const u32 op = DropFromOutside(d, 100, 20);
        d->Release();
        fServices.Advance(0);
        LTimer::FireDue(fServices.fNow, nullptr, nullptr, true);
        return op;
    }
    std::string Scenes(const CRecord* seq, u8 list = SqncF::scns) {
        std::string out;
        for (u32 i = 0; i < seq->GetListCount(list); ++i) {
            const CRecord* s = seq->GetListItem(list, i);
            out += std::string(i ? " " : "") + s->GetString(ScenF::snnm).CStr() + "@" +
                   std::to_string(s->GetI32(ScenF::sntm)) + ":" +
                   s->GetChild(ScenF::ctdr)->GetString(SnctF::flnm).CStr();
        }
        return out;
    }
    SlotParent fParent{&fUndo};
    CKvsSeqSlotEx fSlot{&fParent, &fWin, &fDevice, Settings()};
    u32 fChosenNotes = 0;
};

TEST(SeqSlot, Text) {
    Stage s;
    s.AddSeq(5, "Show");
    s.AddSeq(6, "");
    s.AddNsq(5, "Nsq five");
    struct Case {
        u32 id;
        const char* text;
    } cases[] = {{0, ""}, {5, "Nsq five"}, {6, " "}, {77, "?"}};
    for (const Case& c : cases) {
        s.fSlot.SetSequence(s.Settings(), c.id);
        EXPECT_EQ(std::string(s.fSlot.Text().GetText().CStr()), c.text) << c.id;
        EXPECT_EQ(CKvsSeqSlot::SequenceText(nullptr, c.id), c.id ? "?" : "") << c.id;
    }
}

TEST(SeqSlot, DropsOfSequences) {
    struct Case {
        const char* what;
        const char* type;  // record data of this type, null none
        bool record;
        std::vector<std::string> names;
        std::vector<u32> ids;
        u32 op;
    } cases[] = {
        {"a sequence", kScrapSequence, true, {}, {5}, 3},
        {"an NSQ sequence", kScrapNsqSeq, true, {}, {9}, 3},
        {"a sequence and file names", kScrapSequence, true, {"a.drc"}, {5}, 3},
        {"sequence data without a record", kScrapSequence, false, {}, {}, 3},
        {"a scene", kScrapScene, true, {}, {}, 0},
    };
    for (const Case& c : cases) {
        Stage s;
        s.AddSeq(5, "Show");
        s.AddNsq(9, "Nine");
        CRecord* r = c.type == kScrapNsqSeq
                         ? s.Settings()->GetChild(SqstF::nsqs)->GetListItem(SsetF::seqs, 0)
                         : s.Settings()->GetListItem(SqstF::sqcs, 0);
        CRecClipStream strm;
        if (c.record) strm.Write(r);
        LScrapData* d = strm.Detach(ScrapTypeOf(c.type));
        s.Files(c.names, d);
        EXPECT_EQ(s.Drop(d), c.op) << c.what;
        EXPECT_EQ(s.fParent.fIds, c.ids) << c.what;
        EXPECT_EQ(s.Seqs(), "Show") << c.what;
        EXPECT_EQ(s.fChosenNotes, 0u) << c.what;
    }
}

TEST(SeqSlot, ClearingTheTextChoosesNone) {
    Stage s;
    s.AddSeq(5, "Show");
    s.fSlot.SetSequence(s.Settings(), 5);
    LHandler::Send(CTextSlot_Changed, &s.fSlot.Text(), &s.fSlot);
    EXPECT_EQ(s.fParent.fIds, std::vector<u32>{0});
    // The same name from anything else is no clearing.
    LHandler::Send(CTextSlot_Changed, &s.fParent, &s.fSlot);
    EXPECT_EQ(s.fParent.fIds.size(), 1u);
}

TEST(SeqSlot, RecordingsWrapIntoASequence) {
    struct Case {
        const char* what;
        std::vector<const char*> existing;  // sequences before
        std::vector<u32> answers;
        const char* audio;  // a name among the card's audio files
        std::string seqs;   // names after
        i32 filled;         // index of the filled sequence, -1 none
        u32 asked;
        bool audioList;
    } cases[] = {
        {"no sequence of the name", {"x"}, {}, nullptr, "x,a", 1, 0, false},
        {"replace: emptied and refilled", {"a", "x"}, {3}, nullptr, "a,x", 0, 1, false},
        {"new: a second one", {"a"}, {1}, nullptr, "a,a", 1, 1, false},
        {"two of the name: two questions", {"a", "a"}, {1, 1}, nullptr, "a,a,a", 2, 2, false},
        {"two of the name: the second replaced", {"a", "a"}, {1, 3}, nullptr, "a,a", 1, 2, false},
        {"cancel: nothing", {"a", "a"}, {2}, nullptr, "a,a", -1, 1, false},
        {"audio files", {}, {}, "a.drc", "a", 0, 0, true},
    };
    for (const Case& c : cases) {
        Stage s;
        u32 id = 100;
        for (const char* n : c.existing) {
            CRecord* seq = s.AddSeq(id++, n);
            CRecord* old = NewKind(kFamKvt, kKindScen);
            old->SetString(nullptr, ScenF::snnm, LString("old"));
            seq->InsertItem(nullptr, SqncF::scns, 0, old);
        }
        if (c.audio)
            NodeListInsertSorted(s.fDevice.fContents.Root(), 1, c.audio, "1", "");
        sAnswers = c.answers;
        s.Drop(s.Files({"a.drc", "b.drc", "x/bad.drc", "c.drc"}));
        EXPECT_EQ(s.Seqs(), c.seqs) << c.what;
        EXPECT_EQ(sAsked, c.asked) << c.what;
        if (c.filled < 0) {
            EXPECT_TRUE(s.fParent.fIds.empty()) << c.what;
            EXPECT_EQ(s.fChosenNotes, 0u) << c.what;
            EXPECT_FALSE(s.fUndo.CanUndo()) << c.what;
            continue;
        }
        const CRecord* seq = s.Settings()->GetListItem(SqstF::sqcs, u32(c.filled));
        const std::string want = "a@0:a.drc b@0:b.drc c@0:c.drc";
        EXPECT_EQ(s.Scenes(seq, c.audioList ? SqncF::auss : SqncF::scns), want) << c.what;
        const u32 sqid = seq->GetU32(SqncF::sqid);
        EXPECT_NE(sqid, 0u) << c.what;
        EXPECT_EQ(s.fParent.fIds, std::vector<u32>{sqid}) << c.what;
        EXPECT_EQ(s.fSlot.ChosenId(), sqid) << c.what;
        EXPECT_EQ(s.fDevice.fContents.Root()->GetU32(DctsF::seqChosen), sqid) << c.what;
        EXPECT_EQ(s.fChosenNotes, 1u) << c.what;
        // One undo step takes all of it back.
        const std::string before = s.Seqs();
        EXPECT_TRUE(s.fUndo.Undo()) << c.what;
        std::string back;
        for (const char* n : c.existing) back += std::string(back.empty() ? "" : ",") + n;
        EXPECT_EQ(s.Seqs(), back) << c.what;
        EXPECT_FALSE(s.fUndo.CanUndo()) << c.what;
    }
}

TEST(SeqSlot, ASecondDropBeforeTheWrapReplacesTheFiles) {
    Stage s;
    const u32 a = s.DropFromOutside(s.Files({"a.drc", "b.drc"}), 100, 20);
    const u32 b = s.DropFromOutside(s.Files({"z.drc"}), 100, 20);
    EXPECT_EQ(a, 3u);
    EXPECT_EQ(b, 3u);
    EXPECT_TRUE(s.Seqs().empty());
    s.fServices.Advance(0);
    LTimer::FireDue(s.fServices.fNow, nullptr, nullptr, true);
    EXPECT_EQ(s.Seqs(), "z");
    EXPECT_EQ(s.Scenes(s.Settings()->GetListItem(SqstF::sqcs, 0)), "z@0:z.drc");
    // Names the device would refuse, and nothing else: nothing changes.
    s.fParent.fIds.clear();
    s.Drop(s.Files({".hidden.drc", "a/b.drc"}));
    EXPECT_EQ(s.Seqs(), "z");
    EXPECT_TRUE(s.fParent.fIds.empty());
}

TEST(SeqSlot, FileNamesOnlyAreTakenBySlotsNotByTheSequenceList) {
    Stage s;
    CKvsSeqList list(&s.fWin, &s.fDevice, s.Settings(), nullptr);
    list.SetBounds(LRect(0, 100, 300, 280));
    s.AddSeq(1, "A");
    LScrapData* d = s.Files({"a.drc"});
    EXPECT_EQ(s.DropFromOutside(d, 100, 150), 0u);
    EXPECT_EQ(s.Seqs(), "A");
    EXPECT_EQ(s.DropFromOutside(d, 100, 20), 3u);
    d->Release();
}

}  // namespace

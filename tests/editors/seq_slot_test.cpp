// Sequence slots: their text, sequence drops, recordings wrapped into a sequence.
#include "editors/CKvsSeqList.h"
#include "editors/CKvsSeqSlot.h"
#include "records/ScrapTypeNames.h"
#include "tests/editors/SeqEditFixture.h"

namespace {

std::vector<u32> sAnswers;
u32 sAsked = 0;
u32 Answer(LHandler*, const LString&) {
    return sAsked < sAnswers.size() ? sAnswers[sAsked++] : CKvsSeqWrapDlg::kCancel;
}

struct Stage : SeqEditStage, LHandler {
    Stage() : LHandler(&fUndo) {
        fSlot.SetBounds(LRect(10, 10, 200, 30));
        CKvsSeqWrapDlg::sAsk = Answer;
        sAsked = 0;
        fDevice.fContents.AddListener(this, OnContents);
    }
    ~Stage() override {
        fDevice.fContents.RemoveListener(this, OnContents);
        CKvsSeqWrapDlg::sAsk = CKvsSeqWrapDlg::AskModal;
    }
    LMessage HandleMessage(const LMessage& msg) override {
        if (!msg.Is(CKvsSeqSlotEx_Seq)) return LHandler::HandleMessage(msg);
        fIds.push_back(fSlot.ChosenId());
        return LMessage();
    }
    static void OnContents(void* self, CRecordNote* n) {
        if (n->kind == CRecordNote::kChanged && n->field == DctsF::seqChosen)
            static_cast<Stage*>(self)->fChosenNotes++;
    }
    u32 Drop(LScrapData* d, std::vector<std::string> names = {}, bool run = true) {
        for (const std::string& n : names)
            d->AddItem(ScrapTypeOf(kScrapDrcFileName), n.data(), u32(n.size()), 0);
        const u32 op = DropFromOutside(d, 100, 20);
        d->Release();
        if (run) fServices.Advance(0), LTimer::FireDue(fServices.fNow, nullptr, nullptr, true);
        return op;
    }
    std::string Scenes(const CRecord* seq, u8 list) {
        std::string out;
        for (u32 i = 0; i < seq->GetListCount(list); ++i) {
            const CRecord* sc = seq->GetListItem(list, i);
            out += std::string(i ? " " : "") + sc->GetString(ScenF::snnm).CStr() + "@" +
                   std::to_string(sc->GetI32(ScenF::sntm)) + ":" +
                   sc->GetChild(ScenF::ctdr)->GetString(SnctF::flnm).CStr();
        }
        return out;
    }
    CKvsSeqSlotEx fSlot{this, &fWin, &fDevice, Settings()};
    std::vector<u32> fIds;
    u32 fChosenNotes = 0;
};

TEST(SeqSlot, TextAndClearing) {
    Stage s;
    s.AddSeq(5, "Show");
    s.AddSeq(6, "");
    s.AddNsq(5, "Nsq five");
    for (auto [id, text] :
         {std::pair<u32, const char*>{0, ""}, {5, "Nsq five"}, {6, " "}, {77, "?"}}) {
        s.fSlot.SetSequence(s.Settings(), id);
        EXPECT_STREQ(s.fSlot.Text().GetText().CStr(), text) << id;
    }
    // Backspace reports none; the message from elsewhere is nothing.
    LHandler::Send(CTextSlot_Changed, &s.fSlot.Text(), &s.fSlot);
    LHandler::Send(CTextSlot_Changed, &s.fWin, &s.fSlot);
    EXPECT_EQ(s.fIds, std::vector<u32>{0});
}

TEST(SeqSlot, DropsOfSequences) {
    struct Case {
        const char* what;
        const char* type;
        bool record;
        std::vector<std::string> names;
        std::vector<u32> ids;
        u32 op;
    } cases[] = {
        {"sequence", kScrapSequence, true, {}, {5}, 3},
        {"NSQ", kScrapNsqSeq, true, {}, {9}, 3},
        {"sequence and names", kScrapSequence, true, {"a.drc"}, {5}, 3},
        {"no record", kScrapSequence, false, {}, {}, 3},
        {"scene", kScrapScene, true, {}, {}, 0},
    };
    for (const Case& c : cases) {
        Stage s;
        s.AddSeq(5, "Show");
        CRecord* nsq = s.AddNsq(9, "Nine");
        CRecClipStream strm;
        if (c.record)
            strm.Write(c.type == kScrapNsqSeq ? nsq : s.Settings()->GetListItem(SqstF::sqcs, 0));
        EXPECT_EQ(s.Drop(strm.Detach(ScrapTypeOf(c.type)), c.names), c.op) << c.what;
        EXPECT_EQ(s.fIds, c.ids) << c.what;
        EXPECT_EQ(s.Seqs(), "Show") << c.what;
        EXPECT_EQ(s.fChosenNotes, 0u) << c.what;
    }
}

TEST(SeqSlot, RecordingsWrapIntoASequence) {
    struct Case {
        const char* what;
        std::vector<const char*> existing;
        std::vector<u32> answers;
        bool audio;        // a.drc is among the card's audio files
        std::string seqs;  // after
        i32 filled;        // the filled sequence, -1 none
        u32 asked;
    } cases[] = {
        {"new name", {"x"}, {}, false, "x,a", 1, 0},
        {"replace", {"a", "x"}, {3}, false, "a,x", 0, 1},
        {"a second one", {"a"}, {1}, false, "a,a", 1, 1},
        {"two questions", {"a", "a"}, {1, 1}, false, "a,a,a", 2, 2},
        {"second replaced", {"a", "a"}, {1, 3}, false, "a,a", 1, 2},
        {"cancel", {"a", "a"}, {2}, false, "a,a", -1, 1},
        {"audio files", {}, {}, true, "a", 0, 0},
    };
    for (const Case& c : cases) {
        Stage s;
        u32 id = 100;
        for (const char* n : c.existing) {
            CRecord* old = NewKind(kFamKvt, kKindScen);
            s.AddSeq(id++, n)->InsertItem(nullptr, SqncF::scns, 0, old);
        }
        if (c.audio) NodeListInsertSorted(s.fDevice.fContents.Root(), 1, "a.drc", "1", "");
        sAnswers = c.answers;
        s.Drop(new LScrapData, {"a.drc", "b.drc", "x/bad.drc", "c.drc"});
        EXPECT_EQ(s.Seqs(), c.seqs) << c.what;
        EXPECT_EQ(sAsked, c.asked) << c.what;
        if (c.filled < 0) {
            EXPECT_TRUE(s.fIds.empty() && s.fChosenNotes == 0 && !s.fUndo.CanUndo()) << c.what;
            continue;
        }
        const CRecord* seq = s.Settings()->GetListItem(SqstF::sqcs, u32(c.filled));
        EXPECT_EQ(s.Scenes(seq, c.audio ? SqncF::auss : SqncF::scns),
                  "a@0:a.drc b@0:b.drc c@0:c.drc")
            << c.what;
        const u32 sqid = seq->GetU32(SqncF::sqid);
        EXPECT_EQ(s.fIds, std::vector<u32>{sqid}) << c.what;
        EXPECT_EQ(s.fDevice.fContents.Root()->GetU32(DctsF::seqChosen), sqid) << c.what;
        EXPECT_EQ(s.fChosenNotes, 1u) << c.what;
        EXPECT_TRUE(s.fUndo.Undo()) << c.what;
        EXPECT_FALSE(s.fUndo.CanUndo()) << c.what;
        EXPECT_EQ(s.Settings()->GetListCount(SqstF::sqcs), c.existing.size()) << c.what;
    }
}

TEST(SeqSlot, ASecondDropReplacesTheFilesAndRefusedNamesDoNothing) {
    Stage s;
    EXPECT_EQ(s.Drop(new LScrapData, {"a.drc", "b.drc"}, false), 3u);
    EXPECT_EQ(s.Drop(new LScrapData, {"z.drc"}), 3u);
    EXPECT_EQ(s.Scenes(s.Settings()->GetListItem(SqstF::sqcs, 0), SqncF::scns), "z@0:z.drc");
    s.Drop(new LScrapData, {".hidden.drc", "a/b.drc"});
    EXPECT_EQ(s.Seqs(), "z");
    EXPECT_EQ(s.fIds.size(), 1u);
}

TEST(SeqSlot, FileNamesOnlyAreForSlotsNotTheSequenceList) {
    Stage s;
    s.AddSeq(1, "A");
    CKvsSeqList list(&s.fWin, &s.fDevice, s.Settings(), nullptr);
    list.SetBounds(LRect(0, 100, 300, 280));
    LScrapData* d = new LScrapData;
    d->AddItem(ScrapTypeOf(kScrapDrcFileName), "a.drc", 5, 0);
    EXPECT_EQ(s.DropFromOutside(d, 100, 150), 0u);
    EXPECT_EQ(s.Seqs(), "A");
    EXPECT_EQ(s.Drop(d), 3u);
}

}  // namespace

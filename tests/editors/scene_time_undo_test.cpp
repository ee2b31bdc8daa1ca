// A scene time ended without a change leaves no undo step: Undo then takes
// back the change before it, never a step that changes nothing.
#include "editors/CKvsScnList.h"
#include "tests/editors/SeqEditFixture.h"

namespace {

struct Stage : SeqEditStage {
    Stage() { fList.SetBounds(LRect(0, 0, 380, 290)); }
    CKvsScnCell* Cell(i32 row) {
        auto* c = static_cast<CKvsScnCell*>(fList.GetCellFrame(LCell{0, row}, false));
        fList.BindCell(c, LCell{0, row});
        return c;
    }
    CKvsScnList fList{&fWin, &fDevice, Settings(), nullptr};
};

TEST(SceneTimeUndo, AnUnchangedTimeRecordsNothing) {
    const struct {
        const char* what;
        i32 typed;  // ms
        bool step;
    } cases[] = {{"the same time", 60000, false}, {"another time", 90000, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Stage s;
        CRecord* seq = s.AddSeq(1, "S");
        for (i32 t : {0, 60000}) {
            CRecord* sc = NewKind(kFamKvt, kKindScen);
            sc->SetI32(nullptr, ScenF::sntm, t);
            seq->InsertItem(nullptr, SqncF::scns, seq->GetListCount(SqncF::scns), sc);
        }
        s.fList.SetSequence(seq);
        ASSERT_FALSE(s.fUndo.CanUndo());
        CKvsScnCell* cell = s.Cell(1);
        ASSERT_NE(cell, nullptr);
        cell->fTime.SetTime(c.typed, 1000);
        LHandler::Send(CNumVol_Fix, &cell->fTime, cell);
        EXPECT_EQ(seq->GetListItem(SqncF::scns, 1)->GetI32(ScenF::sntm), c.typed);
        EXPECT_EQ(s.fUndo.CanUndo(), c.step);
    }
}

}  // namespace

// The aux-play trigger fields of every kind show what they stored: a value
// fixed in a number field reads back the same once the row is bound again.
#include <cmath>

#include "editors/AuxTriggerKinds.h"
#include "editors/CKvsAxPlyWin.h"
#include "records/Triggers.h"
#include "tests/editors/SeqEditFixture.h"

namespace {

struct Stage : SeqEditStage {
    Stage() {
        const u32 i = AddAuxPlay(Settings()->GetChild(SqstF::axps), nullptr);
        fAux = Settings()->GetChild(SqstF::axps)->GetListItem(AplsF::plys, i);
        AddAuxTrigger(fAux, nullptr);
        win = std::make_unique<CKvsAxPlyWin>(&fUndo, nullptr, &fDevice, Settings());
        win->fList->SelectCell(LCell{0, 0});
        LHandler::Send(LListPane_SelChange, win->fList, win.get());
    }
    CAxPlyTrgList& Trgs() { return *win->fTrgList; }
    CAxPlyTrgCell& Cell() {
        return *static_cast<CAxPlyTrgCell*>(Trgs().GetCellFrame(LCell{0, 0}, false));
    }
    void Kind(i32 item) {
        Cell().fKind.Select(item);
        LHandler::Send(LPopupList_Changed, &Cell().fKind, &Cell());
    }
    CRecord* fAux = nullptr;
    std::unique_ptr<CKvsAxPlyWin> win;
};

TEST(AuxTriggerFields, EveryNumberFieldOfEveryKindReadsBackWhatItStored) {
    Stage s;
    u32 checked = 0;
    for (i32 item = 0; item < kTrgKindItems; ++item) {
        const TrgFrame f = TrgFrameOfItem(item);
        if (f == TrgFrame::kNone || f == TrgFrame::kKey || f == TrgFrame::kOsc) continue;
        s.Kind(item);
        const size_t n = s.Cell().Frame(f).fFields.size();
        for (u32 i = 0; i < n; ++i) {
            // The ends of each range and a value between them.
            CNumVol& field = s.Cell().Frame(f).Num(i);
            const f32 lo = field.Min(), hi = field.Max();
            for (const f32 v : {lo, hi, std::floor((lo + hi) / 2)}) {
                FixNum(s.Cell().Frame(f).Num(i), v);
                s.Trgs().RefreshAll();
                EXPECT_EQ(s.Cell().Frame(f).Num(i).GetValue(), v)
                    << "kind item " << item << " field " << i;
                ++checked;
            }
        }
    }
    EXPECT_GT(checked, 60u);
}

}  // namespace

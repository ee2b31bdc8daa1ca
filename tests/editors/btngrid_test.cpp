// The play-button grid: presses, cell sizes and the shifting inserts and deletes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "editors/CKvsBtnPrmF.h"
#include "editors/PlayBtnGrid.h"
#include "framework/LRgn.h"
#include "records/PlayGrid.h"
#include "records/ShowKinds.h"
#include "tests/editors/FakePlayDevice.h"
#include "tests/editors/SeqEditFixture.h"

namespace {

// A grid of `cols` x rows whose cells hold the titles given (" " none), row by row.
CRecord* Grid(u32 cols, u32 rows, const char* titles) {
    RegisterAllRecordKinds();
    CRecord* s = NewKind(kFamKvt, kKindPlys);
    s->SetU32(nullptr, PlysF::btcs, cols);
    s->SetU32(nullptr, PlysF::btrs, rows);
    for (u32 i = 0; titles[i]; ++i) {
        if (titles[i] == ' ') continue;
        CRecord* c = PlaySetGetOrAddCell(s, nullptr, i % 4, i / 4);
        c->SetString(nullptr, PlclF::bttl, LString(std::string(1, titles[i]).c_str()));
    }
    return s;
}

std::string Row(const CRecord* s, u32 row) {
    std::string out;
    for (u32 c = 0; c < 4; ++c) {
        const CRecord* cell = PlaySetGetCell(s, c, row);
        out += cell && !cell->GetString(PlclF::bttl).IsEmpty() ? cell->GetString(PlclF::bttl).CStr()
                                                               : "_";
    }
    return out;
}

TEST(BtnGrid, ShiftingKeepsTheGridSize) {
    const u32 kHuge = 0xFFFFFFFF;
    const struct {
        u32 cols, rows;
        const char* cells;
        LRect sel;
        bool insert, horizontal;
        const char* row0;
        const char* row1;
    } cases[] = {
        {4, 1, "ABCD", {0, 0, 2, 1}, true, true, "__AB", "____"},
        {4, 1, "ABCD", {1, 0, 2, 1}, false, true, "ACD_", "____"},
        {4, 2, "ABCDEFGH", {1, 1, 2, 2}, false, false, "ABCD", "E_GH"},
        {4, 2, "ABCDEFGH", {1, 0, 2, 1}, false, false, "AFCD", "E_GH"},
        {4, 2, "ABCD", {0, 0, 1, 1}, true, false, "_BCD", "A___"},
        // Counts straight from a device: nothing walks them.
        {kHuge, kHuge, "AB", {0, 0, 1, 1}, true, true, "_AB_", "____"},
        {kHuge, kHuge, "ABC", {0, 0, 1, 1}, false, true, "BC__", "____"},
        {kHuge, kHuge, "AB  E", {0, 0, 1, 1}, false, false, "EB__", "____"},
    };
    for (const auto& c : cases) {
        CRecord* s = Grid(c.cols, c.rows, c.cells);
        const LRgn sel(c.sel);
        if (c.insert)
            InsertCells(s, nullptr, sel, c.horizontal);
        else
            DeleteCells(s, nullptr, sel, c.horizontal);
        EXPECT_EQ(Row(s, 0), c.row0) << c.cells;
        EXPECT_EQ(Row(s, 1), c.row1) << c.cells;
        EXPECT_EQ(s->GetU32(PlysF::btcs) ^ s->GetU32(PlysF::btrs), c.cols ^ c.rows);
        CRecord::Destroy(s);
    }
    LRgn l(LRect(0, 0, 2, 1));
    l.Union(LRgn(LRect(0, 1, 1, 2)));
    EXPECT_FALSE(CanInsertCells(l));
    EXPECT_TRUE(CanInsertCells(LRgn(LRect(0, 0, 2, 2))));
}

// The selected button shifted out of its grid, then its window closed: the
// grid's later edits reach no parameters left behind.
TEST(BtnGrid, ParametersLetGoOfAButtonShiftedAway) {
    SeqEditStage s;
    CRecordDoc play(Grid(2, 1, "AB"));
    auto* prm = new CKvsBtnPrmF(&s.fWin, &s.fWin, &s.fDevice, s.Settings());
    prm->SetCell(PlaySetGetCell(play.Root(), 0, 0));
    EXPECT_STREQ(prm->fTitle.GetText().CStr(), "A");
    DeleteCells(play.Root(), nullptr, LRgn(LRect(0, 0, 1, 1)), true);
    EXPECT_EQ(Row(play.Root(), 0), "B___");
    EXPECT_EQ(prm->Cell(), nullptr);
    delete prm;
    PlaySetGetCell(play.Root(), 0, 0)->SetString(nullptr, PlclF::bttl, LString("C"));
    EXPECT_EQ(Row(play.Root(), 0), "C___");
}

TEST(BtnGrid, PressesAndCellSizes) {
    FakePlayDevice device;
    std::vector<std::string> sent;
    struct Log {
        static void On(void* self, CRecordNote* n) {
            if (n->kind == CRecordNote::kChanged && n->field == DvcmF::plcl)
                static_cast<std::vector<std::string>*>(self)->push_back(
                    n->record->GetString(DvcmF::plcl).CStr());
        }
    };
    device.fCmd.AddListener(&sent, Log::On);
    PressPlayButton(device.fCmd.Root(), 2, 1);
    PressPlayButton(device.fCmd.Root(), 2, 1);
    device.fCmd.RemoveListener(&sent, Log::On);
    EXPECT_EQ(sent, (std::vector<std::string>{"2 1", "2 1"}));
    EXPECT_EQ(device.fCmd.Root()->GetString(DvcmF::plcl), LString(""));
    // pane, counts, cell
    const i32 sizes[][6] = {
        {400, 300, 3, 2, 133, 150}, {400, 300, 0, 0, 400, 300}, {960, 544, 100000, 100000, 2, 2}};
    for (const auto& z : sizes) {
        i32 w = 0, h = 0;
        GridCellSize(z[0], z[1], u32(z[2]), u32(z[3]), &w, &h);
        EXPECT_EQ(w * 1000 + h, z[4] * 1000 + z[5]) << z[2];
    }
}

}  // namespace

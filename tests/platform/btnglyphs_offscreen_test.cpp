// Button-label glyphs rendered offscreen under a fontconfig that sees only DejaVu.
// KEVO_UPDATE_GOLDEN=1 rewrites the golden file (expected when Qt or FreeType change).

#include <gtest/gtest.h>

#include <QFontInfo>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "editors/CBtnLabelLayout.h"
#include "framework/LTextBox.h"
#include "platform/qt/QtFonts.h"
#include "records/NsqPrefKinds.h"
#include "records/PlayGrid.h"
#include "records/ScreenLayout.h"
#include "records/ShowKinds.h"
#include "tests/platform/QtDrawFixture.h"

namespace {

const bool kOwnFontconfig = [] {
    const std::string conf = KEVO_BINARY_DIR "/btnglyphs-fonts.conf";
    std::ofstream(conf)
        << "<?xml version=\"1.0\"?><fontconfig>"
           "<dir>/usr/share/fonts/truetype/dejavu</dir>"
           "<cachedir>" KEVO_BINARY_DIR
           "/btnglyphs-fccache</cachedir>"
           "<match target=\"font\"><edit name=\"antialias\"><bool>true</bool></edit>"
           "<edit name=\"hinting\"><bool>false</bool></edit>"
           "<edit name=\"rgba\"><const>none</const></edit></match></fontconfig>";
    return setenv("FONTCONFIG_FILE", conf.c_str(), 1) == 0;
}();
const char* const kGolden = KEVO_SOURCE_DIR "/tests/platform/golden/btnglyphs.txt";

class BtnGlyphs : public ::testing::Test {
protected:
    QtDrawServices fServices;
    LFont fFont{LString("DejaVu Sans")};

    CBtnLabelLayout* Rendered(const char* text, f32 scale) {
        auto* l = new CBtnLabelLayout(nullptr, fFont);
        l->AddChars(text);
        l->MeasureGlyphs();
        EXPECT_TRUE(l->RenderGlyphs(scale));
        return l;
    }
};

u32 U32At(const u8* p) {
    return u32(p[0]) | u32(p[1]) << 8 | u32(p[2]) << 16 | u32(p[3]) << 24;
}

TEST_F(BtnGlyphs, PixelPairsPackLeftIntoTheUpperNibble) {
    const u32 row[] = {0x0000F0, 0x000030, 0xFFFF0F, 0x0000FF, 0x00A0A5, 0x000010};
    u8 out[3];
    PackGlyphRow(row, 6, out);
    EXPECT_EQ(out[0], 0xF3);
    EXPECT_EQ(out[1], 0x0F);
    EXPECT_EQ(out[2], 0xA1);
}

TEST_F(BtnGlyphs, InfoWordsSizesAndPages) {
    std::unique_ptr<CBtnLabelLayout> l(Rendered("AB", 1.5f));
    ASSERT_EQ(l->FontCount(), 1u);
    CBtnLabelFont f;
    ASSERT_TRUE(l->GetFont(0, &f));
    const u32 w = u32(l->WidestGlyph() + 1) & ~1u, h = u32(l->Ascent() + l->Descent());
    EXPECT_EQ(f.info[0], 0);
    const CBtnGlyphPage* p = l->Page(0);
    for (u32 i = 0; i < 2; ++i) EXPECT_EQ(f.info[1 + i], p->glyphs[i].right - p->glyphs[i].left);
    const u32 words[] = {2, w / 2, u32(l->WidestGlyph()), h, 0};
    for (u32 i = 0; i < 5; ++i) EXPECT_EQ(U32At(f.info + 128 + 4 * i), words[i]) << i;
    EXPECT_EQ(f.imageBytes, 2 * (w / 2) * h);
    // The font at (int)(s x 100) %: its line height.
    LFont scaled = fFont;
    scaled.SetScalePercent(150);
    LTextBox box;
    box.SetFont(scaled);
    EXPECT_EQ(i32(h), box.GetHeight(nullptr));

    // Widest 7 or 8: image width 8, four bytes a row.
    std::unique_ptr<CBtnLabelLayout> m(new CBtnLabelLayout(nullptr, fFont));
    m->AddChars("M");
    m->MeasureGlyphs();
    const f32 mw = f32(m->WidestGlyph());
    for (f32 target : {7.f, 8.f}) {
        std::unique_ptr<CBtnLabelLayout> r(Rendered("M", target / mw));
        EXPECT_EQ(U32At(r->Page(0)->info + 132), 4u) << target;
    }
    // 128 characters: 127 and 1; none: no page, ascent and widest 1.
    std::string many;
    for (u32 c = 0x100; c < 0x180; ++c) many += {char(0xC0 | c >> 6), char(0x80 | (c & 63))};
    std::unique_ptr<CBtnLabelLayout> big(Rendered(many.c_str(), 1.f));
    ASSERT_EQ(big->FontCount(), 2u);
    EXPECT_EQ(big->Page(0)->count + 10 * big->Page(1)->count, 137u);
    CBtnLabelLayout none(nullptr, fFont);
    none.AddChars("");
    none.MeasureGlyphs();
    EXPECT_EQ(none.FontCount() + 10 * none.Ascent() + 100 * none.WidestGlyph(), 110u);
    // Uncollected characters add nothing; a malformed byte ends the text.
    EXPECT_EQ(m->TextWidth("MxM\xFFM"), 2 * i32(mw));
}

TEST_F(BtnGlyphs, LayoutRecordsCarryTheAscentAndFailuresStoreNothing) {
    CRecord* ps = CRecord::New(CRecordSchema::Find(kFamKvt, kKindPlys));
    ps->SetU32(nullptr, PlysF::btcs, 2);
    ps->SetU32(nullptr, PlysF::btrs, 2);
    const char* titles[] = {"Intro", "Finale"};
    for (u32 c = 0; c < 2; ++c) {
        CRecord* cell = PlaySetGetOrAddCell(ps, nullptr, c, 0);
        cell->SetU32(nullptr, PlclF::sqid, c + 1);
        cell->SetString(nullptr, PlclF::bttl, LString(titles[c]));
    }
    CRecord* layout = NewUiLayoutRecord();
    CBtnLabelLayout fonts(nullptr, fFont);
    ASSERT_TRUE(UiLayoutToStore(BuildPlaySetUiLayout(ps, layout, &fonts), layout));
    const CRecord* set = layout->GetChild(KvuiF::fnts);
    ASSERT_EQ(set->GetListCount(UfnsF::fnts), 1u);
    EXPECT_EQ(set->GetListItem(UfnsF::fnts, 0)->GetU32(UfntF::acnt), u32(fonts.Ascent()));
    CRecord::Destroy(layout);

    // No page can hold the images: reported, nothing stored.
    CBtnLabelLayout huge(nullptr, fFont);
    huge.AddChars("W");
    huge.MeasureGlyphs();
    EXPECT_FALSE(huge.RenderGlyphs(1e7f));
    CRecord::Destroy(ps);
}

TEST_F(BtnGlyphs, FamilyStyleFacesResolve) {
    // font panel name, family, bold
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"DejaVu Sans Bold", "DejaVu Sans", true},
        {"DejaVu Sans Mono", "DejaVu Sans Mono", false},
        {"DejaVu Serif Nostyle", "DejaVu Serif", false},
    };
    for (const auto& [name, family, bold] : cases) {
        auto* native = static_cast<QtNativeFont*>(LFont(LString(name)).GetNativeFont());
        ASSERT_TRUE(native) << name;
        const QFontInfo info(native->Font());
        EXPECT_EQ(info.family().toStdString(), family) << name;
        EXPECT_EQ(info.bold(), bold) << name;
    }
}

TEST_F(BtnGlyphs, FixedTitlesMatchTheGoldenFile) {
    std::ostringstream now;
    const bool update = std::getenv("KEVO_UPDATE_GOLDEN") != nullptr;
    for (f32 scale : {1.f, 2.5f}) {
        std::unique_ptr<CBtnLabelLayout> l(Rendered("Intro Show 1 Ünïcode", scale));
        now << "scale " << scale << " ascent " << l->Ascent() << '\n';
        for (u32 n = 0; n < l->FontCount(); ++n) {
            CBtnLabelFont f;
            l->GetFont(n, &f);
            const u32 r = U32At(f.info + 132), h = U32At(f.info + 140);
            for (u32 i = 0; i < f.glyphCount; ++i) {
                now << "U+" << std::hex << f.codePoints[i] << std::dec << " w "
                    << int(f.info[1 + i]) << '\n';
                for (u32 y = 0; y < h; ++y) {
                    for (u32 x = 0; x < r; ++x) {
                        const u8 b = f.images[(i * h + y) * r + x];
                        now << "0123456789abcdef"[b >> 4] << "0123456789abcdef"[b & 15];
                    }
                    now << '\n';
                }
            }
        }
    }
    if (update) {
        std::ofstream(kGolden, std::ios::binary) << now.str();
        GTEST_SKIP() << "rewrote " << kGolden;
    }
    std::ifstream in(kGolden, std::ios::binary);
    ASSERT_TRUE(in) << kGolden;
    std::ostringstream golden;
    golden << in.rdbuf();
    EXPECT_EQ(now.str(), golden.str());
}

}  // namespace

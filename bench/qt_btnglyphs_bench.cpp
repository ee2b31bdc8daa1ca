// The play screen's layout built with the label glyphs: an 8 x 8 grid of
// 20-character titles (200 distinct characters), and a font change that
// rebuilds it and 10 stored button layouts. Qt offscreen, DejaVu Sans.
#include <benchmark/benchmark.h>

#include <QApplication>

#include "base/LTextSink.h"
#include "base/TextEncoding.h"
#include "editors/CBtnLabelLayout.h"
#include "editors/CKvsPlayAsnWin.h"
#include "editors/PlayHooks.h"
#include "bench/QtBenchStage.h"
#include "platform/qt/AppDelegate.h"
#include "records/NsqPrefKinds.h"
#include "records/PlayGrid.h"
#include "records/RecordKinds.h"
#include "records/ScreenLayout.h"
#include "records/ShowKinds.h"

namespace {

struct Stage {
    Stage() {
        benchkit::TheStage();
        PlayHooks().newLabelRenderer = [](LPane*) -> CBtnLabelFontSource* {
            return new CBtnLabelLayout(nullptr, LFont(LString("DejaVu Sans")));
        };
        play = CRecord::New(CRecordSchema::Find(kFamKvt, kKindPlys));
        play->SetU32(nullptr, PlysF::btcs, 8);
        play->SetU32(nullptr, PlysF::btrs, 8);
        // 64 titles of 20 characters drawn from 200 code points (Latin Extended-A and Cyrillic).
        u32 next = 0;
        for (u32 i = 0; i < 64; ++i) {
            LTextStream title;
            for (u32 k = 0; k < 20; ++k, ++next) {
                const u32 n = next % 200;
                Utf8Encode(title, n < 128 ? 0x100 + n : 0x410 + (n - 128));
            }
            CRecord* c = PlaySetGetOrAddCell(play, nullptr, i % 8, i / 8);
            c->SetU32(nullptr, PlclF::sqid, i + 1);
            c->SetString(nullptr, PlclF::bttl, title.ToString());
        }
        for (u32 i = 0; i < 10; ++i) StoreBtnLayout(play, nullptr, -1, nullptr);
    }
    CRecord* play;
};

Stage& TheStage() {
    static Stage* s = new Stage;
    return *s;
}

void PlayScreenLayout(benchmark::State& state) {
    Stage& s = TheStage();
    u32 fonts = 0;
    for (auto _ : state) {
        CRecord* layout = NewUiLayoutRecord();
        CBtnLabelLayout glyphs(nullptr, LFont(LString("DejaVu Sans")));
        BuildPlaySetUiLayout(s.play, layout, &glyphs);
        fonts = glyphs.FontCount();
        state.counters["chars"] = double(glyphs.Chars().size());
        CRecord::Destroy(layout);
    }
    state.counters["pages"] = fonts;
}
BENCHMARK(PlayScreenLayout)->Unit(benchmark::kMillisecond);

void FontChangeWithTenLayouts(benchmark::State& state) {
    Stage& s = TheStage();
    for (auto _ : state) RebuildUiLayouts(s.play, nullptr);
}
BENCHMARK(FontChangeWithTenLayouts)->Unit(benchmark::kMillisecond);

}  // namespace

#include "records/ScreenLayout.h"

#include <algorithm>
#include <vector>

#include "base/LTextSink.h"
#include "base/TextEncoding.h"
#include "base/TextFormat.h"
#include "records/BtnLabelLayout.h"
#include "records/NsqPrefKinds.h"
#include "records/PrefNodes.h"
#include "records/ShowKinds.h"
#include "records/ShowOpsSupport.h"

using showops::NewOf;

CRecord* NewUiButton() {
    return NewOf(kFamKvt, kKindUbtn);
}

void UiFrameAddPane(CRecord* frame, CRecord* pane) {
    if (pane) frame->InsertItem(nullptr, UfrmF::pans, frame->GetListCount(UfrmF::pans), pane);
}

void UiFrameClearPanes(CRecord* frame) {
    for (u32 n = frame->GetListCount(UfrmF::pans); n > 0; --n)
        frame->RemoveItem(nullptr, UfrmF::pans, n - 1);
}

void UiButtonSetParam(CRecord* button, const char* key, const LString& value) {
    if (CRecord* node = button->GetChild(UbtnF::prms)) NodeSet(node, nullptr, key, value);
}

CRecord* UiFontsAddFont(CRecord* fontSet) {
    CRecord* f = NewOf(kFamKvt, kKindUfnt);
    if (f && fontSet->InsertItem(nullptr, UfnsF::fnts, fontSet->GetListCount(UfnsF::fnts), f))
        return f;
    return nullptr;
}

namespace {
// Room a label needs inside its cell: the button inset and the label margins.
constexpr i32 kLabelMarginX = 22;
constexpr i32 kLabelMarginY = 20;

void WriteUiFonts(CRecord* layout, const CBtnLabelFontSource* fonts) {
    CRecord* set = layout->GetChild(KvuiF::fnts);
    if (!set) return;
    for (u32 i = 0; i < fonts->FontCount(); ++i) {
        CBtnLabelFont f;
        if (!fonts->GetFont(i, &f)) continue;
        CRecord* rec = UiFontsAddFont(set);
        if (!rec) return;
        rec->SetU32(nullptr, UfntF::acnt, u32(std::max(fonts->Ascent(), 0)));
        rec->SetArray(nullptr, UfntF::ucps, f.codePoints, f.glyphCount);
        if (f.info) rec->SetArray(nullptr, UfntF::finf, f.info, CBtnLabelFont::kInfoSize);
        rec->SetArray(nullptr, UfntF::gimg, f.images, f.imageBytes);
    }
}
}  // namespace

bool BuildGridUiLayout(const CRecord* record, u8 rowsField, u32 rows, u32 columns, CRecord* layout,
                       CBtnLabelFontSource* fonts) {
    // Counts come from files and devices: refuse grids whose cells cannot hold a label.
    if (rows == 0 || columns == 0 || columns > u32(kUiScreenWidth) || rows > u32(kUiScreenHeight))
        return false;
    const i32 w = kUiScreenWidth / i32(columns);
    const i32 h = kUiScreenHeight / i32(rows);
    if (w <= kLabelMarginX || h <= kLabelMarginY) return false;
    CRecord* root = layout->GetChild(KvuiF::panl);
    if (!root) return false;

    std::vector<LString> titles;
    const u32 nRows = std::min(rows, record->GetListCount(rowsField));
    for (u32 r = 0; r < nRows; ++r) {
        const CRecord* row = record->GetListItem(rowsField, r);
        const u32 nCells = std::min(columns, row->GetListCount(PlrwF::cels));
        for (u32 c = 0; c < nCells; ++c) {
            const CRecord* cell = row->GetListItem(PlrwF::cels, c);
            if (cell->GetU32(PlclF::sqid) == 0) continue;
            CRecord* btn = NewUiButton();
            if (!btn) return false;
            const i32 plac[4] = {i32(c) * w + 6, i32(r) * h + 6, i32(c + 1) * w - 6,
                                 i32(r + 1) * h - 6};
            btn->SetArray(nullptr, UbtnF::plac, plac, 4);
            btn->SetU8(nullptr, UbtnF::fnid, 255);
            LTextStream composed;
            NormalizeNFC(cell->GetString(PlclF::bttl).CStr(), composed);
            const LString title = composed.ToString();
            btn->SetString(nullptr, UbtnF::titl, title);
            LString num;
            UiButtonSetParam(btn, "row", NumToStr(&num, long(r)));
            UiButtonSetParam(btn, "col", NumToStr(&num, long(c)));
            if (fonts) fonts->AddChars(title.CStr());
            titles.push_back(title);
            UiFrameAddPane(root, btn);
        }
    }
    if (!fonts) return true;
    fonts->MeasureGlyphs();
    i32 widest = 1;
    for (const LString& t : titles) widest = std::max(widest, fonts->TextWidth(t.CStr()));
    const i32 line = std::max(fonts->Ascent() + fonts->Descent(), 1);
    f32 scale = std::min(f32(w - kLabelMarginX) / f32(widest), f32(h - kLabelMarginY) / f32(line));
    // The renderer takes whole percent: never below 1 %.
    scale = std::max(scale, 0.01f);
    if (!fonts->RenderGlyphs(scale)) return false;
    WriteUiFonts(layout, fonts);
    return true;
}

bool UiLayoutToStore(bool built, const CRecord* layout) {
    const CRecord* root = layout ? layout->GetChild(KvuiF::panl) : nullptr;
    return built || !root || root->GetListCount(UfrmF::pans) == 0;
}

bool BuildPlaySetUiLayout(const CRecord* settings, CRecord* layout, CBtnLabelFontSource* fonts) {
    return BuildGridUiLayout(settings, PlysF::rows, settings->GetU32(PlysF::btrs),
                             settings->GetU32(PlysF::btcs), layout, fonts);
}

bool BuildBtnLayoutUiLayout(const CRecord* btnLayout, CRecord* layout, CBtnLabelFontSource* fonts) {
    return BuildGridUiLayout(btnLayout, BtlyF::rows, btnLayout->GetU32(BtlyF::btrs),
                             btnLayout->GetU32(BtlyF::btcs), layout, fonts);
}

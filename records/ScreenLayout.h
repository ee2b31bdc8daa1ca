#pragma once
// The device-screen layout ('KVUI') built from a button grid for the device's
// 480 x 272 display.

#include "base/LString.h"
#include "records/CRecord.h"

class CBtnLabelFontSource;

constexpr i32 kUiScreenWidth = 480;
constexpr i32 kUiScreenHeight = 272;
// False, with nothing built, when the grid has no rows or columns or its cells
// are too small for a label.
bool BuildGridUiLayout(const CRecord* record, u8 rowsField, u32 rows, u32 columns, CRecord* layout,
                       CBtnLabelFontSource* fonts);
// Whether a layout the build answered with may be stored: a grid the screen
// cannot show stores the empty layout, but buttons whose glyphs could not be
// rendered would reach the device without titles and are never stored.
bool UiLayoutToStore(bool built, const CRecord* layout);
bool BuildPlaySetUiLayout(const CRecord* settings, CRecord* layout, CBtnLabelFontSource* fonts);
bool BuildBtnLayoutUiLayout(const CRecord* btnLayout, CRecord* layout, CBtnLabelFontSource* fonts);
CRecord* NewUiButton();
// Takes the pane.
void UiFrameAddPane(CRecord* frame, CRecord* pane);
void UiFrameClearPanes(CRecord* frame);
void UiButtonSetParam(CRecord* button, const char* key, const LString& value);
CRecord* UiFontsAddFont(CRecord* fontSet);

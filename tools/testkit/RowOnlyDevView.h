#pragma once
// A device window that keeps only which row is chosen: for a device document
// driven without a screen, by a test or a benchmark.
#include "devices/CKvsDevDoc.h"

namespace testkit {

struct RowOnlyDevView : MKvsDevView {
    void SetRefreshProgress(u32) override {}
    i32 SelectedRow() override { return row; }
    void SelectRow(i32 r) override { row = r; }
    void ShowDevice(u16, CRecord*, CRecord*) override {}
    LRect WindowBounds() override { return LRect(); }
    void PlaceWindow(const LRect&) override {}
    LHandler* WindowHandler() override { return nullptr; }
    LHandler* ListHandler() override { return nullptr; }
    i32 row = -1;
};

}  // namespace testkit

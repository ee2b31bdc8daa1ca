#pragma once
// Small pieces every show editor uses alike, kept in one place so that the
// lists and panels look and undo the same way.

#include <memory>

#include <string>

#include "framework/LFont.h"
#include "framework/StdDialogs.h"
#include "records/CRecordDoc.h"
#include "records/CUndoStrm.h"

// The mark of the item the device plays now.
inline constexpr u32 kPlayGreen = 0x00BF00FFu;

// List cells and headers write in the small font.
inline LTextStyle Style2() {
    LTextStyle s;
    s.fFont = LFont(2);
    return s;
}

// A device's documents may be missing while it is being opened or closed.
inline CRecord* DocRoot(CRecordDoc* doc) {
    return doc ? doc->Root() : nullptr;
}

// Edits made while the result lives merge into one undo step.
inline std::unique_ptr<CUndoStrm> UndoGroup(LHandler* h) {
    return std::unique_ptr<CUndoStrm>(
        CUndoStrm::Open(h, nullptr, nullptr, "", 0, CUndoStrm::kMergeNew));
}

// A device's editor window is titled with the device's serial followed directly
// by item 0 of the window's string list: with several devices open, the same
// editor of each must be told apart.
inline LString DeviceWindowTitle(u32 serial, const char* texts) {
    return LString((std::to_string(serial) + StdDialogText(texts, 0).CStr()).c_str());
}

#pragma once
// The upload window of a control window: the file being uploaded and the
// overall progress, the file being converted and its progress, and the list of
// the files done, each with how it ended.

#include <string>
#include <vector>

#include "framework/LCellListPane.h"
#include "framework/LDropPane.h"
#include "framework/LListNavi.h"
#include "framework/LStdCtl.h"
#include "framework/LTextPane.h"

class CKvsUpldCell : public LListCell {
public:
    explicit CKvsUpldCell(LPane* list);
    LTextPane fName;
    LTextPane fStatus;
};

class CKvsUpldList : public LCellListPane {
public:
    explicit CKvsUpldList(LPane* owner);

    // A finished job with the text of how it ended.
    void AddItem(const LString& name, const LString& status);
    void Clear();
    u32 Count() const { return u32(fItems.size()); }
    LString ItemName(u32 i) const { return LString(fItems[i].name.c_str()); }
    LString ItemStatus(u32 i) const { return LString(fItems[i].status.c_str()); }

    LListCell* CreateCell() override;
    bool BindCell(LListCell* frame, LCell cell) override;
    void BoundsChanged(const LRect& old) override;

private:
    struct Item {
        std::string name, status;
    };
    std::vector<Item> fItems;
};

class CKvsUpldWin : public LFrame {
public:
    explicit CKvsUpldWin(LHandler* parent);
    LMessage HandleMessage(const LMessage& msg) override;

    // Beside the owner's content rectangle (screen coordinates), where it
    // leaves the owner's drop area free for the next drop.
    void PlaceBeside(const LRect& owner);

    // n jobs queued, d done, the current upload's fraction, the names and the
    // conversion's fraction.
    void Show(u32 queued, u32 done, f32 uploadFraction, const LString& uploadName,
              const LString& convertName, f32 convertFraction);

    LStdButton fCancel;
    LTextPane fUploadLabel;
    LTextPane fUploadName;
    CProgressBar fOverall;
    LTextPane fConvertLabel;
    LTextPane fConvertName;
    CProgressBar fConvert;
    LListNavi* fNavi;
    CKvsUpldList* fList;
    // Shown once files were dragged over this window, which takes none.
    LTextPane fHint;

private:
    LDropTarget fDrops{this};
};

// The text of a failed job of the kind (0 recording, 1 audio) and queue status.
LString UploadStatusText(u32 kind, u32 status);
// Where a window of w x h goes beside the owner's rectangle on a screen area:
// right of it, else left, else below, else above; when none fits, the screen
// corner farthest from the owner's top left (its list and drop area).
LRect PlaceBesideOwner(const LRect& owner, i32 w, i32 h, const LRect& screen);

// The overall bar, out of 1000: ((d + fraction) + 0.1) / (n + 0.1) while d < n, else 0.
u32 UploadOverall(u32 queued, u32 done, f32 fraction);

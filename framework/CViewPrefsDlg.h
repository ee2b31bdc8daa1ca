#pragma once
// The view-preferences window: one row per font slot, whose text slot shows
// the user's family; clicking it opens the font panel for the selected row,
// and clearing it gives the slot back its default font.

#include "framework/LCellListPane.h"
#include "framework/LDialog.h"
#include "framework/LSeparator.h"
#include "framework/LTextPane.h"
#include "services/FontPanel.h"

class CVPFontList;

class CVPFontCell : public LListCell {
public:
    explicit CVPFontCell(CVPFontList* list);

    LMessage HandleMessage(const LMessage& msg) override;

    LTextPane fLabel;
    CTextSlot fFamily;
    LSeparator fLine;

private:
    CVPFontList* fList;
};

class CVPFontList : public LCellListPane {
public:
    static constexpr i32 kSlots = 4;
    explicit CVPFontList(LPane* owner);
    ~CVPFontList() override;

    LMessage HandleMessage(const LMessage& msg) override;
    void StateChanged(u32 op) override;
    void BoundsChanged(const LRect& old) override;
    LListCell* CreateCell() override;
    bool BindCell(LListCell* frame, LCell cell) override;

    // Opens the font panel for the selected row when the list is focused in the
    // key window. asked: the user asked for it (a click, Return, another row);
    // otherwise the panel only follows the list, and stays away once the user
    // closed it.
    void ChooseFont(bool asked = true);
    void SetSlotFont(i32 row, const LString& family, f32 points);
    // Tab and Shift-Tab: the font of the next or previous row takes the
    // keyboard (round the four rows), and the panel goes along.
    void StepRow(i32 step);
    // What the font panel reports while it is open.
    static void PanelChanged(void* owner, const LFontSpec* spec, u32 event);
    bool PanelOpen() const { return fPanelOpen; }
    // The window's command chosen again: an open panel comes back with it,
    // from the minimised too.
    void BringPanelBack();

private:
    i32 SelectedRow() const;
    // The row of a pane inside one of the list's cells, or -1.
    i32 RowOf(LHandler* pane);
    void ClosePanel();

    bool fPanelOpen = false;
    bool fPanelDismissed = false;
    bool fBringBack = false;
};

class CViewPrefsDlg : public LModalFrame {
public:
    explicit CViewPrefsDlg(LHandler* parent);

    void StateChanged(u32 op) override;
    CVPFontList& FontList() { return fList; }

private:
    CVPFontList fList;
};

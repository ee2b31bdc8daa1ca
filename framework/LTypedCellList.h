#pragma once
// The cell list the editors' lists share: one column whose cells follow the
// list's width, rows that are dragged with a list drag helper, and the
// insertion mark drawn over the cells. A list says how large its cells are
// (CellQuery) and what else follows a new cell size (CellSizeChanged).

#include <initializer_list>

#include "framework/CListDragDropHelper.h"
#include "framework/LCellListPane.h"

class LTypedCellList : public LCellListPane {
public:
    // The cells are stamped; most lists keep the selection while a cell is edited.
    explicit LTypedCellList(LPane* owner, u32 mode = kSizePaneWidthGrow,
                            bool keepSelectionOnEdit = true);

    // Sizes the cells again (CellSizeChanged) when CellSizeFollows says so.
    void BoundsChanged(const LRect& old) override;
    // The cells, then the drag helper's insertion mark.
    void Draw(LDrawCtx& ctx) override;

    // The cells take the size CellQuery answers; a list that places something
    // over its cells (a header) does so after this.
    virtual void CellSizeChanged();
    // Whether the cells are sized again after the bounds changed from old: by
    // default when the width changed; a list whose cells fill the pane or
    // whose rows follow something else answers true.
    virtual bool CellSizeFollows(const LRect& old) const;

    CListDragDropHelper& DragHelper() { return fHelper; }

protected:
    // The opening of every list's constructor: the drag helper (rows go
    // between rows), the prototype cell, one column and the first rows. It
    // runs in the derived constructor, where CreateCell is the list's own.
    void OpenList(u32 rows, bool dragRows = true);
    // The height the layout gave the prototype: its preferred height, its
    // laid-out height or the bottom of the given parts, whichever is largest
    // (a prototype laid out before its first drawing environment knows no
    // preferred height yet); at least 1.
    i32 ProtoRowHeight(std::initializer_list<const LPane*> parts = {});

    CListDragDropHelper fHelper;
};

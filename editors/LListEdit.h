#pragma once
// Cut, Copy, Paste, Delete and drag and drop of the rows of a record list.
// Every list of show records works on one list field of one record, a
// selection of cells and a clipboard type name; these routines do the rest, so
// that a list only names its record, its field and its type.
//
// Each routine takes the handler that owns the list: undo transactions find
// their queue up its chain.

#include "base/DropData.h"
#include "framework/LRgn.h"

class CListDragDropHelper;
class CRecord;
class LHandler;
class LCellListPane;
class LListPane;
class LMenuBar;
class LMenuItem;
class LScrapData;
struct CRecordNote;
struct LMessage;

// The general clipboard as a source of items, for the readers that take drags
// and pastes alike. Only item 0 of a type exists on the clipboard.
class CClipboardSource : public CDropSource {
public:
    static CClipboardSource* New() { return new CClipboardSource; }
    bool FetchItem(const LScrapType& type, u32 index, std::vector<u8>* out) override;
    bool HasType(const LScrapType& type) override;
};

class LListEdit {
public:
    // DragStep results beside a count of inserted items.
    enum : i32 { kNotHandled = 0, kConsumed = -1, kDataSupplied = -2 };
    // DragStep flags: bit 0 takes only drags that started in the same list,
    // and moves them.
    enum : u32 { kSameListOnly = 1 };

    // On "LMenuBar_Ready": Cut, Copy and Delete with a selection, Paste when
    // the clipboard holds the type.
    static void EnableStdCmds(LMenuBar* bar, const LRgn& selection, const char* type);
    // The selected items (rows when columnMajor, else columns) that exist, in
    // selection order, as clipboard data of the type; null when it could not be
    // built. The caller owns the result.
    static LScrapData* CopySelection(const CRecord* record, u8 field, const LRgn& selection,
                                     bool columnMajor, const char* type);
    // One undo transaction; the last item goes first so that the indexes of
    // the others stay valid.
    static void DeleteSelection(LHandler* handler, const char* title, CRecord* record, u8 field,
                                const LRgn& selection, bool columnMajor);
    // The records of the type from the source, inserted at *index (held to the
    // count and written back), in one undo transaction. Records of another
    // kind than the field's items are skipped. Answers how many were inserted.
    static u32 PasteRecords(LHandler* handler, CRecord* record, u8 field, const char* type,
                            CDropSource* source, u32* index);
    // The Edit menu's four commands. 0 not handled (so the item falls through),
    // -1 handled, n >= 0 the items pasted (*index then the first position).
    // Paste needs an index.
    static i32 DoStdCmd(LHandler* handler, CRecord* record, u8 field, const LRgn& selection,
                        bool columnMajor, const char* type, LMenuItem* item, i32* index);
    // The Edit menu of a list that shows one item of the field a row:
    // "LMenuBar_Ready" enables the commands and is left for the list to pass
    // on (false); "LMenuItem_Selected" runs them, a paste going before the
    // selection (to the end without one) with the pasted rows selected after.
    // True when the message was taken.
    static bool RowCmd(LListPane* list, CRecord* record, u8 field, const char* type,
                       const LMessage& msg);
    // A row list's drag and drop (DragStep, the rows dropped then selected)
    // and, for messages from none of its cells, its Edit menu (RowCmd): true
    // when the message was taken; *passOn says the list's own handling must
    // still run (drag data supplied, menu ready).
    static bool RowStep(LCellListPane* list, CRecord* record, u8 field, const char* type,
                        CListDragDropHelper& helper, const LMessage& msg, bool* passOn);
    // One mouse or drag message through the list's drag helper: -1 consumed,
    // -2 drag data supplied (the list's own handler must still pass the message
    // on: it goes back to the dragger, which then runs the drag), 0 not handled
    // (the list's own handler takes it),
    // n >= 0 the items a drop inserted or moved (*outIndex their first position).
    static i32 DragStep(LHandler* handler, CRecord* record, u8 field, const LRgn& selection,
                        bool columnMajor, const char* type, CListDragDropHelper& helper,
                        const LMessage& msg, i32* outIndex, u32 flags);
    // A list shows one row per item of its field: an insertion, removal or
    // move there becomes the same change of rows. False for any other note,
    // which the list still has to look at itself.
    static bool FollowRows(LListPane* list, const CRecordNote& note);
};

#pragma once
// The universe address table of a device's settings, one row per range: the
// first universe (an Art-Net port address as net, sub-net and universe, or an
// sACN universe when the device sends sACN), the number of universes, the last
// universe of the range and the IP address they go to. Every edit is one
// undoable setter; the settings channel sends it to the device at once.

#include "framework/CNumVol.h"
#include "framework/LEditText.h"
#include "framework/LTextPane.h"
#include "framework/LTypedCellList.h"

class CHeaderFrameV;
class CRecord;
class CRecordDoc;
struct CRecordNote;

class CKvsUvadCell : public LListCell {
public:
    explicit CKvsUvadCell(LPane* list);
    void PreLayoutVM(LDrawCtx* ctx, LLayoutVM& vm) override;

    // Art-Net form: net / sub-net / universe.
    LFrame fArtNet;
    CNumVol fNet;
    LTextPane fSlash1;
    CNumVol fSub;
    LTextPane fSlash2;
    CNumVol fUni;
    // sACN form.
    LFrame fSacn;
    CNumVol fSacnUniv;
    LTextPane fLast;
    CNumVol fCount;
    LAsciiEdit fIp;
};

class CKvsUvadList : public LTypedCellList {
public:
    // The largest universe either form can address.
    static constexpr u64 kMaxUniverse = 32767;

    // settings is the device settings record 'YKVT'/'DVST'; header may be null.
    CKvsUvadList(LPane* owner, CRecord* settings, CHeaderFrameV* header);
    ~CKvsUvadList() override;

    LMessage HandleMessage(const LMessage& msg) override;
    // The header follows the list wherever it moves.
    void BoundsChanged(const LRect& old) override;
    LListCell* CreateCell() override;
    bool BindCell(LListCell* frame, LCell cell) override;
    u32 CellQuery(LCell* size) override;

    // A new row with the defaults after the selection (at the end without
    // one), in one undo step; it becomes the selection.
    void InsertNewRow();
    // Places the header's titles over the first universe, the count and the
    // IP address of a row.
    void PlaceHeader();
    // The header above the list: its titles widen the columns they stand over.
    CHeaderFrameV* Header() const { return fHeader; }

    CRecord* Table() const { return fTable; }
    u32 Count() const;
    bool Sacn() const;

    // The last universe of a row and its universe count; 64 bits, as a
    // device may hold any 32-bit values.
    static u64 LastUniverse(const CRecord* row);
    static u64 UniverseCount(const CRecord* row);

private:
    LMessage HandleCellMessage(const LMessage& msg, CKvsUvadCell* c, CRecord* row);
    void SelectRows(i32 first, i32 n);
    static void Listener(void* self, CRecordNote* note);
    void OnChange(CRecordNote* note);

    CRecord* fSettings;
    CRecord* fTable;
    CRecordDoc* fDoc;
    CHeaderFrameV* fHeader;
};

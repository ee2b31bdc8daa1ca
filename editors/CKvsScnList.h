#pragma once
// The scenes of one sequence in time order: each row a meter of the scene's
// length with a marker at the time left while the device plays it, a play
// mark, a button that plays the device from the scene, its start time and its
// name. Scenes are renamed, retimed (the list re-sorts), cut, copied, pasted,
// deleted and dragged; a green line follows the device's sequence time while
// it plays the sequence shown.

#include "framework/CLevelMeter.h"
#include "framework/CNumVol.h"
#include "framework/LEditText.h"
#include "framework/LStdCtl.h"
#include "framework/LTextPane.h"
#include "framework/LTypedCellList.h"

class CHeaderFrameV;
class CRecord;
class MPlayDevice;
struct CRecordNote;

inline constexpr const char* cScnMoveTime = "cScnMoveTime";

class CKvsScnCell : public LListCell {
public:
    explicit CKvsScnCell(LPane* list);

    CThresholdMeter fMeter;
    LTextPane fMark;
    CStateButton fPlay;
    CTimeSlider fTime;
    LEditText fName;
};

class CKvsScnList : public LTypedCellList {
public:
    // A scene without a successor and without a clip lasts this long.
    static constexpr i64 kOpenEndMs = 600000;

    // header may be null; its three titles are placed by the scene edit frame.
    CKvsScnList(LPane* owner, MPlayDevice* device, CRecord* seqSettings, CHeaderFrameV* header);
    ~CKvsScnList() override;

    LMessage HandleMessage(const LMessage& msg) override;
    // The cells, the insertion mark, then the time line.
    void Draw(LDrawCtx& ctx) override;
    LListCell* CreateCell() override;
    bool BindCell(LListCell* frame, LCell cell) override;
    u32 CellQuery(LCell* size) override;
    // The play marks follow the rows once an edit of many has settled.
    void RowsRefreshed() override;

    // Another sequence (or none): rows rebuilt, the selection cleared.
    void SetSequence(CRecord* sequence);
    // 1: the audio scenes (`auss`), else the scenes (`scns`).
    void SetMode(u32 mode);
    void UpdatePlayState();

    CRecord* Sequence() const { return fSeq; }
    u8 ListField() const;
    i32 TimeRow() const { return fTimeRow; }
    i32 CurrentRow() const { return fCurRow; }
    // Where the time line is drawn; empty without one.
    LRect TimeLineRect() const;

    // The meter of a row: its maximum (the scene's length) and, on the current
    // row, the time left; computed in 64 bits, as device times may be anything.
    i64 SceneDuration(u32 row) const;
    i64 TimeLeft(u32 row) const;
    // Plays the device from t ms into the sequence, from the scene at row.
    void PlayFrom(i64 t, u32 row);

private:
    u32 Count() const;
    CRecord* State() const;
    void InvalidateLine(i32 row);
    void Paste();
    i32 HandleDrag(const LMessage& msg);
    LMessage HandleCellMessage(const LMessage& msg, class CKvsScnCell* cell, u32 row);
    void OnChange(CRecordNote* note);
    static void Listener(void* self, CRecordNote* note);

    MPlayDevice* fDevice;
    CRecord* fSettings;
    CHeaderFrameV* fHeader;
    CRecord* fSeq = nullptr;
    u32 fMode = 0;
    i32 fTimeRow = -1;
    i32 fCurRow = -1;
};

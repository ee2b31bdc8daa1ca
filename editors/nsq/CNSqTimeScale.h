#pragma once
// The NSQ editor's time scale: seconds per pixel (`tmsc`), the time at the
// scene area's left edge (`vwtm`) and the grid step (`grid`), kept in an
// 'YNST'/'EDTS' record that no file stores. It also owns the scene selection.

#include "editors/nsq/CNSqScnSel.h"
#include "records/CRecordDoc.h"

class CNSqKinds;

class CNSqTimeScale {
public:
    static constexpr f32 kMinScale = 0.01f;
    static constexpr f32 kMaxScale = 100.0f;
    static constexpr double kDaySeconds = 86400.0;

    explicit CNSqTimeScale(CNSqKinds* kinds);
    CNSqTimeScale(const CNSqTimeScale&) = delete;
    CNSqTimeScale& operator=(const CNSqTimeScale&) = delete;

    CNSqKinds* Kinds() const { return fKinds; }
    CNSqScnSel& Selection() { return fSel; }
    CRecordDoc& Doc() { return fDoc; }
    CRecord* Settings() const { return fDoc.Root(); }

    double Scale() const;
    double ViewTime() const;
    double Grid() const;
    u32 Unit() const { return fUnit; }

    double PosToTime(double pixel) const { return pixel * Scale() + ViewTime(); }
    i32 TimeToPos(double seconds) const;
    void SetScale(f32 secondsPerPixel);
    void SetUnit(u32 unit);
    void UpdateGrid();
    double FloorToGrid(double seconds) const;
    double CeilToGrid(double seconds) const;
    // Whether ms are under 5 pixels; pixels gets their width.
    bool IsNarrow(u32 ms, f32* pixels = nullptr) const;
    // Sets `vwtm` without undo, kept within the day minus the visible span
    // (0 once that span passes the day).
    void SetViewTime(double seconds, double visibleSeconds);
    // The slider's value for the scale and back (-200..200 over 0.01..100 s/pixel).
    static f32 ScaleForSlider(i32 value);
    static i32 SliderForScale(f32 scale);
    // A stored scale as the editor may use it: within 0.01..100, 1.0 when not a number.
    static f32 UsableScale(f32 stored);

    // The scroll bar over the day: value, the largest value and the page, in ms.
    struct ScrollRange {
        i32 value, max, page;
    };
    ScrollRange ScrollRangeFor(double visibleSeconds) const;

private:
    u32 fUnit = 6;
    CNSqKinds* fKinds;
    CNSqScnSel fSel;
    CRecordDoc fDoc;
};

#pragma once
// The clip of the selected scene: its recording or audio file (dropped from a
// device file list, or cleared), start and end, loop, fade, volume and, for
// DMX clips, the playback rate. Every edit is one undoable setter; the play
// edit's channel sends it to the device at once.

#include "framework/CNumVol.h"
#include "framework/LDropPane.h"
#include "framework/LFrame.h"
#include "framework/LStdCtl.h"
#include "framework/LTextPane.h"

class CRecord;
class CRecordDoc;
struct CRecordNote;

inline constexpr const char* CKvsScnPrmF_Prep = "CKvsScnPrmF_Prep";

class CKvsScnPrmF : public LFrame {
public:
    CKvsScnPrmF(LHandler* parent, LPane* container);
    ~CKvsScnPrmF() override;

    LMessage HandleMessage(const LMessage& msg) override;

    // mode 0 DMX scenes, 1 audio scenes; content is the clip ('SNCT') or null.
    void SetContent(u32 mode, CRecord* content);
    CRecord* Content() const { return fRecord; }

    // The conversions between the fields and the record.
    static u32 VolumeFromPercent(f64 percent);
    // Whole percents, halves rounded up: 84 shows 33, 32 shows 13.
    static f64 PercentFromVolume(u32 volm);
    static f32 RateFromPercent(f64 percent);
    // Hundredths of a percent: 0.99 shows -1, 1.015 shows 1.5.
    static f64 PercentFromRate(f32 rate);
    static u32 FadeFromSeconds(f64 seconds);
    // What the fade, volume and rate fields show of a clip; without one, the
    // defaults (0 s, 100 %, 0 %).
    struct Shown {
        f64 fade = 0;
        f64 volume = 100;
        f64 rate = 0;
    };
    static Shown ShownOf(const CRecord* clip);
    // The file name as shown: without its extension.
    static LString ShownName(const LString& name);

    // The inner frame with the fields, in the order of its layout.
    class CContent : public LFrame {
    public:
        explicit CContent(LFrame* owner);
        LTextPane fFileCap;
        CTextSlot fFile;
        // Over the slot, so that drags reach it.
        LDropPane fDrop;
        LTextPane fTimeCap;
        CTimeSlider fStart;
        CTimeSlider fEnd;
        LStdCheck fLoop;
        LTextPane fFadeCap;
        CNumVol fFade;
        LTextPane fVolCap1;
        LTextPane fVolCap0;
        CNumVol fVol;
        LTextPane fRateCap;
        CNumVol fRate;
    };
    CContent& Fields() { return *fContent; }

private:
    // Asks the parent for a record when there is none; false: the edit is dropped.
    bool Prepare();
    void Display();
    void Arrange(u32 mode);
    void Listen(CRecordDoc* doc);
    bool HandleDrop(const LMessage& msg);
    static void Listener(void* self, CRecordNote* note);

    CContent* fContent = nullptr;
    CRecord* fRecord = nullptr;
    CRecordDoc* fDoc = nullptr;
    u32 fMode = 0;
};

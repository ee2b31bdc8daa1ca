#pragma once
// The NSQ editor's table of scene kinds (which command adds which kind, how a
// scene is labelled, coloured and how long it lasts on the time line) and the
// device context that adds the device's play status to it.

#include "base/LString.h"
#include "records/CRecordDoc.h"

class CNSqModelPane;
class LPane;
class MPlayDevice;

// Which shared pen frames a scene box.
enum class NSqSceneColor : u8 { kNone, kSequence, kDmx, kAudio, kVideo };

struct CNSqSceneInfo {
    LString name;
    NSqSceneColor color = NSqSceneColor::kNone;
    LString label;
    // Milliseconds; kNSqOpenEnded for a scene that plays until the next one.
    u32 length = 0;
};

inline constexpr u32 kNSqOpenEnded = 4294967295u;
// Lengths worked out from durations and rates stay below the open-ended mark.
inline constexpr u32 kNSqLongestClip = 4294967294u;
inline constexpr u32 kNSqDayMs = 86400000u;

class CNSqKinds {
public:
    virtual ~CNSqKinds() = default;
    // The kind a menu command adds, 0 for none.
    virtual u32 KindForCommand(const char* command) const;
    // The kinds in menu order; 0 past the last.
    virtual u32 KindAt(u32 index) const;
    // The frame that edits parameters of the kind, null for none.
    virtual CNSqModelPane* NewParamFrame(LPane* parent, u32 kind);
    virtual void DescribeScene(const CRecord* scene, CNSqSceneInfo* out) const;
    // The track of `sequence` whose drawing a change alters, -1 for none.
    virtual i32 TrackOfChange(const CRecord* sequence, const CRecordNote* note) const;
    virtual u32 TimeResolution() const { return 10; }

    // To the nearest multiple of the resolution, halves up.
    u32 RoundTime(u32 ms) const;
};

// How long a clip plays: from `from` to `to` when that range is set (forever
// with loop), else from `from` to the end of the file's known duration, slowed
// or sped up by the rate. A rate that is not a finite number above 0 counts as
// 1.0 (the device's value divides the length).
u32 NSqClipLength(u32 from, u32 to, bool loop, const CRecord* mediaIndex, const LString& file,
                  double rate);
// A rate the clip arithmetic may divide by.
double NSqUsableRate(double rate);

// A clip of a scene as the position indicator follows it.
struct CNSqClip {
    u32 sequence = 0;
    LString file;
    u32 sceneTime = 0;
    u32 from = 0;
    u32 to = 0;
    bool loop = false;
    // The next scene's start; kNSqOpenEnded when none.
    u32 next = kNSqOpenEnded;
    double rate = 1.0;
    bool operator==(const CNSqClip& o) const {
        return sequence == o.sequence && file == o.file && sceneTime == o.sceneTime &&
               from == o.from && to == o.to && loop == o.loop && next == o.next &&
               (rate == o.rate || (rate != rate && o.rate != o.rate));
    }
};
// Where in its file the device plays the clip, given the playing sequence and
// its time; duration null when not known. False while the device is elsewhere.
bool NSqClipPosition(const CNSqClip& clip, u32 playing, u32 time, const u32* duration, u32* out);
// Milliseconds as "hh:mm:ss", rounded to the second.
LString NSqClockText(u32 ms);

// The kinds of a device, its sequence set and its NSQ play status ('YNST'/'STAT',
// the root of this document), whose `sqid` follows the device state's.
class CNSqDevCtx : public CNSqKinds, public CRecordDoc {
public:
    // labels: the items of "NSQUCTXKVT" (0 unknown kind, 1 sequence, 2 DMX, 3 audio, 4 video).
    CNSqDevCtx(CRecord* sequenceSet, MPlayDevice* device, const LString* labels = nullptr);
    ~CNSqDevCtx() override;

    u32 KindForCommand(const char* command) const override;
    u32 KindAt(u32 index) const override;
    CNSqModelPane* NewParamFrame(LPane* parent, u32 kind) override;
    void DescribeScene(const CRecord* scene, CNSqSceneInfo* out) const override;
    i32 TrackOfChange(const CRecord* sequence, const CRecordNote* note) const override;

    CRecord* SequenceSet() const { return fSet; }
    // After the sequence settings were read anew.
    void SetSequenceSet(CRecord* set) { fSet = set; }
    CRecord* Status() const { return Root(); }
    MPlayDevice* Device() const { return fDevice; }
    // The device's media index, taken once when the context is made: every
    // look-up goes to the same entry however the recent list is reordered.
    CRecord* MediaIndex() const { return fMediaIndex; }
    const LString& Label(u32 item) const { return fLabels[item < 5 ? item : 0]; }

private:
    static void OnDeviceState(void* self, CRecordNote* note);
    void CopyPlayingSequence();

    CRecord* fSet;
    MPlayDevice* fDevice;
    CRecord* fMediaIndex;
    LString fLabels[5];
};

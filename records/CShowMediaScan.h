#pragma once
// Which media files a show's sequence settings refer to: those the device card
// holds ("kevrecfiles/NAME", "audiofiles/NAME") and the names it lacks. The
// play-settings export and the copy to USB storage take their files from it.

#include "records/CRecord.h"

class CShowMediaScan {
public:
    // contents: the device contents record ('YKVS'/'DCTS') whose recording and
    // audio lists are searched; null searches nothing (every name is missing).
    explicit CShowMediaScan(const CRecord* contents) : fContents(contents) {}
    virtual ~CShowMediaScan() = default;
    CShowMediaScan(const CShowMediaScan&) = delete;
    CShowMediaScan& operator=(const CShowMediaScan&) = delete;

    // Adds a non-empty path to the present list unless an equal text is there.
    void AddName(const LString& path);
    // The sequence settings 'YKVT'/'SQST': the clips of every sequence's scenes
    // and the DMX and audio items of every NSQ track.
    void ScanShow(const CRecord* settings);

    const CStrArray& Present() const { return fPresent; }
    const CStrArray& Missing() const { return fMissing; }

private:
    void Check(const LString& name, u32 which);

    const CRecord* fContents;
    CStrArray fPresent;
    CStrArray fMissing;
};

#pragma once
// Records on the clipboard and in drags: the (1, 1) container built from
// records, and the reader of records from dropped or pasted data.

#include "base/LScrap.h"
#include "base/DropData.h"
#include "records/CChunkFile.h"

constexpr u32 kRecScrapCode = 1;  // both codes of the record clipboard container

class CRecClipStream {
public:
    CRecClipStream();
    ~CRecClipStream();
    CRecClipStream(const CRecClipStream&) = delete;
    CRecClipStream& operator=(const CRecClipStream&) = delete;

    void Write(const CRecord* record);
    // Closes the container and wraps its bytes as clipboard data of the type; the
    // caller owns the result. Null when the data could not be built or was
    // already detached.
    LScrapData* Detach(const LScrapType& type);

private:
    LDataBuf fBuf;
    CChunkFile fFile;
    bool fOpen = true;
};

class CRecScrapReader : public CDropDataReader {
public:
    // Reads the first item of the type; an absent type reads as an empty container.
    CRecScrapReader(CDropSource* source, const LScrapType& type);

    CRecord* ReadRecord() { return fFile.ReadRecord(); }
    CChunkFile& File() { return fFile; }
    u32 Size() const { return fSize; }

private:
    const void* fData = nullptr;
    u32 fSize = 0;
    CChunkFile fFile;
};

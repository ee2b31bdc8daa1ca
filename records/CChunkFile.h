#pragma once
// The document container: one outer chunk named by two codes, holding record
// chunks one after the other. Used for clipboard and drag data, the menu-key
// registry, scene collections and exported play-settings files.

#include <memory>

#include "base/CMemStrm.h"
#include "base/LHandle.h"
#include "base/LScrap.h"
#include "records/CChunkStrm.h"
#include "records/CRecord.h"

class CChunkFile {
public:
    CChunkFile();
    // Closes the container: a writing container's buffer keeps exactly the written bytes.
    ~CChunkFile();
    CChunkFile(const CChunkFile&) = delete;
    CChunkFile& operator=(const CChunkFile&) = delete;

    // Starts the container in the buffer (its old contents are replaced).
    void OpenWrite(u32 firstCode, u32 secondCode, LDataBuf& buffer);
    // Appends the record chunk (the null record for null).
    void WriteRecord(const CRecord* record);

    // Reads a container from the caller's bytes, which must outlive the reading.
    // False when the header or the second code is missing (first code 0 when
    // there is no header at all).
    bool OpenRead(const void* bytes, u32 size);
    // After OpenRead: the container is whole. Its declared length is the size of
    // the bytes (the pad byte after an odd length may be missing), and the records
    // fill it exactly, each a chunk as records are written: a registered kind (or
    // the null record), sub-chunks of the four record kinds nested whole, no
    // deeper than records may nest. A container cut off, or damaged in its
    // structure, is not whole; values inside the chunks are not judged.
    bool IsWhole() const { return fWhole; }
    // After a reading loop ended: nothing of the container is left unread.
    bool AtEnd() const;
    // The next record, or null at the end, for an unregistered kind, for the null
    // record and for a malformed chunk: a reading loop ends at the first of these.
    CRecord* ReadRecord();

    // Patches the outer length and commits the written bytes; further writes go nowhere.
    void Close();

    u32 FirstCode() const { return fFirst; }
    u32 SecondCode() const { return fSecond; }
    // The bytes written so far (after Close, the container's size); 0 when reading.
    u32 WrittenSize() const { return fWritten; }
    // A write that failed (out of memory) leaves the container unusable.
    bool WriteFailed() const { return fWriteFailed; }

private:
    u32 fFirst = 0;
    u32 fSecond = 0;
    std::unique_ptr<CMemStrm> fData;
    LDataBuf fScratchBuf;
    CMemStrm fScratch;
    CChunkWriter fWriter;
    CChunkReader fReader;
    bool fWriting = false;
    bool fOpen = false;
    bool fWriteFailed = false;
    bool fWhole = false;
    u32 fWritten = 0;
};

#include "records/CChunkFile.h"

#include "records/PropRecord.h"

CChunkFile::CChunkFile() : fScratch(fScratchBuf) {}

CChunkFile::~CChunkFile() {
    Close();
}

void CChunkFile::Close() {
    if (!fOpen) return;
    fOpen = false;
    fReader.Close();
    fWriter.Close();
    if (fWriting) {
        fData->SetSize();
        fWriteFailed = fWriteFailed || fData->Error() != CStrm::kErrNone;
        fWritten = fWriteFailed ? 0 : u32(fData->Position());
    }
    fData.reset();
    // Whatever the unused half wrote is discarded.
    fScratch.SetPosition(0);
    fScratch.SetSize();
}

void CChunkFile::OpenWrite(u32 firstCode, u32 secondCode, LDataBuf& buffer) {
    Close();
    fFirst = firstCode;
    fSecond = secondCode;
    fWriting = true;
    fOpen = true;
    fWriteFailed = false;
    fData.reset(new CMemStrm(buffer));
    fWriter.Open(fData.get(), firstCode);
    fWriter.WriteU32(secondCode);
    // The reading half sees an empty stream.
    fReader.Open(&fScratch);
}

void CChunkFile::WriteRecord(const CRecord* record) {
    if (!fOpen || !fWriting) return;
    PropRecord::WriteSub(fWriter, record);
    if (fData->Error() != CStrm::kErrNone) fWriteFailed = true;
}

bool CChunkFile::OpenRead(const void* bytes, u32 size) {
    Close();
    fFirst = fSecond = 0;
    fWriting = false;
    fOpen = true;
    fWritten = 0;
    // The fixed-buffer stream is only read here, never written.
    fData.reset(new CMemStrm(static_cast<u8*>(const_cast<void*>(bytes)), bytes ? size : 0));
    fWriter.Open(&fScratch, FourCC("FORM"));
    fReader.Open(fData.get());
    if (!fReader.Tag()) return false;
    fFirst = fReader.Tag();
    return fReader.ReadU32(&fSecond);
}

CRecord* CChunkFile::ReadRecord() {
    if (!fOpen || fWriting || !fReader.Tag()) return nullptr;
    CChunkReader sub;
    sub.OpenSub(fReader);
    if (!sub.Tag()) return nullptr;
    CRecord* record = nullptr;
    u32 kind;
    if (sub.ReadU32(&kind)) record = PropRecord::BuildFromChunk(sub, kind, nullptr, nullptr);
    sub.Close();
    return record;
}

#include "records/CChunkFile.h"

#include <cstring>

#include "records/CRecordSchema.h"
#include "records/PropRecord.h"

namespace {

using namespace PropRecord;

u32 Be32(const u8* p) {
    return (u32(p[0]) << 24) | (u32(p[1]) << 16) | (u32(p[2]) << 8) | u32(p[3]);
}

bool WholeRecords(const u8* b, u64 pos, u64 end, u32 depth, bool single);

// Bytes of one value of a scalar type at p (texts up to their 0), 0 when it does not fit.
u32 ValueBytes(u8 type, const u8* p, u32 left) {
    switch (type) {
        case kRecI32:
        case kRecU32:
            return left >= 4 ? 4 : 0;
        case kRecU8:
            return left >= 1 ? 1 : 0;
        default: {
            const void* zero = std::memchr(p, 0, left);
            return zero ? u32(static_cast<const u8*>(zero) - p) + 1 : 0;
        }
    }
}

// The run of leading scalars ends on a value's end: a run written by a schema with
// fewer fields is whole, one cut in a value or longer than the schema is not.
bool WholeScalars(const CRecordSchema& schema, const u8* p, u32 length) {
    u32 at = 0;
    for (u32 i = 0; i < schema.Count() && at < length; ++i) {
        const RecFieldDesc& f = schema.Field(i);
        if (!f.IsTagged()) continue;
        if (f.type > kRecString) break;
        const u32 n = ValueBytes(f.type, p + at, length - at);
        if (n == 0) return false;
        at += n;
    }
    return at == length;
}

// An array's elements fill the chunk exactly (an array the schema does not
// know is left to the reader, which skips it).
bool WholeArray(const CRecordSchema& schema, const u8* p, u32 length) {
    const i32 index = schema.FindTag(Be32(p));
    if (index < 0 || schema.Field(u32(index)).type != kRecArray) return true;
    const u8 type = schema.Field(u32(index)).elemType;
    if (type > kRecString) return true;
    for (u32 at = 4; at < length;) {
        const u32 n = ValueBytes(type, p + at, length - at);
        if (n == 0) return false;
        at += n;
    }
    return true;
}

// One record chunk at pos, its padded end no further than end; *next after it.
bool WholeRecord(const u8* b, u64 pos, u64 end, u32 depth, u64* next) {
    if (depth >= kMaxDepth || end - pos < 12) return false;
    const u32 family = Be32(b + pos), length = Be32(b + pos + 4), kind = Be32(b + pos + 8);
    const u64 chunkEnd = pos + 8 + u64(length);
    const u64 padded = chunkEnd + (chunkEnd & 1);
    if (length < 4 || padded > end) return false;
    *next = padded;
    if (family == kNullFamily && kind == kNullKind) return length == 4;
    const CRecordSchema* schema = CRecordSchema::Find(family, kind);
    if (!schema) return false;
    for (u64 p = pos + 12; p < chunkEnd;) {
        if (chunkEnd - p < 8) return false;
        const u32 tag = Be32(b + p), subLength = Be32(b + p + 4);
        const u64 subEnd = p + 8 + u64(subLength);
        const u64 subPadded = subEnd + (subEnd & 1);
        if (subPadded > chunkEnd) return false;
        if (tag == kChild || tag == kList) {
            if (subLength < 4 || !WholeRecords(b, p + 12, subEnd, depth + 1, tag == kChild))
                return false;
        } else if (tag == kArray) {
            if (subLength < 4 || !WholeArray(*schema, b + p + 8, subLength)) return false;
        } else if (tag != kScalars || !WholeScalars(*schema, b + p + 8, subLength)) {
            return false;
        }
        p = subPadded;
    }
    return true;
}

// Record chunks filling [pos, end) exactly; exactly one when single.
bool WholeRecords(const u8* b, u64 pos, u64 end, u32 depth, bool single) {
    u32 count = 0;
    while (pos < end) {
        u64 next;
        if (!WholeRecord(b, pos, end, depth, &next)) return false;
        pos = next;
        ++count;
    }
    return pos == end && (!single || count == 1);
}

}  // namespace

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
    fWhole = false;
    if (!fReader.Tag()) return false;
    // The length a container declares must be what is there: a cut-off file or a
    // damaged length reads as a shorter or longer container than was written.
    const u8* b = static_cast<const u8*>(bytes);
    const u64 declared = 8 + u64(Be32(b + 4));
    fWhole = declared >= 12 && (size == declared || size == declared + (declared & 1)) &&
             WholeRecords(b, 12, declared, 0, false);
    fFirst = fReader.Tag();
    return fReader.ReadU32(&fSecond);
}

bool CChunkFile::AtEnd() const {
    return !fOpen || fWriting || fReader.Remaining() == 0;
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

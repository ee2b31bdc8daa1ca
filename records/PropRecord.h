#pragma once
// The record chunk: the one byte format records travel in (device payloads,
// setting files, document containers, clipboard items, single-value writes).

#include "records/CChunkStrm.h"
#include "records/CRecord.h"

class CRecordDoc;

// Schema for a child or item named in data: (context, family, kind, parent or null, field).
using RecResolver = const CRecordSchema* (*)(void* context, u32 family, u32 kind, CRecord* parent,
                                             u8 field);

namespace PropRecord {

constexpr u32 kNullFamily = FourCC("YUND");
constexpr u32 kNullKind = FourCC("UDNL");
constexpr u32 kScalars = FourCC("UDPR");
constexpr u32 kArray = FourCC("UDPA");
constexpr u32 kChild = FourCC("UDUD");
constexpr u32 kList = FourCC("UDAR");
// Records nested deeper than this in data are refused: a malformed reply must
// not exhaust the stack.
constexpr u32 kMaxDepth = 64;

// Truncates the stream at its position, then writes the record (or the null record).
void Write(CStrm* strm, const CRecord* record);
void WriteSub(CChunkWriter& parent, const CRecord* record);
// The body after the family chunk is open: kind and sub-chunks.
void WriteBody(CChunkWriter& w, const CRecord* record);

CRecord* ReadNew(CStrm* strm, void* context = nullptr, RecResolver resolver = nullptr);
CRecord* BuildFromChunk(CChunkReader& reader, u32 kind, void* context, RecResolver resolver,
                        u32 depth = 0);
// Merges the chunk into the record when family and kind match; false (nothing read) otherwise.
bool ReadInto(CStrm* strm, CRecord* record, bool reset);
bool ReadFromStream(CStrm* strm, CRecordDoc* doc);
bool ReadBody(CChunkReader& reader, CRecord* record, void* context, RecResolver resolver,
              u32 depth = 0);

// Outcome of reading one child chunk.
enum ChildResult { kChildFailed, kChildIgnored, kChildDone };
// The child rule on an open chunk reader (the child's own chunk).
ChildResult ReadChild(CChunkReader& chunk, CRecord* record, u8 field, void* context,
                      RecResolver resolver, u32 depth);
// The list rule over the record chunks that follow in `parent`.
bool ReadList(CChunkReader& parent, CRecord* record, u8 field, void* context, RecResolver resolver,
              u32 depth);
// Whether the record chunks at the stream position nest no deeper than kMaxDepth
// below `depth`; the stream position is restored.
bool CheckDepth(CStrm* strm, u32 depth);
// The same for a list box, whose record chunks follow the kind directly.
bool CheckItemsDepth(CStrm* strm, u32 depth);

// Whether a stream read from a device holds one whole record chunk and nothing
// else (ReplyChunkWhole), and every chunk inside it has the size its parent
// leaves for it: the sub-chunks of each record fill it exactly, none reaching
// past its end. The reader would cut such a chunk at its parent's end and read
// the value it cut as missing, its default: a length field one short of an even
// record passes ReplyChunkWhole (the last byte looks like the pad) and would make
// the record's last value 0. An empty stream passes, as with ReplyChunkWhole.
// Leaves the stream at position 0.
bool ReplyWhole(CStrm* strm);
// Whether a stream read from a device holds a record chunk of the schema's
// family and kind whose value blocks give every value field (the tagged fields
// before its first array, list or child) a whole value. A well-formed record may
// leave any of them out, or end its value block early: the reader resets such a
// field to its default, which a caller reading an answer must not take for the
// device's word. Leaves the stream at position 0.
bool ReplyHoldsValues(CStrm* strm, const CRecordSchema* schema);

// Floats as text with the field's digits, the same whatever the locale.
void WriteFloat(CChunkWriter& w, f32 value, u8 digits);
bool ReadFloat(CChunkReader& r, f32* out);
// One array element of the given type.
void WriteElement(CChunkWriter& w, u8 elemType, u8 digits, const void* element);

}  // namespace PropRecord

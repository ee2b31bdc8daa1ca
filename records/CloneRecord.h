#pragma once
// Deep copies through the record chunk format: what survives a write and a
// read back is exactly what a stored copy would hold.

#include "records/CRecord.h"

// A new record read back from the chunk of the given one; null when the record
// is null or the copy fails.
CRecord* CloneRecordViaChunks(const CRecord* record);

#pragma once
// How much of an answer the program keeps, by kind of answer. Anyone on the
// network may answer, and a peer that never ends would otherwise fill the
// memory: an answer that passes its limit is refused (the engine answers it
// with ERROR 3, disk full) and fails as a damaged one does. Each limit lies
// far above the largest answer of its kind a device sends.

#include "base/Types.h"

// The status poll: a device's state record, one block of at most 1428 bytes.
inline constexpr u64 kStatusAnswerLimit = 64 * 1024;
// A record channel's whole record, or a field of it (play settings with every
// button, sequence and scene, the system status).
inline constexpr u64 kChannelAnswerLimit = 16 * 1024 * 1024;
// A folder listing: a line of about a hundred bytes per file on the card.
inline constexpr u64 kListingAnswerLimit = 16 * 1024 * 1024;
// The media information of one file: one small record.
inline constexpr u64 kMedInfoAnswerLimit = 64 * 1024;
// The answer to a service's progress poll: a line of text.
inline constexpr u64 kServiceAnswerLimit = 1024 * 1024;
// A file read from the card into a local file: the card's file system holds no
// file of 4 GiB or more.
inline constexpr u64 kFileReadLimit = 0xFFFFFFFFull;
// The device's firmware executable, read into memory before an update.
inline constexpr u64 kFirmwareAnswerLimit = 128 * 1024 * 1024;
// An answer nobody keeps (a command's acknowledgement).
inline constexpr u64 kUnkeptAnswerLimit = 64 * 1024;

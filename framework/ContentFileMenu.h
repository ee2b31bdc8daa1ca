#pragma once
// Choosing a device file in a pop-up menu: the recordings or the audio files
// of a device contents record ('YKVS'/'DCTS'), shown without extensions.

#include "base/LString.h"

class CRecord;
class LMenu;
class LMenuItem;

inline constexpr const char* kSelFileCommand = "cSelFile";

// which: 0 recordings, 1 audio files.
// The name without extension; in parentheses when no such file is listed.
LString& GetContentFileDisplayName(LString* out, const char* name, const CRecord* contents,
                                   u32 which);
// Keeps items 0 and 1, checks item 0 when no file is chosen, then adds one
// "cSelFile" item per listed file, checked when it is the current one.
void FillContentFileMenu(LMenu* menu, const CRecord* contents, u32 which, const char* current);
// The full name of the file an item stands for; empty for other items.
LString& GetSelectedContentFile(LString* out, const LMenuItem* item, const CRecord* contents,
                                u32 which);

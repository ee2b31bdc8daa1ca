#pragma once
// A play-settings file on disk, as the program saves one: the sequence settings
// given and empty play settings.

#include <cstdio>
#include <string>

#include "base/LHandle.h"
#include "records/CChunkFile.h"
#include "records/CRecordDoc.h"
#include "records/ShowKinds.h"

inline bool WritePlayFile(const std::string& path, const CRecord* seqs) {
    CRecordDoc play(NewPlaySetRecord());
    LDataBuf buffer;
    CChunkFile file;
    file.OpenWrite(FourCC("YKVS"), FourCC("DPLS"), buffer);
    file.WriteRecord(seqs);
    file.WriteRecord(play.Root());
    file.Close();
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool whole = std::fwrite(buffer.Data(), 1, file.WrittenSize(), f) == file.WrittenSize();
    return std::fclose(f) == 0 && whole;
}

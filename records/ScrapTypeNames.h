#pragma once
// The clipboard and drag type names of show records. Every list, every
// process of this application and every later version must use the same
// names, or a copy in one window could not be pasted into another.

#include "base/LScrap.h"

#define KEVO_SCRAP_TYPE(kind) "com.kevorune.scraptype.kevoruneset." kind

inline constexpr const char* kScrapSequence = KEVO_SCRAP_TYPE("sequence");
inline constexpr const char* kScrapNsqSeq = KEVO_SCRAP_TYPE("nsqseq");
inline constexpr const char* kScrapScene = KEVO_SCRAP_TYPE("scene");
// One item per file, its bytes the name (no terminating zero).
inline constexpr const char* kScrapDrcFileName = KEVO_SCRAP_TYPE("drcfilename");
inline constexpr const char* kScrapAuxPlay = KEVO_SCRAP_TYPE("axply");
inline constexpr const char* kScrapAuxTrigger = KEVO_SCRAP_TYPE("axplytrg");
// Universe address rows of a device's settings.
inline constexpr const char* kScrapUvad = KEVO_SCRAP_TYPE("uvad");

#undef KEVO_SCRAP_TYPE

inline LScrapType ScrapTypeOf(const char* name) {
    return LScrapType{LString(name), 0};
}

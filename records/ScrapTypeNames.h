#pragma once
// The type names of the application's own clipboard and drag items: the
// domain part, then ".scraptype.kevoruneset." and the item kind.

#define KEVO_SCRAP_TYPE(kind) "com.kevorune.scraptype.kevoruneset." kind

// A device file's full name (UTF-8, with its extension).
inline constexpr const char* kScrapDrcFileName = KEVO_SCRAP_TYPE("drcfilename");

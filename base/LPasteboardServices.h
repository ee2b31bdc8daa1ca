#pragma once
// The general pasteboard as the platform offers it. The clipboard of the base
// library reaches it through this interface; the Qt layer (or a test fake)
// installs an implementation, and without one the pasteboard is always empty.

#include <vector>

#include "base/LString.h"
#include "base/Types.h"

class LScrapData;
struct LScrapType;

// The general pasteboard.
class LPasteboardServices {
public:
    virtual ~LPasteboardServices() = default;

    // Whether it holds plain text (from any application).
    virtual bool HasText() = 0;
    // Replaces its contents by one text.
    virtual void WriteText(const LString& text) = 0;
    // Replaces its contents by the items of the list, declared as "public.data".
    virtual void WriteItems(const LScrapData& data) = 0;
    virtual bool HasType(const LString& typeName) = 0;
    // The bytes of the item with this index among the items of the type.
    virtual bool FetchItem(const LScrapType& type, u32 index, std::vector<u8>* out) = 0;
    // Adds the items of the list to a pasteboard of the platform's own (a
    // drag's), each under its pasteboard type.
    virtual void AddItems(void* pasteboard, const LScrapData& data) {
        (void)pasteboard;
        (void)data;
    }
};

// The pasteboard type of a scrap type: its name, else the text of its code
// from the most significant byte, leading and trailing spaces dropped and
// ending at a zero byte ('TEXT' gives "TEXT").
LString PasteboardTypeText(const LScrapType& type);

// Install the platform's pasteboard (null goes back to the empty one); the caller
// keeps ownership.
void InstallPasteboardServices(LPasteboardServices* services);
LPasteboardServices& PasteboardServices();

#pragma once
// Copying a show from a device's memory card to the USB storage plugged into
// it. The device copies by itself; the program clears the USB storage, sends
// one copy command per file and follows each copy's progress.

#include <string>
#include <vector>

#include "base/LString.h"
#include "base/Types.h"

class CReqQueue;
class CSimpleProgressDialog;
class LHandler;

inline constexpr const char* kCopyUmsTexts = "KVSCOPYUMS";
// Folders nested deeper than this on the USB storage are not walked.
inline constexpr u32 kUmsMaxDepth = 32;

struct CopyRequestState {
    u32 status[3] = {};  // session result, peer result, ERROR code
    bool done = false;
    i32 value = 0;      // the first integer of the reply, 0 when none
    std::string reply;  // the reply's bytes, when one was asked for
};

// The first integer of a reply: leading white space, an optional sign and
// decimal digits; 0 when there is none; held to the range of i32.
i32 ReadReplyNumber(const void* bytes, u64 length);

struct UmsEntry {
    std::string name;
    bool folder = false;  // the second column is empty
};
// The entries of a folder listing (CSV: name, size, ...), "." and ".." left
// out, as are names that cannot be joined into a device path; skipped counts those.
std::vector<UmsEntry> ParseUmsListing(const void* bytes, u64 length, u32* skipped = nullptr);

// Queues one request and turns the dialog's modal loop every 250 ms until it
// is done. True when the caller must stop: quiet, when it was cancelled;
// otherwise also when the device did not answer (message 1 shown).
bool SendAndWait(LHandler* owner, CSimpleProgressDialog* dialog, CopyRequestState* state,
                 CReqQueue* queue, const char* path, bool write, bool wantReply, bool noTimeout,
                 bool quiet);

enum : i32 { kUmsCleared = 0, kUmsListRefused = 1, kUmsStop = 2 };
// Removes everything below path on the USB storage, folders after their
// contents. kUmsListRefused only when the device answered the listing of
// "/ums" itself with an ERROR packet: the one case in which formatting may help.
i32 ClearUmsFolder(LHandler* owner, CSimpleProgressDialog* dialog, CReqQueue* queue,
                   const std::string& path, u32 depth = 0);

// files: paths relative to the card root ("kevrecfiles/a.drc").
void RunCopyToUms(LHandler* owner, CReqQueue* queue, const std::vector<LString>& files);

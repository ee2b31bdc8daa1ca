#include "devices/files/CopyToUms.h"

#include <memory>
#include <string>

#include "devlink/AnswerLimits.h"
#include "base/Calendar.h"
#include "base/CharReader.h"
#include "base/Clock.h"
#include "base/Paths.h"
#include "devlink/ReqQueue.h"
#include "framework/StdDialogs.h"

namespace {

constexpr u32 kStepMs = 250;
constexpr u32 kFormatPauseMs = 1000;

LString Item(u32 n) {
    return StdDialogText(kCopyUmsTexts, n);
}

void Tell(LHandler* owner, const LString& text) {
    CSimpleMessageDialog dialog(owner, LPaneOpt::Window(kWindowDialog, 0));
    dialog.Run(text, 0, false);
}

bool Ask(LHandler* owner, const LString& text) {
    CSimpleMessageDialog dialog(owner, LPaneOpt::Window(kWindowDialog, 0));
    return dialog.Run(text, 0, true) == 1;
}

LString Joined(const LString& a, const std::string& b) {
    return LString((std::string(a.View()) + b).c_str());
}

void CopyDone(void* context, CStrm* data, const u32* status) {
    auto* s = static_cast<CopyRequestState*>(context);
    for (int i = 0; i < 3; ++i) s->status[i] = status ? status[i] : 2;
    if (data) {
        data->SetPosition(0);
        u8 chunk[4096];
        for (;;) {
            u64 got = sizeof chunk;
            data->Read(chunk, &got);
            if (got == 0) break;
            s->reply.append(reinterpret_cast<const char*>(chunk), size_t(got));
        }
        s->value = ReadReplyNumber(s->reply.data(), s->reply.size());
    }
    s->done = true;
}

bool Failed(const CopyRequestState& s) {
    return s.status[0] != 0 || s.status[1] != 0;
}

}  // namespace

i32 ReadReplyNumber(const void* bytes, u64 length) {
    const char* p = static_cast<const char*>(bytes);
    const char* end = p + length;
    if (length >= 3 && u8(p[0]) == 0xEF && u8(p[1]) == 0xBB && u8(p[2]) == 0xBF) p += 3;
    while (p < end &&
           (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n' || *p == '\f' || *p == '\v'))
        ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    i64 v = 0;
    bool digits = false;
    for (; p < end && *p >= '0' && *p <= '9'; ++p) {
        digits = true;
        if (v <= i64(0x80000000LL)) v = v * 10 + (*p - '0');
    }
    if (!digits) return 0;
    if (negative) return v >= i64(0x80000000LL) ? i32(-0x7FFFFFFF - 1) : i32(-v);
    return v > 0x7FFFFFFF ? 0x7FFFFFFF : i32(v);
}

std::vector<UmsEntry> ParseUmsListing(const void* bytes, u64 length, u32* skipped) {
    std::vector<UmsEntry> out;
    if (skipped) *skipped = 0;
    const u8* p = static_cast<const u8*>(bytes);
    u32 n = length > 0xFFFFFFFFu ? 0xFFFFFFFFu : u32(length);
    if (n >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) p += 3, n -= 3;
    LMemReader reader(p, n);
    LTextStream fields[2];
    for (;;) {
        for (LTextStream& f : fields) f.Clear();
        u32 got = 0;
        bool more = true;
        while (got < 2 && more) more = CsvReadField(reader, fields[got++]);
        // The rest of the line, whatever it holds.
        const bool rest = ReaderSkipLine(reader);
        const LTextStream& name = fields[0];
        const std::string text(name.CStr(), name.Length());
        if (!text.empty() && text != "." && text != "..") {
            if (IsUsableName(text.c_str(), u32(text.size())))
                out.push_back({text, got >= 2 && fields[1].Length() == 0});
            else if (skipped)
                ++*skipped;
        }
        if (!rest) break;
    }
    return out;
}

bool SendAndWait(LHandler* owner, CSimpleProgressDialog* dialog, CopyRequestState* state,
                 CReqQueue* queue, const char* path, bool write, bool wantReply, bool noTimeout,
                 bool quiet) {
    *state = CopyRequestState();
    queue->Enqueue(state, CopyDone, path, write ? 1 : 0,
                   wantReply ? new CGrowMemStrm(kServiceAnswerLimit) : nullptr, nullptr,
                   noTimeout ? u32(CReqQueue::kKeepTrying) : 0u);
    bool cancelled = false;
    // The session's end stops the copy as the button does.
    while (!state->done && !cancelled) cancelled = dialog->ModalStep(kStepMs) != 0 && !state->done;
    queue->CancelAll(state, CopyDone);
    if (quiet) return !state->done;
    if (!state->done) return true;
    if (state->status[0] == 2 || state->status[1] == 2) {
        Tell(owner, Item(1));
        return true;
    }
    return false;
}

i32 ClearUmsFolder(LHandler* owner, CSimpleProgressDialog* dialog, CReqQueue* queue,
                   const std::string& path, u32 depth) {
    if (depth > kUmsMaxDepth) {
        Tell(owner, Joined(Item(10), path));
        return kUmsStop;
    }
    CopyRequestState state;
    if (SendAndWait(owner, dialog, &state, queue, ("/.cmd/fmls//" + path).c_str(), false, true,
                    false, false))
        return kUmsStop;
    if (Failed(state)) {
        // Only the device refusing to list the storage itself may mean it needs
        // formatting; anything else, or any folder below it, must never lead there.
        if (depth == 0 && state.status[0] == 0 && state.status[1] == 3) return kUmsListRefused;
        Tell(owner, Joined(Item(10), path));
        return kUmsStop;
    }
    for (const UmsEntry& e : ParseUmsListing(state.reply.data(), state.reply.size())) {
        const std::string entry = path + "/" + e.name;
        if (e.folder) {
            const i32 r = ClearUmsFolder(owner, dialog, queue, entry, depth + 1);
            if (r != kUmsCleared) return kUmsStop;
        }
        CopyRequestState rm;
        if (SendAndWait(owner, dialog, &rm, queue, ("/.cmd/fmrm//" + entry).c_str(), true, false,
                        false, false))
            return kUmsStop;
    }
    return kUmsCleared;
}

void RunCopyToUms(LHandler* owner, CReqQueue* queue, const std::vector<LString>& files) {
    if (!queue || !Ask(owner, Item(0))) return;
    // A path that would leave the card folder or the storage is never sent.
    for (const LString& p : files) {
        if (!IsDeviceRelativePath(p.CStr())) {
            Tell(owner, Joined(Item(7), std::string(p.View())));
            return;
        }
    }
    auto dialog =
        std::make_unique<CSimpleProgressDialog>(owner, LPaneOpt::Window(kWindowDialog, 0));
    dialog->SetMsgChars(30);
    dialog->SetMessage(Item(3));
    CSimpleProgressDialog* d = dialog.get();
    CopyRequestState state;

    const i32 cleared = ClearUmsFolder(owner, d, queue, "/ums");
    if (cleared == kUmsStop) return;
    if (cleared == kUmsListRefused) {
        // Formatting erases the whole storage: only with the user's word.
        if (!Ask(owner, Item(9))) return;
        for (const u32 t0 = LTickMs(); LTickMs() - t0 < kFormatPauseMs;)
            if (d->ModalStep(kFormatPauseMs - (LTickMs() - t0)) != 0) return;
        d->SetMessage(Item(2));
        if (SendAndWait(owner, d, &state, queue, "/.cmd/fmmkfs//ums", true, false, true, true))
            return;
        if (Failed(state)) {
            dialog.reset();
            Tell(owner, Item(5));
            return;
        }
    }
    // The stick's folders are named as the card's.
    for (const char* leaf : {kRecordingsLeaf, kAudioLeaf}) {
        const std::string folder = std::string("/.cmd/fmmkdir///ums/") + leaf;
        if (SendAndWait(owner, d, &state, queue, folder.c_str(), true, false, false, false)) return;
    }

    d->SetMessage(Item(4));
    d->fBar.SetMax(i32(100 * files.size() > 0x7FFFFFFF ? 0x7FFFFFFF : 100 * files.size()));
    d->fBar.SetValue(0);
    for (size_t i = 0; i < files.size(); ++i) {
        const std::string p(files[i].View());
        const std::string args = "///sdc/" + p + "///ums/" + p;
        LString leaf;
        LastPathComponent(&leaf, p.c_str());
        // Stops the device's copy; failure: tell which file.
        auto stop = [&](bool failure) {
            d->fButton.SetState(LPane::kOpDisable);
            CopyRequestState s;
            SendAndWait(owner, d, &s, queue, ("/.cmd/fmcpstop" + args).c_str(), true, false, false,
                        true);
            if (failure) {
                dialog.reset();
                Tell(owner, Joined(Item(7), p));
            }
        };
        if (SendAndWait(owner, d, &state, queue, ("/.cmd/fmcp" + args).c_str(), true, false, true,
                        true))
            return;
        if (Failed(state)) return stop(true);
        for (;;) {
            if (SendAndWait(owner, d, &state, queue, ("/.cmd/fmcpstatus" + args).c_str(), false,
                            true, true, false))
                return stop(false);
            if (Failed(state)) break;  // the device copies no more: this file is done
            const i32 v = state.value;
            if (v == -4) {
                dialog.reset();
                Tell(owner, Item(6));
                return;
            }
            if (v < 0) return stop(true);
            d->fBar.SetValue(i32(i * 100) + v);
            d->SetMessage(LString((std::string(Item(4).View()) + ": " + std::string(leaf.View()) +
                                   " " + std::to_string(v) + "%")
                                      .c_str()));
        }
    }
    const bool stopped =
        SendAndWait(owner, d, &state, queue, "/.cmd/fsflush", false, false, true, false);
    dialog.reset();
    if (!stopped) Tell(owner, Item(8));
}

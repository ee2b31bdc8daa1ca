#include "editors/UnsentSettings.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/Resources.h"
#include "base/TextFormat.h"
#include "devlink/CDevRequestQueue.h"
#include "framework/CMainLoop.h"
#include "framework/LWindow.h"
#include "framework/StdDialogs.h"
#include "records/LRecPath.h"

namespace {

constexpr const char* kTexts = "KVSUNSENT";
// Settings named in one message; the rest are counted, so that it fits the screen.
constexpr size_t kMostNamed = 12;
// Refusals that come closer together than this make one message.
constexpr u32 kBurstMs = 500;
// Items before the names of the tags.
constexpr u32 kFirstTag = 4;
// The item that names values inside a setting named whole.
constexpr u32 kPartOf = 3;

// The names of the record tags the user meets, from the text list: every item
// from kFirstTag on is "TAG Name", or "OUTER/TAG Name" for TAG in a record held
// by the field OUTER (the same tag shown otherwise there), or
// "AROUND/OUTER/TAG Name" where the OUTER record is held by AROUND. An empty
// name leaves the level out of a setting's place, and so does one that begins
// with "~" unless the level is the setting itself; a name that begins with "="
// is the whole setting: what lies below it is part of it, and is named as a
// part of it, not as all of it. "Name|Names" names a list's item and the list
// itself. A tag without an item is shown as it is.
class TagNames {
public:
    struct Name {
        std::string text;
        std::string plural;  // the list itself, when it differs
        bool whole = false;
        bool alone = false;
    };
    TagNames() : fId{0, kTexts}, fList(&fId, nullptr, kTextsResType) {}
    // outer and around are the fields that hold the tag's record and that one's
    // (0 at the root): "AROUND/OUTER/TAG" goes before "OUTER/TAG".
    Name Of(u32 around, u32 outer, u32 tag) const {
        if (outer != 0) {
            Name n;
            const std::string inner = Code(outer) + "/" + Code(tag);
            if (around != 0 && Find(Code(around) + "/" + inner, &n)) return n;
            if (Find(inner, &n)) return n;
        }
        Name n;
        if (!Find(Code(tag), &n)) n.text = Code(tag);
        return n;
    }

private:
    static std::string Code(u32 tag) {
        LString code;
        OSTypeToString(&code, tag);
        return code.CStr();
    }
    bool Find(const std::string& key, Name* out) const {
        for (u32 i = kFirstTag; i < fList.Count(); ++i) {
            LString item;
            const std::string text = fList.GetItem(&item, i).CStr();
            if (text == key) return true;
            if (text.compare(0, key.size() + 1, key + " ") != 0) continue;
            out->text = text.substr(key.size() + 1);
            const size_t bar = out->text.find('|');
            if (bar != std::string::npos) {
                out->plural = out->text.substr(bar + 1);
                out->text.erase(bar);
            }
            if (!out->text.empty() && (out->text[0] == '=' || out->text[0] == '~')) {
                out->whole = out->text[0] == '=';
                out->alone = out->text[0] == '~';
                out->text.erase(0, 1);
            }
            return true;
        }
        return false;
    }

    LResId fId;
    LStrListRes fList;
};

// What the user calls an item of a list: the name typed for it, else its place.
std::string ItemName(const CRecord* item, u32 position) {
    if (item) {
        for (const u32 tag : {FourCC("name"), FourCC("sqnm"), FourCC("snnm")}) {
            const i32 f = item->Schema()->FindTag(tag);
            if (f < 0 || item->Desc(u8(f)).type != kRecString) continue;
            const LString& name = item->GetString(u8(f));
            if (!name.IsEmpty()) return std::string("'") + name.CStr() + "'";
        }
    }
    return std::to_string(position + 1);
}

std::string NameOf(const TagNames& names, const CRecord* root, const char* path) {
    // From the record the channel keeps out to the setting; the schema leads
    // where the record has no such item (a setting of a list item since removed).
    const CRecord* rec = root;
    const CRecordSchema* schema = root ? root->Schema() : nullptr;
    u32 outer = 0;
    u32 around = 0;
    std::vector<std::string> parts;
    std::vector<std::string> segments;
    for (const char* p = path; *p;) {
        while (*p == '/') ++p;
        const char* start = p;
        while (*p && *p != '/') ++p;
        if (p > start) segments.emplace_back(start, p);
    }
    for (size_t i = 0; i < segments.size() && schema; ++i) {
        const std::string& seg = segments[i];
        const i32 f = seg.size() <= 4 ? schema->FindTag(StrToOSType(seg.c_str())) : -1;
        if (f < 0) {
            parts.push_back(seg);
            break;
        }
        const RecFieldDesc& d = schema->Field(u32(f));
        const TagNames::Name name = names.Of(around, outer, d.tag);
        const bool last = i + 1 == segments.size();
        std::string part = name.alone && !last ? std::string() : name.text;
        if (last && d.type == kRecList && !name.plural.empty()) part = name.plural;
        const bool indexed = (d.type == kRecList || d.type == kRecArray) &&
                             i + 1 < segments.size() && !segments[i + 1].empty() &&
                             std::isdigit(u8(segments[i + 1][0]));
        const u32 position = indexed ? u32(std::strtoul(segments[i + 1].c_str(), nullptr, 10)) : 0;
        if (indexed) ++i;
        const bool below = i + 1 < segments.size();
        const CRecord* next = nullptr;
        const CRecordSchema* nextSchema = nullptr;
        if (d.type == kRecList) {
            if (rec && indexed && position < rec->GetListCount(u8(f)))
                next = rec->GetListItem(u8(f), position);
            if (!part.empty() && indexed) part += " " + ItemName(next, position);
        } else if (d.type == kRecChild) {
            next = rec ? rec->GetChild(u8(f)) : nullptr;
        }
        if (d.type == kRecList || d.type == kRecChild)
            nextSchema =
                next ? next->Schema() : CRecordSchema::Find(d.def.rec.family, d.def.rec.kind);
        // A child that only holds the list of its name ("Universe, Universe 2").
        if (!part.empty() && !parts.empty() &&
            part.compare(0, parts.back().size() + 1, parts.back() + " ") == 0)
            parts.pop_back();
        if (name.whole && below && !part.empty()) {
            // Only values inside it went (or not): the device holds the rest as sent.
            const char* whole[] = {part.c_str()};
            LString text;
            FormatTemplate(&text, StdDialogText(kTexts, kPartOf).CStr(), 1, whole);
            part = text.CStr();
        }
        if (!part.empty()) parts.push_back(part);
        if (name.whole) break;
        rec = next;
        schema = nextSchema;
        around = outer;
        outer = d.tag;
    }
    std::string text;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) text += i + 1 == parts.size() ? ": " : ", ";
        text += parts[i];
    }
    return text;
}

// The names one a line, as many as fit a message, the rest counted.
std::string NameLines(const std::vector<std::string>& names) {
    std::string lines;
    for (size_t i = 0; i < names.size() && i < kMostNamed; ++i) lines += names[i] + "\n";
    if (names.size() > kMostNamed) {
        const std::string more = std::to_string(names.size() - kMostNamed);
        const char* number[] = {more.c_str()};
        LString last;
        FormatTemplate(&last, StdDialogText(kTexts, 1).CStr(), 1, number);
        lines += std::string(last.CStr()) + "\n";
    }
    if (!lines.empty()) lines.pop_back();
    return lines;
}

// Item n of a text list, %0 the device, %1 the names one a line.
LString NamesText(const char* list, u32 n, u32 serial, const std::vector<std::string>& names) {
    const std::string lines = NameLines(names);
    const std::string device = std::to_string(serial);
    const char* items[] = {device.c_str(), lines.c_str()};
    LString text;
    FormatTemplate(&text, StdDialogText(list, n).CStr(), 2, items);
    return text;
}

// The message of item n over parent, %0 the device, %1 the lines.
void ShowMessage(LHandler* parent, u32 n, u32 serial, const std::vector<std::string>& names) {
    CSimpleMessageDialog message(parent, LPaneOpt::Window(kWindowDialog, 0));
    message.Run(NamesText(kTexts, n, serial, names), 0, false);
}

bool EndForced() {
    const CMainLoop* loop = CMainLoop::Current();
    return loop && loop->fEndForced;
}

}  // namespace

LString SettingName(const CRecord* root, const LString& path) {
    const TagNames names;
    return LString(NameOf(names, root, path.CStr()).c_str());
}

namespace {

constexpr const char* kAskTexts = "KVSUNSENTASK";

// The settings the channels hold that their device has not confirmed, named;
// with silentOnly, only those of channels whose device left one unanswered.
template <class Channel>
std::vector<std::string> UnsentNames(std::initializer_list<Channel*> channels, bool silentOnly) {
    const TagNames tags;
    std::vector<std::string> names;
    for (const CDevRequestQueue* channel : channels) {
        if (!channel || (silentOnly && !channel->DeviceSilent())) continue;
        for (const LString& path : channel->UnsentPaths()) {
            // Values inside one setting named whole are that setting in part, once.
            std::string name = NameOf(tags, channel->Record(), path.CStr());
            if (std::find(names.begin(), names.end(), name) == names.end())
                names.push_back(std::move(name));
        }
    }
    return names;
}

}  // namespace

LString UnsentWaitText(u32 serial) {
    const std::string device = std::to_string(serial);
    const char* items[] = {device.c_str()};
    LString text;
    FormatTemplate(&text, StdDialogText(kAskTexts, 0).CStr(), 1, items);
    return text;
}

void TellUnsentSettings(LHandler* parent, u32 serial,
                        std::initializer_list<const CDevRequestQueue*> channels) {
    if (EndForced()) return;
    // A channel ending without its close or quit having asked: what its device
    // left unanswered is named; a first try still under way with a device that
    // answers is not taken for lost.
    const std::vector<std::string> names = UnsentNames(channels, true);
    if (!names.empty()) ShowMessage(parent, 0, serial, names);
}

namespace {

constexpr u32 kWaitStepMs = 100;

bool AnyUnsent(std::initializer_list<CDevRequestQueue*> channels, bool* silent) {
    bool any = false;
    *silent = false;
    for (const CDevRequestQueue* c : channels) {
        if (!c || c->UnsentPaths().empty()) continue;
        any = true;
        if (c->DeviceSilent()) *silent = true;
    }
    return any;
}

// True once the device has confirmed every setting; false when the user
// cancelled, or, when asked to, as soon as the device leaves one unanswered.
bool WaitUnsent(LHandler* parent, u32 serial, std::initializer_list<CDevRequestQueue*> channels,
                bool untilSilent) {
    bool silent = false;
    if (!AnyUnsent(channels, &silent)) return true;
    if (untilSilent && silent) return false;
    CSimpleProgressDialog progress(parent, LPaneOpt::Window(kWindowDialog, 2));
    progress.ShowSpinner();
    progress.SetMessage(UnsentWaitText(serial));
    bool done = false;
    for (;;) {
        if (!AnyUnsent(channels, &silent)) {
            done = true;
            break;
        }
        if (untilSilent && silent) break;
        if (EndForced()) break;
        if (progress.ModalStep(kWaitStepMs) != 0) break;
    }
    progress.HideWindow();
    return done;
}

}  // namespace

bool SettleUnsentSettings(LHandler* parent, u32 serial, UnsentEnd end,
                          std::initializer_list<CDevRequestQueue*> channels) {
    if (EndForced()) return true;
    // What was typed last is usually taken at once: the question comes only
    // when the device is away or the user would not wait.
    if (WaitUnsent(parent, serial, channels, true)) return true;
    for (;;) {
        if (EndForced()) return true;
        const std::vector<std::string> names = UnsentNames(channels, false);
        if (names.empty()) return true;
        const u32 item = end == UnsentEnd::kQuit ? 1 : 2;
        CSimpleMessageDialog ask(parent, LPaneOpt::Window(kWindowDialog, 0));
        ask.fOk.SetTitle(StdDialogText(kAskTexts, 3));
        ask.fCancelBtn.SetTitle(StdDialogText(kAskTexts, end == UnsentEnd::kQuit ? 4 : 5));
        // Going without drops what was typed: only its own button says so.
        ask.fEscapeIsOk = 1;
        // The device goes on answering while the question is up: what it
        // confirms leaves the list, and once nothing is left the question has
        // nothing to ask and the quit or close goes on.
        std::vector<std::string> shown = names;
        ask.fWatch = [&] {
            const std::vector<std::string> now = UnsentNames(channels, false);
            if (now.empty()) return false;
            if (now != shown) {
                shown = now;
                ask.ChangeText(NamesText(kAskTexts, item, serial, shown));
            }
            return true;
        };
        const i32 answer = ask.Run(NamesText(kAskTexts, item, serial, names), 0, true);
        if (answer < 0) return true;
        if (answer == 0) break;
        // The wait's own dialog says what goes on: the answered question goes.
        ask.HideWindow();
        if (WaitUnsent(parent, serial, channels, false)) return true;
    }
    if (EndForced()) return true;
    for (CDevRequestQueue* c : channels)
        if (c) c->DropUnsent();
    return false;
}

// ---- CRefusedSettings

CRefusedSettings::CRefusedSettings(LHandler* parent, u32 serial)
    : fParent(parent), fSerial(serial), fTimer(MainRunLoopWakeSource(), this, OnTimer) {}

CRefusedSettings::~CRefusedSettings() {
    fTimer.Disarm();
    if (fGone) *fGone = true;
}

void CRefusedSettings::Watch(CDevRequestQueue& channel) {
    channel.SetRefusedFn(this, OnRefused);
}

void CRefusedSettings::OnRefused(void* self, const CDevRequestQueue& channel, const LString& path) {
    auto* r = static_cast<CRefusedSettings*>(self);
    // Named now: the place may be gone or renamed by the time the message shows.
    const std::string name = SettingName(channel.Record(), path).CStr();
    for (const std::string& n : r->fNames)
        if (n == name) return;
    r->fNames.push_back(name);
    if (!r->fGone) r->fTimer.StartMs(kBurstMs);
}

void CRefusedSettings::OnTimer(void* self) {
    static_cast<CRefusedSettings*>(self)->Flush();
}

void CRefusedSettings::Flush() {
    fTimer.Disarm();
    if (fGone || fNames.empty()) return;
    if (EndForced()) {
        fNames.clear();
        return;
    }
    const std::vector<std::string> names = std::move(fNames);
    fNames.clear();
    bool gone = false;
    fGone = &gone;
    ShowMessage(fParent, 2, fSerial, names);
    if (gone) return;
    fGone = nullptr;
    // Refused while the message was up: told in the next.
    if (!fNames.empty()) fTimer.StartMs(kBurstMs);
}

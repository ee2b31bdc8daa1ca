#include "editors/UnsentSettings.h"

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

// The names of the record tags the user meets, from the text list: items 0 and
// 1 are the message, every later item "TAG Name". An empty name leaves the
// level out of a setting's place; a tag without an item is shown as it is.
class TagNames {
public:
    TagNames() : fId{0, kTexts}, fList(&fId, nullptr, kTextsResType) {}
    std::string Of(u32 tag) const {
        LString code;
        OSTypeToString(&code, tag);
        const std::string key = std::string(code.CStr()) + " ";
        for (u32 i = 2; i < fList.Count(); ++i) {
            LString item;
            const std::string text = fList.GetItem(&item, i).CStr();
            if (text.compare(0, key.size(), key) == 0) return text.substr(key.size());
            if (text == key.substr(0, 4)) return std::string();
        }
        return code.CStr();
    }

private:
    LResId fId;
    LStrListRes fList;
};

std::string SettingName(const TagNames& names, CRecord* root, const LString& path) {
    u8 field = 0;
    u32 index = 0;
    CRecord* rec = LRecPath::Resolve(path.CStr(), root, &field, &index);
    if (!rec) return path.CStr();
    // From the setting out to the record the channel keeps.
    std::vector<std::string> parts;
    if (field != kRecSelf) parts.push_back(names.Of(rec->Desc(field).tag));
    for (const CRecord* r = rec; r != root && r->Parent(); r = r->Parent()) {
        const RecFieldDesc& d = r->Parent()->Desc(r->ParentField());
        std::string name = names.Of(d.tag);
        if (name.empty()) continue;
        if (d.type == kRecList) name += " " + std::to_string(r->Position() + 1);
        // A child that only holds the list of its name ("Universe, Universe 2").
        if (!parts.empty() && parts.back().compare(0, name.size() + 1, name + " ") == 0) continue;
        parts.push_back(name);
    }
    std::string text;
    for (size_t i = parts.size(); i-- > 0;) {
        if (parts[i].empty()) continue;
        if (!text.empty()) text += i == 0 ? ": " : ", ";
        text += parts[i];
    }
    return text;
}

}  // namespace

LString UnsentSettingsText(const CDevRequestQueue& channel) {
    const TagNames names;
    std::string lines;
    for (const LString& path : channel.UnsentPaths())
        lines += SettingName(names, channel.Record(), path) + "\n";
    return LString(lines.c_str());
}

namespace {

// The settings the channels hold that the device has not confirmed, one a line,
// as many as fit a message, the rest counted; count gets how many there are.
std::string UnsentSettingsLines(const std::vector<const CDevRequestQueue*>& channels,
                                size_t* count) {
    std::string lines;
    *count = 0;
    for (const CDevRequestQueue* channel : channels) {
        if (!channel) continue;
        const std::string text = UnsentSettingsText(*channel).CStr();
        for (size_t at = 0; at < text.size(); ++*count) {
            const size_t end = text.find('\n', at) + 1;
            if (*count < kMostNamed) lines += text.substr(at, end - at);
            at = end;
        }
    }
    if (*count == 0) return lines;
    if (*count > kMostNamed) {
        const std::string more = std::to_string(*count - kMostNamed);
        const char* number[] = {more.c_str()};
        LString last;
        FormatTemplate(&last, StdDialogText(kTexts, 1).CStr(), 1, number);
        lines += std::string(last.CStr()) + "\n";
    }
    lines.pop_back();
    return lines;
}

}  // namespace

void TellUnsentSettings(LHandler* parent, u32 serial,
                        std::initializer_list<const CDevRequestQueue*> channels) {
    const CMainLoop* loop = CMainLoop::Current();
    if (loop && loop->fEndForced) return;
    // A channel ending without its close or quit having asked: what its device
    // left unanswered is named; a first try still under way with a device that
    // answers is not taken for lost.
    std::vector<const CDevRequestQueue*> silent;
    for (const CDevRequestQueue* channel : channels)
        if (channel && channel->DeviceSilent()) silent.push_back(channel);
    size_t count = 0;
    const std::string lines = UnsentSettingsLines(silent, &count);
    if (count == 0) return;
    const std::string device = std::to_string(serial);
    const char* items[] = {device.c_str(), lines.c_str()};
    LString text;
    FormatTemplate(&text, StdDialogText(kTexts, 0).CStr(), 2, items);
    CSimpleMessageDialog message(parent, LPaneOpt::Window(kWindowDialog, 0));
    message.Run(text, 0, false);
}

namespace {

constexpr const char* kAskTexts = "KVSUNSENTASK";
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
bool WaitUnsent(LHandler* parent, const std::string& device,
                std::initializer_list<CDevRequestQueue*> channels, bool untilSilent) {
    bool silent = false;
    if (!AnyUnsent(channels, &silent)) return true;
    if (untilSilent && silent) return false;
    CSimpleProgressDialog progress(parent, LPaneOpt::Window(kWindowDialog, 2));
    progress.ShowSpinner();
    const char* items[] = {device.c_str()};
    LString text;
    FormatTemplate(&text, StdDialogText(kAskTexts, 0).CStr(), 1, items);
    progress.SetMessage(text);
    bool done = false;
    for (;;) {
        if (!AnyUnsent(channels, &silent)) {
            done = true;
            break;
        }
        if (untilSilent && silent) break;
        const CMainLoop* loop = CMainLoop::Current();
        if (loop && loop->fEndForced) break;
        if (progress.ModalStep(kWaitStepMs) != 0) break;
    }
    progress.HideWindow();
    return done;
}

}  // namespace

void SettleUnsentSettings(LHandler* parent, u32 serial, UnsentEnd end,
                          std::initializer_list<CDevRequestQueue*> channels) {
    const std::string device = std::to_string(serial);
    auto forced = [] {
        const CMainLoop* loop = CMainLoop::Current();
        return loop && loop->fEndForced;
    };
    if (forced()) return;
    // What was typed last is usually taken at once: the question comes only
    // when the device is away or the user would not wait.
    if (WaitUnsent(parent, device, channels, true)) return;
    for (;;) {
        if (forced()) return;
        size_t count = 0;
        const std::string lines = UnsentSettingsLines(
            std::vector<const CDevRequestQueue*>(channels.begin(), channels.end()), &count);
        if (count == 0) return;
        const char* items[] = {device.c_str(), lines.c_str()};
        LString text;
        FormatTemplate(&text, StdDialogText(kAskTexts, end == UnsentEnd::kQuit ? 1 : 2).CStr(), 2,
                       items);
        CSimpleMessageDialog ask(parent, LPaneOpt::Window(kWindowDialog, 0));
        ask.fOk.SetTitle(StdDialogText(kAskTexts, 3));
        ask.fCancelBtn.SetTitle(StdDialogText(kAskTexts, end == UnsentEnd::kQuit ? 4 : 5));
        if (ask.Run(text, 0, true) == 0) break;
        if (WaitUnsent(parent, device, channels, false)) return;
    }
    if (forced()) return;
    for (CDevRequestQueue* c : channels)
        if (c) c->DropUnsent();
}

#include "tests/framework/FakeControls.h"

#include <algorithm>
#include <cmath>

#include "tests/framework/FakeServices.h"

namespace {

FakeControls* sFake = nullptr;

std::string RectText(const LRect& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) +
           "," + std::to_string(r.bottom);
}

class FakeImage : public LNativeImage {
public:
    void Draw(LNativeGraphics* graphics, const LRect& rect) override {
        if (auto* g = dynamic_cast<FakeGraphics*>(graphics))
            g->fCalls.push_back("image " + RectText(rect));
    }
};

}  // namespace

FakeControl::FakeControl(LControlKind kind, LNativeControlOwner* owner, void* host)
    : fKind(kind), fOwner(owner), fHost(host) {}

FakeControl::~FakeControl() {
    if (!sFake) return;
    auto& v = sFake->fControls;
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
}

void FakeControl::Remove() {
    if (fInHost || fClipped) Log("remove");
    fInHost = false;
    fClipped = false;
}

void FakeControl::SetLocalFrame(i32 width, i32 height) {
    fFrame = LRect(0, 0, width, height);
    Log("local " + RectText(fFrame));
}

void FakeControl::PlaceWhole(const LRect& frame) {
    fInHost = true;
    fClipped = false;
    fFrame = frame;
    Log("whole " + RectText(frame));
}

void FakeControl::PlaceClipped(const LRect& visible, const LRect& frame) {
    fInHost = true;
    fClipped = true;
    fVisible = visible;
    fFrame = frame;
    Log("clipped " + RectText(visible));
}

void FakeControl::MouseDown() {
    Log("mousedown");
    if (fKind == LControlKind::kPushButton || fKind == LControlKind::kCheckBox ||
        fKind == LControlKind::kRadioButton)
        Click();
}

void FakeControl::SetEnabled(bool enabled) {
    fEnabled = enabled;
    Log(enabled ? "enable" : "disable");
}

void FakeControl::SetFont(LNativeFont* font) {
    fFontSize = font ? font->PointSize() : 0;
}

void FakeControl::SetTitle(const LString& title) {
    fTitle = std::string(title.View());
    Log("title " + fTitle);
}

void FakeControl::GetCellSize(i32* width, i32* height) const {
    // 7 pixels a byte of title, as the fake font measures, plus a bezel.
    *width = fTitle.empty() && !fImage ? 0 : i32(7 * fTitle.size()) + 20;
    *height = fTitle.empty() && !fImage ? 0 : 20;
}

void FakeControl::Highlight(bool on) {
    fHighlighted = on;
    Log(on ? "highlight" : "unhighlight");
}

void FakeControl::InsertItem(const LString& title, i32 index) {
    index = std::clamp(index, 0, i32(fItems.size()));
    fItems.insert(fItems.begin() + index, title.IsEmpty() ? "-" : std::string(title.View()));
}

void FakeControl::SelectItem(i32 index) {
    fSelected = index;
    Log("select " + std::to_string(index));
}

void FakeControl::SetMinMax(f64 min, f64 max) {
    fMin = min;
    fMax = max;
}

void FakeControl::Click() {
    if (fKind == LControlKind::kCheckBox) fState = fState ? 0 : 1;
    if (fKind == LControlKind::kRadioButton) fState = 1;
    fOwner->NativeAction();
}

void FakeControl::Choose(i32 index) {
    fSelected = index;
    fOwner->NativeAction();
}

void FakeControl::Hit(i32 part, f32 value) {
    fHitPart = part;
    if (part == kScrollPartKnob) fValue = value;
    fOwner->NativeAction();
}

void FakeControl::Slide(i32 value, i32 knobDx) {
    fInt = value;
    fKnob.left += knobDx;
    fKnob.right += knobDx;
    fOwner->NativeAction();
}

std::string FakeControl::Joined() const {
    std::string s;
    for (const std::string& c : fCalls) s += (s.empty() ? "" : "; ") + c;
    return s;
}

FakeTextField::FakeTextField(LNativeFieldOwner* owner, const LNativeFieldOptions& options)
    : fOwner(owner), fOptions(options), fRect(options.textRect) {}

FakeTextField::~FakeTextField() {
    if (sFake && sFake->fField == this) sFake->fField = nullptr;
}

void FakeTextField::SetText(const LString& text) {
    fText = std::string(text.View());
    fUndo.clear();
    fRedo.clear();
    fSelStart = fSelLength = 0;
}

void FakeTextField::GetSelection(u32* start, u32* length) const {
    *start = fSelStart;
    *length = fSelLength;
}

void FakeTextField::SetSelection(u32 start, u32 length) {
    fSelStart = std::min<u32>(start, u32(fText.size()));
    fSelLength = std::min<u32>(length, u32(fText.size()) - fSelStart);
}

void FakeTextField::GetScroll(i32* x, i32* y) const {
    *x = fScrollX;
    *y = fScrollY;
}

void FakeTextField::ScrollTo(i32 x, i32 y) {
    fScrollX = x;
    fScrollY = y;
}

void FakeTextField::Type(const std::string& text) {
    if (text.empty()) return;
    LString kept;
    std::string in = text;
    switch (fOwner->FilterText(LString(text.c_str()), &kept)) {
        case LNativeFieldOwner::kRefuse:
            return;
        case LNativeFieldOwner::kKept:
            in = std::string(kept.View());
            break;
        default:
            break;
    }
    fUndo.push_back(fText);
    fRedo.clear();
    fText.replace(fSelStart, fSelLength, in);
    fSelStart += u32(in.size());
    fSelLength = 0;
    fOwner->FieldTextChanged();
}

void FakeTextField::Command(LFieldCommand command) {
    const std::string selected = fText.substr(fSelStart, fSelLength);
    switch (command) {
        case LFieldCommand::kCopy:
            if (sFake) sFake->fClipboard = selected;
            return;
        case LFieldCommand::kPaste:
            if (sFake) Type(sFake->fClipboard);
            return;
        case LFieldCommand::kCut:
            if (sFake) sFake->fClipboard = selected;
            [[fallthrough]];
        case LFieldCommand::kDelete:
            if (fSelLength == 0) return;
            fUndo.push_back(fText);
            fRedo.clear();
            fText.erase(fSelStart, fSelLength);
            fSelLength = 0;
            fOwner->FieldTextChanged();
            return;
        case LFieldCommand::kUndo:
        case LFieldCommand::kRedo: {
            const bool redo = command == LFieldCommand::kRedo;
            std::vector<std::string>& from = redo ? fRedo : fUndo;
            if (from.empty()) return;
            (redo ? fUndo : fRedo).push_back(fText);
            fText = from.back();
            from.pop_back();
            SelectAll();
            fOwner->FieldTextChanged();
            return;
        }
    }
}

FakeControls::FakeControls() {
    sFake = this;
    InstallControlServices(this);
}

FakeControls::~FakeControls() {
    InstallControlServices(nullptr);
    sFake = nullptr;
}

FakeControls& TheFakeControls() {
    return *sFake;
}

LNativeControl* FakeControls::MakeControl(LControlKind kind, LNativeControlOwner* owner, void* host,
                                          bool continuous) {
    (void)continuous;
    auto* c = new FakeControl(kind, owner, host);
    fControls.push_back(c);
    return c;
}

LNativeTextField* FakeControls::MakeTextField(LNativeFieldOwner* owner,
                                              const LNativeFieldOptions& options) {
    ++fFieldsMade;
    fField = new FakeTextField(owner, options);
    return fField;
}

void FakeControls::DrawText(LNativeGraphics* graphics, LNativeFont*, const char* utf8, u32 length,
                            i32 x, i32 baseline) {
    if (auto* g = dynamic_cast<FakeGraphics*>(graphics))
        g->fCalls.push_back("text " + std::string(utf8, length) + " " + std::to_string(x) + "," +
                            std::to_string(baseline));
}

LNativeImageRef FakeControls::MakeImage(const u8* png, u32 size) {
    (void)png;
    (void)size;
    ++fImagesMade;
    return LNativeImageRef(new FakeImage);
}

void FakeControls::FlashPause(u32 ms) {
    fPauses.push_back(ms);
    if (fClock) *fClock += ms;
}

bool FakeControls::SliderSize(i32* width, i32* height) {
    *width = 100;
    *height = 21;
    return true;
}

void* FakeControls::SelectAsciiInputSource() {
    auto* saved = new std::string(fInputSource);
    fInputSource = "ascii";
    return saved;
}

void FakeControls::RestoreInputSource(void* saved) {
    auto* s = static_cast<std::string*>(saved);
    if (!s) return;
    fInputSource = *s;
    delete s;
}

FakeControl* FakeControls::Last(LControlKind kind) const {
    for (auto it = fControls.rbegin(); it != fControls.rend(); ++it) {
        if ((*it)->fKind == kind) return *it;
    }
    return nullptr;
}

void* FakeControls::MakeEmbeddedView(void* panel, LEmbeddedOwner* owner) {
    (void)panel;
    fEmbedded = owner;
    return &fEmbedded;
}

void FakeControls::SetEmbeddedSize(void*, i32 width, i32 height) {
    fEmbeddedW = width;
    fEmbeddedH = height;
}

void FakeControls::ReleaseEmbeddedView(void*) {
    fEmbedded = nullptr;
}

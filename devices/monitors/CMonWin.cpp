#include "devices/monitors/CMonWin.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/TextFormat.h"
#include "framework/CHeaderFrame.h"
#include "framework/CPicturePane.h"
#include "framework/InputState.h"
#include "framework/LDrawObj.h"
#include "framework/LListNavi.h"
#include "framework/LMenu.h"
#include "framework/LSeparator.h"
#include "framework/MousePoint.h"
#include "framework/StdDialogs.h"
#include "framework/layout/LLayoutVM.h"
#include "services/GraphicsServices.h"
#include "records/NsqPrefKinds.h"

namespace {

constexpr const char* kCmdValue = "cMonitor_Value";
constexpr const char* kCmdPercent = "cMonitor_Percent";
constexpr i32 kMaxSize = 16383;

u32 NowMs() {
    return GraphicsServices().NowMs();
}

CRecord* MonitorPrefs() {
    CKvsMonPrefRec* doc = CKvsMonPrefRec::Get();
    return doc && doc->Root() ? doc->Root()->GetChild(DmxPrefF::mntr) : nullptr;
}

bool PrefOption(u8 field) {
    const CRecord* p = MonitorPrefs();
    return p ? p->GetU8(field) != 0 : true;
}

LString Number(u32 n) {
    char text[16];
    std::snprintf(text, sizeof text, "%u", n);
    return LString(text);
}

u8 LevelOf(const CDmxFrameBuf& frame, u32 channel) {
    return channel + 1 < frame.count ? frame.slots[channel + 1] : 0;
}

// The cursor over the channels, made once for the program's life.
const LCursorRef& NoZoomCursor() {
    static LCursorRef* cursor = new LCursorRef(new LCursor("CNOZOOM"));
    return *cursor;
}

// The meter images of the channel cells, loaded once and shared.
const LImageRef& MeterImage(bool on) {
    static LImageRef* off = new LImageRef(LoadPngImage("DTLMTROF"));
    static LImageRef* lit = new LImageRef(LoadPngImage("DTLMTRON"));
    return on ? *lit : *off;
}

}  // namespace

// ---- CTurnStat

void CTurnStat::AddPacket(u32 n) {
    fMin = std::min(fMin, n);
    fMax = std::max(fMax, n);
    ++fPackets;
}

LString CTurnStat::Report(bool keep, u32 now) {
    const u32 elapsed = now - fLastTick;
    fLastTick = now;
    if (elapsed == 0 || fMin > fMax) return StdDialogText("TURNSTAT", 0);
    const u32 rate = u32((u64(fPackets) * 1000 + elapsed / 2) / elapsed);
    char a[12], b[12], c[12];
    std::snprintf(a, sizeof a, "%u", fMin);
    std::snprintf(b, sizeof b, "%u", fMax);
    std::snprintf(c, sizeof c, "%u", rate);
    const char* items[] = {a, b, c};
    const LString templ = StdDialogText("TURNSTAT", 1);
    LString out;
    FormatTemplate(&out, templ.CStr(), 3, items);
    fPackets = 0;
    if (!keep) {
        fMin = 0xFFFFFFFFu;
        fMax = 0;
    }
    return out;
}

void CTurnStat::Reset() {
    fPackets = 0;
    fMin = 0xFFFFFFFFu;
    fMax = 0;
    fLastTick = 0;
}

// ---- CKvsLevelGraph

CKvsLevelGraph::CKvsLevelGraph(LPane* parent) : LPane(parent, parent) {}

i32 CKvsLevelGraph::GetPrefWidth(LDrawCtx*, i32) {
    return 2;
}

i32 CKvsLevelGraph::GetPrefHeight(LDrawCtx*, i32) {
    return 68;
}

void CKvsLevelGraph::Bind(const u8* levels, u32 first, u32 count) {
    fLevels = levels;
    fFirst = first;
    fCount = count;
}

LRect CKvsLevelGraph::BarRect(const LRect& b, u32 k, u8 level) {
    const i32 x = b.left + 2 * i32(k) + 1;
    return LRect(x, b.bottom - 3 - level / 4, x + 1, b.bottom - 2);
}

LPoint CKvsLevelGraph::MarkAt(const LRect& b, u32 k) {
    return LPoint{b.left + 2 * i32(k), b.bottom - 35};
}

void CKvsLevelGraph::Draw(LDrawCtx& ctx) {
    LPenRef back;
    MakePenById(&back, 6);
    LSolidFill(fBounds, back).Draw(ctx);
    LRect marks[64], bars[64];
    u32 nBars = 0;
    const u32 n = std::min<u32>(fCount, 64);
    for (u32 k = 0; k < n; ++k) {
        const LPoint m = MarkAt(fBounds, k);
        marks[k] = LRect(m.x, m.y, m.x + 1, m.y + 1);
        const u8 level = fLevels ? fLevels[fFirst + k] : 0;
        const LRect bar = BarRect(fBounds, k, level);
        if (bar.top < bar.bottom) bars[nBars++] = bar;
    }
    CDrawPattern fill;
    MakePenByColor(&fill.fPen, 0x808080FFu, 0);
    fill.fRects = marks;
    fill.fCount = n;
    fill.Draw(ctx);
    MakePenByColor(&fill.fPen, 0x00FF00FFu, 0);
    fill.fRects = bars;
    fill.fCount = nBars;
    fill.Draw(ctx);
}

// ---- CMonGrpCell

CMonGrpCell::CMonGrpCell(LPane* list) : LListCell(list), fTitle(this), fGraph(this) {
    fTitle.SetStyle(LFont(2));
    SetLayoutByName("MONGRPCELL", 1);
}

void CMonGrpCell::PreLayoutVM(LDrawCtx*, LLayoutVM& vm) {
    vm.SetGlobal("cols", i32(CMonGrid::kGroupChannels));
}

// ---- CMonGrid

CMonGrid::CMonGrid(LPane* owner, CMonWin* win)
    : LCellListPane(owner, kSizePreferred, false, false), fWin(win) {
    InsertColumns(0, 4);
    InsertRows(0, 2);
    GetProtoCell();
}

LListCell* CMonGrid::CreateCell() {
    return new CMonGrpCell(this);
}

bool CMonGrid::BindCell(LListCell* frame, LCell cell) {
    const i32 g = Cols() * cell.row + cell.col;
    if (cell.col < 0 || cell.row < 0 || g > 7) return false;
    auto* c = static_cast<CMonGrpCell*>(frame);
    c->fTitle.SetText(Number(u32(g) * kGroupChannels + 1));
    c->fGraph.Bind(fCache, u32(g) * kGroupChannels, kGroupChannels);
    return true;
}

void CMonGrid::SetArrangement(i32 cols, i32 rows) {
    if (cols == Cols() && rows == Rows()) return;
    if (cols > Cols()) InsertColumns(Cols(), cols - Cols());
    if (cols < Cols()) RemoveColumns(cols, Cols() - cols);
    if (rows > Rows()) InsertRows(Rows(), rows - Rows());
    if (rows < Rows()) RemoveRows(rows, Rows() - rows);
    RebuildCells();
    // A cell's group follows from the column count: the frames left live (the
    // one under the mouse) still show the group of their old arrangement.
    RefreshAll();
    InvalidateAll();
}

LRect CMonGrid::GraphInCell() {
    CMonGrpCell* proto = static_cast<CMonGrpCell*>(GetProtoCell());
    if (!proto) return LRect();
    const LRect cell = proto->Bounds();
    LRect g = proto->fGraph.Bounds();
    // The cell's panes lie in the cell's own coordinates.
    (void)cell;
    return g;
}

void CMonGrid::Update(const CDmxFrameBuf& frame) {
    const LRect graph = GraphInCell();
    LRect dirty;
    bool any = false;
    for (u32 ch = 0; ch < 512; ++ch) {
        const u8 level = LevelOf(frame, ch);
        if (level == fCache[ch]) continue;
        const u32 g = ch / kGroupChannels;
        const LCell cell{i32(g) % std::max(Cols(), 1), i32(g) / std::max(Cols(), 1)};
        if (cell.row < Rows()) {
            const LRect c = GetCellRect(cell);
            LRect gb = graph;
            gb.Offset(c.left, c.top);
            const u32 k = ch % kGroupChannels;
            LRect r = CKvsLevelGraph::BarRect(gb, k, std::max(level, fCache[ch]));
            if (!any) {
                dirty = r;
                any = true;
            } else {
                dirty.left = std::min(dirty.left, r.left);
                dirty.top = std::min(dirty.top, r.top);
                dirty.right = std::max(dirty.right, r.right);
                dirty.bottom = std::max(dirty.bottom, r.bottom);
            }
        }
        fCache[ch] = level;
    }
    if (any) InvalidateRgn(LRgn(dirty));
}

i32 CMonGrid::ChannelAt(LPoint pt) {
    if (!LRgn(fBounds).ContainsPoint(pt)) return -1;
    const LCell cell = PointToCell(pt);
    if (cell.col < 0 || cell.row < 0 || cell.col >= Cols() || cell.row >= Rows()) return -1;
    const i32 g = Cols() * cell.row + cell.col;
    if (g > 7) return -1;
    const LRect c = GetCellRect(cell);
    LRect gb = GraphInCell();
    gb.Offset(c.left, c.top);
    if (pt.x < gb.left || pt.x >= gb.left + 2 * i32(kGroupChannels) || pt.y < gb.top ||
        pt.y >= gb.bottom)
        return -1;
    return (pt.x - gb.left) / 2 + g * i32(kGroupChannels);
}

LMessage CMonGrid::HandleMessage(const LMessage& msg) {
    LMouse* mouse = LMouse::Instance();
    if (mouse && msg.source == mouse) {
        const i32 ch = ChannelAt(MousePointIn(this));
        if (msg.Is(LMouse_Cursor)) {
            if (ch < 0) return LCellListPane::HandleMessage(msg);
            SetPaneCursor(nullptr, NoZoomCursor());
            return LMessage();
        }
        if (msg.Is(LMouse_Click)) {
            if (ch < 0) return LMessage();
            fWin->SelectChannel(u32(ch));
            return LMessage{LPane_ReqCapture, this, fParent};
        }
        // Dragging along the grid follows the mouse.
        if (msg.Is(LMouse_Move)) {
            if (ch >= 0) fWin->SelectChannel(u32(ch));
            return LMessage();
        }
        if (msg.Is(LMouse_Release)) return LMessage();
    }
    return LCellListPane::HandleMessage(msg);
}

// ---- CMonDtlCell

CMonDtlCell::CMonDtlCell(LPane* list)
    : LListCell(list), fMeter(this), fNumber(this), fValue(this), fPercent(this) {
    fLine = new LSeparator(this, this);
    fMeter.SetImages(MeterImage(true), MeterImage(false), 1);
    fMeter.SetMax(255);
    fNumber.SetStyle(LFont(2));
    fNumber.SetAlignment(1);
    LFont bold(2);
    bold.SetStyleCode(2);
    fValue.SetStyle(bold);
    fValue.SetAlignment(2);
    fPercent.SetStyle(LFont(2));
    fPercent.SetAlignment(2);
    SetLayoutByName("MONDTLCELL", 1);
}

// ---- CMonChList

CMonChList::CMonChList(LPane* owner) : LCellListPane(owner, kSizePreferred, false, false) {
    InsertRows(0, 1);
    InsertColumns(0, 512);
}

LListCell* CMonChList::CreateCell() {
    return new CMonDtlCell(this);
}

void CMonChList::SetupCell(LListCell* frame) {
    auto* c = static_cast<CMonDtlCell*>(frame);
    const LString wide("999");
    c->fNumber.SetText(wide);
    c->fValue.SetText(wide);
    c->fPercent.SetText(wide);
    const bool value = CMonWin::ValueOption();
    const bool percent = CMonWin::PercentOption();
    auto visible = [](const LPane& p) { return (p.State() & kVisible) != 0; };
    const bool changed = visible(c->fValue) != value || visible(c->fPercent) != percent;
    c->fValue.SetState(value ? kOpShow : kOpHide);
    c->fPercent.SetState(percent ? kOpShow : kOpHide);
    // A cell keeps its size when an option changes, so nothing else lays it
    // out again: the percentage would stay below a hidden value, down in the
    // scroll bar.
    if (changed) c->Relayout();
}

bool CMonChList::BindCell(LListCell* frame, LCell cell) {
    if (cell.row != 0 || cell.col < 0 || cell.col >= 512) return false;
    auto* c = static_cast<CMonDtlCell*>(frame);
    const u32 level = fCache[cell.col];
    c->fMeter.SetLevel(i32(level));
    c->fNumber.SetText(Number(u32(cell.col) + 1));
    if (CMonWin::ValueOption()) c->fValue.SetText(Number(level));
    if (CMonWin::PercentOption()) c->fPercent.SetText(Number((level * 25700 + 32768) / 65536));
    return true;
}

void CMonChList::Update(const CDmxFrameBuf& frame) {
    const i32 first = First().col;
    const i32 last = std::min(first + GetVisibleColsCeil(), 512);
    for (i32 c = 0; c < 512; ++c) {
        const u8 level = LevelOf(frame, u32(c));
        if (level == fCache[c]) continue;
        fCache[c] = level;
        if (c >= first && c < last) RefreshCell(LCell{c, 0});
    }
}

i32 CMonChList::ScrollStart(i32 n, i32 v) {
    return std::max(std::min(n - v / 2, 512 - v), 0);
}

void CMonChList::ScrollToChannel(u32 n) {
    SetScrollPos(LCell{ScrollStart(i32(n), GetVisibleColsFull()), 0});
}

// ---- CMonDtlFrm

CMonDtlFrm::CMonDtlFrm(LPane* parent) : LFrame(parent, parent) {
    fHeader = new CHeaderFrameH(this, 0, 0, 0);
    for (u32 i = 0; i < 3; ++i) {
        LTextStyle style;
        LFont font(2);
        if (i == 1) font.SetStyleCode(2);
        style.Set(0, font);
        fHeader->AddItem(StdDialogText("MONDTLF", i), style, nullptr);
    }
    fLine = new LSeparator(this, this);
    fNavi = new LListNavi(this, LListNavi::kHorizontalBar, false);
    fList = new CMonChList(fNavi);
    fNavi->SetList(fList);
    SetLayoutByName("MONDTLF", 1);
}

void CMonDtlFrm::PostLayoutVM(LDrawCtx* ctx, LLayoutVM& vm) {
    LFrame::PostLayoutVM(ctx, vm);
    auto* proto = static_cast<CMonDtlCell*>(fList->GetProtoCell());
    if (!proto) return;
    fHeader->ShowItem(1, CMonWin::ValueOption());
    fHeader->ShowItem(2, CMonWin::PercentOption());
    // The header items stand beside the number, value and percentage rows of the cells.
    const LRect hb = fHeader->Bounds();
    const i32 dy = fNavi->Bounds().top - hb.top;
    const LTextPane* texts[] = {&proto->fNumber, &proto->fValue, &proto->fPercent};
    for (i32 i = 0; i < 3; ++i) {
        CRespText* item = fHeader->Item(i);
        if (!item) continue;
        const LRect t = texts[i]->Bounds();
        item->SetBounds(LRect(3, dy + t.top, std::max(4, hb.Width() - 3), dy + t.bottom));
    }
}

// ---- CMonWin

CMonWin::CMonWin(LHandler* parent)
    : LFrame(parent, nullptr, LPaneOpt::Window(kWindowOrdinary, 6)), fRateTimer(this) {
    LPenRef back;
    MakePenById(&back, 1);
    SetBackColor(back);
    SetTitle(StdDialogText("MONWIN", 0));
    fGrid = new CMonGrid(this, this);
    fStatus = new LFrame(this, this);
    fOpener = new COpener(fStatus);
    fLabel = new LTextPane(fStatus);
    fRate = new LTextPane(fStatus);
    fLabel->SetStyle(LFont(2));
    fRate->SetStyle(LFont(2));
    fLabel->SetText(StdDialogText("MONSTATF", 0));
    fRate->SetText(StdDialogText("MONSTATF", 1));
    fStatus->SetLayoutByName("MONSTATF", 1);
    fDetail = new CMonDtlFrm(this);
    fDetail->SetState(kOpHide);
    SetWindowMenu(new LWindowMenu(this, "MONW"));
    SetLayoutByName("MONWIN", 1);
    if (CKvsMonPrefRec* prefs = CKvsMonPrefRec::Get()) prefs->AddListener(this, OnPrefs);
    fRateTimer.Start(1000);
    fStat.fLastTick = NowMs();
    Resize();
}

CMonWin::~CMonWin() {
    if (CKvsMonPrefRec* prefs = CKvsMonPrefRec::Get()) prefs->RemoveListener(this, OnPrefs);
}

bool CMonWin::ValueOption() {
    return PrefOption(PfmnF::vsvl0);
}

bool CMonWin::PercentOption() {
    return PrefOption(PfmnF::vsvl1);
}

void CMonWin::OnPrefs(void* self, CRecordNote* note) {
    if (note->kind != CRecordNote::kChanged || !note->record || note->record != MonitorPrefs() ||
        note->field > PfmnF::vsvl1)
        return;
    CMonWin* w = static_cast<CMonWin*>(self);
    // The cells take the size of the lines now shown: the window may keep its
    // size, and then nothing else sizes them again.
    w->fDetail->fList->SetState(LPane::kOpStyleChanged);
    w->fDetail->fList->RebuildCells();
    w->fDetail->fList->RefreshAll();
    w->fDetail->Relayout();
    w->Resize();
}

void CMonWin::Resize() {
    LDrawCtx ctx;
    LRect pref;
    if (!RunPref(&ctx, &pref)) return;
    const LRect at = GetWindowBounds();
    // The arrangement stays: the window takes the size the layout gives it.
    fKeepArrangement = 1;
    ResizeWindow(LRect(at.left, at.top, at.left + pref.Width(), at.top + pref.Height()), nullptr);
    fKeepArrangement = 0;
    Relayout();
}

void CMonWin::ShowFrame(const CDmxFrameBuf& frame) {
    // Only DMX levels (start code 0) are shown; other packets are no levels.
    if (frame.count != 0 && frame.slots[0] != 0) return;
    // An empty frame is no packet (its count - 1 would wrap round).
    if (frame.count != 0) fStat.AddPacket(frame.count - 1);
    CDmxFrameBuf f;
    f.count = std::min<u32>(frame.count, kDmxSlots);
    std::memcpy(f.slots, frame.slots, f.count);
    if (!(f == fCurrent)) {
        fCurrent = f;
        fChanged = 1;
    }
    fShown = fCurrent;
    fGrid->Update(fShown);
    fDetail->fList->Update(fShown);
}

void CMonWin::ResetStats() {
    fStat.Reset();
    fRate->SetText(fStat.Report(false, NowMs()));
}

void CMonWin::SelectChannel(u32 c) {
    fSelected = std::min<u32>(c, 511);
    fDetail->fList->ScrollToChannel(fSelected);
    if (!fOpener->IsOpen()) {
        fOpener->SetOpen(true);
        fDetail->SetState(kOpShow);
        Resize();
        fDetail->fList->ScrollToChannel(fSelected);
    }
}

i32 CMonWin::ColumnsFor(double r) {
    auto round = [](double v) { return i32(std::lround(v)); };
    if (r < 1) return std::clamp(round(std::sqrt(8 * r)), 1, 8);
    const i32 t = std::clamp(i32(std::ceil(std::sqrt(8 / r))), 1, 8);
    const i32 c = round(t * r);
    if (r < 2 && c > 2) return 3;
    return std::clamp(c, 1, 8);
}

LRect CMonWin::ArrangeFor(i32 w, i32 h) {
    LLayoutVM* vm = CompiledLayout();
    if (!vm) return LRect();
    // The size functions measure panes: they need a drawing context, which a
    // preferred pass hands the machine.
    LDrawCtx ctx;
    PreLayoutVM(&ctx, *vm);
    vm->RunPref(&ctx);
    const i32 lw = std::max(vm->CallInt("Lw", 1, &w), 1);
    const i32 lh = std::max(vm->CallInt("Lh", 1, &h), 1);
    const double wg = std::max(fGrid->GetPrefWidth(&ctx, 0), 1);
    const double hg = fGrid->GetPrefHeight(&ctx, 0);
    const double r = hg * (double(lw) / double(lh)) / wg;
    const i32 cols = ColumnsFor(r);
    const i32 rows = (cols + 7) / cols;
    fGrid->SetArrangement(cols, rows);
    vm->SetGlobal("cols", cols);
    vm->SetGlobal("rows", rows);
    LRect pref;
    RunPref(&ctx, &pref);
    return pref;
}

void CMonWin::PreLayoutVM(LDrawCtx* ctx, LLayoutVM& vm) {
    LFrame::PreLayoutVM(ctx, vm);
    vm.SetGlobal("cols", fGrid->Cols());
    vm.SetGlobal("rows", fGrid->Rows());
}

LMessage CMonWin::HandleMessage(const LMessage& msg) {
    if (msg.Is(LMenuBar_Ready) && msg.source) {
        auto* bar = static_cast<LMenuBar*>(msg.source);
        bar->EnableCommand(kCmdValue);
        bar->EnableCommand(kCmdPercent);
        if (ValueOption()) bar->CheckCommand(kCmdValue);
        if (PercentOption()) bar->CheckCommand(kCmdPercent);
    } else if (msg.Is(LMenuItem_Selected) && msg.source) {
        auto* item = static_cast<LMenuItem*>(msg.source);
        const bool value = item->HasCommand(kCmdValue);
        if (value || item->HasCommand(kCmdPercent)) {
            const u8 field = value ? PfmnF::vsvl0 : PfmnF::vsvl1;
            if (CRecord* p = MonitorPrefs()) p->SetU8(nullptr, field, p->GetU8(field) ? 0 : 1);
            return LMessage();
        }
    } else if (msg.Is(COpener_Change) && msg.source == fOpener) {
        fDetail->SetState(fOpener->IsOpen() ? kOpShow : kOpHide);
        Resize();
        return LMessage();
    } else if (msg.Is(LTimer_Expire) && msg.source == &fRateTimer) {
        fRateTimer.Start(1000);
        fRate->SetText(fStat.Report(false, NowMs()));
        return LMessage();
    } else if (fWindow && msg.Is(LWindowPlacer_Grow)) {
        // Any size may be proposed: the sizing answer snaps it to an arrangement.
        auto* placer = static_cast<LWindowPlacer*>(msg.source);
        placer->fMaxWidth = kMaxSize;
        placer->fMaxHeight = kMaxSize;
        return LMessage();
    } else if (fWindow && msg.Is(LWindowPlacer_Sizing)) {
        auto* placer = static_cast<LWindowPlacer*>(msg.source);
        LRect size;
        if (fKeepArrangement) {
            LDrawCtx ctx;
            RunPref(&ctx, &size);
        } else {
            size = ArrangeFor(placer->fWidth, placer->fHeight);
        }
        if (!size.IsEmpty()) {
            placer->fWidth = size.Width();
            placer->fHeight = size.Height();
        }
        return LMessage();
    } else if (fWindow && msg.Is(LWindow_Place) && msg.source == fWindow) {
        LMessage next = LFrame::HandleMessage(msg);
        // A window dragged nearly off every screen comes back.
        const LRect b = GetWindowBounds();
        LRect on = b;
        LDesktop::FitRectToScreens(&on);
        const i64 need = i64(std::min(b.Width(), 8)) * std::min(b.Height(), 8);
        if (i64(on.Width()) * on.Height() < need) LDesktop::FitWindowRect(fWindow, b);
        return next;
    }
    return LFrame::HandleMessage(msg);
}

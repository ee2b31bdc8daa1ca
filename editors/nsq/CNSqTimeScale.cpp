#include "editors/nsq/CNSqTimeScale.h"

#include <algorithm>
#include <cmath>

#include "base/Calendar.h"
#include "records/NsqPrefKinds.h"
#include "records/RecordKinds.h"

namespace {
CRecord* NewEditorSettings() {
    const CRecordSchema* s = CRecordSchema::Find(kFamNsq, kKindEdts);
    return s ? CRecord::New(s) : nullptr;
}
}  // namespace

CNSqTimeScale::CNSqTimeScale(CNSqKinds* kinds) : fKinds(kinds), fDoc(NewEditorSettings()) {}

double CNSqTimeScale::Scale() const {
    return Settings() ? Settings()->GetF32(EdtsF::tmsc) : 1.0;
}

double CNSqTimeScale::ViewTime() const {
    return Settings() ? Settings()->GetF32(EdtsF::vwtm) : 0.0;
}

double CNSqTimeScale::Grid() const {
    return Settings() ? Settings()->GetF32(EdtsF::grid) : 1.0;
}

i32 CNSqTimeScale::TimeToPos(double seconds) const {
    const double p = std::trunc((seconds - ViewTime()) / Scale());
    return i32(std::clamp(p, -2147483648.0, 2147483647.0));
}

void CNSqTimeScale::SetScale(f32 secondsPerPixel) {
    if (!Settings()) return;
    Settings()->SetF32(nullptr, EdtsF::tmsc, 0, UsableScale(secondsPerPixel));
    UpdateGrid();
}

void CNSqTimeScale::SetUnit(u32 unit) {
    if (unit == fUnit) return;
    fUnit = unit;
    UpdateGrid();
}

void CNSqTimeScale::UpdateGrid() {
    if (!Settings()) return;
    double n = 9.0 * fUnit;
    if (n * Scale() < 1.0) n = 13.0 * fUnit;
    Settings()->SetF32(nullptr, EdtsF::grid, 0, f32(NiceTimeStep(n * Scale())));
}

double CNSqTimeScale::FloorToGrid(double seconds) const {
    return FloorToMultiple(seconds, Grid());
}

double CNSqTimeScale::CeilToGrid(double seconds) const {
    return CeilToMultiple(seconds, Grid());
}

bool CNSqTimeScale::IsNarrow(u32 ms, f32* pixels) const {
    const double px = ms / (Scale() * 1000.0);
    if (pixels) *pixels = f32(px);
    return std::trunc(px) < 5.0;
}

void CNSqTimeScale::SetViewTime(double seconds, double visibleSeconds) {
    if (!Settings()) return;
    const double last = std::max(0.0, kDaySeconds - visibleSeconds);
    const double t = std::isfinite(seconds) ? std::clamp(seconds, 0.0, last) : 0.0;
    Settings()->SetF32(nullptr, EdtsF::vwtm, 0, f32(t));
}

f32 CNSqTimeScale::ScaleForSlider(i32 value) {
    return UsableScale(f32(std::pow(10.0, std::clamp(value, -200, 200) / 100.0)));
}

i32 CNSqTimeScale::SliderForScale(f32 scale) {
    return i32(std::lround(std::log10(UsableScale(scale)) * 100.0));
}

f32 CNSqTimeScale::UsableScale(f32 stored) {
    if (!std::isfinite(stored)) return 1.0f;
    return std::clamp(stored, kMinScale, kMaxScale);
}

CNSqTimeScale::ScrollRange CNSqTimeScale::ScrollRangeFor(double visibleSeconds) const {
    const double visibleMs = std::max(0.0, visibleSeconds * 1000.0);
    const double max = std::max(0.0, kDaySeconds * 1000.0 - visibleMs);
    const double value = std::clamp(std::round(ViewTime() * 1000.0), 0.0, max);
    return {i32(value), i32(max), i32(std::min(visibleMs, kDaySeconds * 1000.0))};
}

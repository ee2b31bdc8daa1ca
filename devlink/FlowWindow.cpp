#include "devlink/FlowWindow.h"

#include "platform/Services.h"

u32 CFlowWindow::Now() {
    return LTickMs();
}

CFlowWindow::CFlowWindow() : sentTick(Now()) {}

void CFlowWindow::Reset(u32 now) {
    window = 1;
    threshold = maxWindow;
    outstanding = 0;
    avoidCount = 0;
    mode = 0;
    srtt = 8000;
    rttvar = 0;
    sentTick = now;
    lastSample = 1000;
    timing = 0;
}

void CFlowWindow::SetMax(u32 n) {
    maxWindow = n;
    if (window > n) window = n;
    if (threshold > n) threshold = n;
}

void CFlowWindow::OnSend(u32 now) {
    if (outstanding++ == 0) {
        sentTick = now;
        timing = 1;
    }
}

void CFlowWindow::OnAck(u32 now) {
    if (outstanding == 0) return;
    --outstanding;
    u32 sample = lastSample;
    if (timing) {
        sample = now - sentTick;
        lastSample = sample;
        timing = 0;
    }
    const i32 err = i32(sample - (srtt >> 3));
    srtt = u32(i32(srtt) + err);
    const u32 absErr = err < 0 ? u32(-i64(err)) : u32(err);
    rttvar = rttvar - (rttvar >> 2) + absErr;
    if (mode == 0) {
        if (window < threshold) {
            ++window;
        } else if (window < maxWindow) {
            ++avoidCount;
            if (window <= avoidCount) {
                ++window;
                avoidCount = 0;
            }
        }
    } else {
        avoidCount = 0;
        mode = 0;
    }
}

void CFlowWindow::OnLoss() {
    if (mode != 0) return;
    srtt = srtt >= 4000 ? 8000 : srtt * 2;
    threshold = window / 2 < 1 ? 1 : window / 2;
    window = 1;
    outstanding = 0;
    mode = 1;
}

void CFlowWindow::OnTimeout() {
    if (mode == 0) {
        threshold = window / 2 < 1 ? 1 : window / 2;
        mode = 1;
    }
    srtt = srtt >= 4000 ? 8000 : srtt * 2;
    window = 1;
    outstanding = 0;
}

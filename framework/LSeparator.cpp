#include "framework/LSeparator.h"

#include "services/WindowServices.h"

LSeparator::LSeparator(LHandler* parent, LPane* container) : LPane(parent, container) {
    fState |= kDimmed | kOpaque;
}

i32 LSeparator::GetPrefWidth(LDrawCtx*, i32) {
    return WindowServices().SeparatorWidth();
}

i32 LSeparator::GetPrefHeight(LDrawCtx*, i32) {
    return WindowServices().SeparatorWidth();
}

void LSeparator::Draw(LDrawCtx& ctx) {
    if (!ctx.fNative) return;
    ctx.ApplyClip();
    WindowServices().DrawSeparator(*ctx.fNative, fBounds);
}

#pragma once
// A thin line between groups of panes, drawn by the platform's theme.

#include "framework/LPane.h"

class LSeparator : public LPane {
public:
    // Not hit by clicks, and paints its whole area.
    LSeparator(LHandler* parent, LPane* container);

    i32 GetPrefWidth(LDrawCtx* ctx, i32 hint) override;
    i32 GetPrefHeight(LDrawCtx* ctx, i32 hint) override;
    void Draw(LDrawCtx& ctx) override;
};

#pragma once
// The native look of each window kind: which controls its title bar has and
// whether it floats as a panel above the ordinary windows. The platform turns
// this into its own window flags; kinds outside the table are titled,
// closable windows at the normal level.

#include "base/Types.h"

enum : u32 {
    kStyleTitled = 1,
    kStyleClosable = 2,
    kStyleMiniaturizable = 4,
    kStyleResizable = 8,
};
// Window levels: ordinary windows, and the modal-panel level of dialogs.
enum : u32 { kLevelNormal = 0, kLevelModalPanel = 8 };

struct LWindowKindStyle {
    u32 style;  // 0: borderless
    u32 level;
};

inline constexpr LWindowKindStyle WindowKindStyle(u32 kind) {
    constexpr LWindowKindStyle kTable[13] = {
        {1, 8},  {9, 8}, {1, 8},  {7, 0}, {5, 0}, {0, 0}, {15, 0},
        {13, 0}, {3, 0}, {15, 0}, {0, 0}, {1, 8}, {0, 0},
    };
    return kind < 13 ? kTable[kind] : LWindowKindStyle{kStyleTitled | kStyleClosable, kLevelNormal};
}

inline constexpr bool WindowKindClosable(u32 kind) {
    return WindowKindStyle(kind).style & kStyleClosable;
}
inline constexpr bool WindowKindResizable(u32 kind) {
    return WindowKindStyle(kind).style & kStyleResizable;
}

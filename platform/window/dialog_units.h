// Dialog units to pixels, as the handheld converts them: base-x is the dialog font's average
// width of "A".."Z" and "a".."z" (rounded), base-y its height; a horizontal length is
// du * base-x / 4 and a vertical one du * base-y / 8, each rounded half up.
#pragma once

#include "platform/window/dialog_template.h"

struct DialogBaseUnits {
    int x;
    int y;
};

// value * numerator / denominator, rounded half away from zero.
constexpr int MulDivRounded(int value, int numerator, int denominator)
{
    const long long product = static_cast<long long>(value) * numerator;
    const long long half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator
                                         : -((-product + half) / denominator));
}

constexpr DialogRect DialogUnitsToPixels(const DialogRect& rect, DialogBaseUnits base)
{
    return {MulDivRounded(rect.x, base.x, 4), MulDivRounded(rect.y, base.y, 8),
            MulDivRounded(rect.width, base.x, 4), MulDivRounded(rect.height, base.y, 8)};
}

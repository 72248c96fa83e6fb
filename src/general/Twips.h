#pragma once
// Window designs give places in twips and colours as 0x00BBGGRR values;
// 15 twips are one pixel on our screens.

#include <QColor>
#include <QRect>
#include <cstdint>

namespace twips {

constexpr int px(int tw) {
    return (tw + 7) / 15;
}

inline QRect rect(int left, int top, int width, int height) {
    return {px(left), px(top), px(width), px(height)};
}

inline QColor bgr(std::uint32_t value) {
    return {static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
            static_cast<int>((value >> 16) & 0xFF)};
}

inline const QColor kRed = bgr(0x0000FF);
inline const QColor kWhite = bgr(0xFFFFFF);
inline const QColor kBlue = bgr(0xFF0000);
inline const QColor kLightGrey(224, 224, 224);

} // namespace twips

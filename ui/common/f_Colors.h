// Host colours are 24-bit values with red in the lowest byte; widgets want QColor.
#pragma once

#include <QColor>

#include <cstdint>

namespace vantrel {

inline QColor HostColor(int32_t value) {
    const auto v = static_cast<uint32_t>(value);
    return QColor(static_cast<int>(v & 0xFF), static_cast<int>((v >> 8) & 0xFF), static_cast<int>((v >> 16) & 0xFF));
}

inline int32_t HostColorValue(const QColor& c) {
    return static_cast<int32_t>(static_cast<uint32_t>(c.red()) | (static_cast<uint32_t>(c.green()) << 8) |
                                (static_cast<uint32_t>(c.blue()) << 16));
}

// Resolves the windowing layer's system colours (the high bit set, the index in the low byte)
// to plain RGB values; plain colours come back unchanged.
inline int32_t ColorToRGB(int32_t value) {
    if (value >= 0) return value & 0xFFFFFF;
    switch (value & 0xFF) {
    case 5: return 0xFFFFFF;        // window
    case 8: return 0x000000;        // window text
    case 13: return 0xD77800;       // highlight
    case 14: return 0xFFFFFF;       // highlight text
    case 15: return 0xF0F0F0;       // button face
    case 16: return 0xA0A0A0;       // button shadow
    case 17: return 0x6D6D6D;       // grey text
    case 18: return 0x000000;       // button text
    case 20: return 0xFFFFFF;       // button highlight
    case 24: return 0xE1FFFF;       // tooltip background
    default: return 0x000000;
    }
}

}  // namespace vantrel

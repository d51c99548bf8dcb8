#pragma once

#include <array>
#include <cstdint>

#include "model/channel_record.h"

namespace tavril {

// A colour per channel, as 0xRRGGBB: the Okabe-Ito set, whose eight colours
// stay apart for the common kinds of colour blindness. Drawn on white.
inline constexpr std::array<std::uint32_t, kChannelCount> kChannelColours{
    0x000000, 0xE69F00, 0x56B4E9, 0x009E73, 0xF0E442, 0x0072B2, 0xD55E00, 0xCC79A7};

}  // namespace tavril

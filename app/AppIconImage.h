#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The icon file shown in the notification area: one 32 by 32 image with 32
// bits per pixel. Generated at build time from resources/tolvane.ico, the
// same file the executable's icon resources are made from.
inline constexpr std::size_t kAppIconImageSize = 4286;
extern const std::array<std::uint8_t, kAppIconImageSize> AppIconImage;

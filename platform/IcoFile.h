#pragma once

// Reading an icon file (ICO format) without any platform code, so that it can
// be tested and fuzzed natively.

#include <cstddef>
#include <cstdint>
#include <optional>

// The image chosen from an icon file: where its data lies in the file and
// the fields of its bitmap header the icon is made with.
struct IcoImage {
    std::size_t offset;  // from the start of the file
    std::size_t size;
    std::int32_t width;     // biWidth
    std::int32_t height;    // biHeight / 2, truncated toward zero
    std::uint16_t bitCount; // biBitCount
};

// Picks the first entry with 16 or more colours whose width byte equals
// preferredWidth, else the last entry. Empty when the header is bad, the
// directory or the image data lies outside the bytes, or the image is too
// short for the bitmap-header fields read.
std::optional<IcoImage> selectIcoImage(const std::uint8_t* bytes, std::size_t length, int preferredWidth);

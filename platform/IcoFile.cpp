#include "platform/IcoFile.h"

namespace {

constexpr std::size_t kHeaderBytes = 6;
constexpr std::size_t kEntryBytes = 16;
// The bitmap-header fields read lie in its first 16 bytes: biWidth at 4,
// biHeight at 8, biBitCount at 14.
constexpr std::size_t kBitmapHeaderBytesRead = 16;
constexpr unsigned kMinChosenColourCount = 16;

// Little-endian, byte by byte: the file's byte order whatever the host's,
// and no unaligned access.
std::uint16_t readU16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t readU32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::int32_t readI32(const std::uint8_t* p) {
    // Two's complement by arithmetic, not by a cast of an out-of-range value.
    const std::uint32_t u = readU32(p);
    return u <= 0x7FFFFFFFu ? static_cast<std::int32_t>(u)
                            : -static_cast<std::int32_t>(~u) - 1;
}

// True when the entry at `index` fits in the bytes. Written as a comparison
// of the bytes left, so that a large index cannot wrap the sum around.
bool entryFits(std::size_t length, std::size_t index) {
    const std::size_t available = length - kHeaderBytes;  // length >= 6 here
    return index < available / kEntryBytes;
}

}  // namespace

std::optional<IcoImage> selectIcoImage(const std::uint8_t* bytes, std::size_t length, int preferredWidth) {
    if (bytes == nullptr || length < kHeaderBytes) return std::nullopt;
    const std::uint16_t reserved = readU16(bytes);
    const std::uint16_t type = readU16(bytes + 2);
    const std::uint16_t count = readU16(bytes + 4);
    if (reserved != 0 || (type != 1 && type != 2) || count == 0) return std::nullopt;

    // Every entry up to the chosen one is read, so a directory cut short
    // before the choice gives no image even when the last entry would do.
    std::size_t chosen = count - 1u;
    for (std::size_t i = 0; i < count; ++i) {
        if (!entryFits(length, i)) return std::nullopt;
        const std::uint8_t* entry = bytes + kHeaderBytes + kEntryBytes * i;
        const unsigned width = entry[0];
        const unsigned colourCount = entry[2];
        if (colourCount >= kMinChosenColourCount && static_cast<int>(width) == preferredWidth) {
            chosen = i;
            break;
        }
    }

    const std::uint8_t* entry = bytes + kHeaderBytes + kEntryBytes * chosen;
    const std::uint32_t size = readU32(entry + 8);
    const std::uint32_t offset = readU32(entry + 12);
    // Inside the bytes without forming offset + size, which can wrap.
    if (offset > length || size > length - offset) return std::nullopt;
    if (size < kBitmapHeaderBytesRead) return std::nullopt;

    const std::uint8_t* image = bytes + offset;
    IcoImage result{};
    result.offset = offset;
    result.size = size;
    result.width = readI32(image + 4);
    // C++ division truncates toward zero, also for a negative height.
    result.height = readI32(image + 8) / 2;
    result.bitCount = readU16(image + 14);
    return result;
}

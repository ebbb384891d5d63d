// libFuzzer target for the icon-file reader. Besides the sanitizers' own
// checks it traps on any answer that points outside the bytes it was given.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/IcoFile.h"

namespace {

void check(const std::uint8_t* data, std::size_t size, int preferredWidth) {
    const std::optional<IcoImage> image = selectIcoImage(data, size, preferredWidth);
    if (!image) return;
    // The image and its 16 header bytes read must lie inside the input.
    if (image->offset > size || image->size > size - image->offset || image->size < 16) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    check(data, size, 16);
    check(data, size, 32);
    return 0;
}

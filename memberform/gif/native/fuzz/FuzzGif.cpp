// Any bytes as a GIF file: the reader must stay inside the data and inside every frame.
#include <cstddef>
#include <cstdint>

#include "gif/GifDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    gif::GifImage image;
    gif::ReadGif(data, size, &image);
    // Every pixel is read, so that the sanitizers see a frame that is shorter than it says.
    unsigned sum = 0;
    for (const auto& frame : image.frames) {
        if (static_cast<size_t>(frame->stride) * static_cast<size_t>(frame->height) != frame->pixels.size()) {
            __builtin_trap();
        }
        for (uint8_t p : frame->pixels) sum += p;
    }
    static volatile unsigned sink;
    sink = sum;
    return 0;
}

// The member form's GIF reader and LZW decoder: plain code over a byte buffer, with no
// Windows types, so that it is also built for this machine under the sanitizers and fuzzed.
//
// Frames are 8-bit colour indexes, rows top-down, each row padded to a multiple of 4 bytes,
// with a colour table of four-byte entries (blue, green, red, 0) ready for a device-
// independent bitmap. Damaged or hostile data never reads past the buffer or writes past a
// frame: a frame that cannot be decoded is left out, a file that ends early keeps the
// frames read before.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace gif {

// Largest frame side taken; bigger frames are left out.
constexpr int kMaxSide = 4096;
// Largest memory one picture's frames hold: each frame's pixels with its record and colour
// table. Reading stops at the frame that would pass it, the frames before it kept.
constexpr size_t kMaxImageBytes = size_t{64} << 20;
// Entries of every colour table, whatever the file's table size: indexes above the
// table's own size draw black.
constexpr int kTableEntries = 256;

struct GifFrame {
    int width = 0;
    int height = 0;
    int colourBits = 0;  // 1 to 8
    std::vector<uint8_t> pixels;  // stride * height colour indexes
    uint8_t colours[kTableEntries * 4] = {};  // blue, green, red, 0
    int stride = 0;
    int left = 0;
    int top = 0;
    int delayMs = 0;  // 0 without a graphic-control extension
    bool interlaced = false;
};

struct GifImage {
    std::vector<std::unique_ptr<GifFrame>> frames;  // file order
    size_t FrameCount() const { return frames.size(); }
};

// Decodes one frame's code stream into pixels (stride * height bytes, zeroed by the
// caller). False when the stream is unusable: a minimum code size outside 2..8, a zero
// or oversized frame, a code beyond the next free one, a first code after a clear that
// is not a root, a full table without a clear, a string longer than the stack. A stream
// that ends without an end code ends the frame where the data ends.
bool DecodeLzw(const uint8_t* data, size_t size, int minCodeSize, uint8_t* pixels, size_t pixelBytes, int stride,
               int width, int height, bool interlaced);

// Reads a whole GIF file held in memory, up to kMaxImageBytes of frames; the number of
// frames read (0 for anything that does not start with "GI").
size_t ReadGif(const uint8_t* data, size_t size, GifImage* image);

}  // namespace gif

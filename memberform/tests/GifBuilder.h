// GIF files made for the decoder's tests: frames of colour indexes written with an
// encoder that never grows its code size (a clear code whenever the table would grow),
// and the raw pieces to build broken files from. Plain code, for the native build too.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace giftest {

typedef std::vector<uint8_t> Bytes;

// Packs codes of one size, least significant bit first.
class CodeWriter {
public:
    void Put(int code, int size);
    Bytes Finish();

private:
    Bytes bytes_;
    uint32_t pending_ = 0;
    int bits_ = 0;
};

// Code stream of the indexes with minimum code size m: clear, roots, end.
Bytes EncodeRoots(const std::vector<uint8_t>& indexes, int m, bool endCode = true);
// Data sub-blocks of at most 255 bytes and the zero length.
Bytes SubBlocks(const Bytes& data);

struct FrameSpec {
    int left = 0, top = 0, width = 0, height = 0;
    std::vector<uint8_t> indexes;  // width * height, in stream order
    int delayHundredths = -1;       // -1: no graphic-control extension
    bool interlaced = false;
    int localBits = 0;              // 0: no local table
    int minCodeSize = 2;
};

// Header "GIF89a", a screen of that size with a 4-colour global table (black, red, green,
// blue), the frames, the trailer.
Bytes MakeGif(int width, int height, const std::vector<FrameSpec>& frames, bool trailer = true);
// One frame's bytes (extension, descriptor, table, code size and sub-blocks).
Bytes FrameBytes(const FrameSpec& frame);
Bytes Header(int width, int height);

}  // namespace giftest

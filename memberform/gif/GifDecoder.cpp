#include "GifDecoder.h"

#include <cstring>

namespace gif {
namespace {

constexpr int kMaxCodes = 4096;
constexpr int kStackSize = 4097;

// Where the next decoded pixel goes, row by row, in the interlaced pass order when asked.
class PixelCursor {
public:
    PixelCursor(uint8_t* pixels, int stride, int width, int height, bool interlaced)
        : pixels_(pixels), stride_(stride), width_(width), height_(height), interlaced_(interlaced) {}

    bool Done() const { return done_; }

    void Put(uint8_t index) {
        if (done_) return;
        pixels_[static_cast<size_t>(row_) * stride_ + column_] = index;
        if (++column_ < width_) return;
        column_ = 0;
        NextRow();
    }

private:
    void NextRow() {
        static const int kStart[4] = {0, 4, 2, 1};
        static const int kStep[4] = {8, 8, 4, 2};
        if (!interlaced_) {
            if (++row_ >= height_) done_ = true;
            return;
        }
        row_ += kStep[pass_];
        // A pass that would start below the last row has no rows: it is skipped.
        while (row_ >= height_) {
            if (++pass_ == 4) {
                done_ = true;
                return;
            }
            row_ = kStart[pass_];
        }
    }

    uint8_t* pixels_;
    int stride_;
    int width_;
    int height_;
    bool interlaced_;
    int row_ = 0;
    int column_ = 0;
    int pass_ = 0;
    bool done_ = false;
};

class CodeReader {
public:
    CodeReader(const uint8_t* data, size_t size) : data_(data), bits_(static_cast<uint64_t>(size) * 8) {}

    // False at the end of the data.
    bool Next(int codeSize, int* code) {
        if (position_ + static_cast<uint64_t>(codeSize) > bits_) return false;
        uint32_t value = 0;
        size_t byte = static_cast<size_t>(position_ / 8);
        for (int i = 0; i < 4 && (byte + i) * 8 < bits_; ++i) value |= static_cast<uint32_t>(data_[byte + i]) << (8 * i);
        *code = static_cast<int>((value >> (position_ % 8)) & ((1u << codeSize) - 1));
        position_ += static_cast<uint64_t>(codeSize);
        return true;
    }

private:
    const uint8_t* data_;
    uint64_t bits_;
    uint64_t position_ = 0;
};

}  // namespace

bool DecodeLzw(const uint8_t* data, size_t size, int minCodeSize, uint8_t* pixels, size_t pixelBytes, int stride,
               int width, int height, bool interlaced) {
    if (minCodeSize < 2 || minCodeSize > 8) return false;
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide || stride < width) return false;
    if (static_cast<uint64_t>(stride) * static_cast<uint64_t>(height) > pixelBytes) return false;

    const int clear = 1 << minCodeSize;
    const int end = clear + 1;
    int next = clear + 2;
    int codeSize = minCodeSize + 1;
    int previous = clear;
    std::vector<uint16_t> prefix(kMaxCodes);
    std::vector<uint8_t> suffix(kMaxCodes);
    std::vector<uint8_t> stack(kStackSize);
    for (int i = 0; i < clear; ++i) suffix[i] = static_cast<uint8_t>(i);

    CodeReader reader(data, size);
    PixelCursor cursor(pixels, stride, width, height, interlaced);
    int code = 0;
    while (!cursor.Done() && reader.Next(codeSize, &code)) {
        if (code == end) return true;
        if (code == clear) {
            codeSize = minCodeSize + 1;
            next = clear + 2;
            previous = clear;
            continue;
        }
        // Beyond the next free code, or a string code before any string was made: the
        // stream is not one this decoder made sense of.
        if (code > next || (previous == clear && code >= clear)) return false;

        const bool unknown = code == next;
        int pushed = 0;
        int walk = unknown ? previous : code;
        while (walk >= clear + 2) {
            if (pushed >= kStackSize - 1) return false;
            stack[pushed++] = suffix[walk];
            walk = prefix[walk];
        }
        stack[pushed++] = static_cast<uint8_t>(walk);
        // A code not yet in the table stands for the previous string followed by that
        // string's first character.
        const uint8_t first = stack[pushed - 1];

        if (previous != clear) {
            prefix[next] = static_cast<uint16_t>(previous);
            suffix[next] = first;
            if (++next >= kMaxCodes) return false;
            if (next == (1 << codeSize) && codeSize < 12) ++codeSize;
        }
        previous = code;

        for (int i = pushed - 1; i >= 0; --i) cursor.Put(stack[i]);
        if (unknown) cursor.Put(first);
    }
    return true;
}

namespace {

class ByteReader {
public:
    ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool Read(void* out, size_t n) {
        if (n > size_ - position_) return false;
        memcpy(out, data_ + position_, n);
        position_ += n;
        return true;
    }
    bool Byte(uint8_t* out) { return Read(out, 1); }
    bool Skip(size_t n) {
        if (n > size_ - position_) return false;
        position_ += n;
        return true;
    }
    size_t position() const { return position_; }
    void Seek(size_t position) { position_ = position; }
    const uint8_t* At(size_t position) const { return data_ + position; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
};

int Word(const uint8_t* p) { return p[0] | (p[1] << 8); }

// What the heap spends beside the bytes asked for, per block.
constexpr size_t kHeapBlockBytes = 32;

// Memory a kept frame holds: its record with the colour table, its pixels, both blocks'
// bookkeeping and its place in the frame list.
size_t FrameMemory(size_t pixelBytes) {
    return sizeof(GifFrame) + pixelBytes + 2 * kHeapBlockBytes + sizeof(std::unique_ptr<GifFrame>);
}

bool ReadTable(ByteReader& in, int entries, uint8_t* table) {
    for (int i = 0; i < entries; ++i) {
        uint8_t rgb[3];
        if (!in.Read(rgb, 3)) return false;
        table[i * 4 + 0] = rgb[2];
        table[i * 4 + 1] = rgb[1];
        table[i * 4 + 2] = rgb[0];
        table[i * 4 + 3] = 0;
    }
    return true;
}

// Skips data sub-blocks up to their zero length; false when the data ends first.
bool SkipSubBlocks(ByteReader& in) {
    for (;;) {
        uint8_t length = 0;
        if (!in.Byte(&length)) return false;
        if (length == 0) return true;
        if (!in.Skip(length)) return false;
    }
}

// The image's code data gathered from its sub-blocks, with 4 spare zero bytes.
bool GatherSubBlocks(ByteReader& in, std::vector<uint8_t>* out) {
    size_t start = in.position();
    size_t total = 0;
    for (;;) {
        uint8_t length = 0;
        if (!in.Byte(&length)) return false;
        if (length == 0) break;
        if (!in.Skip(length)) return false;
        total += length;
    }
    size_t end = in.position();
    out->assign(total + 4, 0);
    in.Seek(start);
    size_t at = 0;
    for (;;) {
        uint8_t length = 0;
        in.Byte(&length);
        if (length == 0) break;
        in.Read(out->data() + at, length);
        at += length;
    }
    in.Seek(end);
    return true;
}

}  // namespace

size_t ReadGif(const uint8_t* data, size_t size, GifImage* image) {
    image->frames.clear();
    ByteReader in(data, size);
    uint8_t header[6];
    if (!in.Read(header, 6) || header[0] != 'G' || header[1] != 'I') return 0;
    uint8_t screen[7];
    if (!in.Read(screen, 7)) return 0;
    const int globalBits = (screen[4] & 7) + 1;
    uint8_t global[kTableEntries * 4] = {};
    if (screen[4] & 0x80) {
        if (!ReadTable(in, 1 << globalBits, global)) return 0;
    } else {
        for (int i = 0; i < kTableEntries; ++i) {
            global[i * 4 + 0] = global[i * 4 + 1] = global[i * 4 + 2] = static_cast<uint8_t>(i);
        }
    }

    size_t held = 0;
    bool haveControl = false;
    int delayMs = 0;
    uint8_t kind = 0;
    while (in.Byte(&kind)) {
        if (kind == 0x3B) break;
        if (kind == 0x21) {
            uint8_t label = 0;
            if (!in.Byte(&label)) break;
            if (label == 0xF9) {
                uint8_t control[6];  // size, packed, delay low, delay high, transparent, terminator
                if (!in.Read(control, 6)) break;
                haveControl = true;
                delayMs = Word(control + 2) * 10;
            } else if (!SkipSubBlocks(in)) {
                break;
            }
            continue;
        }
        if (kind != 0x2C) continue;

        uint8_t descriptor[9];
        if (!in.Read(descriptor, 9)) break;
        auto frame = std::make_unique<GifFrame>();
        frame->left = Word(descriptor);
        frame->top = Word(descriptor + 2);
        frame->width = Word(descriptor + 4);
        frame->height = Word(descriptor + 6);
        const uint8_t packed = descriptor[8];
        frame->interlaced = (packed & 0x40) != 0;
        frame->colourBits = (packed & 0x80) ? (packed & 7) + 1 : globalBits;
        frame->delayMs = haveControl ? delayMs : 0;
        haveControl = false;
        delayMs = 0;
        if (packed & 0x80) {
            if (!ReadTable(in, 1 << frame->colourBits, frame->colours)) break;
        } else {
            memcpy(frame->colours, global, static_cast<size_t>(4) << frame->colourBits);
        }
        uint8_t minCodeSize = 0;
        std::vector<uint8_t> codes;
        if (!in.Byte(&minCodeSize) || !GatherSubBlocks(in, &codes)) break;

        if (frame->width <= 0 || frame->height <= 0 || frame->width > kMaxSide || frame->height > kMaxSide) continue;
        frame->stride = (frame->width + 3) & ~3;
        const size_t frameBytes = static_cast<size_t>(frame->stride) * static_cast<size_t>(frame->height);
        const size_t memory = FrameMemory(frameBytes);
        if (memory > kMaxImageBytes - held) break;
        frame->pixels.assign(frameBytes, 0);
        if (DecodeLzw(codes.data(), codes.size() - 4, minCodeSize, frame->pixels.data(), frame->pixels.size(),
                      frame->stride, frame->width, frame->height, frame->interlaced)) {
            held += memory;
            image->frames.push_back(std::move(frame));
        }
    }
    return image->frames.size();
}

}  // namespace gif

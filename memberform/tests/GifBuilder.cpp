#include "GifBuilder.h"

namespace giftest {

void CodeWriter::Put(int code, int size) {
    pending_ |= static_cast<uint32_t>(code) << bits_;
    bits_ += size;
    while (bits_ >= 8) {
        bytes_.push_back(static_cast<uint8_t>(pending_ & 0xFF));
        pending_ >>= 8;
        bits_ -= 8;
    }
}

Bytes CodeWriter::Finish() {
    if (bits_ > 0) bytes_.push_back(static_cast<uint8_t>(pending_ & 0xFF));
    bits_ = 0;
    pending_ = 0;
    return bytes_;
}

Bytes EncodeRoots(const std::vector<uint8_t>& indexes, int m, bool endCode) {
    const int clear = 1 << m;
    const int size = m + 1;
    CodeWriter w;
    // After a clear, the decoder adds one entry for every code but the first; the code
    // size grows once clear - 2 entries were added, so a clear comes before that.
    const size_t run = static_cast<size_t>(clear - 2);
    for (size_t i = 0; i < indexes.size(); ++i) {
        if (i % run == 0) w.Put(clear, size);
        w.Put(indexes[i], size);
    }
    if (endCode) w.Put(clear + 1, size);
    return w.Finish();
}

Bytes SubBlocks(const Bytes& data) {
    Bytes out;
    for (size_t at = 0; at < data.size(); at += 255) {
        size_t n = data.size() - at < 255 ? data.size() - at : 255;
        out.push_back(static_cast<uint8_t>(n));
        out.insert(out.end(), data.begin() + static_cast<long>(at), data.begin() + static_cast<long>(at + n));
    }
    out.push_back(0);
    return out;
}

namespace {
void Word(Bytes& b, int v) {
    b.push_back(static_cast<uint8_t>(v & 0xFF));
    b.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
}
}  // namespace

Bytes Header(int width, int height) {
    Bytes b = {'G', 'I', 'F', '8', '9', 'a'};
    Word(b, width);
    Word(b, height);
    b.push_back(0x80 | 0x01);  // global table of 4 entries
    b.push_back(0);
    b.push_back(0);
    const uint8_t table[] = {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255};
    b.insert(b.end(), table, table + sizeof table);
    return b;
}

Bytes FrameBytes(const FrameSpec& f) {
    Bytes b;
    if (f.delayHundredths >= 0) {
        const uint8_t control[] = {0x21, 0xF9, 4, 0, static_cast<uint8_t>(f.delayHundredths & 0xFF),
                                   static_cast<uint8_t>(f.delayHundredths >> 8), 0, 0};
        b.insert(b.end(), control, control + sizeof control);
    }
    b.push_back(0x2C);
    Word(b, f.left);
    Word(b, f.top);
    Word(b, f.width);
    Word(b, f.height);
    uint8_t packed = f.interlaced ? 0x40 : 0;
    if (f.localBits > 0) packed |= 0x80 | static_cast<uint8_t>(f.localBits - 1);
    b.push_back(packed);
    for (int i = 0; f.localBits > 0 && i < (1 << f.localBits); ++i) {
        b.push_back(static_cast<uint8_t>(i * 10));
        b.push_back(static_cast<uint8_t>(i * 20));
        b.push_back(static_cast<uint8_t>(i * 30));
    }
    b.push_back(static_cast<uint8_t>(f.minCodeSize));
    Bytes data = SubBlocks(EncodeRoots(f.indexes, f.minCodeSize >= 2 && f.minCodeSize <= 11 ? f.minCodeSize : 2));
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

Bytes MakeGif(int width, int height, const std::vector<FrameSpec>& frames, bool trailer) {
    Bytes b = Header(width, height);
    for (const FrameSpec& f : frames) {
        Bytes fb = FrameBytes(f);
        b.insert(b.end(), fb.begin(), fb.end());
    }
    if (trailer) b.push_back(0x3B);
    return b;
}

}  // namespace giftest

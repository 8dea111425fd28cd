// The GIF reader and LZW decoder over byte buffers, well-formed and hostile. The same file
// runs under Wine and natively under the address and undefined-behaviour sanitizers.
#include <gtest/gtest.h>

#include <algorithm>

#include "GifBuilder.h"
#include "gif/GifDecoder.h"

using giftest::Bytes;
using giftest::FrameSpec;

namespace {

FrameSpec Frame(int width, int height, int seed = 0) {
    FrameSpec f;
    f.width = width;
    f.height = height;
    for (int i = 0; i < width * height; ++i) f.indexes.push_back(static_cast<uint8_t>((i + seed) % 4));
    return f;
}

size_t Read(const Bytes& bytes, gif::GifImage* image) { return gif::ReadGif(bytes.data(), bytes.size(), image); }

TEST(GifReader, FramesKeepPositionDelayTablesAndPaddedRows) {
    FrameSpec first = Frame(5, 3);
    first.delayHundredths = 7;
    FrameSpec second = Frame(2, 2, 1);
    second.left = 3;
    second.top = 1;
    second.localBits = 3;
    second.minCodeSize = 3;
    gif::GifImage image;
    ASSERT_EQ(2u, Read(giftest::MakeGif(8, 4, {first, second}), &image));

    const gif::GifFrame& a = *image.frames[0];
    EXPECT_EQ(5, a.width);
    EXPECT_EQ(3, a.height);
    EXPECT_EQ(8, a.stride);
    EXPECT_EQ(70, a.delayMs);
    EXPECT_EQ(2, a.colourBits);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) EXPECT_EQ((y * 5 + x) % 4, a.pixels[static_cast<size_t>(y * 8 + x)]) << x << "," << y;
    }
    // Red, as blue, green, red, 0.
    EXPECT_EQ(0, a.colours[4]);
    EXPECT_EQ(0, a.colours[5]);
    EXPECT_EQ(255, a.colours[6]);
    EXPECT_EQ(0, a.colours[7]);

    const gif::GifFrame& b = *image.frames[1];
    EXPECT_EQ(3, b.left);
    EXPECT_EQ(1, b.top);
    EXPECT_EQ(0, b.delayMs) << "no graphic-control extension";
    EXPECT_EQ(3, b.colourBits);
    EXPECT_EQ(4, b.stride);
    EXPECT_EQ(1, b.pixels[0]);
    EXPECT_EQ(60, b.colours[2 * 4 + 0]) << "local entry 2: red 20, green 40, blue 60";
    EXPECT_EQ(40, b.colours[2 * 4 + 1]);
    EXPECT_EQ(20, b.colours[2 * 4 + 2]);
}

TEST(GifReader, WithoutGlobalTableFramesUseAGreyRamp) {
    Bytes bytes = giftest::MakeGif(2, 1, {Frame(2, 1)});
    bytes[10] = 0;  // no global table ...
    bytes.erase(bytes.begin() + 13, bytes.begin() + 25);  // ... and its 12 bytes gone
    gif::GifImage image;
    ASSERT_EQ(1u, Read(bytes, &image));
    EXPECT_EQ(1, image.frames[0]->colourBits);
    EXPECT_EQ(1, image.frames[0]->colours[4]);
    EXPECT_EQ(1, image.frames[0]->colours[6]);

    Bytes notGif = giftest::MakeGif(2, 1, {Frame(2, 1)});
    notGif[1] = 'X';
    EXPECT_EQ(0u, Read(notGif, &image));
    EXPECT_EQ(0u, gif::ReadGif(notGif.data(), 3, &image));
    EXPECT_EQ(0u, gif::ReadGif(nullptr, 0, &image));
}

TEST(GifDecoder, InterlacedRowsComeInPassOrder) {
    for (int height = 1; height <= 10; ++height) {
        FrameSpec f;
        f.width = 3;
        f.height = height;
        f.interlaced = true;
        f.minCodeSize = 4;
        for (int row = 0; row < height; ++row) {
            for (int x = 0; x < 3; ++x) f.indexes.push_back(static_cast<uint8_t>(row));
        }
        gif::GifImage image;
        ASSERT_EQ(1u, Read(giftest::MakeGif(3, height, {f}), &image)) << "height " << height;
        std::vector<int> order;
        for (int row = 0; row < height; ++row) order.push_back(image.frames[0]->pixels[static_cast<size_t>(row) * 4]);
        if (height == 10) {
            // Stream row k lands on file row order[k]: 0, 8, 4, 2, 6, 1, 3, 5, 7, 9.
            const int rows[] = {0, 8, 4, 2, 6, 1, 3, 5, 7, 9};
            for (int k = 0; k < 10; ++k) EXPECT_EQ(k, order[static_cast<size_t>(rows[k])]);
        }
        std::vector<int> sorted = order;
        std::sort(sorted.begin(), sorted.end());
        for (int k = 0; k < height; ++k) EXPECT_EQ(k, sorted[static_cast<size_t>(k)]) << "height " << height;
    }
}

TEST(GifDecoder, CodeNotYetInTheTableRepeatsThePreviousString) {
    giftest::CodeWriter w;
    for (int code : {4, 1, 6, 5}) w.Put(code, 3);  // clear, "1", new code 6 = "1" + "1", end
    Bytes data = w.Finish();
    data.resize(data.size() + 4);
    uint8_t pixels[4] = {9, 9, 9, 9};
    ASSERT_TRUE(gif::DecodeLzw(data.data(), data.size() - 4, 2, pixels, 4, 4, 3, 1, false));
    EXPECT_EQ(1, pixels[0]);
    EXPECT_EQ(1, pixels[1]);
    EXPECT_EQ(1, pixels[2]);
    EXPECT_EQ(9, pixels[3]) << "padding untouched";
}

TEST(GifDecoder, TableFilledWithoutClearDropsTheFrame) {
    giftest::CodeWriter w;
    int size = 3, next = 6;
    w.Put(4, size);
    w.Put(0, size);
    for (int i = 0; i < 4100; ++i) {
        w.Put(0, size);
        if (++next == (1 << size) && size < 12) ++size;
    }
    Bytes data = w.Finish();
    std::vector<uint8_t> pixels(100 * 100);
    EXPECT_FALSE(gif::DecodeLzw(data.data(), data.size(), 2, pixels.data(), pixels.size(), 100, 100, 100, false));
}

TEST(GifDecoder, HostileStreamsStayInBounds) {
    std::vector<uint8_t> pixels(16, 0);
    const uint8_t noise[] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    for (int m : {0, 1, 9, 12, 255}) {
        EXPECT_FALSE(gif::DecodeLzw(noise, sizeof noise, m, pixels.data(), 16, 4, 4, 4, false)) << "code size " << m;
    }
    // Code 7 while the next free code is 6.
    giftest::CodeWriter beyond;
    for (int code : {4, 1, 7, 5}) beyond.Put(code, 3);
    Bytes b = beyond.Finish();
    EXPECT_FALSE(gif::DecodeLzw(b.data(), b.size(), 2, pixels.data(), 16, 4, 4, 4, false));
    // A string code as the first code after a clear.
    giftest::CodeWriter nonRoot;
    for (int code : {4, 6, 5}) nonRoot.Put(code, 3);
    b = nonRoot.Finish();
    EXPECT_FALSE(gif::DecodeLzw(b.data(), b.size(), 2, pixels.data(), 16, 4, 4, 4, false));
    // Sizes the buffer cannot hold, and no size at all.
    EXPECT_FALSE(gif::DecodeLzw(noise, sizeof noise, 2, pixels.data(), 16, 4, 4, 5, false));
    EXPECT_FALSE(gif::DecodeLzw(noise, sizeof noise, 2, pixels.data(), 16, 4, 0, 4, false));
    EXPECT_FALSE(gif::DecodeLzw(noise, sizeof noise, 2, pixels.data(), 16, 2, 4, 4, false));
    // No end code: the frame ends where the data does.
    Bytes open = giftest::EncodeRoots({1, 2, 3}, 2, false);
    std::fill(pixels.begin(), pixels.end(), 0);
    EXPECT_TRUE(gif::DecodeLzw(open.data(), open.size(), 2, pixels.data(), 16, 4, 4, 4, false));
    EXPECT_EQ(3, pixels[2]);
}

TEST(GifReader, DamagedFilesKeepTheFramesBeforeTheDamage) {
    FrameSpec good = Frame(4, 4);
    // Zero size, a 65535 x 65535 frame and code sizes 0, 9, 12: each is left out and the
    // good frame after it still read.
    std::vector<FrameSpec> frames = {good};
    FrameSpec empty = Frame(0, 0);
    FrameSpec huge = Frame(4, 4);
    huge.width = huge.height = 65535;
    frames.push_back(empty);
    frames.push_back(huge);
    for (int m : {0, 9, 12}) {
        FrameSpec bad = Frame(4, 4);
        bad.minCodeSize = m;
        frames.push_back(bad);
    }
    frames.push_back(good);
    gif::GifImage image;
    Bytes bytes = giftest::MakeGif(8, 8, frames);
    EXPECT_EQ(2u, Read(bytes, &image));

    // Cut anywhere: never more than the frames before the cut, never a crash.
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
        gif::GifImage part;
        EXPECT_LE(gif::ReadGif(bytes.data(), cut, &part), 2u) << cut;
    }
    // An unknown extension is skipped, stray bytes are ignored, no trailer is fine.
    Bytes odd = giftest::Header(4, 4);
    const uint8_t comment[] = {0x21, 0xFE, 3, 'a', 'b', 'c', 0, 0x00, 0x77};
    odd.insert(odd.end(), comment, comment + sizeof comment);
    Bytes frame = giftest::FrameBytes(good);
    odd.insert(odd.end(), frame.begin(), frame.end());
    EXPECT_EQ(1u, Read(odd, &image));
}

TEST(GifReader, PixelsOfOnePictureStopAtTheCap) {
    // A few bytes each: 4096 x 4096 frames of one code; the frames after the cap, small
    // ones too, are not read.
    const size_t side = 4096;
    FrameSpec big;
    big.width = big.height = static_cast<int>(side);
    big.indexes = {1};
    std::vector<FrameSpec> specs(10, big);
    specs.push_back(Frame(4, 4));
    Bytes bytes = giftest::MakeGif(8, 8, specs);
    ASSERT_LT(bytes.size(), 1000u);
    gif::GifImage image;
    size_t frames = Read(bytes, &image);
    EXPECT_GE(frames, 3u);
    EXPECT_LT(frames, 10u);
    size_t total = 0;
    for (const auto& frame : image.frames) total += sizeof(gif::GifFrame) + frame->pixels.size();
    EXPECT_LE(total, gif::kMaxImageBytes);
    EXPECT_GT(total + side * side, gif::kMaxImageBytes) << "a frame that would fit is not left out";
}

TEST(GifReader, ManyTinyFramesStopAtTheCapToo) {
    // Fifteen bytes a frame: a million frames of one pixel in 15 MB. Each frame's record and
    // colour table count with its pixels.
    Bytes frame = giftest::FrameBytes(Frame(1, 1));
    ASSERT_EQ(15u, frame.size());
    Bytes bytes = giftest::Header(1, 1);
    bytes.reserve(bytes.size() + frame.size() * 1000000 + 1);
    for (int i = 0; i < 1000000; ++i) bytes.insert(bytes.end(), frame.begin(), frame.end());
    bytes.push_back(0x3B);
    gif::GifImage image;
    size_t frames = Read(bytes, &image);
    EXPECT_LT(frames, 1000000u);
    EXPECT_GT(frames, 10000u) << "the frames up to the cap are kept";
    size_t held = 0;
    for (const auto& f : image.frames) held += sizeof(gif::GifFrame) + f->pixels.capacity();
    EXPECT_LE(held, gif::kMaxImageBytes);
}

}  // namespace

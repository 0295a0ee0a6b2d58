// The bitmap, its DIB description, exports and files, and the transparent copy.
#include "surface/Dib.h"
#include "surface/DrawSurface.h"
#include "surface/Region.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace lumora {
namespace {

using test::ReadFileBytes;
using test::TempDir;

struct FreeDeleter {
    void operator()(void *block) const { std::free(block); }
};
using Block = std::unique_ptr<uint8_t, FreeDeleter>;

Block PackedDib(const DrawSurface &surface)
{
    return Block(static_cast<uint8_t *>(surface.CopyToGlobalMemory()));
}

const BitmapInfoHeader &HeaderOf(const Block &block)
{
    return *reinterpret_cast<const BitmapInfoHeader *>(block.get());
}

TEST(DrawSurface, CreateRefusesEmptySizesAndOddBitCountsAndKeepsItsBitmap)
{
    DrawSurface surface;
    ASSERT_TRUE(surface.Create(7, 3, 24));
    struct Case {
        int32_t width, height;
        int bitCount;
    };
    for (const Case &bad : {Case{0, 5, 24}, Case{5, 0, 24}, Case{5, 5, 2}, Case{-4, 5, 24}}) {
        EXPECT_FALSE(surface.Create(bad.width, bad.height, bad.bitCount))
            << bad.width << "x" << bad.height << "@" << bad.bitCount;
        EXPECT_EQ(surface.GetWidth(), 7);
        EXPECT_EQ(surface.GetHeight(), 3);
        EXPECT_EQ(surface.Header()->biBitCount, 24);
    }
}

TEST(DrawSurface, DescribesA24BitPageAsTheDibHeaderSays)
{
    DrawSurface surface;
    ASSERT_TRUE(surface.Create(3, 2, 24));
    const BitmapInfoHeader &header = *surface.Header();
    EXPECT_EQ(header.biSize, 40u);
    EXPECT_EQ(header.biWidth, 3);
    EXPECT_EQ(header.biHeight, 2);
    EXPECT_EQ(header.biPlanes, 1);
    EXPECT_EQ(header.biCompression, 0u);
    EXPECT_EQ(header.biSizeImage, 24u); // stride 12
    EXPECT_EQ(header.biXPelsPerMeter, 3780);
    EXPECT_EQ(header.biYPelsPerMeter, 3780);
    EXPECT_EQ(header.biClrUsed, 0u);
}

TEST(DrawSurface, CompatibleBitmapsCarryTheDisplaysDepthWithColourMasks)
{
    DrawSurface surface;
    ASSERT_TRUE(surface.CreateCompatible(4, 4));
    EXPECT_EQ(surface.Header()->biBitCount, 32);
    EXPECT_EQ(surface.Header()->biCompression, kCompressionBitFields);
    const Block dib = PackedDib(surface);
    uint32_t masks[3];
    std::memcpy(masks, dib.get() + 40, sizeof masks);
    EXPECT_EQ(masks[0], 0xFF0000u);
    EXPECT_EQ(masks[1], 0x00FF00u);
    EXPECT_EQ(masks[2], 0x0000FFu);
}

TEST(DrawSurface, PackedDibHoldsBgrRowsBottomUpPaddedToFourBytes)
{
    DrawSurface surface;
    ASSERT_TRUE(surface.Create(3, 2, 24));
    surface.FillRect(kWhite);
    const RegionRect topRow{0, 0, 3, 1};
    surface.FillRect(0x00FF0000, &topRow); // blue
    const RegionRect lastPixel{2, 1, 3, 2};
    surface.FillRect(0x000000FF, &lastPixel); // red

    const Block dib = PackedDib(surface);
    ASSERT_TRUE(dib);
    const uint8_t *pixels = dib.get() + 40;
    // The bottom row comes first: white, white, red, then 3 bytes of padding.
    const uint8_t bottom[12] = {255, 255, 255, 255, 255, 255, 0, 0, 255, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(pixels, bottom, 12));
    const uint8_t top[12] = {255, 0, 0, 255, 0, 0, 255, 0, 0, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(pixels + 12, top, 12));
    EXPECT_EQ(HeaderOf(dib).biSizeImage, 24u);
}

TEST(DrawSurface, SavesBmpFilesWithTheirFileHeader)
{
    TempDir dir;
    DrawSurface surface;
    ASSERT_TRUE(surface.Create(3, 2, 24));
    surface.FillRect(0x00336699);
    const std::string path = dir.File("small.bmp");
    ASSERT_TRUE(surface.Save(path, 24));

    const std::string bytes = ReadFileBytes(path);
    ASSERT_EQ(bytes.size(), 78u);
    EXPECT_EQ(bytes.substr(0, 2), "BM");
    BitmapFileHeader fileHeader;
    std::memcpy(&fileHeader, bytes.data(), sizeof fileHeader);
    EXPECT_EQ(fileHeader.bfSize, 78u);
    EXPECT_EQ(fileHeader.bfOffBits, 54u);
    EXPECT_EQ(fileHeader.bfReserved1 | fileHeader.bfReserved2, 0);
    EXPECT_EQ(uint8_t(bytes[54]), 0x33); // blue, green, red
    EXPECT_EQ(uint8_t(bytes[55]), 0x66);
    EXPECT_EQ(uint8_t(bytes[56]), 0x99);
}

TEST(DrawSurface, SavesAnImageThatIsAnExactMultipleOfTheWritePiece)
{
    TempDir dir;
    DrawSurface surface;
    ASSERT_TRUE(surface.Create(1024, 32, 24)); // 98304 bytes = 3 pieces of 32768
    surface.FillRect(kWhite);
    const std::string path = dir.File("pieces.bmp");
    ASSERT_TRUE(surface.Save(path, 24));
    EXPECT_EQ(ReadFileBytes(path).size(), 54u + 98304u);
}

TEST(DrawSurface, SavingInAnotherBitCountDescribesTheSurfaceInItFromThenOn)
{
    TempDir dir;
    DrawSurface surface;
    ASSERT_TRUE(surface.Create(5, 5, 24));
    surface.FillRect(kWhite);
    ASSERT_TRUE(surface.Save(dir.File("eight.bmp"), 8));
    EXPECT_EQ(surface.Header()->biBitCount, 8);
    const std::string bytes = ReadFileBytes(dir.File("eight.bmp"));
    EXPECT_EQ(bytes.size(), 54u + 1024u + 8u * 5u);
    // A failed save keeps the description.
    EXPECT_FALSE(surface.Save(dir.File("no-such-folder/x.bmp"), 24));
    EXPECT_EQ(surface.Header()->biBitCount, 8);
}

TEST(DrawSurface, WithoutABitmapNothingIsExportedOrSaved)
{
    TempDir dir;
    DrawSurface surface;
    EXPECT_EQ(surface.CopyToGlobalMemory(), nullptr);
    EXPECT_FALSE(surface.Save(dir.File("none.bmp"), 24));
    EXPECT_FALSE(surface.FillRect(kWhite));
    EXPECT_EQ(surface.GetWidth(), 0);
    const RegionRect rect = surface.GetRect();
    EXPECT_EQ(rect.right | rect.bottom, 0);
}

class TransparentCopy : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(page.Create(4, 1, 24));
        page.FillRect(kBackground);
        ASSERT_TRUE(image.Create(4, 1, 32));
        const uint32_t colours[4] = {kWhite, 0x00FFFFFE, 0x00FEFFFF, 0x00000000};
        for (int x = 0; x < 4; ++x) {
            const RegionRect pixel{x, 0, x + 1, 1};
            image.FillRect(colours[x], &pixel);
        }
    }
    static constexpr uint32_t kBackground = 0x00123456;
    DrawSurface page, image;
};

TEST_F(TransparentCopy, KeepsTheTargetOnlyUnderPureWhite)
{
    image.DrawTransparent(page, kWhite, page.GetRect());
    EXPECT_EQ(page.PixelAt(0, 0), kBackground);
    EXPECT_EQ(page.PixelAt(1, 0), 0x00FFFFFEu); // one bit away from white covers
    EXPECT_EQ(page.PixelAt(2, 0), 0x00FEFFFFu);
    EXPECT_EQ(page.PixelAt(3, 0), 0x00000000u);
}

TEST_F(TransparentCopy, ChangesNothingOutsideTheTargetsClipRegion)
{
    RegionPtr elsewhere = MakeRectRegion(10, 10, 20, 20);
    page.SetClipRegion(elsewhere.get());
    image.DrawTransparent(page, kWhite, page.GetRect());
    page.SetClipRegion(nullptr);
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(page.PixelAt(x, 0), kBackground);
}

TEST_F(TransparentCopy, StretchesToTheDestination)
{
    DrawSurface wide;
    ASSERT_TRUE(wide.Create(8, 2, 24));
    wide.FillRect(kBackground);
    image.DrawTransparent(wide, kWhite, wide.GetRect());
    for (int y = 0; y < 2; ++y) {
        EXPECT_EQ(wide.PixelAt(0, y), kBackground);
        EXPECT_EQ(wide.PixelAt(1, y), kBackground);
        EXPECT_EQ(wide.PixelAt(6, y), 0u);
        EXPECT_EQ(wide.PixelAt(7, y), 0u);
    }
}

} // namespace
} // namespace lumora

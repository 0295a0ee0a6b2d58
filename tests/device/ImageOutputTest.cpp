// Images and stencil masks through the whole rendering path: a PDF page's
// images as the captured page's image blocks, and as pixels of the page
// bitmap.
#include "support/PdfBuilder.h"
#include "support/ScopedEnvironment.h"
#include "support/TestFiles.h"
#include "surface/Dib.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lumora {
namespace {

using test::ImageSpec;
using test::PdfBuilder;
using test::TempDir;

struct PageObjectDeleter {
    void operator()(PageObject *page) const { PDF_DestroyPageObject(page); }
};
using PageObjectPtr = std::unique_ptr<PageObject, PageObjectDeleter>;

std::vector<const ImageBlock *> Images(const PageObject &page)
{
    std::vector<const ImageBlock *> images;
    for (int32_t i = 0; i < page.blockCount; ++i)
        if (page.blocks[i]->blockType == PAGE_BLOCK_IMAGE)
            images.push_back(page.blocks[i]->image);
    return images;
}

int CountBlocks(const PageObject &page, int32_t type)
{
    int count = 0;
    for (int32_t i = 0; i < page.blockCount; ++i)
        count += page.blocks[i]->blockType == type;
    return count;
}

// Pixel (x, y) of a 32-bit image block, y counted from the top of the
// picture, as 0x00BBGGRR.
uint32_t BlockPixel(const ImageBlock &image, int x, int y)
{
    const int32_t width = image.imageHeader.biWidth;
    const int32_t row = image.imageHeader.biHeight - 1 - y;
    const uint8_t *p = image.pixels + (size_t(row) * width + x) * 4;
    return ColourFromBytes(p[2], p[1], p[0]);
}

// Whether pixel (x, y) of a 1-bit image block is set, y from the top.
bool BlockBit(const ImageBlock &image, int x, int y)
{
    const uint32_t stride = *DibStride(image.imageHeader.biWidth, 1);
    const int32_t row = image.imageHeader.biHeight - 1 - y;
    return image.pixels[size_t(row) * stride + x / 8] & (0x80 >> (x % 8));
}

// Entry 1 of the colour table: the image's colour.
uint32_t TableColour(const ImageBlock &image)
{
    const RgbQuad &entry = image.colourTable[1];
    return ColourFromBytes(entry.red, entry.green, entry.blue);
}

// A page bitmap as PDF_GetPageBmp hands it out.
class PageBitmap {
public:
    explicit PageBitmap(PageBmp bitmap) : bitmap_(bitmap) {}
    ~PageBitmap() { PDF_DestroyPageBmp(bitmap_); }
    PageBitmap(const PageBitmap &) = delete;
    PageBitmap &operator=(const PageBitmap &) = delete;

    bool IsValid() const { return bitmap_ != nullptr; }
    const BitmapInfoHeader &Header() const { return *static_cast<const BitmapInfoHeader *>(bitmap_); }
    // 0x00BBGGRR of pixel (x, y), y from the top.
    uint32_t At(int x, int y) const
    {
        const auto &header = Header();
        const uint8_t *rows = static_cast<const uint8_t *>(bitmap_) + header.biSize;
        const uint8_t *p = rows + size_t(header.biHeight - 1 - y) * *DibStride(header.biWidth, 24) + size_t(x) * 3;
        return ColourFromBytes(p[2], p[1], p[0]);
    }
    void Write(const std::string &path) const { PDF_WriteToBMPFile(bitmap_, path.c_str()); }

private:
    PageBmp bitmap_;
};

constexpr uint32_t kRed = 0x0000FF;
constexpr uint32_t kGreen = 0x00FF00;
constexpr uint32_t kPageWhite = 0xFFFFFF;

// The colours of a small test picture: every pixel different, none white.
uint32_t PictureColour(int x, int y) { return ColourFromBytes(uint8_t(30 + 60 * x), uint8_t(40 + 70 * y), 90); }

std::string PictureData(int width, int height)
{
    std::string data;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint32_t colour = PictureColour(x, y);
            data += char(RedOf(colour));
            data += char(GreenOf(colour));
            data += char(BlueOf(colour));
        }
    return data;
}

// An 8 x 6 stencil mask with no symmetry; bit 1 paints (with the default
// Decode array the data holds the inverse).
bool MaskPaints(int x, int y) { return (x + 2 * y) % 3 == 0 || (x == 7 && y == 0); }

std::string MaskData(int width, int height, bool paintedBitIsOne)
{
    std::string data;
    for (int y = 0; y < height; ++y)
        for (int byte = 0; byte < (width + 7) / 8; ++byte) {
            uint8_t bits = 0;
            for (int bit = 0; bit < 8 && byte * 8 + bit < width; ++bit)
                if (MaskPaints(byte * 8 + bit, y) == paintedBitIsOne)
                    bits |= uint8_t(0x80 >> bit);
            data += char(bits);
        }
    return data;
}
// Points the temporary directory at a test's own folder.
struct ScopedTemporaryDirectory : lumora::test::ScopedEnvironment {
    explicit ScopedTemporaryDirectory(const std::string &directory) : ScopedEnvironment("TMPDIR", directory) {}
};

// A 200 x 200 point page at 72 dpi: device x is user x, device y is
// 200 - user y.
class ImageOutput : public ::testing::Test {
protected:
    void TearDown() override { PDF_Close(handle_); }

    bool Open(const PdfBuilder &pdf)
    {
        const std::string path = dir_.File("images.pdf");
        pdf.Save(path);
        PDF_Close(handle_);
        handle_ = PDF_Open(path.c_str(), nullptr, nullptr, 72);
        return handle_ != nullptr;
    }

    PageObjectPtr Capture(PdfBuilder &pdf)
    {
        if (!Open(pdf))
            return nullptr;
        return PageObjectPtr(PDF_GetPageObject(handle_, 1));
    }

    std::unique_ptr<PageBitmap> Paint(PdfBuilder &pdf)
    {
        if (!Open(pdf))
            return nullptr;
        return std::make_unique<PageBitmap>(PDF_GetPageBmp(handle_, 1));
    }

    TempDir dir_;
    EngineHandle handle_ = nullptr;
};

// ---- Placement

TEST_F(ImageOutput, AnUprightImageKeepsItsRowsInBottomUpOrderInABoxOneLargerThanItsSize)
{
    PdfBuilder pdf;
    const std::string image = pdf.AddImage(ImageSpec::Rgb(4, 3, PictureData(4, 3)));
    pdf.AddPage(200, 200, test::DrawImageOp(image, 20, 100, 40, 30));
    const auto page = Capture(pdf);
    ASSERT_TRUE(page);
    const auto images = Images(*page);
    ASSERT_EQ(images.size(), 1u);
    const ImageBlock &block = *images[0];
    EXPECT_EQ(block.imageHeader.biSize, 40u);
    EXPECT_EQ(block.imageHeader.biWidth, 4);
    EXPECT_EQ(block.imageHeader.biHeight, 3);
    EXPECT_EQ(block.imageHeader.biBitCount, 32);
    EXPECT_EQ(block.x, 20);
    EXPECT_EQ(block.y, 70);
    EXPECT_EQ(block.destWidth, 41);
    EXPECT_EQ(block.destHeight, 31);
    EXPECT_EQ(block.hasAttachedText, 0);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(BlockPixel(block, x, y), PictureColour(x, y)) << x << "," << y;
    // The first row of the data is the last row in memory.
    EXPECT_EQ(block.pixels[(2 * 4) * 4 + 2], RedOf(PictureColour(0, 0)));
    EXPECT_EQ(block.pixels[3], 0);
}

struct OrientationCase {
    const char *name;
    double a, b, c, d, e, f; // the image's cm in user space
};

void PrintTo(const OrientationCase &m, std::ostream *out) { *out << m.name; }

// Where the centre of source pixel (x, y) of a w x h image lands on the
// 200 x 200 page.
std::pair<int, int> PageSpot(const OrientationCase &m, int x, int y, int w, int h)
{
    const double u = (x + 0.5) / w;
    const double v = 1 - (y + 0.5) / h;
    const double userX = m.a * u + m.c * v + m.e;
    const double userY = m.b * u + m.d * v + m.f;
    return {int(std::floor(userX)), int(std::floor(200 - userY))};
}

std::string CmOp(const OrientationCase &m)
{
    return test::PdfNumber(m.a) + " " + test::PdfNumber(m.b) + " " + test::PdfNumber(m.c) + " " +
           test::PdfNumber(m.d) + " " + test::PdfNumber(m.e) + " " + test::PdfNumber(m.f) + " cm";
}

const OrientationCase kOrientations[] = {
    {"upright", 80, 0, 0, 60, 20, 100},
    {"flippedRows", 80, 0, 0, -60, 20, 160},
    {"mirrored", -80, 0, 0, 60, 120, 100},
    {"halfTurn", -80, 0, 0, -60, 120, 160},
    {"xAxisUp", 0, 80, -60, 0, 120, 40},     // turned by 90 degrees
    {"xAxisDown", 0, -80, 60, 0, 40, 160},   // turned by -90 degrees
    {"xAxisUpMirrored", 0, 80, 60, 0, 40, 40},
    {"xAxisDownMirrored", 0, -80, -60, 0, 120, 160},
};

class ImageOrientation : public ImageOutput, public ::testing::WithParamInterface<OrientationCase> {};

TEST_P(ImageOrientation, EveryImagePixelLandsWhereTheMatrixPutsIt)
{
    const OrientationCase &m = GetParam();
    PdfBuilder pdf;
    const std::string image = pdf.AddImage(ImageSpec::Rgb(4, 3, PictureData(4, 3)));
    pdf.AddPage(200, 200, "q " + CmOp(m) + " /" + image + " Do Q");

    const auto page = Capture(pdf);
    ASSERT_TRUE(page);
    const auto images = Images(*page);
    ASSERT_EQ(images.size(), 1u);
    const bool turned = m.b != 0;
    EXPECT_EQ(images[0]->imageHeader.biWidth, turned ? 3 : 4);
    EXPECT_EQ(images[0]->imageHeader.biHeight, turned ? 4 : 3);

    const auto bitmap = Paint(pdf);
    ASSERT_TRUE(bitmap && bitmap->IsValid());
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) {
            const auto [px, py] = PageSpot(m, x, y, 4, 3);
            EXPECT_EQ(bitmap->At(px, py), PictureColour(x, y)) << "source " << x << "," << y;
        }
}

TEST_P(ImageOrientation, EveryMaskPixelLandsWhereTheMatrixPutsIt)
{
    const OrientationCase &m = GetParam();
    PdfBuilder pdf;
    const std::string mask = pdf.AddImage(ImageSpec::Mask(8, 6, MaskData(8, 6, false)));
    pdf.AddPage(200, 200, "0 1 0 rg 0 0 200 200 re f 1 0 0 rg q " + CmOp(m) + " /" + mask + " Do Q");

    const auto bitmap = Paint(pdf);
    ASSERT_TRUE(bitmap && bitmap->IsValid());
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x) {
            const auto [px, py] = PageSpot(m, x, y, 8, 6);
            // Unpainted mask pixels let the green below show.
            EXPECT_EQ(bitmap->At(px, py), MaskPaints(x, y) ? kRed : kGreen) << "source " << x << "," << y;
        }
}

INSTANTIATE_TEST_SUITE_P(Matrices, ImageOrientation, ::testing::ValuesIn(kOrientations),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(ImageOutput, AnImagePartlyLeftOfThePageIsCutToThePageAndShowsOnlyItsVisiblePart)
{
    PdfBuilder pdf;
    const std::string image = pdf.AddImage(ImageSpec::Rgb(4, 1, PictureData(4, 1)));
    pdf.AddPage(200, 200, test::DrawImageOp(image, -10, 100, 40, 20));
    const auto page = Capture(pdf);
    ASSERT_TRUE(page);
    const auto images = Images(*page);
    ASSERT_EQ(images.size(), 1u);
    const ImageBlock &block = *images[0];
    EXPECT_EQ(block.x, 0);
    EXPECT_EQ(block.destWidth, 41 - 10);
    EXPECT_EQ(block.y, 80);
    EXPECT_EQ(block.destHeight, 21);
    // The box runs from -10 to 30: the first column lies mostly off the page.
    ASSERT_EQ(block.imageHeader.biWidth, 3);
    for (int x = 0; x < 3; ++x)
        EXPECT_EQ(BlockPixel(block, x, 0), PictureColour(x + 1, 0)) << x;

    const auto bitmap = Paint(pdf);
    ASSERT_TRUE(bitmap && bitmap->IsValid());
    EXPECT_EQ(bitmap->At(5, 90), PictureColour(1, 0));
    EXPECT_EQ(bitmap->At(15, 90), PictureColour(2, 0));
    EXPECT_EQ(bitmap->At(25, 90), PictureColour(3, 0));
    EXPECT_EQ(bitmap->At(35, 90), kPageWhite);
}

TEST_F(ImageOutput, AnImageWhollyOffThePageDrawsNothing)
{
    PdfBuilder pdf;
    const std::string image = pdf.AddImage(ImageSpec::Rgb(4, 3, PictureData(4, 3)));
    const std::string mask = pdf.AddImage(ImageSpec::Mask(8, 6, MaskData(8, 6, false)));
    pdf.AddPage(200, 200,
                test::DrawImageOp(image, 201, 100, 40, 30) + test::DrawImageOp(image, -50, 100, 40, 30) +
                    test::DrawImageOp(mask, 20, 201, 40, 30) + test::DrawImageOp(mask, 20, -50, 40, 30));
    const auto page = Capture(pdf);
    ASSERT_TRUE(page);
    EXPECT_TRUE(Images(*page).empty());
}

// ---- Colours

TEST_F(ImageOutput, ImagePixelsAreRoundedAndPureWhiteMovesToBlue250)
{
    struct Case {
        const char *name;
        ImageSpec image;
        uint32_t expected;
    };
    const Case cases[] = {
        {"white", ImageSpec::Rgb(1, 1, "\xFF\xFF\xFF"), ColourFromBytes(255, 255, 250)},
        {"almostWhite", ImageSpec::Rgb(1, 1, "\xFF\xFF\xFC"), ColourFromBytes(255, 255, 252)},
        {"black", ImageSpec::Rgb(1, 1, std::string(3, '\0')), 0},
        // A component of exactly 0.5 rounds up here, unlike fill colours.
        {"half", [] {
             ImageSpec half = ImageSpec::Gray(1, 1, "\x80", 1);
             half.extraEntries = "/Decode [0 0.5]";
             return half;
         }(), ColourFromBytes(128, 128, 128)},
        {"gray", ImageSpec::Gray(1, 1, "\x40"), ColourFromBytes(64, 64, 64)},
    };
    for (const Case &c : cases) {
        PdfBuilder pdf;
        const std::string image = pdf.AddImage(c.image);
        pdf.AddPage(200, 200, test::DrawImageOp(image, 20, 100, 40, 30));
        const auto page = Capture(pdf);
        ASSERT_TRUE(page) << c.name;
        const auto images = Images(*page);
        ASSERT_EQ(images.size(), 1u) << c.name;
        EXPECT_EQ(BlockPixel(*images[0], 0, 0), c.expected) << c.name;
        EXPECT_EQ(TableColour(*images[0]), 0u) << c.name; // an image's colour is 0
    }
}

TEST_F(ImageOutput, AWhiteImagePixelCoversWhatIsBelowIt)
{
    PdfBuilder pdf;
    const std::string image = pdf.AddImage(ImageSpec::Rgb(1, 1, "\xFF\xFF\xFF"));
    pdf.AddPage(200, 200, "0 1 0 rg 0 0 200 200 re f " + test::DrawImageOp(image, 20, 100, 40, 30));
    const auto bitmap = Paint(pdf);
    ASSERT_TRUE(bitmap && bitmap->IsValid());
    EXPECT_EQ(bitmap->At(40, 85), ColourFromBytes(255, 255, 250));
    EXPECT_EQ(bitmap->At(100, 85), kGreen);
}

TEST_F(ImageOutput, AStencilMaskPaintsInTheFillColourAndWhiteStaysOpaque)
{
    struct Case {
        const char *name;
        std::string fill;
        bool decodeInverted;
        uint32_t colour;
    };
    const Case cases[] = {
        {"red", "1 0 0 rg", false, kRed},
        {"invertedDecode", "0 0 1 rg", true, 0xFF0000},
        {"half", "0.5 g", false, ColourFromBytes(127, 127, 127)},
        {"white", "1 g", false, 0x00F0FFFF},
    };
    for (const Case &c : cases) {
        PdfBuilder pdf;
        const std::string mask =
            pdf.AddImage(ImageSpec::Mask(8, 6, MaskData(8, 6, c.decodeInverted), c.decodeInverted));
        pdf.AddPage(200, 200,
                    "0 1 0 rg 0 0 200 200 re f " + c.fill + " " + test::DrawImageOp(mask, 20, 100, 40, 30));
        const auto page = Capture(pdf);
        ASSERT_TRUE(page) << c.name;
        const auto images = Images(*page);
        ASSERT_EQ(images.size(), 1u) << c.name;
        const ImageBlock &block = *images[0];
        EXPECT_EQ(block.imageHeader.biBitCount, 32) << c.name;
        EXPECT_EQ(block.imageHeader.biWidth, 8) << c.name;
        EXPECT_EQ(block.imageHeader.biHeight, 6) << c.name;
        // A mask's box is its scaled size, without the extra pixel.
        EXPECT_EQ(block.x, 20) << c.name;
        EXPECT_EQ(block.y, 70) << c.name;
        EXPECT_EQ(block.destWidth, 40) << c.name;
        EXPECT_EQ(block.destHeight, 30) << c.name;
        EXPECT_EQ(TableColour(block), c.colour) << c.name;
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 8; ++x)
                EXPECT_EQ(BlockPixel(block, x, y), MaskPaints(x, y) ? c.colour : kPageWhite)
                    << c.name << " " << x << "," << y;

        const auto bitmap = Paint(pdf);
        ASSERT_TRUE(bitmap && bitmap->IsValid()) << c.name;
        EXPECT_EQ(bitmap->At(22, 72), c.colour) << c.name;  // source pixel (0, 0) paints
        EXPECT_EQ(bitmap->At(27, 72), kGreen) << c.name;    // (1, 0) does not
    }
}

// ---- DCT-encoded masks

class DctMasks : public ImageOutput {
protected:
    void SetUp() override
    {
        jpeg_ = test::EncodeJpeg(8, 8, std::string(64, '\x80'), 1);
        ASSERT_FALSE(jpeg_.empty()) << "cjpeg";
    }

    ImageSpec DctMask() const { return ImageSpec{8, 8, {}, 1, true, true, {}, jpeg_}; }

    // Captures the page with the device's file root in a directory of its own.
    PageObjectPtr CaptureWithFileRoot(PdfBuilder &pdf)
    {
        ScopedTemporaryDirectory tmp(files_.Path().string());
        return Capture(pdf);
    }

    std::string FileAt(const std::string &name) const { return files_.File(name); }

    std::string jpeg_;
    TempDir files_;
};

TEST_F(DctMasks, AreWrittenToNumberedJpegFilesInsteadOfBeingDrawn)
{
    PdfBuilder pdf;
    const std::string mask = pdf.AddImage(DctMask());
    pdf.AddPage(200, 200, test::DrawImageOp(mask, 20, 100, 40, 30) + test::DrawImageOp(mask, 100, 100, 40, 30));
    const auto page = CaptureWithFileRoot(pdf);
    ASSERT_TRUE(page);
    EXPECT_TRUE(Images(*page).empty());
    EXPECT_EQ(test::ReadFileBytes(FileAt("tmp-000.jpg")), jpeg_);
    EXPECT_EQ(test::ReadFileBytes(FileAt("tmp-001.jpg")), jpeg_);
    EXPECT_FALSE(std::filesystem::exists(FileAt("tmp-002.jpg")));

    // The counter belongs to the device, not to the page.
    ASSERT_TRUE(PageObjectPtr(PDF_GetPageObject(handle_, 1)));
    EXPECT_EQ(test::ReadFileBytes(FileAt("tmp-003.jpg")), jpeg_);
}

TEST_F(DctMasks, NeverWriteThroughALinkPlantedAtTheName)
{
    const std::string victim = FileAt("victim");
    test::WriteFileBytes(victim, "keep");
    std::filesystem::create_symlink(victim, FileAt("tmp-000.jpg"));
    test::WriteFileBytes(FileAt("tmp-001.jpg"), "stale file of an earlier run");

    PdfBuilder pdf;
    const std::string mask = pdf.AddImage(DctMask());
    pdf.AddPage(200, 200, test::DrawImageOp(mask, 20, 100, 40, 30) + test::DrawImageOp(mask, 100, 100, 40, 30));
    const auto page = CaptureWithFileRoot(pdf);
    ASSERT_TRUE(page);
    EXPECT_EQ(test::ReadFileBytes(victim), "keep");
    EXPECT_TRUE(std::filesystem::is_symlink(FileAt("tmp-000.jpg")));
    // The first mask is lost, the counter moved on, and an own earlier file is replaced.
    EXPECT_EQ(test::ReadFileBytes(FileAt("tmp-001.jpg")), jpeg_);
    EXPECT_TRUE(Images(*page).empty());
}

TEST_F(DctMasks, AnInlineMaskIsCopiedToItsEndAndThePageGoesOnBehindIt)
{
    ImageSpec inlineMask = DctMask();
    PdfBuilder pdf;
    pdf.AddPage(200, 200,
                "q 40 0 0 30 20 100 cm " + test::InlineImage(inlineMask) + "Q 0 0 1 rg 10 10 20 20 re f");
    const auto page = CaptureWithFileRoot(pdf);
    ASSERT_TRUE(page);
    EXPECT_EQ(test::ReadFileBytes(FileAt("tmp-000.jpg")), jpeg_);
    EXPECT_TRUE(Images(*page).empty());
    EXPECT_EQ(CountBlocks(*page, PAGE_BLOCK_POLYGON), 1);
}

TEST_F(DctMasks, OffThePageWriteNoFile)
{
    PdfBuilder pdf;
    const std::string mask = pdf.AddImage(DctMask());
    pdf.AddPage(200, 200, test::DrawImageOp(mask, 300, 100, 40, 30));
    const auto page = CaptureWithFileRoot(pdf);
    ASSERT_TRUE(page);
    EXPECT_FALSE(std::filesystem::exists(FileAt("tmp-000.jpg")));
}

// ---- Large images

TEST_F(ImageOutput, AnImageOf5000PixelsOrMoreIsReducedByAveragingAndDrawn)
{
    std::string pixels;
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 6000; ++x)
            pixels += char(x == 1 ? 100 : x < 3000 ? 0 : 200);
    PdfBuilder pdf;
    const std::string image = pdf.AddImage(ImageSpec::Gray(6000, 10, pixels));
    pdf.AddPage(200, 200, test::DrawImageOp(image, 10, 100, 180, 20));

    const auto page = Capture(pdf);
    ASSERT_TRUE(page);
    const auto images = Images(*page);
    ASSERT_EQ(images.size(), 1u);
    const ImageBlock &block = *images[0];
    EXPECT_EQ(block.imageHeader.biWidth, 3000); // pairs of columns averaged
    EXPECT_EQ(block.imageHeader.biHeight, 10);  // short enough to stay as it is
    EXPECT_EQ(block.destWidth, 181);
    EXPECT_EQ(BlockPixel(block, 0, 0), ColourFromBytes(50, 50, 50));
    EXPECT_EQ(BlockPixel(block, 1, 9), 0u);
    EXPECT_EQ(BlockPixel(block, 1499, 5), 0u);
    EXPECT_EQ(BlockPixel(block, 1500, 5), ColourFromBytes(200, 200, 200));
    EXPECT_EQ(BlockPixel(block, 2999, 0), ColourFromBytes(200, 200, 200));

    const auto bitmap = Paint(pdf);
    ASSERT_TRUE(bitmap && bitmap->IsValid());
    EXPECT_EQ(bitmap->At(50, 90), 0u);
    EXPECT_EQ(bitmap->At(150, 90), ColourFromBytes(200, 200, 200));
}

TEST_F(ImageOutput, AMaskOf5000PixelsOrMoreBothWaysIsReducedAndStaysOneBit)
{
    // 6000 x 6000 declared; the data holds the first 1000 rows, all painted.
    PdfBuilder pdf;
    const std::string mask = pdf.AddImage(ImageSpec::Mask(6000, 6000, std::string(750 * 1000, '\0')));
    pdf.AddPage(200, 200, "1 0 0 rg " + test::DrawImageOp(mask, 0, 0, 200, 200));
    const auto page = Capture(pdf);
    ASSERT_TRUE(page);
    const auto images = Images(*page);
    ASSERT_EQ(images.size(), 1u);
    const ImageBlock &block = *images[0];
    EXPECT_EQ(block.imageHeader.biBitCount, 1);
    EXPECT_EQ(block.imageHeader.biWidth, 3000);
    EXPECT_EQ(block.imageHeader.biHeight, 3000);
    EXPECT_EQ(TableColour(block), kRed);
    EXPECT_TRUE(BlockBit(block, 0, 0));
    EXPECT_TRUE(BlockBit(block, 2999, 499));
    EXPECT_FALSE(BlockBit(block, 0, 500)); // beyond the data: not painted
    EXPECT_FALSE(BlockBit(block, 2999, 2999));
}

// ---- Masked images and inline data

TEST_F(ImageOutput, ImagesWithMasksAreDrawnWithoutTheirMask)
{
    struct Case {
        const char *name;
        std::function<std::string(PdfBuilder &)> maskEntry;
    };
    const Case cases[] = {
        {"softMask",
         [](PdfBuilder &pdf) {
             const int smask = pdf.AddStream("/Type /XObject /Subtype /Image /Width 4 /Height 3 "
                                             "/ColorSpace /DeviceGray /BitsPerComponent 8",
                                             std::string(12, '\x80'));
             return "/SMask " + std::to_string(smask) + " 0 R";
         }},
        {"stencilMask",
         [](PdfBuilder &pdf) {
             const int stencil = pdf.AddStream("/Type /XObject /Subtype /Image /Width 4 /Height 3 "
                                               "/ImageMask true /BitsPerComponent 1",
                                               std::string(3, '\0'));
             return "/Mask " + std::to_string(stencil) + " 0 R";
         }},
        {"colourKey", [](PdfBuilder &) { return std::string("/Mask [0 40 0 255 0 255]"); }},
    };
    for (const Case &c : cases) {
        PdfBuilder pdf;
        ImageSpec spec = ImageSpec::Rgb(4, 3, PictureData(4, 3));
        spec.extraEntries = c.maskEntry(pdf);
        const std::string image = pdf.AddImage(spec);
        pdf.AddPage(200, 200, test::DrawImageOp(image, 20, 100, 40, 30));
        const auto page = Capture(pdf);
        ASSERT_TRUE(page) << c.name;
        const auto images = Images(*page);
        ASSERT_EQ(images.size(), 1u) << c.name;
        EXPECT_EQ(BlockPixel(*images[0], 3, 2), PictureColour(3, 2)) << c.name;
    }
}

TEST_F(ImageOutput, InlineImagesAreReadOrSteppedOverSoThatThePageGoesOn)
{
    struct Case {
        const char *name;
        std::string place; // cm before the inline image
        ImageSpec image;
        size_t images;
    };
    const Case cases[] = {
        {"drawn", "40 0 0 30 20 100 cm", ImageSpec::Rgb(4, 3, PictureData(4, 3)), 1},
        {"offPage", "40 0 0 30 300 100 cm", ImageSpec::Rgb(4, 3, PictureData(4, 3)), 0},
        {"maskDrawn", "40 0 0 30 20 100 cm", ImageSpec::Mask(8, 6, MaskData(8, 6, false)), 1},
        {"maskOffPage", "40 0 0 30 20 300 cm", ImageSpec::Mask(8, 6, MaskData(8, 6, false)), 0},
        {"singularMask", "0 0 0 0 20 100 cm", ImageSpec::Mask(8, 6, MaskData(8, 6, false)), 0},
    };
    for (const Case &c : cases) {
        PdfBuilder pdf;
        pdf.AddPage(200, 200, "q " + c.place + " " + test::InlineImage(c.image) + "Q 0 0 1 rg 10 10 20 20 re f");
        const auto page = Capture(pdf);
        ASSERT_TRUE(page) << c.name;
        EXPECT_EQ(Images(*page).size(), c.images) << c.name;
        EXPECT_EQ(CountBlocks(*page, PAGE_BLOCK_POLYGON), 1) << c.name;
    }
}

// ---- Bad input

TEST_F(ImageOutput, DataThatEndsEarlyLeavesTheRestOfTheImageBlank)
{
    PdfBuilder pdf;
    // 50 x 50 claimed, two rows given.
    const std::string image = pdf.AddImage(ImageSpec::Rgb(50, 50, std::string(300, '\x20')));
    const std::string mask = pdf.AddImage(ImageSpec::Mask(16, 16, std::string(4, '\0')));
    pdf.AddPage(200, 200, test::DrawImageOp(image, 20, 100, 50, 50) + "1 0 0 rg " +
                              test::DrawImageOp(mask, 100, 100, 16, 16));
    const auto page = Capture(pdf);
    ASSERT_TRUE(page);
    const auto images = Images(*page);
    ASSERT_EQ(images.size(), 2u);
    EXPECT_EQ(images[0]->imageHeader.biWidth, 50);
    EXPECT_EQ(images[0]->imageHeader.biHeight, 50);
    EXPECT_EQ(BlockPixel(*images[0], 49, 1), ColourFromBytes(0x20, 0x20, 0x20));
    EXPECT_EQ(BlockPixel(*images[0], 0, 49), kPageWhite); // transparent when painted
    EXPECT_EQ(BlockPixel(*images[1], 15, 1), kRed);
    EXPECT_EQ(BlockPixel(*images[1], 0, 2), kPageWhite);
}

TEST_F(ImageOutput, ImpossibleImagesAreSkippedAndThePageGoesOn)
{
    auto gray = [](int width, int height, std::string data, std::string extra = {}) {
        ImageSpec spec = ImageSpec::Gray(width, height, std::move(data));
        spec.extraEntries = std::move(extra);
        return spec;
    };
    std::string overflowing; // scales the CTM beyond the largest double
    for (int i = 0; i < 40; ++i)
        overflowing += "1000000000 0 0 1000000000 0 0 cm ";
    struct Case {
        const char *name;
        ImageSpec image;
        std::string place;
        std::optional<size_t> images; // unset: whatever the library lets through
    };
    const Case cases[] = {
        {"zeroWidth", gray(0, 3, "abc"), "40 0 0 30 20 100 cm", 0},
        {"negativeHeight", gray(3, -3, "abc"), "40 0 0 30 20 100 cm", 0},
        {"hugeRows", gray(2000000000, 2, "abc"), "40 0 0 30 20 100 cm", 0},
        {"hugeEverything", gray(2000000000, 2000000000, "abc"), "40 0 0 30 20 100 cm", 0},
        {"hugeMask", ImageSpec::Mask(2000000000, 2000000000, "abc"), "40 0 0 30 20 100 cm", 1},
        {"singularImage", gray(3, 1, "abc"), "0 0 0 0 20 100 cm", 0},
        {"singularMask", ImageSpec::Mask(8, 1, "a"), "0 0 0 0 20 100 cm", 0},
        {"overflowingMatrix", gray(3, 1, "abc"), overflowing, 0},
        {"overflowingMask", ImageSpec::Mask(8, 1, "a"), overflowing, 0},
        {"shortIndexedLookup", gray(3, 1, "abc"), "40 0 0 30 20 100 cm", std::nullopt},
        {"badBitsPerComponent", gray(3, 1, "abc"), "40 0 0 30 20 100 cm", std::nullopt},
    };
    for (Case c : cases) {
        if (std::string(c.name) == "shortIndexedLookup")
            c.image.colorSpace = "[/Indexed /DeviceRGB 255 <000000>]";
        if (std::string(c.name) == "badBitsPerComponent")
            c.image.bitsPerComponent = 7;
        PdfBuilder pdf;
        const std::string image = pdf.AddImage(c.image);
        pdf.AddPage(200, 200, "q " + c.place + " /" + image + " Do Q 0 0 1 rg 10 10 20 20 re f");
        const auto page = Capture(pdf);
        ASSERT_TRUE(page) << c.name;
        const auto images = Images(*page);
        if (c.images)
            EXPECT_EQ(images.size(), *c.images) << c.name;
        for (const ImageBlock *block : images) {
            EXPECT_LE(block->imageHeader.biWidth, 4999) << c.name;
            EXPECT_LE(block->imageHeader.biHeight, 4999) << c.name;
        }
        EXPECT_EQ(CountBlocks(*page, PAGE_BLOCK_POLYGON), 1) << c.name;
    }
}

} // namespace
} // namespace lumora

#include "surface/DrawSurface.h"

#include "surface/Dib.h"
#include "surface/PixelStretch.h"
#include "surface/Region.h"
#include "surface/SurfaceState.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace lumora {

namespace {

// Cairo's RGB24 pixels are 0x00RRGGBB in a 32-bit word.
constexpr uint32_t ColourFromCairo(uint32_t pixel)
{
    return ColourFromBytes((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
}

BitmapInfoHeader &HeaderIn(std::vector<uint8_t> &description)
{
    return *reinterpret_cast<BitmapInfoHeader *>(description.data());
}

const BitmapInfoHeader &HeaderIn(const std::vector<uint8_t> &description)
{
    return *reinterpret_cast<const BitmapInfoHeader *>(description.data());
}

RgbQuad Quad(uint8_t red, uint8_t green, uint8_t blue) { return RgbQuad{blue, green, red, 0}; }

// The palettes a palette-based DIB of the display's bitmap gets: black and
// white, the sixteen standard colours, or a colour cube with grey steps.
std::vector<RgbQuad> StandardPalette(int bitCount)
{
    std::vector<RgbQuad> palette;
    if (bitCount == 1) {
        palette = {Quad(0, 0, 0), Quad(255, 255, 255)};
    } else if (bitCount == 4) {
        static constexpr uint8_t kSixteen[16][3] = {
            {0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0}, {0, 0, 128},   {128, 0, 128},
            {0, 128, 128},   {128, 128, 128}, {192, 192, 192}, {255, 0, 0}, {0, 255, 0},  {255, 255, 0},
            {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
        for (const auto &rgb : kSixteen)
            palette.push_back(Quad(rgb[0], rgb[1], rgb[2]));
    } else {
        for (int red = 0; red < 6; ++red)
            for (int green = 0; green < 6; ++green)
                for (int blue = 0; blue < 6; ++blue)
                    palette.push_back(Quad(red * 51, green * 51, blue * 51));
        for (int grey = 1; palette.size() < 256; ++grey)
            palette.push_back(Quad(grey * 6, grey * 6, grey * 6));
    }
    return palette;
}

uint8_t NearestPaletteIndex(const RgbQuad *palette, uint32_t count, uint32_t colour)
{
    int best = 0;
    int bestDistance = INT32_MAX;
    for (uint32_t i = 0; i < count && i < 256; ++i) {
        const int dr = int(palette[i].red) - RedOf(colour);
        const int dg = int(palette[i].green) - GreenOf(colour);
        const int db = int(palette[i].blue) - BlueOf(colour);
        const int distance = dr * dr + dg * dg + db * db;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = int(i);
        }
    }
    return uint8_t(best);
}

void WriteLittleEndian16(uint8_t *target, uint16_t value)
{
    target[0] = uint8_t(value);
    target[1] = uint8_t(value >> 8);
}

bool WriteAll(std::FILE *file, const void *data, size_t size)
{
    return size == 0 || std::fwrite(data, 1, size, file) == size;
}

struct FileCloser {
    void operator()(std::FILE *file) const { std::fclose(file); }
};

} // namespace

bool DrawSurface::Create(int32_t width, int32_t height, int bitCount)
{
    if (width <= 0 || height <= 0 || !IsDibBitCount(bitCount))
        return false;
    const auto imageSize = DibImageSize(width, height, bitCount);
    if (!imageSize)
        return false;
    CairoSurfacePtr bitmap(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height));
    if (cairo_surface_status(bitmap.get()) != CAIRO_STATUS_SUCCESS)
        return false;

    std::vector<uint8_t> description(sizeof(BitmapInfoHeader));
    BitmapInfoHeader &header = HeaderIn(description);
    header.biSize = sizeof(BitmapInfoHeader);
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = uint16_t(bitCount);
    header.biCompression = (bitCount == 16 || bitCount == 32) ? kCompressionBitFields : kCompressionNone;
    header.biSizeImage = *imageSize;
    const DisplayFormat display;
    header.biXPelsPerMeter = display.pelsPerMeterX;
    header.biYPelsPerMeter = display.pelsPerMeterY;

    bitmap_ = std::move(bitmap);
    header_ = std::move(description);
    header_ = DescribeAs(bitCount); // adds the colour table
    valid_ = true;
    return true;
}

bool DrawSurface::CreateCompatible(int32_t width, int32_t height, const DisplayFormat &device)
{
    const int bitCount = (device.bitsPerPixel == 1 && device.planes > 1) ? device.planes : device.bitsPerPixel;
    return Create(width, height, bitCount);
}

void DrawSurface::Release()
{
    if (!valid_)
        return;
    bitmap_.reset();
    header_.clear();
    valid_ = false;
}

int32_t DrawSurface::GetWidth() const { return valid_ ? cairo_image_surface_get_width(bitmap_.get()) : 0; }
int32_t DrawSurface::GetHeight() const { return valid_ ? cairo_image_surface_get_height(bitmap_.get()) : 0; }
RegionRect DrawSurface::GetRect() const { return {0, 0, GetWidth(), GetHeight()}; }

const BitmapInfoHeader *DrawSurface::Header() const
{
    return valid_ ? &HeaderIn(header_) : nullptr;
}

CairoContextPtr DrawSurface::PaintContext() const
{
    if (!valid_)
        return nullptr;
    CairoContextPtr context(cairo_create(bitmap_.get()));
    if (cairo_status(context.get()) != CAIRO_STATUS_SUCCESS)
        return nullptr;
    if (clipRegion_)
        ClipContextToRegion(context.get(), *clipRegion_);
    return context;
}

bool DrawSurface::FillRect(uint32_t colour, const RegionRect *rect)
{
    if (!valid_)
        return false;
    CairoContextPtr context(cairo_create(bitmap_.get()));
    cairo_set_source_rgb(context.get(), RedOf(colour) / 255.0, GreenOf(colour) / 255.0, BlueOf(colour) / 255.0);
    const RegionRect area = rect ? *rect : GetRect();
    cairo_rectangle(context.get(), area.left, area.top, double(area.right) - area.left,
                    double(area.bottom) - area.top);
    cairo_fill(context.get());
    cairo_surface_flush(bitmap_.get());
    return true;
}

uint32_t DrawSurface::PixelAt(int32_t x, int32_t y) const
{
    if (!valid_ || x < 0 || y < 0 || x >= GetWidth() || y >= GetHeight())
        return 0;
    cairo_surface_flush(bitmap_.get());
    const uint8_t *row = cairo_image_surface_get_data(bitmap_.get()) +
                         size_t(y) * cairo_image_surface_get_stride(bitmap_.get());
    return ColourFromCairo(reinterpret_cast<const uint32_t *>(row)[x]);
}

const cairo_region_t *DrawSurface::SetClipRegion(const cairo_region_t *region)
{
    const cairo_region_t *previous = clipRegion_;
    clipRegion_ = region;
    return previous;
}

// The current header with another bit count, and the colour table that the
// bitmap gets in that form.
std::vector<uint8_t> DrawSurface::DescribeAs(int bitCount) const
{
    std::vector<uint8_t> description(header_.begin(), header_.begin() + sizeof(BitmapInfoHeader));
    BitmapInfoHeader &header = HeaderIn(description);
    header.biBitCount = uint16_t(bitCount);
    header.biCompression = (bitCount == 16 || bitCount == 32) ? kCompressionBitFields : kCompressionNone;
    header.biSizeImage = DibImageSize(header.biWidth, header.biHeight, bitCount).value_or(0);
    const uint32_t tableSize = DibColourTableSize(bitCount, header.biClrUsed);
    description.resize(sizeof(BitmapInfoHeader) + tableSize);
    uint8_t *table = description.data() + sizeof(BitmapInfoHeader);
    if (bitCount == 16 || bitCount == 32) {
        const std::array<uint32_t, 3> masks = bitCount == 16 ? std::array<uint32_t, 3>{0xF800, 0x07E0, 0x001F}
                                                             : std::array<uint32_t, 3>{0xFF0000, 0xFF00, 0xFF};
        std::memcpy(table, masks.data(), sizeof masks);
    } else if (tableSize) {
        const auto palette = StandardPalette(bitCount);
        std::memcpy(table, palette.data(), std::min<size_t>(tableSize, palette.size() * sizeof(RgbQuad)));
    }
    return description;
}

// The bitmap's pixels in the described DIB form, rows bottom-up.
bool DrawSurface::ConvertPixels(const std::vector<uint8_t> &description, uint8_t *target) const
{
    const BitmapInfoHeader &header = HeaderIn(description);
    const int bitCount = header.biBitCount;
    const auto stride = DibStride(header.biWidth, bitCount);
    if (!valid_ || !stride)
        return false;
    const auto *palette = reinterpret_cast<const RgbQuad *>(description.data() + sizeof(BitmapInfoHeader));
    const uint32_t paletteSize = uint32_t((description.size() - sizeof(BitmapInfoHeader)) / sizeof(RgbQuad));
    cairo_surface_flush(bitmap_.get());
    const uint8_t *source = cairo_image_surface_get_data(bitmap_.get());
    const int sourceStride = cairo_image_surface_get_stride(bitmap_.get());
    const int32_t width = GetWidth();
    const int32_t height = GetHeight();
    for (int32_t row = 0; row < height; ++row) {
        const auto *pixels = reinterpret_cast<const uint32_t *>(source + size_t(row) * sourceStride);
        uint8_t *out = target + size_t(height - 1 - row) * *stride;
        std::memset(out, 0, *stride);
        for (int32_t x = 0; x < width; ++x) {
            const uint32_t pixel = pixels[x] & 0x00FFFFFF;
            switch (bitCount) {
            case 32:
                std::memcpy(out + 4 * x, &pixel, 4);
                break;
            case 24:
                out[3 * x] = uint8_t(pixel);
                out[3 * x + 1] = uint8_t(pixel >> 8);
                out[3 * x + 2] = uint8_t(pixel >> 16);
                break;
            case 16: {
                const uint16_t value = uint16_t(((pixel >> 8) & 0xF800) | ((pixel >> 5) & 0x07E0) | ((pixel >> 3) & 0x1F));
                WriteLittleEndian16(out + 2 * x, value);
                break;
            }
            default: {
                const uint8_t index = NearestPaletteIndex(palette, paletteSize, ColourFromCairo(pixel));
                const int perByte = 8 / bitCount;
                const int shift = 8 - bitCount * (x % perByte + 1);
                out[x / perByte] |= uint8_t(index << shift);
            }
            }
        }
    }
    return true;
}

void *DrawSurface::CopyToGlobalMemory() const
{
    if (!valid_)
        return nullptr;
    const BitmapInfoHeader &header = HeaderIn(header_);
    const size_t size = header_.size() + header.biSizeImage;
    std::unique_ptr<uint8_t, decltype(&std::free)> block(static_cast<uint8_t *>(std::malloc(size)), &std::free);
    if (!block)
        return nullptr;
    std::memcpy(block.get(), header_.data(), header_.size());
    if (!ConvertPixels(header_, block.get() + header_.size()))
        return nullptr;
    return block.release();
}

bool DrawSurface::Save(const std::string &fileName, int bitCount)
{
    if (!valid_ || !IsDibBitCount(bitCount))
        return false;
    std::vector<uint8_t> description = DescribeAs(bitCount);
    const BitmapInfoHeader &header = HeaderIn(description);
    std::vector<uint8_t> pixels(header.biSizeImage);
    if (!ConvertPixels(description, pixels.data()))
        return false;

    BitmapFileHeader fileHeader{};
    fileHeader.bfType = kBmpSignature;
    fileHeader.bfOffBits = uint32_t(sizeof(BitmapFileHeader) + description.size());
    fileHeader.bfSize = fileHeader.bfOffBits + header.biSizeImage;

    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(fileName.c_str(), "wb"));
    if (!file)
        return false;
    bool written = WriteAll(file.get(), &fileHeader, sizeof fileHeader) &&
                   WriteAll(file.get(), description.data(), description.size());
    constexpr size_t kPiece = 32768;
    for (size_t offset = 0; written && offset < pixels.size(); offset += kPiece)
        written = WriteAll(file.get(), pixels.data() + offset, std::min(kPiece, pixels.size() - offset));
    written = (std::fclose(file.release()) == 0) && written;
    if (written)
        header_ = std::move(description);
    return written;
}

void DrawSurface::DrawTransparent(DrawSurface &target, uint32_t transparentColour,
                                  const RegionRect &destination) const
{
    if (!valid_)
        return;
    cairo_surface_flush(bitmap_.get());
    const uint8_t *data = cairo_image_surface_get_data(bitmap_.get());
    const int stride = cairo_image_surface_get_stride(bitmap_.get());
    const auto sample = [data, stride](int32_t x, int32_t y) {
        return ColourFromCairo(reinterpret_cast<const uint32_t *>(data + size_t(y) * stride)[x]);
    };
    StretchOnto(target, destination, GetWidth(), GetHeight(), sample, transparentColour);
}

} // namespace lumora

#include "device/ImageDecoding.h"

#include <GfxState.h>
#include <Stream.h>

#include <algorithm>
#include <array>
#include <bit>
#include <new>
#include <stdexcept>

namespace lumora {

// The surface reads a 32-bit picture as the bytes blue, green, red, 0.
static_assert(std::endian::native == std::endian::little);

namespace {

// Decoding fails cleanly when memory runs out: the image is then skipped.
template <class Make>
auto Allocated(Make make) -> decltype(make())
{
    try {
        return make();
    } catch (const std::bad_alloc &) {
        return std::nullopt;
    } catch (const std::length_error &) {
        return std::nullopt;
    }
}

std::optional<Picture> FilledPicture(int width, int height, uint32_t value)
{
    if (width <= 0 || height <= 0)
        return std::nullopt;
    return Allocated([&]() -> std::optional<Picture> {
        Picture picture;
        picture.width = width;
        picture.height = height;
        picture.pixels.assign(static_cast<size_t>(width) * height, value);
        return picture;
    });
}

std::optional<MaskPicture> BlankMask(int width, int height)
{
    if (width <= 0 || height <= 0)
        return std::nullopt;
    return Allocated([&]() -> std::optional<MaskPicture> {
        MaskPicture mask;
        mask.width = width;
        mask.height = height;
        mask.stride = static_cast<uint32_t>((int64_t{width} + 31) / 32 * 4);
        mask.bits.assign(size_t{mask.stride} * height, 0);
        return mask;
    });
}

uint32_t *RowOf(Picture &picture, int y) { return picture.pixels.data() + static_cast<size_t>(y) * picture.width; }

// The element row that decoded row `index` (counted in data order) goes to.
int TargetRow(int index, int height, bool firstRowAtBottom)
{
    return firstRowAtBottom ? index : height - 1 - index;
}

// Where each decoded block begins and how many source pixels it holds.
class BlockSpan {
public:
    BlockSpan(Reduction reduction, int sourceSize) : reduction_(reduction), sourceSize_(sourceSize) {}
    int64_t First(int block) const { return int64_t{block} * reduction_.factor; }
    int64_t End(int block) const { return std::min<int64_t>(First(block) + reduction_.factor, sourceSize_); }
    int64_t Count(int block) const { return End(block) - First(block); }
    int Blocks() const { return reduction_.size; }
    int Factor() const { return reduction_.factor; }

private:
    Reduction reduction_;
    int sourceSize_;
};

// Sums the rounded colour bytes of one row of blocks.
class ColourBlocks {
public:
    ColourBlocks(const BlockSpan &columns, int components)
        : columns_(columns), components_(components), sums_(size_t{3} * columns.Blocks())
    {
    }

    void Clear() { std::fill(sums_.begin(), sums_.end(), 0); }

    void AddRow(const unsigned char *line, GfxImageColorMap &colorMap)
    {
        size_t column = 0;
        int left = columns_.Factor();
        const int64_t width = columns_.End(columns_.Blocks() - 1);
        for (int64_t x = 0; x < width; ++x) {
            GfxRGB rgb;
            colorMap.getRGB(line + x * components_, &rgb);
            uint64_t *sum = &sums_[3 * column];
            sum[0] += RoundedComponentByte(colToDbl(rgb.r));
            sum[1] += RoundedComponentByte(colToDbl(rgb.g));
            sum[2] += RoundedComponentByte(colToDbl(rgb.b));
            if (--left == 0) {
                ++column;
                left = columns_.Factor();
            }
        }
    }

    void Store(uint32_t *row, int rowsAdded) const
    {
        for (int c = 0; c < columns_.Blocks(); ++c) {
            const uint64_t n = uint64_t(columns_.Count(c)) * rowsAdded;
            const uint64_t *sum = &sums_[3 * size_t(c)];
            const uint32_t red = uint32_t((sum[0] + n / 2) / n);
            const uint32_t green = uint32_t((sum[1] + n / 2) / n);
            const uint32_t blue = uint32_t((sum[2] + n / 2) / n);
            row[c] = OffWhite(blue | green << 8 | red << 16);
        }
    }

private:
    const BlockSpan &columns_;
    int components_;
    std::vector<uint64_t> sums_; // red, green, blue per block
};

// Counts the painted bits of one row of blocks.
class MaskBlocks {
public:
    explicit MaskBlocks(const BlockSpan &columns) : columns_(columns), counts_(columns.Blocks()) {}

    void Clear() { std::fill(counts_.begin(), counts_.end(), 0); }

    // Adds the painted bits of one data row; returns how many bytes of it
    // the stream still had.
    int64_t AddRow(Stream &str, bool invert)
    {
        const int64_t width = columns_.End(columns_.Blocks() - 1);
        const int64_t rowBytes = (width + 7) / 8;
        int64_t x = 0;
        int64_t got = 0;
        size_t column = 0;
        int left = columns_.Factor();
        while (got < rowBytes) {
            const int wanted = int(std::min<int64_t>(rowBytes - got, chunk_.size()));
            const int read = str.doGetChars(wanted, chunk_.data());
            for (int i = 0; i < std::max(read, 0); ++i) {
                const uint8_t painted = invert ? chunk_[i] : uint8_t(~chunk_[i]);
                for (int bit = 0; bit < 8 && x < width; ++bit, ++x) {
                    if (painted & (0x80 >> bit))
                        ++counts_[column];
                    if (--left == 0) {
                        ++column;
                        left = columns_.Factor();
                    }
                }
            }
            got += std::max(read, 0);
            if (read < wanted)
                break;
        }
        return got;
    }

    // A block is painted when at least half of the pixels read are.
    void Store(MaskPicture &mask, int y, int rowsAdded) const
    {
        for (int c = 0; c < columns_.Blocks(); ++c)
            if (2 * counts_[c] >= uint64_t(columns_.Count(c)) * rowsAdded)
                mask.set(c, y);
    }

private:
    const BlockSpan &columns_;
    std::vector<uint64_t> counts_;
    std::array<uint8_t, 4096> chunk_{};
};

int64_t SourceRowBytes(int width, int components, int bits)
{
    return (int64_t{width} * components * bits + 7) / 8;
}

} // namespace

Reduction ReductionFor(int sourceSize)
{
    if (sourceSize <= 0)
        return {1, 0};
    const int factor = int((int64_t{sourceSize} + kMaxDecodedSide - 1) / kMaxDecodedSide);
    return {factor, int((int64_t{sourceSize} + factor - 1) / factor)};
}

uint8_t RoundedComponentByte(double component)
{
    if (!(component > 0))
        component = 0;
    if (component > 1)
        component = 1;
    return uint8_t(uint32_t(component * 65535 + 0.5) >> 8);
}

std::optional<Picture> DecodeImage(Stream &str, int width, int height, GfxImageColorMap &colorMap,
                                   bool firstRowAtBottom)
{
    if (width <= 0 || height <= 0 || !colorMap.isOk())
        return std::nullopt;
    const int components = colorMap.getNumPixelComps();
    const int bits = colorMap.getBits();
    if (components <= 0 || components > gfxColorMaxComps || bits <= 0 || bits > 16 ||
        SourceRowBytes(width, components, bits) > kMaxSourceRowBytes)
        return std::nullopt;

    const BlockSpan columns(ReductionFor(width), width);
    const BlockSpan rows(ReductionFor(height), height);
    auto picture = FilledPicture(columns.Blocks(), rows.Blocks(), kWhitePixel);
    if (!picture)
        return std::nullopt;
    auto blocks = Allocated([&] { return std::optional<ColourBlocks>(std::in_place, columns, components); });
    if (!blocks)
        return std::nullopt;

    ImageStream data(&str, width, components, bits);
    data.reset();
    bool ended = false;
    for (int block = 0; block < rows.Blocks() && !ended; ++block) {
        blocks->Clear();
        int rowsAdded = 0;
        for (int64_t row = rows.First(block); row < rows.End(block); ++row) {
            const unsigned char *line = data.getLine();
            if (!line) {
                ended = true;
                break;
            }
            blocks->AddRow(line, colorMap);
            ++rowsAdded;
            // The stream pads a short last row; rows past the data are left
            // white instead of being made up.
            if (str.lookChar() == EOF) {
                ended = true;
                break;
            }
        }
        if (rowsAdded > 0)
            blocks->Store(RowOf(*picture, TargetRow(block, rows.Blocks(), firstRowAtBottom)), rowsAdded);
    }
    data.close();
    return picture;
}

std::optional<MaskPicture> ReadMask(Stream &str, int width, int height, bool invert, bool firstRowAtBottom)
{
    if (width <= 0 || height <= 0)
        return std::nullopt;
    const BlockSpan columns(ReductionFor(width), width);
    const BlockSpan rows(ReductionFor(height), height);
    auto mask = BlankMask(columns.Blocks(), rows.Blocks());
    if (!mask)
        return std::nullopt;
    auto blocks = Allocated([&] { return std::optional<MaskBlocks>(std::in_place, columns); });
    if (!blocks)
        return std::nullopt;

    const int64_t rowBytes = (int64_t{width} + 7) / 8;
    str.reset();
    bool ended = false;
    for (int block = 0; block < rows.Blocks() && !ended; ++block) {
        blocks->Clear();
        int rowsAdded = 0;
        for (int64_t row = rows.First(block); row < rows.End(block); ++row) {
            const int64_t got = blocks->AddRow(str, invert);
            if (got > 0)
                ++rowsAdded;
            if (got < rowBytes) {
                ended = true;
                break;
            }
        }
        if (rowsAdded > 0)
            blocks->Store(*mask, TargetRow(block, rows.Blocks(), firstRowAtBottom), rowsAdded);
    }
    str.close();
    return mask;
}

std::optional<Picture> ExpandMask(const MaskPicture &mask, uint32_t colour)
{
    auto picture = FilledPicture(mask.width, mask.height, kWhitePixel);
    if (!picture)
        return std::nullopt;
    const uint32_t painted = PixelFromColour(colour);
    for (int y = 0; y < mask.height; ++y) {
        uint32_t *row = RowOf(*picture, y);
        for (int x = 0; x < mask.width; ++x)
            if (mask.at(x, y))
                row[x] = painted;
    }
    return picture;
}

void MirrorRows(Picture &picture)
{
    for (int y = 0; y < picture.height; ++y) {
        uint32_t *row = RowOf(picture, y);
        std::reverse(row, row + picture.width);
    }
}

void MirrorRows(MaskPicture &mask)
{
    std::vector<uint8_t> mirrored(mask.stride);
    for (int y = 0; y < mask.height; ++y) {
        std::fill(mirrored.begin(), mirrored.end(), 0);
        for (int x = 0; x < mask.width; ++x)
            if (mask.at(x, y))
                mirrored[(mask.width - 1 - x) / 8] |= uint8_t(0x80 >> ((mask.width - 1 - x) % 8));
        std::copy(mirrored.begin(), mirrored.end(), mask.bits.begin() + size_t(y) * mask.stride);
    }
}

std::optional<MaskPicture> TurnMask(const MaskPicture &mask, bool byPlus90)
{
    auto turned = BlankMask(mask.height, mask.width);
    if (!turned)
        return std::nullopt;
    for (int y = 0; y < mask.height; ++y)
        for (int x = 0; x < mask.width; ++x)
            if (mask.at(x, y)) {
                if (byPlus90)
                    turned->set(y, mask.width - 1 - x);
                else
                    turned->set(mask.height - 1 - y, x);
            }
    return turned;
}

namespace {

bool FitsIn(int pictureWidth, int pictureHeight, int left, int bottom, int width, int height)
{
    return left >= 0 && bottom >= 0 && width > 0 && height > 0 && width <= pictureWidth - left &&
           height <= pictureHeight - bottom;
}

} // namespace

std::optional<Picture> CropPicture(const Picture &picture, int left, int bottom, int width, int height)
{
    if (!FitsIn(picture.width, picture.height, left, bottom, width, height))
        return std::nullopt;
    auto part = FilledPicture(width, height, kWhitePixel);
    if (!part)
        return std::nullopt;
    for (int y = 0; y < height; ++y) {
        const uint32_t *from = picture.pixels.data() + size_t(bottom + y) * picture.width + left;
        std::copy(from, from + width, RowOf(*part, y));
    }
    return part;
}

std::optional<MaskPicture> CropMask(const MaskPicture &mask, int left, int bottom, int width, int height)
{
    if (!FitsIn(mask.width, mask.height, left, bottom, width, height))
        return std::nullopt;
    auto part = BlankMask(width, height);
    if (!part)
        return std::nullopt;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (mask.at(left + x, bottom + y))
                part->set(x, y);
    return part;
}

void SkipImageData(Stream &str, int64_t byteCount)
{
    str.reset();
    std::array<unsigned char, 4096> chunk;
    while (byteCount > 0) {
        const int wanted = int(std::min<int64_t>(byteCount, chunk.size()));
        const int read = str.doGetChars(wanted, chunk.data());
        if (read < wanted)
            break;
        byteCount -= read;
    }
    str.close();
}

} // namespace lumora

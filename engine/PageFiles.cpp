// Page files written straight from what the page functions hand out: a
// packed bitmap as a BMP file, a page object as an SVG file.
#include "engine/EngineHandle.h"
#include "engine/LibraryData.h"
#include "surface/Dib.h"
#include "surface/TextEncoding.h"

#include <cstring>
#include <string>

namespace lumora {

namespace {

constexpr uint32_t kCoreHeaderSize = 12;
constexpr size_t kTextConversionBuffer = 1024;

// The SimSun face's own name, which the SVG files carry as their font family.
constexpr const char *kSvgFontFamily = "\xE5\xAE\x8B\xE4\xBD\x93";

bool WriteAll(std::FILE *file, const void *data, size_t size)
{
    return size == 0 || std::fwrite(data, 1, size, file) == size;
}

// A text run as it goes into the SVG: converted and cut like the 1024-byte
// conversion buffer (never in the middle of a character), then escaped.
std::string SvgText(const TextBlock &text)
{
    std::string converted = Utf16ToSystemCodePage(text.text, text.count);
    if (converted.size() > kTextConversionBuffer - 1) {
        size_t cut = kTextConversionBuffer - 1;
        while (cut > 0 && (uint8_t(converted[cut]) & 0xC0) == 0x80)
            --cut;
        converted.resize(cut);
    }
    return EscapeMarkup(converted);
}

std::string ColourHex(uint32_t colour)
{
    char hex[8];
    std::snprintf(hex, sizeof hex, "%02x%02x%02x", RedOf(colour), GreenOf(colour), BlueOf(colour));
    return hex;
}

void WriteSvgBlock(std::FILE *file, const PageBlock &block)
{
    switch (block.blockType) {
    case PAGE_BLOCK_TEXT: {
        const TextBlock &text = *block.text;
        const std::string converted = SvgText(text);
        if (converted.empty())
            return;
        std::fprintf(file, "<text x=\"%d\" y=\"%d\" font-family=\"%s\" font-size=\"%d\" fill=\"#%s\" >%s</text>\n",
                     text.x, text.y, kSvgFontFamily, text.size, ColourHex(text.colour).c_str(), converted.c_str());
        return;
    }
    case PAGE_BLOCK_LINE: {
        const LineBlock &line = *block.line;
        std::fprintf(file, "<line x1=\"%d\" y1=\"%d\" x2=\"%d\" y2=\"%d\" stroke-width=\"%d\" stroke=\"#%s\"/>\n",
                     line.x1, line.y1, line.x2, line.y2, line.width, ColourHex(line.colour).c_str());
        return;
    }
    case PAGE_BLOCK_POLYGON: {
        const PolygonBlock &polygon = *block.polygon;
        std::fprintf(file, "<polygon fill=\"#%s\" points=\"", ColourHex(polygon.colour).c_str());
        for (int32_t i = 0; i < polygon.pointCount; ++i)
            std::fprintf(file, i ? " %d,%d" : "%d,%d", polygon.points[i].x, polygon.points[i].y);
        std::fputs("\" />\n", file);
        return;
    }
    default:
        return; // images, clips and emptied blocks have no SVG form here
    }
}

} // namespace
} // namespace lumora

using namespace lumora;

extern "C" PDF_EXPORT int32_t PDF_WriteToBMPFile(PageBmp bitmap, const char *fileName)
{
    return Guarded<int32_t>(0, [&]() -> int32_t {
        if (!bitmap || !fileName || !*fileName)
            return 0;
        auto *header = static_cast<BitmapInfoHeader *>(bitmap);
        if (header->biSize == kCoreHeaderSize || header->biSize < sizeof(BitmapInfoHeader))
            return 0;
        uint32_t colours = header->biClrUsed;
        if (colours == 0) {
            switch (header->biBitCount) {
            case 1: colours = 2; break;
            case 4: colours = 16; break;
            case 8: colours = 256; break;
            default: colours = 0;
            }
        }
        const uint32_t colourTableSize = (colours % 65536) * 4 % 65536;
        uint64_t imageSize;
        if (header->biCompression == 1 || header->biCompression == 2) {
            imageSize = header->biSizeImage;
        } else {
            const auto computed = DibImageSize(header->biWidth, header->biHeight, header->biBitCount);
            if (!computed)
                return 0; // a header no real bitmap has
            imageSize = *computed;
            header->biSizeImage = *computed;
        }
        const uint64_t bitmapSize = uint64_t(header->biSize) + colourTableSize + imageSize;
        if (bitmapSize + sizeof(BitmapFileHeader) > UINT32_MAX)
            return 0;
        BitmapFileHeader fileHeader{};
        fileHeader.bfType = kBmpSignature;
        fileHeader.bfSize = uint32_t(bitmapSize + sizeof fileHeader);
        fileHeader.bfOffBits = uint32_t(header->biSize + colourTableSize + sizeof fileHeader);

        FilePtr file(std::fopen(fileName, "wb"));
        if (!file)
            return 0;
        const bool written = WriteAll(file.get(), &fileHeader, sizeof fileHeader) &&
                             WriteAll(file.get(), bitmap, size_t(bitmapSize));
        return (std::fclose(file.release()) == 0 && written) ? 1 : 0;
    });
}

extern "C" PDF_EXPORT int32_t PDF_WriteToSVGFile(const PageObject *pageObject, const char *fileName)
{
    return Guarded<int32_t>(0, [&]() -> int32_t {
        if (!pageObject || !fileName || !*fileName)
            return 0;
        FilePtr file(std::fopen(fileName, "w"));
        if (!file)
            return 0;
        std::fputs("<?xml version=\"1.0\" standalone=\"no\"?>\n"
                   "<!DOCTYPE svg PUBLIC \"-//W3C//DTD SVG 20000303 Stylable//EN\"\n"
                   "\t\"http://www.w3.org/TR/2001/REC-SVG-20010904/DTD/svg10.dtd\">\n"
                   "<svg>\n",
                   file.get());
        for (int32_t i = 0; i < pageObject->blockCount; ++i)
            if (const PageBlock *block = pageObject->blocks[i])
                WriteSvgBlock(file.get(), *block);
        std::fputs("\n</svg>", file.get());
        const bool failed = std::ferror(file.get());
        return (std::fclose(file.release()) == 0 && !failed) ? 1 : 0;
    });
}

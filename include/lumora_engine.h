/*
 * Lumora PDF to HTML Converter: the conversion engine's C interface.
 *
 * One document is open at a time (the engine's state is process-wide), and
 * every call comes from one thread. Text arguments are zero-terminated UTF-8
 * strings; page numbers count from 1. No function throws: failures are
 * reported as NULL, 0 or -1.
 *
 * Everything a function hands out belongs to the caller until it is given
 * back to the matching destroy function:
 *   PDF_GetPageObject  -> PDF_DestroyPageObject
 *   PDF_GetPageBmp     -> PDF_DestroyPageBmp
 *   PDF_GetPageHtmLink -> PDF_DestroyHtmLink
 *
 * Coordinates are device pixels of the page at the handle's zoom in dots per
 * inch, origin at the top-left corner, y downwards. Colours are 0x00BBGGRR
 * (red in the low byte).
 */
#ifndef LUMORA_ENGINE_H
#define LUMORA_ENGINE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define PDF_EXPORT __attribute__((visibility("default")))
#else
#define PDF_EXPORT
#endif

/* ---- Bitmap layouts (little-endian, packed as in a BMP file) ---------- */

#pragma pack(push, 1)

/* The 40-byte bitmap information header of a BMP file. */
typedef struct BitmapInfoHeader {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight; /* positive: rows are stored bottom-up */
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
} BitmapInfoHeader;

/* One colour-table entry: blue, green, red, zero. */
typedef struct RgbQuad {
    uint8_t blue;
    uint8_t green;
    uint8_t red;
    uint8_t reserved;
} RgbQuad;

#pragma pack(pop)

/* ---- Page blocks ------------------------------------------------------ */

enum {
    PAGE_BLOCK_RELEASED = 0, /* payload released by PDF_ConvertToHtmlFile */
    PAGE_BLOCK_TEXT = 1,
    PAGE_BLOCK_IMAGE = 2,
    PAGE_BLOCK_LINE = 3,
    PAGE_BLOCK_POLYGON = 4,
    PAGE_BLOCK_CLIP = 5
};

/* At most this many blocks are recorded for one page. */
#define PAGE_BLOCK_LIMIT 50000

/* One text run as the device drew it (normally one character). */
typedef struct TextBlock {
    int32_t x;           /* start of the baseline */
    int32_t y;           /* baseline */
    uint8_t *text;       /* 2 * count bytes of UTF-16LE, then one zero byte */
    int32_t count;       /* UTF-16 code units, at least 1 */
    char *face;          /* face used to draw; a leading '@' marks vertical writing */
    int32_t advance;     /* horizontal advance in pixels */
    int32_t size;        /* font height in pixels */
    int32_t bold;        /* non-zero: bold */
    int32_t italic;      /* non-zero: italic */
    int32_t orientation; /* tenths of a degree counter-clockwise, 0 to 3599 */
    uint32_t colour;     /* fill colour */
    uint8_t reserved;    /* always 0 */
} TextBlock;

/* One image placed in a destination rectangle. */
typedef struct ImageBlock {
    BitmapInfoHeader imageHeader; /* source size, 1 (mask) or 32 bits per pixel */
    RgbQuad colourTable[256];     /* entry 0 white, entry 1 the image's colour */
    int32_t x;
    int32_t y;
    int32_t destWidth;
    int32_t destHeight;
    uint8_t *pixels;              /* bottom-up rows, each padded to 4 bytes */
    int32_t hasAttachedText;      /* 0 for every image the device records */
    TextBlock attachedText;       /* meaningful only when hasAttachedText != 0 */
} ImageBlock;

enum { LINE_STYLE_SOLID = 0, LINE_STYLE_DASHED = 1 };

typedef struct LineBlock {
    int32_t x1;
    int32_t y1;
    int32_t x2;
    int32_t y2;
    int32_t width;
    uint32_t colour;
    uint32_t style; /* LINE_STYLE_SOLID or LINE_STYLE_DASHED */
} LineBlock;

typedef struct PagePoint {
    int32_t x;
    int32_t y;
} PagePoint;

enum { FILL_MODE_EVEN_ODD = 1, FILL_MODE_WINDING = 2 };

typedef struct PolygonBlock {
    int32_t pointCount;
    PagePoint *points;
    int32_t shape;    /* the device's shape hint, 0 */
    int32_t fillMode; /* FILL_MODE_EVEN_ODD or FILL_MODE_WINDING */
    uint32_t reserved;
    uint32_t colour;
    int32_t width;    /* always 1 */
} PolygonBlock;

typedef struct RegionRect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
} RegionRect;

/* A clip region as region data: the 32-byte header, then the rectangles
 * (bands top to bottom). The region is the union of the rectangles. */
typedef struct ClipBlock {
    uint32_t headerSize; /* 32 */
    uint32_t kind;       /* 1: rectangles */
    uint32_t rectCount;
    uint32_t rectBytes;  /* rectCount * 16 */
    RegionRect bounds;
    RegionRect rects[];
} ClipBlock;

/* A tagged record: only the payload that belongs to blockType is meaningful.
 * A clip block whose clip is NULL switches clipping off from there on. */
typedef struct PageBlock {
    int32_t blockType;
    TextBlock *text;
    ImageBlock *image;
    LineBlock *line;
    PolygonBlock *polygon;
    ClipBlock *clip;
} PageBlock;

/* A captured page: its size and its blocks in drawing order. */
typedef struct PageObject {
    int32_t width;
    int32_t height;
    int32_t page;
    int32_t pageCount;
    int32_t zoom;
    float pdfVersion;
    int32_t blockCount;
    PageBlock **blocks; /* blockCount entries */
} PageObject;

/* ---- Links ----------------------------------------------------------- */

typedef struct HtmLinkEntry {
    int32_t left;
    int32_t right;
    int32_t top;
    int32_t bottom;
    char *actionText; /* "actionGoTo:3", "actionURI:http://...", ... */
} HtmLinkEntry;

/* A page's links in the order the document delivered them. */
typedef struct HtmLink {
    int32_t count;
    HtmLinkEntry *entries;
} HtmLink;

/* ---- Handles --------------------------------------------------------- */

/* An open document. */
typedef struct EngineHandleRecord *EngineHandle;

/* A rendered page as a packed device-independent bitmap. The handle points
 * straight at the packed DIB, which the caller reads in place: the
 * BitmapInfoHeader, the colour table (none for a 24-bit page), then the pixel
 * rows bottom-up, three bytes per pixel (blue, green, red), each row padded
 * to a multiple of 4 bytes. It stays valid until PDF_DestroyPageBmp. */
typedef void *PageBmp;

/* ---- Functions ------------------------------------------------------- */

/* Opens a PDF file; either password may be NULL or empty. zoom is the
 * rendering resolution in dots per inch. NULL when the file cannot be opened
 * (missing, damaged beyond repair, wrong password). */
PDF_EXPORT EngineHandle PDF_Open(const char *fileName, const char *ownerPassword,
                                 const char *userPassword, int32_t zoom);
PDF_EXPORT void PDF_Close(EngineHandle handle);
/* The number of pages, or -1 for an invalid handle. */
PDF_EXPORT int32_t PDF_GetPageCount(EngineHandle handle);
/* Writes the outline file and puts its path into buffer: 1, or 0. */
PDF_EXPORT int32_t PDF_GetBookmark(EngineHandle handle, char *buffer, int32_t bufferSize);

/* Captures a page as page blocks; NULL for an invalid handle or page. */
PDF_EXPORT PageObject *PDF_GetPageObject(EngineHandle handle, int32_t page);
PDF_EXPORT void PDF_DestroyPageObject(PageObject *pageObject);

/* Renders a page as a bitmap; NULL for an invalid handle or page. */
PDF_EXPORT PageBmp PDF_GetPageBmp(EngineHandle handle, int32_t page);
PDF_EXPORT void PDF_DestroyPageBmp(PageBmp bitmap);
/* Writes a packed DIB as a BMP file: 1, or 0 when the bitmap is refused or
 * the file cannot be written completely. */
PDF_EXPORT int32_t PDF_WriteToBMPFile(PageBmp bitmap, const char *fileName);
/* Writes the lines, polygons and text of a page object as SVG: 1, or 0. */
PDF_EXPORT int32_t PDF_WriteToSVGFile(const PageObject *pageObject, const char *fileName);

/* The links of the page rendered last; NULL for any other page. */
PDF_EXPORT HtmLink *PDF_GetPageHtmLink(EngineHandle handle, int32_t page);
PDF_EXPORT void PDF_DestroyHtmLink(HtmLink *links);

/* Writes a captured page as an HTML page with its JPEG picture: 1, or -1.
 * Consumes the page object's non-text blocks. */
PDF_EXPORT int32_t PDF_ConvertToHtmlFile(PageObject *pageObject, const HtmLink *links,
                                         const char *htmlFileName);

#ifdef __cplusplus
}
#endif

#endif /* LUMORA_ENGINE_H */

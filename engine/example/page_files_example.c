/*
 * The engine's C interface in a few lines: open a PDF, read its page count,
 * capture page 1 and write it as an SVG file, render page 1 and write it as
 * a BMP file.
 *
 *   page_files_example input.pdf output-folder [zoom]
 */
#include "lumora_engine.h"

#include <stdio.h>
#include <stdlib.h>

static int fail(const char *what, const char *detail)
{
    fprintf(stderr, "page_files_example: %s: %s\n", what, detail);
    return 1;
}

int main(int argc, char **argv)
{
    if (argc < 3)
        return fail("usage", "page_files_example input.pdf output-folder [zoom]");
    const char *pdf = argv[1];
    const char *folder = argv[2];
    const int zoom = argc > 3 ? atoi(argv[3]) : 100;

    EngineHandle document = PDF_Open(pdf, NULL, NULL, zoom);
    if (!document)
        return fail("cannot open", pdf);
    printf("%s: %d pages\n", pdf, PDF_GetPageCount(document));

    char svgPath[4096], bmpPath[4096];
    snprintf(svgPath, sizeof svgPath, "%s/page1.svg", folder);
    snprintf(bmpPath, sizeof bmpPath, "%s/page1.bmp", folder);

    PageObject *page = PDF_GetPageObject(document, 1);
    if (!page) {
        PDF_Close(document);
        return fail("cannot capture page 1 of", pdf);
    }
    printf("page 1: %d x %d pixels at %d dpi, %d blocks, PDF %.1f\n", page->width, page->height, page->zoom,
           page->blockCount, page->pdfVersion);
    const int svgWritten = PDF_WriteToSVGFile(page, svgPath);
    PDF_DestroyPageObject(page);

    PageBmp bitmap = PDF_GetPageBmp(document, 1);
    const int bmpWritten = bitmap && PDF_WriteToBMPFile(bitmap, bmpPath);
    if (bitmap) {
        const BitmapInfoHeader *header = (const BitmapInfoHeader *)bitmap;
        printf("bitmap: %d x %d, %d bits per pixel\n", header->biWidth, header->biHeight, header->biBitCount);
    }
    PDF_DestroyPageBmp(bitmap);
    PDF_Close(document);

    if (!svgWritten)
        return fail("cannot write", svgPath);
    if (!bmpWritten)
        return fail("cannot write", bmpPath);
    printf("wrote %s\nwrote %s\n", svgPath, bmpPath);
    return 0;
}

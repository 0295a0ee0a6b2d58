// Writes the benchmark document: 100 letter pages of running text, rules and
// a few pictures, made with the tests' PDF builder.
//
//   make_bench_pdf out.pdf
#include "support/PdfBuilder.h"

#include <cstdio>
#include <string>

using namespace lumora::test;

namespace {

std::string PageContent(int page, const std::string &body, const std::string &bold, const std::string &image)
{
    std::string content = "BT /" + bold + " 18 Tf 72 730 Td (Chapter " + std::to_string(page) + ") Tj ET\n";
    content += "0.2 0.2 0.6 RG 2 w 72 720 m 540 720 l S\n";
    for (int line = 0; line < 40; ++line) {
        content += "BT /" + body + " 10 Tf 72 " + std::to_string(700 - line * 14) +
                   " Td (Line " + std::to_string(line + 1) +
                   " of running text that fills the page with words, as ordinary documents do.) Tj ET\n";
    }
    content += "0.5 w [3 2] 0 d 72 120 m 540 120 l S [] 0 d\n";
    if (page % 10 == 1)
        content += DrawImageOp(image, 380, 560, 160, 120) + "\n";
    return content;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_bench_pdf out.pdf\n");
        return 1;
    }
    PdfBuilder pdf;
    const std::string body = pdf.AddFont("Times-Roman");
    const std::string bold = pdf.AddFont("Helvetica-Bold");
    const std::string image = pdf.AddImage(ImageSpec::Rgb(128, 96, RgbGradient(128, 96)));
    for (int page = 1; page <= 100; ++page)
        pdf.AddPage(612, 792, PageContent(page, body, bold, image));
    pdf.Save(argv[1]);
    return 0;
}

// Writes resources/sample.pdf, the small document the project ships to try the
// converter on: four pages of text in several fonts, sizes and colours, rules,
// a picture, links within the document and to the web, and a two-level outline.
//
// It is not part of the build. To rebuild sample.pdf, from the repository root:
//
//   g++ -std=c++20 -Itests tests/support/PdfBuilder.cpp
//       tests/support/make_sample_pdf.cpp -o /tmp/make_sample_pdf
//   /tmp/make_sample_pdf resources/sample.pdf
//
// The output is the same on every run, so an unchanged program gives an
// unchanged file.
#include "support/PdfBuilder.h"

#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <vector>

using namespace lumora::test;

namespace {

constexpr double kPageWidth = 612;
constexpr double kPageHeight = 792;
constexpr double kMargin = 72;
constexpr double kTextWidth = kPageWidth - 2 * kMargin;

struct Fonts {
    std::string sans, sansBold, serif, serifItalic, mono;
};

// A rough advance of one character in em, good enough for ragged-right
// wrapping without the fonts' metrics.
double CharWidth(char c, bool serif)
{
    std::string_view narrow = "iljtfr.,;:'!|I()[] ";
    std::string_view wide = "mwMW";
    if (narrow.find(c) != std::string_view::npos)
        return 0.28;
    if (wide.find(c) != std::string_view::npos)
        return 0.85;
    if (c >= 'A' && c <= 'Z')
        return serif ? 0.66 : 0.68;
    return serif ? 0.47 : 0.54;
}

double TextWidth(const std::string &text, double size, bool serif)
{
    double width = 0;
    for (char c : text)
        width += CharWidth(c, serif);
    return width * size;
}

std::vector<std::string> Wrap(const std::string &text, double size, bool serif, double width)
{
    std::vector<std::string> lines;
    std::string line;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(' ', start);
        std::string word = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        std::string candidate = line.empty() ? word : line + " " + word;
        if (!line.empty() && TextWidth(candidate, size, serif) > width) {
            lines.push_back(line);
            line = word;
        } else {
            line = candidate;
        }
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    if (!line.empty())
        lines.push_back(line);
    return lines;
}

// Lays out one page's content top-down; y is the next baseline.
class PageWriter {
public:
    explicit PageWriter(const Fonts &fonts) : fonts_(fonts) {}

    double Y() const { return y_; }
    void Skip(double points) { y_ -= points; }

    void Line(const std::string &font, double size, const std::string &text, double x = kMargin,
              const std::string &colour = "0 g")
    {
        content_ += colour + " BT /" + font + " " + PdfNumber(size) + " Tf " + PdfNumber(x) + " " + PdfNumber(y_) +
                    " Td " + PdfLiteral(text) + " Tj ET\n";
        y_ -= size * 1.3;
    }

    void Heading(const std::string &text)
    {
        Skip(8);
        Line(fonts_.sansBold, 16, text, kMargin, "0.1 0.2 0.5 rg");
        Rule(kMargin, y_ + 14, kPageWidth - kMargin, 0.75, "0.1 0.2 0.5 RG");
        Skip(6);
    }

    void Paragraph(const std::string &font, double size, const std::string &text, bool serif,
                   const std::string &colour = "0 g")
    {
        double leading = size * 1.35;
        std::vector<std::string> lines = Wrap(text, size, serif, kTextWidth);
        content_ += colour + " BT /" + font + " " + PdfNumber(size) + " Tf " + PdfNumber(leading) + " TL " +
                    PdfNumber(kMargin) + " " + PdfNumber(y_) + " Td\n";
        for (size_t i = 0; i < lines.size(); ++i)
            content_ += (i ? "T* " : "") + PdfLiteral(lines[i]) + " Tj\n";
        content_ += "ET\n";
        y_ -= leading * static_cast<double>(lines.size()) + size * 0.6;
    }

    void Rule(double x0, double y, double x1, double width, const std::string &colour = "0 G",
              const std::string &dash = "[] 0 d")
    {
        content_ += "q " + colour + " " + PdfNumber(width) + " w " + dash + " " + PdfNumber(x0) + " " + PdfNumber(y) +
                    " m " + PdfNumber(x1) + " " + PdfNumber(y) + " l S Q\n";
    }

    void Raw(const std::string &content) { content_ += content; }

    void Footer(int pageNumber)
    {
        Rule(kMargin, 60, kPageWidth - kMargin, 0.5, "0.6 G");
        content_ += "0.4 g BT /" + fonts_.serifItalic + " 9 Tf " + PdfNumber(kPageWidth / 2 - 40) +
                    " 44 Td (Lumora sample, page " + std::to_string(pageNumber) + ") Tj ET\n";
    }

    std::string Content() const { return content_; }

private:
    const Fonts &fonts_;
    std::string content_;
    double y_ = kPageHeight - kMargin;
};

// A link word drawn in blue with an underline; returns its rectangle.
Rect LinkText(PageWriter &page, const std::string &font, double size, double x, const std::string &text,
              bool serif)
{
    double y = page.Y();
    double width = TextWidth(text, size, serif);
    page.Raw("0 0 0.8 rg BT /" + font + " " + PdfNumber(size) + " Tf " + PdfNumber(x) + " " + PdfNumber(y) + " Td " +
             PdfLiteral(text) + " Tj ET\n");
    page.Rule(x, y - 2, x + width, 0.6, "0 0 0.8 RG");
    page.Skip(size * 1.6);
    return Rect{x - 1, y - 4, x + width + 1, y + size};
}

// A link without a visible border: the text says it is a link.
void Link(PdfBuilder &pdf, int page, Rect rect, std::optional<Action> action, std::optional<Dest> dest = {})
{
    LinkSpec link;
    link.rect = rect;
    link.action = std::move(action);
    link.dest = std::move(dest);
    link.borderWidth = 0;
    pdf.AddLink(page, std::move(link));
}

void Link(PdfBuilder &pdf, int page, Rect rect, Dest dest) { Link(pdf, page, rect, std::nullopt, std::move(dest)); }

void WriteSample(const std::string &path)
{
    PdfBuilder pdf;
    pdf.SetVersion("1.4");
    Fonts fonts{pdf.AddFont("Helvetica"), pdf.AddFont("Helvetica-Bold"), pdf.AddFont("Times-Roman"),
                pdf.AddFont("Times-Italic"), pdf.AddFont("Courier")};
    std::string picture = pdf.AddImage(ImageSpec::Rgb(64, 48, RgbGradient(64, 48)));

    int pages[4];
    for (int &page : pages)
        page = pdf.AddPage(kPageWidth, kPageHeight);

    // Page 1: title and introduction.
    PageWriter one(fonts);
    one.Skip(40);
    one.Line(fonts.sansBold, 28, "Lumora Sample Document");
    one.Line(fonts.serifItalic, 14, "A small PDF file to try the converter on", kMargin, "0.3 g");
    one.Rule(kMargin, one.Y() + 4, kPageWidth - kMargin, 2, "0.8 0.2 0.1 RG");
    one.Skip(20);
    one.Heading("Introduction");
    one.Paragraph(fonts.serif, 12,
                  "This document holds a little of everything that a converter from PDF to web pages meets in "
                  "ordinary files: running text in several typefaces and sizes, headings, coloured words, thin "
                  "and thick rules, a filled shape, a picture, links and an outline. Each page is turned into a "
                  "picture of its graphics with the upright text placed over it.",
                  true);
    one.Paragraph(fonts.serif, 12,
                  "The outline of this file has two levels, so the bookmark tree of the generated site shows "
                  "chapters with their sections. The links below lead to a later page of this document and to a "
                  "page on the web.",
                  true);
    one.Skip(6);
    Rect toPictures = LinkText(one, fonts.sans, 12, kMargin, "Go to the rules and the picture on page 3", false);
    Rect toWeb = LinkText(one, fonts.sans, 12, kMargin, "https://example.com/lumora/", false);
    one.Skip(10);
    double aboutTop = one.Y() + 20;
    one.Heading("About this file");
    one.Paragraph(fonts.sans, 10,
                  "The file is written by a small program of the project's test tools, byte by byte, so it "
                  "contains only standard fonts and an uncompressed image and stays small enough to keep in "
                  "the repository.",
                  false, "0.25 g");
    one.Footer(1);
    pdf.Page(pages[0]).content = one.Content();
    Link(pdf, pages[0], toPictures, Action::GoTo(Dest::Page(pages[2]).Xyz(0, kPageHeight, 0)));
    Link(pdf, pages[0], toWeb, Action::Uri("https://example.com/lumora/"));

    // Page 2: text in fonts, sizes and colours.
    PageWriter two(fonts);
    two.Heading("1. Text and type");
    double fontsTop = two.Y() + 16;
    two.Line(fonts.sansBold, 13, "Fonts");
    two.Paragraph(fonts.sans, 11,
                  "Helvetica is a plain sans-serif face. It is used here for short notes and for the headings, "
                  "where it is set in its bold weight.",
                  false);
    two.Paragraph(fonts.serif, 11,
                  "Times Roman is a serif face with a long history in newspapers and books; most of the running "
                  "text of this document is set in it.",
                  true);
    two.Paragraph(fonts.serifItalic, 11, "Times Italic marks titles, quotations and the occasional aside.", true);
    two.Line(fonts.mono, 10, "Courier: for (int page = 1; page <= count; ++page) convert(page);");
    two.Skip(10);
    double sizesTop = two.Y() + 16;
    two.Line(fonts.sansBold, 13, "Sizes");
    const double sizes[] = {8, 10, 12, 16, 20, 26};
    for (double size : sizes)
        two.Line(fonts.serif, size, "Set in " + PdfNumber(size) + " points");
    two.Skip(10);
    double coloursTop = two.Y() + 16;
    two.Line(fonts.sansBold, 13, "Colours");
    two.Line(fonts.sans, 12, "Red text for warnings", kMargin, "0.8 0 0 rg");
    two.Line(fonts.sans, 12, "Green text for success", kMargin, "0 0.55 0 rg");
    two.Line(fonts.sans, 12, "Blue text for links and notes", kMargin, "0 0 0.8 rg");
    two.Line(fonts.serifItalic, 12, "Grey italic text for remarks", kMargin, "0.5 g");
    two.Footer(2);
    pdf.Page(pages[1]).content = two.Content();

    // Page 3: rules, shapes and a picture.
    PageWriter three(fonts);
    three.Heading("2. Rules and pictures");
    double rulesTop = three.Y() + 16;
    three.Line(fonts.sansBold, 13, "Rules");
    const double widths[] = {0.5, 1, 2, 4};
    for (double width : widths) {
        three.Rule(kMargin, three.Y(), kMargin + 300, width);
        three.Raw("0 g BT /" + fonts.sans + " 9 Tf " + PdfNumber(kMargin + 312) + " " + PdfNumber(three.Y() - 3) +
                  " Td (" + PdfNumber(width) + " pt) Tj ET\n");
        three.Skip(18);
    }
    three.Rule(kMargin, three.Y(), kMargin + 300, 1.5, "0.8 0.2 0.1 RG", "[6 3] 0 d");
    three.Raw("0 g BT /" + fonts.sans + " 9 Tf " + PdfNumber(kMargin + 312) + " " + PdfNumber(three.Y() - 3) +
              " Td (dashed) Tj ET\n");
    three.Skip(30);
    three.Line(fonts.sansBold, 13, "Shapes");
    double top = three.Y();
    three.Raw("0.95 0.75 0.2 rg " + PdfNumber(kMargin) + " " + PdfNumber(top - 60) + " 140 60 re f\n");
    three.Raw("q 0.1 0.3 0.6 RG 2 w " + PdfNumber(kMargin + 170) + " " + PdfNumber(top - 60) + " 140 60 re S Q\n");
    three.Raw("0.2 0.6 0.3 rg " + PdfNumber(kMargin + 340) + " " + PdfNumber(top - 60) + " m " +
              PdfNumber(kMargin + 420) + " " + PdfNumber(top - 60) + " l " + PdfNumber(kMargin + 380) + " " +
              PdfNumber(top) + " l h f\n");
    three.Skip(84);
    double pictureHeadingTop = three.Y() + 16;
    three.Line(fonts.sansBold, 13, "A picture");
    double pictureTop = three.Y() - 4;
    three.Raw(DrawImageOp(picture, kMargin, pictureTop - 144, 192, 144));
    three.Raw("q 0.3 G 0.5 w " + PdfNumber(kMargin) + " " + PdfNumber(pictureTop - 144) + " 192 144 re S Q\n");
    three.Skip(168);
    three.Line(fonts.serifItalic, 10, "A 64 by 48 pixel colour gradient, drawn at three times its size.");
    three.Footer(3);
    pdf.Page(pages[2]).content = three.Content();

    // Page 4: a short closing page with a link back.
    PageWriter four(fonts);
    four.Heading("3. Links and outline");
    four.Paragraph(fonts.serif, 12,
                   "Links become areas of an image map over the page picture. A link to another page of this "
                   "document leads to that page's file of the site; a link to the web keeps its address.",
                   true);
    four.Paragraph(fonts.serif, 12,
                   "The outline entries become the site's bookmark tree: each chapter of this document is an "
                   "entry at the first level, and its sections are entries at the second.",
                   true);
    four.Skip(6);
    four.Line(fonts.sansBold, 13, "Contents");
    struct Entry {
        const char *title;
        int page;
    } contents[] = {{"Introduction", 1}, {"1. Text and type", 2}, {"2. Rules and pictures", 3},
                    {"3. Links and outline", 4}};
    for (const Entry &entry : contents) {
        double y = four.Y();
        four.Raw("0 0 0.8 rg BT /" + fonts.serif + " 12 Tf " + PdfNumber(kMargin + 12) + " " + PdfNumber(y) +
                 " Td " + PdfLiteral(entry.title) + " Tj ET\n");
        four.Raw("0 g BT /" + fonts.serif + " 12 Tf " + PdfNumber(kMargin + 300) + " " + PdfNumber(y) + " Td (" +
                 std::to_string(entry.page) + ") Tj ET\n");
        four.Rule(kMargin + 12, y - 3, kMargin + 310, 0.4, "0.7 G", "[1 2] 0 d");
        Link(pdf, pages[3], Rect{kMargin + 10, y - 4, kMargin + 310, y + 12}, Dest::Page(pages[entry.page - 1]));
        four.Skip(18);
    }
    four.Skip(16);
    double boxTop = four.Y() + 14;
    four.Raw("0.93 0.95 1 rg " + PdfNumber(kMargin) + " " + PdfNumber(boxTop - 62) + " " + PdfNumber(kTextWidth) +
             " 62 re f q 0.1 0.2 0.5 RG 3 w " + PdfNumber(kMargin) + " " + PdfNumber(boxTop - 62) + " m " +
             PdfNumber(kMargin) + " " + PdfNumber(boxTop) + " l S Q\n");
    four.Skip(4);
    four.Line(fonts.sansBold, 11, "Note", kMargin + 14, "0.1 0.2 0.5 rg");
    four.Line(fonts.serif, 11, "Text over a coloured panel stays text in the web page; the panel goes into",
              kMargin + 14);
    four.Line(fonts.serif, 11, "the page picture beneath it.", kMargin + 14);
    four.Skip(30);
    Rect back = LinkText(four, fonts.sans, 12, kMargin, "Back to the first page", false);
    four.Footer(4);
    pdf.Page(pages[3]).content = four.Content();
    Link(pdf, pages[3], back, Dest::Page(pages[0]).Xyz(0, kPageHeight, 0));

    OutlineEntry intro("Introduction", Dest::Page(pages[0]));
    intro.children.emplace_back("About this file", Dest::Page(pages[0]).Xyz(0, aboutTop, 0));
    OutlineEntry text("Text and type", Dest::Page(pages[1]));
    text.children.emplace_back("Fonts", Dest::Page(pages[1]).Xyz(0, fontsTop, 0));
    text.children.emplace_back("Sizes", Dest::Page(pages[1]).Xyz(0, sizesTop, 0));
    text.children.emplace_back("Colours", Dest::Page(pages[1]).Xyz(0, coloursTop, 0));
    OutlineEntry rules("Rules and pictures", Dest::Page(pages[2]));
    rules.children.emplace_back("Rules", Dest::Page(pages[2]).Xyz(0, rulesTop, 0));
    rules.children.emplace_back("A picture", Dest::Page(pages[2]).Xyz(0, pictureHeadingTop, 0));
    OutlineEntry links("Links and outline", Dest::Page(pages[3]));
    pdf.SetOutline({intro, text, rules, links});
    pdf.AddCatalogEntry("/PageMode /UseOutlines");
    pdf.AddTrailerEntry("/Info " + std::to_string(pdf.AddObject("<< /Title (Lumora Sample Document) "
                                                                  "/Producer (Lumora test tools) >>")) +
                        " 0 R");
    pdf.Save(path);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.pdf\n", argv[0]);
        return 2;
    }
    try {
        WriteSample(argv[1]);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}

#pragma once
// The lines every HTML file of the converter begins with: the page writer's
// page files and the site generator's pages share them, so they are defined
// here once.
#include <string>
#include <string_view>

namespace lumora {

// The address that the "saved from url" comment names. The comment announces
// its length in characters, "(0052)", so it must be exactly that long.
inline constexpr std::string_view kSavedFromAddress = "http://www.example.com/lumora/pdf-to-html-converter/";
static_assert(kSavedFromAddress.size() == 52);

// "<!-- saved from url=(0052)" + the address + " -->", without a line feed;
// the text a finished page can be searched for.
std::string SavedFromComment();

// The document type line and the "saved from" comment line, each ending in a
// line feed.
std::string PageHeadLines();

// Declares the page text's encoding; every head carries it right after
// "<head>", since the page text is UTF-8.
std::string_view CharsetMeta();

// "<html>", "<head>" and the charset declaration, with lineBreak after each
// (the page files break lines there, the site pages do not).
std::string HeadStart(std::string_view lineBreak);

// "<title>" + the title, escaped as page text, + "</title>".
std::string TitleElement(std::string_view title);

} // namespace lumora

#pragma once
// The small web site around a converted PDF's page files: the frameset start
// page index.htm, the home link appended to the page index pg_index.htm, the
// bookmark tree appended to pg_bmark.htm, and the framing of a continuous
// page. The site pages pg_nav.htm, pg_index.htm and pg_bmark.htm start out as
// templates that the job copies into the output folder first; the writers
// here only add to them. A file that cannot be opened is skipped silently:
// the conversion goes on without it.
//
// Page numbers inside the site count from the first converted page: PDF page
// p of the range first..last is site page p - first + 1, file pg_%04d.htm.
#include "lumora_engine.h"

#include <string>
#include <string_view>
#include <vector>

namespace lumora::site {

// One outline entry read back from the outline file.
struct BookmarkItem {
    int level = 0;     // leading tabs of its line; 0 for a top-level entry
    std::string title; // with '"', '<' and '>' as character references
    int page = 0;      // PDF page number
};

// Writes folder/index.htm, the frameset of navigation bar, page index and the
// first page, with the script variables firstpage (1) and lastpage (the
// number of pages converted).
void WriteFrameset(const std::string &folder, const std::string &baseName, int first, int last);

// Appends a link to the stored home page to folder/pg_index.htm when the
// home link is switched on and an address is stored.
void AppendHomeLink(const std::string &folder);

// Reads the document's outline into items (appending); returns the number of
// items in the list, 0 when the document has no readable outline.
int ReadBookmarks(EngineHandle handle, std::vector<BookmarkItem> &items);

// Reads an outline file as ReadBookmarks does (appending); returns the number
// of items in the list, 0 when the file cannot be opened.
int ReadOutlineFile(const std::string &path, std::vector<BookmarkItem> &items);

// The script lines that build the bookmark tree of the items, ending in a
// line feed: the root folder named after the PDF, then one folder or leaf
// per item linked to its site page.
std::string BookmarkTreeScript(const std::vector<BookmarkItem> &items, const std::string &baseName, int first);

// Appends the bookmark tree's script and the page's end to folder/pg_bmark.htm.
void AppendBookmarkTree(EngineHandle handle, const std::string &folder, const std::string &baseName, int first,
                        int last);

// Turns folder/index.htm, the continuous page, into folder + ".html", a page
// framed in a centred table, when the profile value QUILLON/ForCharter is set.
// width and height are the last converted page's. Returns 1 when it ran, 0
// when ForCharter is 0.
int FinishCharterPage(const std::string &folder, const std::string &baseName, int width, int height);

// Replaces every occurrence of oldText by newText in the file, left to right,
// without rescanning inserted text; bytes are kept unchanged. Does nothing
// when the file cannot be opened for reading and writing.
void ReplaceInFile(const std::string &path, std::string_view oldText, std::string_view newText);

// The script text a title lands in as a double-quoted string: backslashes
// doubled, so that no title can end the string or escape a character.
std::string EscapeForScriptString(std::string_view text);

} // namespace lumora::site

#pragma once
// The outline file: the document's bookmarks as text lines that the site
// generator reads back to build its bookmark tree.
//
// One line per item, in document order (an item, its descendants, then its
// next sibling):
//   level tabs, the title, then "<>,page,left,top,right,bottom,zoom,
//   changeLeft,changeTop,changeZoom" when the item has a destination,
//   then a line feed.
// The title is UTF-8 and never empty (a lone space stands for no title), and
// it holds no line break, tab or "<>," that would upset the line's reading.
#include <PDFDoc.h>

#include <string>

namespace lumora {

// The outline file of this process, in the temporary directory under a name
// of its own: concurrent conversions never share one.
std::string OutlineFilePath();

// Writes the items under the catalog's "Outlines" entry (a reference or a
// dictionary) into a new file at path, which must not exist yet (a planted
// file or link there makes it fail). True when the outline has items and
// every line reached the file; otherwise no file is left behind.
bool WriteOutlineFile(PDFDoc &document, const Object &outlinesEntry, const std::string &path);

} // namespace lumora

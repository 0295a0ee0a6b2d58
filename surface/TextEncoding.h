#pragma once
// Text runs are UTF-16; files are written in the system code page, UTF-8.
#include <cstdint>
#include <string>

namespace lumora {

// count UTF-16 code units, little-endian, as UTF-8. A unit the code page
// cannot represent (an unpaired surrogate) becomes '.'.
std::string Utf16ToSystemCodePage(const uint8_t *utf16le, int32_t count);

// Escapes '&', '<' and '>' (and '"' when quotes is set) for XML and HTML.
std::string EscapeMarkup(const std::string &text, bool quotes = false);

} // namespace lumora

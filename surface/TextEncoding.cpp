#include "surface/TextEncoding.h"

namespace lumora {

namespace {

void AppendUtf8(std::string &out, uint32_t codePoint)
{
    if (codePoint < 0x80) {
        out.push_back(char(codePoint));
    } else if (codePoint < 0x800) {
        out.push_back(char(0xC0 | (codePoint >> 6)));
        out.push_back(char(0x80 | (codePoint & 0x3F)));
    } else if (codePoint < 0x10000) {
        out.push_back(char(0xE0 | (codePoint >> 12)));
        out.push_back(char(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(char(0x80 | (codePoint & 0x3F)));
    } else {
        out.push_back(char(0xF0 | (codePoint >> 18)));
        out.push_back(char(0x80 | ((codePoint >> 12) & 0x3F)));
        out.push_back(char(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(char(0x80 | (codePoint & 0x3F)));
    }
}

bool IsHighSurrogate(uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

} // namespace

std::string Utf16ToSystemCodePage(const uint8_t *utf16le, int32_t count)
{
    std::string out;
    if (!utf16le)
        return out;
    const auto unitAt = [utf16le](int32_t i) { return uint32_t(utf16le[2 * i]) | uint32_t(utf16le[2 * i + 1]) << 8; };
    for (int32_t i = 0; i < count; ++i) {
        const uint32_t unit = unitAt(i);
        if (IsHighSurrogate(unit) && i + 1 < count && IsLowSurrogate(unitAt(i + 1))) {
            AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (unitAt(i + 1) - 0xDC00));
            ++i;
        } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
            out.push_back('.');
        } else {
            AppendUtf8(out, unit);
        }
    }
    return out;
}

std::string EscapeMarkup(const std::string &text, bool quotes)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"':
            if (quotes) {
                out += "&quot;";
                break;
            }
            [[fallthrough]];
        default: out.push_back(c);
        }
    }
    return out;
}

} // namespace lumora

#pragma once
// Reading and writing initialisation (INI) files the way the Windows
// private-profile functions do, so that config.ini and the per-user profile
// behave as their users expect:
//
//   [Section]
//   key=value
//   ; comment
//
// - Section and key names match without regard to ASCII case; surrounding
//   blanks of names and values are ignored; a value enclosed in a matching
//   pair of double or single quotes is read without them.
// - A missing file, section or key gives the caller's default.
// - Texts are bytes; lines end in LF (CRLF is tolerated when reading).
// - Nothing is cached: every read opens the file.
// - Every write replaces the whole file atomically (temporary file in the same
//   directory, fsync, rename), so a reader never sees half a file and a failed
//   write leaves the old file as it was.
#include <sys/types.h>

#include <cstddef>
#include <limits>
#include <string>
#include <string_view>

namespace lumora {

// A buffer size that never cuts a text.
inline constexpr std::size_t kUnboundedIniBuffer = std::numeric_limits<std::size_t>::max();

// Mode of a file that a write creates when the caller does not name one (the
// process umask applies, as for any new file).
inline constexpr mode_t kDefaultIniFileMode = 0644;

// The value of `key` in `section`, or `defaultText` when the file, section or
// key is missing. As with a buffer of `bufferSize` bytes, the result holds at
// most bufferSize - 1 bytes (none for a size of 0). Trailing blanks of the
// default are dropped, as the platform function does.
std::string ReadIniText(std::string_view section, std::string_view key, std::string_view defaultText,
                        const std::string &path, std::size_t bufferSize = kUnboundedIniBuffer);

// The same into a caller's buffer of `bufferSize` bytes: copies at most
// bufferSize - 1 bytes plus a terminating NUL and returns the number of bytes
// copied without the NUL. A null default counts as empty.
std::size_t CopyIniText(std::string_view section, std::string_view key, const char *defaultText,
                        char *buffer, std::size_t bufferSize, const std::string &path);

// The leading decimal number (optional sign) of the value, wrapping to 32
// bits as the platform does; `defaultValue` when the key is missing or its
// value does not start with a number.
int ReadIniInt(std::string_view section, std::string_view key, int defaultValue, const std::string &path);

// Sets `key` in `section` to `value`. The key's line is rewritten in place;
// a missing key is appended to its section, a missing section is appended to
// the end of the file; every other line stays byte for byte. A file that does
// not exist yet is created with `newFileMode`; an existing one keeps its mode.
// Returns false, leaving the file untouched, when the file cannot be read or
// replaced, or when a name or the value cannot be stored in an INI line
// (line breaks, a '=' in the key, a ']' in the section, ...).
bool WriteIniText(std::string_view section, std::string_view key, std::string_view value,
                  const std::string &path, mode_t newFileMode = kDefaultIniFileMode);

// Removes every line of `key` in every section named `section`. A missing
// file, section or key is no failure (and creates nothing).
bool DeleteIniKey(std::string_view section, std::string_view key, const std::string &path);

// Removes every section named `section` with all its lines.
bool DeleteIniSection(std::string_view section, const std::string &path);

// The text to write so that ReadIniText gives `value` back unchanged: values
// with surrounding blanks, or enclosed in a matching pair of quotes, are put
// in double quotes; all others stay as they are.
std::string QuoteIniValue(std::string_view value);

} // namespace lumora

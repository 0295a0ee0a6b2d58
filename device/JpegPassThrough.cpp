#include "device/JpegPassThrough.h"

#include "surface/UniqueFd.h"

#include <Stream.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace lumora {

namespace {

constexpr uint8_t kMarkerStart = 0xFF;
constexpr uint8_t kStartOfImage = 0xD8;
constexpr uint8_t kEndOfImage = 0xD9;
constexpr uint8_t kStartOfScan = 0xDA;

// Markers that stand alone, without a length and a segment.
bool IsStandalone(uint8_t code) { return code == 0x01 || (code >= 0xD0 && code <= 0xD7); }


int CreateNew(const std::string &name)
{
    return ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
}

// O_EXCL never follows a link and never opens an existing file. A file left
// by an earlier run of this user is removed and created again; a link, a
// device, a pipe or anybody else's file at the name makes the creation fail.
UniqueFd CreateWithoutFollowingLinks(const std::string &name)
{
    int fd = CreateNew(name);
    if (fd >= 0 || errno != EEXIST)
        return UniqueFd(fd);
    struct stat existing;
    if (::lstat(name.c_str(), &existing) != 0 || !S_ISREG(existing.st_mode) || existing.st_uid != ::geteuid())
        return UniqueFd(-1);
    if (::unlink(name.c_str()) != 0)
        return UniqueFd(-1);
    return UniqueFd(CreateNew(name));
}

bool WriteAll(int fd, const uint8_t *bytes, size_t count)
{
    while (count > 0) {
        const ssize_t written = ::write(fd, bytes, count);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes += written;
        count -= size_t(written);
    }
    return true;
}

bool CopyToEnd(Stream &raw, int fd)
{
    std::array<unsigned char, 4096> chunk;
    for (;;) {
        const int read = raw.doGetChars(int(chunk.size()), chunk.data());
        if (read > 0 && !WriteAll(fd, chunk.data(), size_t(read)))
            return false;
        if (read < int(chunk.size()))
            return true;
    }
}

bool CopyToEndMarker(Stream &raw, int fd)
{
    JpegEndFinder finder;
    std::vector<uint8_t> pending;
    pending.reserve(4096);
    for (int c = raw.getChar(); c != EOF; c = raw.getChar()) {
        pending.push_back(uint8_t(c));
        const bool complete = finder.Feed(uint8_t(c));
        if (complete || pending.size() == pending.capacity()) {
            if (!WriteAll(fd, pending.data(), pending.size()))
                return false;
            pending.clear();
        }
        if (complete)
            return true;
    }
    return WriteAll(fd, pending.data(), pending.size());
}

} // namespace

std::string JpegFileName(const std::string &root, int32_t counter)
{
    char number[16];
    std::snprintf(number, sizeof number, "%03d", int(counter));
    return root + "-" + number + ".jpg";
}

bool JpegEndFinder::Feed(uint8_t byte)
{
    switch (state_) {
    case State::Start:
        state_ = byte == kMarkerStart ? State::StartMarker : State::Done;
        break;
    case State::StartMarker:
        state_ = byte == kStartOfImage ? State::Between : State::Done;
        break;
    case State::Between:
        state_ = byte == kMarkerStart ? State::Marker : State::Done;
        break;
    case State::Marker:
        if (byte != kMarkerStart) // more 0xFF bytes are fill
            return MarkerCode(byte);
        break;
    case State::LengthHigh:
        segmentLeft_ = byte << 8;
        state_ = State::LengthLow;
        break;
    case State::LengthLow:
        segmentLeft_ = (segmentLeft_ | byte) - 2;
        if (segmentLeft_ < 0)
            state_ = State::Done;
        else if (segmentLeft_ == 0)
            state_ = marker_ == kStartOfScan ? State::Entropy : State::Between;
        else
            state_ = State::Segment;
        break;
    case State::Segment:
        if (--segmentLeft_ == 0)
            state_ = marker_ == kStartOfScan ? State::Entropy : State::Between;
        break;
    case State::Entropy:
        if (byte == kMarkerStart)
            state_ = State::EntropyMarker;
        break;
    case State::EntropyMarker:
        // 0x00 is a stuffed 0xFF data byte, restart markers belong to the scan.
        if (byte == 0x00 || (byte >= 0xD0 && byte <= 0xD7))
            state_ = State::Entropy;
        else if (byte != kMarkerStart)
            return MarkerCode(byte);
        break;
    case State::Done:
        break;
    }
    return state_ == State::Done;
}

bool JpegEndFinder::MarkerCode(uint8_t code)
{
    marker_ = code;
    if (code == kEndOfImage || code == kStartOfImage)
        state_ = State::Done; // a second start of image is no part of this one
    else if (IsStandalone(code))
        state_ = State::Between;
    else
        state_ = State::LengthHigh;
    return state_ == State::Done;
}

bool WriteJpegFile(const std::string &name, Stream &dctStream, bool inlineData)
{
    Stream *raw = dctStream.getNextStream();
    if (!raw)
        return false;
    UniqueFd file = CreateWithoutFollowingLinks(name);
    if (file.get() < 0)
        return false;
    raw->reset();
    const bool copied = inlineData ? CopyToEndMarker(*raw, file.get()) : CopyToEnd(*raw, file.get());
    raw->close();
    return file.Close() && copied;
}

} // namespace lumora

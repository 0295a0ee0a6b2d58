#pragma once
// Stencil masks whose data is DCT-encoded are not drawn: their encoded bytes
// are written unchanged to JPEG files named from the device's file root.
// The root lies in the shared temporary directory, so a file is always
// created anew and never through a symbolic link someone planted at its name.
#include <cstdint>
#include <string>

#include <Object.h> // before Stream.h, which needs it first
#include <Stream.h>

namespace lumora {

// root, a hyphen, the counter as at least three digits, ".jpg".
std::string JpegFileName(const std::string &root, int32_t counter);

// Finds where a JPEG ends by walking its markers and segments, so that
// inline data, which runs on into the page's content, is copied no further
// than its end-of-image marker. Malformed data ends at the first byte that
// does not fit the structure.
class JpegEndFinder {
public:
    // Takes the next byte; true when the JPEG is complete with it.
    bool Feed(uint8_t byte);

private:
    enum class State {
        Start,
        StartMarker,
        Between,
        Marker,
        LengthHigh,
        LengthLow,
        Segment,
        Entropy,
        EntropyMarker,
        Done
    };
    bool MarkerCode(uint8_t code);

    State state_ = State::Start;
    uint8_t marker_ = 0;
    int segmentLeft_ = 0;
};

// Creates the file (replacing an earlier one of this user, refusing links and
// other people's files) and copies the raw bytes under the DCT stream into it:
// to the end of the stream, or for inline data to the JPEG's end marker.
// False when the file cannot be created or written.
bool WriteJpegFile(const std::string &name, Stream &dctStream, bool inlineData);

} // namespace lumora

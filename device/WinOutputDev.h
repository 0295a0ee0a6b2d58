#pragma once
// The output device the library drives while it renders a page. It turns the
// library's calls into the surface's primitives, which paint the page surface
// or record page blocks while a page object is captured.
#include "surface/CairoPtr.h"

#include <OutputDev.h>

#include <cstdint>
#include <string>
#include <vector>

class XRef;
class GfxFont;

namespace lumora {

struct CharacterPlacement; // TextOutput.h

// One link of the page: its rectangle in page pixels and what it does.
struct DeviceLink {
    int32_t left = 0;
    int32_t right = 0;
    int32_t top = 0;
    int32_t bottom = 0;
    std::string actionText;
};

class WinOutputDev : public OutputDev {
public:
    explicit WinOutputDev(std::string fileRoot);
    ~WinOutputDev() override;

    void setDocument(XRef *xref) { xref_ = xref; }
    int32_t getPageWidth() const { return pageWidth_; }
    int32_t getPageHeight() const { return pageHeight_; }
    std::vector<DeviceLink> &links() { return links_; }
    const std::string &fileRoot() const { return fileRoot_; }
    // The current clip (for tests and for the primitives' callers).
    const cairo_region_t *currentClip() const { return currentClip_.get(); }
    int32_t flatness() const { return flatness_; }

    // ---- Answers to the library
    bool upsideDown() override { return true; }
    bool useDrawChar() override { return true; }
    bool interpretType3Chars() override { return false; }
    bool needNonText() override { return true; }

    // ---- Page and state
    void startPage(int pageNum, GfxState *state, XRef *xref) override;
    void endPage() override {}
    void saveState(GfxState *state) override;
    void restoreState(GfxState *state) override;
    void updateAll(GfxState *state) override;
    void updateFlatness(GfxState *state) override;

    // ---- Paths (PathOutput.cpp)
    void stroke(GfxState *state) override;
    void fill(GfxState *state) override;
    void eoFill(GfxState *state) override;
    void clip(GfxState *state) override;
    void eoClip(GfxState *state) override;

    // ---- Text (TextOutput.cpp)
    void updateFont(GfxState *state) override;
    void drawChar(GfxState *state, double x, double y, double dx, double dy, double originX, double originY,
                  CharCode code, int nBytes, const Unicode *u, int uLen) override;
    void beginMarkedContent(const char *name, Dict *properties) override;
    void endMarkedContent(GfxState *state) override;

    // ---- Images (ImageOutput.cpp)
    void drawImageMask(GfxState *state, Object *ref, Stream *str, int width, int height, bool invert,
                       bool interpolate, bool inlineImg) override;
    void drawImage(GfxState *state, Object *ref, Stream *str, int width, int height, GfxImageColorMap *colorMap,
                   bool interpolate, const int *maskColors, bool inlineImg) override;
    void drawMaskedImage(GfxState *state, Object *ref, Stream *str, int width, int height,
                         GfxImageColorMap *colorMap, bool interpolate, Stream *maskStr, int maskWidth,
                         int maskHeight, bool maskInvert, bool maskInterpolate) override;
    void drawSoftMaskedImage(GfxState *state, Object *ref, Stream *str, int width, int height,
                             GfxImageColorMap *colorMap, bool interpolate, Stream *maskStr, int maskWidth,
                             int maskHeight, GfxImageColorMap *maskColorMap, bool maskInterpolate) override;

    // ---- Links (LinkOutput.cpp)
    void processLink(AnnotLink *link) override;

protected:
    // Makes region the current clip and announces it to the surface.
    void ReplaceClip(RegionPtr region);
    void AnnounceClip();

    std::vector<DeviceLink> links_;
    XRef *xref_ = nullptr;
    int32_t flatness_ = 0;
    GfxFont *currentFont_ = nullptr;
    bool fontMatched_ = false;
    std::vector<RegionPtr> savedClips_;
    int32_t pageWidth_ = 0;
    int32_t pageHeight_ = 0;
    RegionPtr currentClip_;
    std::string fileRoot_;
    int32_t imageFileCounter_ = 0;

    // ---- Paths (PathOutput.cpp)
    // fill/eoFill and clip/eoClip differ only in the fill rule
    // (FILL_MODE_WINDING or FILL_MODE_EVEN_ODD).
    void FillPath(GfxState *state, int32_t fillMode);
    void ClipToPath(GfxState *state, int32_t fillMode);

    // ---- Text (TextOutput.cpp)
    // One text run for a placed character, styled from the state's font.
    void EmitText(GfxState &state, const CharacterPlacement &placement, const std::vector<uint16_t> &text);
    // The Type 3 warning is given once per device, that is per document.
    bool type3Reported_ = false;
};

// Lends the device's current clip to the page surface for one primitive.
class SurfaceClipScope {
public:
    explicit SurfaceClipScope(const cairo_region_t *clip);
    ~SurfaceClipScope();
    SurfaceClipScope(const SurfaceClipScope &) = delete;
    SurfaceClipScope &operator=(const SurfaceClipScope &) = delete;
};

} // namespace lumora

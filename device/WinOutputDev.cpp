#include "device/WinOutputDev.h"

#include "device/DeviceMath.h"
#include "device/TextOutput.h"
#include "surface/FontNameMapping.h"
#include "surface/Dib.h"
#include "surface/Region.h"
#include "surface/SurfaceState.h"

#include <GfxState.h>

namespace lumora {

WinOutputDev::WinOutputDev(std::string fileRoot)
    : currentClip_(MakeRectRegion(0, 0, 0, 0)), fileRoot_(std::move(fileRoot))
{
}

WinOutputDev::~WinOutputDev() = default;

void WinOutputDev::startPage(int pageNum, GfxState *state, XRef *xref)
{
    pageWidth_ = state ? Round(state->getPageWidth()) : 0;
    pageHeight_ = state ? Round(state->getPageHeight()) : 0;

    DrawSurface &surface = PageSurface();
    surface.Release();
    if (surface.Create(pageWidth_, pageHeight_, 24)) {
        const RegionRect whole = surface.GetRect();
        surface.FillRect(kWhite, &whole);
    }

    savedClips_.clear();
    flatness_ = 0;
    ReplaceClip(MakeRectRegion(0, 0, pageWidth_, pageHeight_));
    currentFont_ = nullptr;
    fontMatched_ = false;
    // The library never reports the end of a section opened on an earlier
    // page, so sections end with their page.
    ProcessMarkedContent().Clear();
    TheFontNameMapping().StartPage();
}

void WinOutputDev::saveState(GfxState *state)
{
    RegionPtr copy = CopyRegion(currentClip_.get());
    savedClips_.push_back(std::move(currentClip_));
    currentClip_ = std::move(copy);
    AnnounceClip();
}

void WinOutputDev::restoreState(GfxState *state)
{
    if (savedClips_.empty())
        return;
    if (state)
        flatness_ = Truncate(state->getFlatness());
    currentClip_ = std::move(savedClips_.back());
    savedClips_.pop_back();
    AnnounceClip();
}

void WinOutputDev::updateAll(GfxState *state)
{
    updateFlatness(state);
    updateFont(state);
}

void WinOutputDev::updateFlatness(GfxState *state)
{
    if (state)
        flatness_ = Truncate(state->getFlatness());
}

void WinOutputDev::ReplaceClip(RegionPtr region)
{
    currentClip_ = std::move(region);
    AnnounceClip();
}

void WinOutputDev::AnnounceClip() { PageSurface().ChangeClipRegion(currentClip_.get()); }

SurfaceClipScope::SurfaceClipScope(const cairo_region_t *clip) { PageSurface().SetClipRegion(clip); }
SurfaceClipScope::~SurfaceClipScope() { PageSurface().SetClipRegion(nullptr); }

} // namespace lumora

// Links: one entry of the device's link list per link annotation whose action
// can be written as text, and the annotation's border where it has one.
#include "device/WinOutputDev.h"

#include "device/DeviceMath.h"
#include "surface/SurfaceState.h"

#include <Annot.h>
#include <Catalog.h>
#include <Link.h>
#include <PDFDoc.h>
#include <goo/GooString.h>

#include <algorithm>
#include <optional>

namespace lumora {

namespace {

constexpr uint32_t kBorderColour = 0x00FF0000; // blue
constexpr uint32_t kSolidLine = LINE_STYLE_SOLID;

struct DevicePoint {
    int32_t x;
    int32_t y;
};

// The library's user-to-device conversion (the page's default matrix, then
// rounding), but with the device's bounded rounding: the base class converts
// unbounded doubles to int, which a link rectangle with huge or NaN
// coordinates would overflow.
DevicePoint UserToDevice(const OutputDev &device, double x, double y)
{
    const double *m = device.getDefCTM();
    return {Round(m[0] * x + m[2] * y + m[4]), Round(m[1] * x + m[3] * y + m[5])};
}

// The third element of the annotation's own "Border" array. The library also
// derives a width from "BS" (and a default of 1 without either), which would
// outline every link; only an explicit border array draws one.
double BorderWidth(const AnnotLink &link)
{
    const Object &annotation = link.getAnnotObj();
    if (!annotation.isDict())
        return 0;
    const Object border = annotation.dictLookup("Border");
    if (!border.isArray() || border.arrayGetLength() <= 2)
        return 0;
    const Object width = border.arrayGet(2);
    return width.isNum() ? width.getNum() : 0;
}

void DrawBorder(const OutputDev &device, const cairo_region_t *clip, const PDFRectangle &rect, double width)
{
    if (!(width > 0))
        return;
    const DevicePoint corners[4] = {UserToDevice(device, rect.x1, rect.y1), UserToDevice(device, rect.x2, rect.y1),
                                    UserToDevice(device, rect.x2, rect.y2), UserToDevice(device, rect.x1, rect.y2)};
    const int32_t lineWidth = Round(width);
    DrawSurface &surface = PageSurface();
    for (int i = 0; i < 4; ++i) {
        const DevicePoint &from = corners[i];
        const DevicePoint &to = corners[(i + 1) % 4];
        SurfaceClipScope scope(clip);
        surface.DrawLines(from.x, from.y, to.x, to.y, lineWidth, kBorderColour, kSolidLine);
    }
}

std::string Text(const GooString *text) { return text ? text->toStr() : std::string(); }

// The page a local destination leads to: the destination's own, or else the
// one its name has in the document's named destinations.
std::optional<int> TargetPage(const LinkGoTo &goTo, Catalog *catalog)
{
    std::unique_ptr<LinkDest> named;
    const LinkDest *dest = goTo.getDest();
    if (!dest && goTo.getNamedDest() && catalog) {
        named = catalog->findDest(goTo.getNamedDest());
        dest = named.get();
    }
    if (!dest)
        return std::nullopt;
    if (!dest->isPageRef())
        return dest->getPageNum();
    return catalog ? catalog->findPage(dest->getPageRef()) : 0;
}

std::string GoToText(const LinkGoTo &goTo, Catalog *catalog)
{
    const std::optional<int> page = TargetPage(goTo, catalog);
    // An entry is still made for a destination that cannot be found, so
    // the link keeps its place in the image map.
    return page ? "actionGoTo:" + std::to_string(*page) : std::string();
}

// What the link does as action text; none for an action the page writer has
// no target for.
std::optional<std::string> ActionText(const LinkAction *action, Catalog *catalog)
{
    if (!action)
        return std::nullopt;
    switch (action->getKind()) {
    case actionGoTo:
        return GoToText(static_cast<const LinkGoTo &>(*action), catalog);
    case actionGoToR: {
        const auto &goToR = static_cast<const LinkGoToR &>(*action);
        std::string file = Text(goToR.getFileName());
        return goToR.getDest() ? "actionGoToR:" + file : file;
    }
    case actionLaunch:
        return "actionLaunch:" + Text(static_cast<const LinkLaunch &>(*action).getFileName());
    case actionURI:
        return "actionURI:" + static_cast<const LinkURI &>(*action).getURI();
    default:
        return std::nullopt;
    }
}

Catalog *CatalogOf(const AnnotLink &link)
{
    PDFDoc *document = link.getDoc();
    return document ? document->getCatalog() : nullptr;
}

} // namespace

void WinOutputDev::processLink(AnnotLink *link)
{
    if (!link)
        return;
    const PDFRectangle &rect = link->getRect();
    // The border comes first: a link without an entry still shows its outline.
    DrawBorder(*this, currentClip_.get(), rect, BorderWidth(*link));

    std::optional<std::string> text = ActionText(link->getAction(), CatalogOf(*link));
    if (!text)
        return;
    const DevicePoint a = UserToDevice(*this, rect.x1, rect.y1);
    const DevicePoint b = UserToDevice(*this, rect.x2, rect.y2);
    links_.push_back(DeviceLink{std::min(a.x, b.x), std::max(a.x, b.x), std::min(a.y, b.y), std::max(a.y, b.y),
                                std::move(*text)});
}

} // namespace lumora

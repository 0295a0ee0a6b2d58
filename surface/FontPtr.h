#pragma once
// Owning pointers for the fontconfig and cairo font objects of the text path.
#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <memory>

namespace lumora {

struct FcPatternDeleter {
    void operator()(FcPattern *pattern) const { FcPatternDestroy(pattern); }
};
struct FcFontSetDeleter {
    void operator()(FcFontSet *fonts) const { FcFontSetDestroy(fonts); }
};
struct FcObjectSetDeleter {
    void operator()(FcObjectSet *objects) const { FcObjectSetDestroy(objects); }
};
struct FcConfigDeleter {
    void operator()(FcConfig *config) const { FcConfigDestroy(config); }
};
struct CairoFontFaceDeleter {
    void operator()(cairo_font_face_t *face) const { cairo_font_face_destroy(face); }
};
struct CairoScaledFontDeleter {
    void operator()(cairo_scaled_font_t *font) const { cairo_scaled_font_destroy(font); }
};
struct CairoFontOptionsDeleter {
    void operator()(cairo_font_options_t *options) const { cairo_font_options_destroy(options); }
};

using FcPatternPtr = std::unique_ptr<FcPattern, FcPatternDeleter>;
using FcFontSetPtr = std::unique_ptr<FcFontSet, FcFontSetDeleter>;
using FcObjectSetPtr = std::unique_ptr<FcObjectSet, FcObjectSetDeleter>;
using FcConfigPtr = std::unique_ptr<FcConfig, FcConfigDeleter>;
using CairoFontFacePtr = std::unique_ptr<cairo_font_face_t, CairoFontFaceDeleter>;
using CairoScaledFontPtr = std::unique_ptr<cairo_scaled_font_t, CairoScaledFontDeleter>;
using CairoFontOptionsPtr = std::unique_ptr<cairo_font_options_t, CairoFontOptionsDeleter>;

} // namespace lumora

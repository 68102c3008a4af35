#include "window/win32/font_book.h"

#include <algorithm>
#include <cmath>

#include "window/win32/caption_fit.h"
#include "window/win32/dpi_geometry.h"

namespace tovanik::win32 {
namespace {

// The design's family first, then its stand-ins: Open Sans and DejaVu Sans as in the
// Linux build, and Tahoma, which every Windows has and Wine ships.
std::vector<std::wstring_view> chainFor(std::string_view family) {
  if (family == "Segoe UI Semibold")
    return {L"Segoe UI Semibold", L"Open Sans Semibold", L"Tahoma", L"DejaVu Sans"};
  if (family == "Segoe UI") return {L"Segoe UI", L"Open Sans", L"Tahoma", L"DejaVu Sans"};
  return {L"Tahoma", L"DejaVu Sans"};
}

LOGFONTW logFont(const Font& f, std::wstring_view face, int dpi, int width, bool underline) {
  LOGFONTW lf{};
  lf.lfHeight = -fontPixelHeight(f.points, dpi);  // negative: the character height
  lf.lfWidth = width;
  lf.lfWeight = f.weight;
  lf.lfItalic = f.italic;
  lf.lfUnderline = underline;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfOutPrecision = OUT_TT_PRECIS;
  lf.lfQuality = CLEARTYPE_QUALITY;
  face.copy(lf.lfFaceName, LF_FACESIZE - 1);
  return lf;
}

// Whether GDI draws `face` itself: the font mapper silently hands back another family
// for a missing one, so the face of the font it chose is compared with the one asked for.
bool present(HDC dc, std::wstring_view face, const Font& f) {
  const LOGFONTW lf = logFont(f, face, kBaseDpi, 0, false);
  HFONT font = CreateFontIndirectW(&lf);
  if (!font) return false;
  HGDIOBJ previous = SelectObject(dc, font);
  wchar_t chosen[LF_FACESIZE] = {};
  GetTextFaceW(dc, LF_FACESIZE, chosen);
  SelectObject(dc, previous);
  DeleteObject(font);
  return CompareStringOrdinal(chosen, -1, lf.lfFaceName, -1, TRUE) == CSTR_EQUAL;
}

}  // namespace

FontBook::FontBook(int dpi) : dpi_(dpi) {}

FontBook::~FontBook() { setDpi(dpi_); }

void FontBook::setDpi(int dpi) {
  for (auto& [key, font] : fonts_) DeleteObject(font);
  fonts_.clear();
  fitted_.clear();
  dpi_ = dpi;
}

const std::wstring* FontBook::family(FontId id, std::size_t i) {
  const Font& design = fontOf(id);
  auto [entry, added] = chains_.try_emplace(id);
  Chain& chain = entry->second;
  if (added) chain.unchecked = chainFor(design.family);
  if (chain.present.size() <= i && !chain.unchecked.empty()) {
    HDC screen = GetDC(nullptr);
    while (chain.present.size() <= i && !chain.unchecked.empty()) {
      const std::wstring_view face = chain.unchecked.front();
      chain.unchecked.erase(chain.unchecked.begin());
      if (present(screen, face, design)) chain.present.emplace_back(face);
    }
    ReleaseDC(nullptr, screen);
    // None present: the mapper's own choice for the design's family.
    if (chain.present.empty() && chain.unchecked.empty() && !chain.fallback) {
      chain.present.emplace_back(chainFor(design.family).front());
      chain.fallback = true;
    }
  }
  return i < chain.present.size() ? &chain.present[i] : nullptr;
}

HFONT FontBook::make(FontId id, std::size_t family, int width, bool underline) {
  const auto key = std::make_tuple(id, family, width, underline);
  auto found = fonts_.find(key);
  if (found != fonts_.end()) return found->second;
  const LOGFONTW lf = logFont(fontOf(id), *this->family(id, family), dpi_, width, underline);
  HFONT font = CreateFontIndirectW(&lf);
  fonts_.emplace(key, font);
  return font;
}

HFONT FontBook::font(FontId id) { return make(id, 0, 0, false); }

int FontBook::measure(HDC dc, HFONT font, std::wstring_view text, int* averageWidth) {
  HGDIOBJ previous = SelectObject(dc, font);
  SIZE size{};
  GetTextExtentPoint32W(dc, text.data(), static_cast<int>(text.size()), &size);
  if (averageWidth) {
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    *averageWidth = metrics.tmAveCharWidth;
  }
  SelectObject(dc, previous);
  return size.cx;
}

HFONT FontBook::captionFont(HDC dc, FontId id, bool underline, std::wstring_view caption,
                            int boxWidth) {
  const auto key = std::make_tuple(id, underline, std::wstring(caption), boxWidth);
  auto found = fitted_.find(key);
  if (found != fitted_.end()) return found->second;

  // Measure family after family until one fits within the narrowest allowed; the usual
  // case, the design's font fitting, measures once.
  std::vector<int> widths, averages;
  for (std::size_t i = 0; family(id, i); ++i) {
    int average = 0;
    widths.push_back(measure(dc, make(id, i, 0, underline), caption, &average));
    averages.push_back(average);
    if (widths.back() * kNarrowest <= boxWidth) break;
  }
  const CaptionFit fit = fitCaption(widths, boxWidth);
  HFONT font = make(id, fit.family, 0, underline);
  if (fit.scale < 1.0) {
    // GDI compresses a font to the average character width asked for; the widths of the
    // glyphs round on their own, so narrow on until the caption really fits.
    int width = std::max(1, static_cast<int>(std::floor(averages[fit.family] * fit.scale)));
    font = make(id, fit.family, width, underline);
    while (width > 1 && measure(dc, font, caption) > boxWidth)
      font = make(id, fit.family, --width, underline);
  }
  fitted_.emplace(key, font);
  return font;
}

}  // namespace tovanik::win32

#include "window/win32/font_book.h"

#include <algorithm>
#include <cmath>

#include "panel/caption_fit.h"
#include "panel/dpi_geometry.h"
#include "panel/font_chain.h"
#include "platform/windows/wide_text.h"

namespace tovanik::win32 {
namespace {

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
  fittedSets_.clear();
  dpi_ = dpi;
}

const std::wstring* FontBook::family(FontId id, std::size_t i) {
  const Font& design = fontOf(id);
  auto [entry, added] = chains_.try_emplace(id);
  Chain& chain = entry->second;
  if (added)
    for (std::string_view face : fontChain(id)) chain.unchecked.push_back(windows::utf16(face));
  if (chain.present.size() <= i && !chain.unchecked.empty()) {
    HDC screen = GetDC(nullptr);
    while (chain.present.size() <= i && !chain.unchecked.empty()) {
      const std::wstring face = chain.unchecked.front();
      chain.unchecked.erase(chain.unchecked.begin());
      if (present(screen, face, design)) chain.present.emplace_back(face);
    }
    ReleaseDC(nullptr, screen);
    // None present: the mapper's own choice for the design's family.
    if (chain.present.empty() && chain.unchecked.empty() && !chain.fallback) {
      chain.present.push_back(windows::utf16(fontChain(id).front()));
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

std::vector<HFONT> FontBook::captionFonts(HDC dc, FontId id,
                                          std::span<const SizedCaption> captions) {
  SetKey key{id, {captions.begin(), captions.end()}};
  auto found = fittedSets_.find(key);
  if (found != fittedSets_.end()) return found->second;

  // Each caption in the GDI font of each family the fit asks for, with the font's average
  // character width, which narrowing scales.
  std::vector<double> boxes;
  for (const SizedCaption& c : captions) boxes.push_back(static_cast<double>(c.boxWidth));
  std::vector<std::vector<int>> averages(captions.size());
  const FittedSet set =
      fitFamilyByFamily(boxes, [&](std::size_t family, std::size_t n) -> std::optional<double> {
        if (!this->family(id, family)) return std::nullopt;
        int average = 0;
        const int width = measure(dc, make(id, family, 0, false), captions[n].text, &average);
        averages[n].push_back(average);
        return width;
      });
  std::vector<HFONT> fonts;
  for (std::size_t n = 0; n < captions.size(); ++n) {
    const CaptionFit& fit = set.fits[n];
    const bool underline = captions[n].underline;
    HFONT font = make(id, fit.family, 0, underline);
    if (fit.scale < 1.0) {
      // GDI compresses a font to the average character width asked for; the widths of the
      // glyphs round on their own, so narrow on until the caption really fits.
      int width = std::max(1, static_cast<int>(std::floor(averages[n][fit.family] * fit.scale)));
      font = make(id, fit.family, width, underline);
      while (width > 1 && measure(dc, font, captions[n].text) > captions[n].boxWidth)
        font = make(id, fit.family, --width, underline);
    }
    fonts.push_back(font);
  }
  fittedSets_.emplace(std::move(key), fonts);
  return fonts;
}

HFONT FontBook::captionFont(HDC dc, FontId id, bool underline, std::wstring_view caption,
                            int boxWidth) {
  const SizedCaption one{std::wstring(caption), boxWidth, underline};
  return captionFonts(dc, id, std::span(&one, 1)).front();
}

}  // namespace tovanik::win32

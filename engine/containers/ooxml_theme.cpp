#include "engine/containers/ooxml_theme.h"

#include <array>

#include "engine/containers/ooxml_xml.h"
#include "engine/containers/xml_reader.h"

namespace corvane {

namespace {

using ooxml::Attrs;

class ThemeReader : public XmlHandler {
 public:
  Theme theme;

  void start(std::string_view ln, const char** atts) override {
    ++depth_;
    if (depth_ == 2 && ln == "themeElements") inElements_ = depth_;
    else if (inElements_ && depth_ == inElements_ + 1 && ln == "clrScheme" && !schemeDone_)
      inScheme_ = depth_;
    else if (inScheme_ && depth_ == inScheme_ + 1) slot_ = SlotOf(ln);
    else if (inScheme_ && slot_ >= 0 && depth_ == inScheme_ + 2) ReadSchemeColor(ln, Attrs(atts));
    else if (ln == "majorFont") fonts_ = &theme.majorFonts;
    else if (ln == "minorFont") fonts_ = &theme.minorFonts;
    else if (ln == "font" && fonts_) {
      Attrs a(atts);
      auto script = a.get("script");
      auto face = a.get("typeface");
      if (script && face && !face->empty()) (*fonts_)[std::string(*script)] = std::string(*face);
    }
  }

  void end(std::string_view ln) override {
    if (inScheme_ && depth_ == inScheme_ + 1) slot_ = -1;
    if (depth_ == inScheme_) {
      inScheme_ = 0;
      schemeDone_ = true;  // later schemes (extraClrSchemeLst) are alternatives, not the theme
    }
    if (depth_ == inElements_) inElements_ = 0;
    if (ln == "majorFont" || ln == "minorFont") fonts_ = nullptr;
    --depth_;
  }

 private:
  static int SlotOf(std::string_view n) {
    static constexpr std::array<std::string_view, kThemeSlots> names = {
        "dk1", "lt1", "dk2", "lt2", "accent1", "accent2", "accent3", "accent4",
        "accent5", "accent6", "hlink", "folHlink"};
    for (size_t i = 0; i < names.size(); ++i)
      if (names[i] == n) return static_cast<int>(i);
    return -1;
  }

  void ReadSchemeColor(std::string_view ln, const Attrs& a) {
    Rgb& slot = theme.colors[static_cast<size_t>(slot_)];
    Rgb v = 0;
    if (ln == "srgbClr") {
      if (auto s = a.get("val"); s && ooxml::ToRgb(*s, v)) slot = v;
    } else if (ln == "sysClr") {
      if (auto s = a.get("lastClr"); s && ooxml::ToRgb(*s, v))
        slot = v;
      else if (auto s2 = a.get("val"))
        slot = *s2 == "window" ? 0xFFFFFF : *s2 == "windowText" ? 0x000000 : slot;
    }
  }

  int depth_ = 0, inElements_ = 0, inScheme_ = 0, slot_ = -1;
  bool schemeDone_ = false;
  std::map<std::string, std::string>* fonts_ = nullptr;
};

}  // namespace

Theme ReadTheme(std::string_view themeXml, const std::string& what) {
  ThemeReader reader;
  if (!themeXml.empty()) XmlParser::Parse(reader, themeXml, what);
  return std::move(reader.theme);
}

}  // namespace corvane

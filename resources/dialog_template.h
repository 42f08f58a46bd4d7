#pragma once

#include <cstdint>
#include <span>

// The dialog templates and the icon as data: the single source from which every backend builds
// its windows. Styles are the Win32 style bits, so the Win32 backend can use them unchanged.
namespace res {

enum class ControlKind {
  GroupBox,
  Static,      // static text (SS_* in style)
  Frame,       // etched frame or separator line
  Edit,        // ES_* in style
  PushButton,  // BS_DEFPUSHBUTTON in style for the default button
  CheckBox,    // automatic check box
  ComboBox,    // drop-down with edit field
  ListView,    // report view
};

namespace style {
constexpr std::uint32_t WS_POPUP = 0x80000000;
constexpr std::uint32_t WS_CHILD = 0x40000000;
constexpr std::uint32_t WS_VISIBLE = 0x10000000;
constexpr std::uint32_t WS_DISABLED = 0x08000000;
constexpr std::uint32_t WS_CAPTION = 0x00C00000;
constexpr std::uint32_t WS_BORDER = 0x00800000;
constexpr std::uint32_t WS_VSCROLL = 0x00200000;
constexpr std::uint32_t WS_HSCROLL = 0x00100000;
constexpr std::uint32_t WS_SYSMENU = 0x00080000;
constexpr std::uint32_t WS_GROUP = 0x00020000;
constexpr std::uint32_t WS_TABSTOP = 0x00010000;
constexpr std::uint32_t DS_MODALFRAME = 0x0080;
constexpr std::uint32_t DS_SETFONT = 0x0040;
constexpr std::uint32_t WS_EX_APPWINDOW = 0x00040000;
constexpr std::uint32_t WS_EX_STATICEDGE = 0x00020000;
constexpr std::uint32_t WS_EX_CLIENTEDGE = 0x00000200;
constexpr std::uint32_t BS_DEFPUSHBUTTON = 0x0001;
constexpr std::uint32_t BS_AUTOCHECKBOX = 0x0003;
constexpr std::uint32_t BS_GROUPBOX = 0x0007;
constexpr std::uint32_t BS_LEFT = 0x0100;
constexpr std::uint32_t BS_TOP = 0x0400;
constexpr std::uint32_t BS_MULTILINE = 0x2000;
constexpr std::uint32_t ES_MULTILINE = 0x0004;
constexpr std::uint32_t ES_AUTOVSCROLL = 0x0040;
constexpr std::uint32_t ES_AUTOHSCROLL = 0x0080;
constexpr std::uint32_t ES_READONLY = 0x0800;
constexpr std::uint32_t SS_CENTER = 0x0001;
constexpr std::uint32_t SS_ETCHEDFRAME = 0x0012;
constexpr std::uint32_t SS_SUNKEN = 0x1000;
constexpr std::uint32_t CBS_DROPDOWN = 0x0002;
constexpr std::uint32_t LVS_REPORT = 0x0001;
}  // namespace style

constexpr int IDC_STATIC = -1;  // a control without a number

struct ControlTemplate {
  int id;
  ControlKind kind;
  const char* text;
  short x, y, cx, cy;  // dialog units
  std::uint32_t style;
  std::uint32_t exStyle;
  std::span<const char* const> items;  // initial entries of a combo box
};

struct DialogTemplate {
  int id;
  const char* caption;
  short cx, cy;  // dialog units
  const char* fontName;
  short pointSize;
  std::uint32_t style;
  std::uint32_t exStyle;
  bool extended;  // built in the extended template form
  std::span<const ControlTemplate> controls;
};

// nullptr for an unknown id.
[[nodiscard]] const DialogTemplate* FindDialogTemplate(int id);

// A 16-colour icon image: one palette index (0-15) per pixel, rows from the top, and an AND
// mask in which true marks a transparent pixel.
struct IconImage {
  int size;  // 32 or 16
  std::span<const std::uint8_t> pixels;
  std::span<const bool> transparent;
};
struct RgbColour {
  std::uint8_t r, g, b;
};
// The standard 16-colour palette the icon images index.
[[nodiscard]] std::span<const RgbColour, 16> IconPalette();
// Icon 128: the 32x32 image first, then the 16x16 image.
[[nodiscard]] std::span<const IconImage> MainIconImages();

}  // namespace res

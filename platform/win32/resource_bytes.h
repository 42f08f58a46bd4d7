#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "resources/dialog_template.h"

// Byte images that the Win32 API and the resource compiler take, built from the data in
// resources/. Plain C++ with no Windows header, so that the layout can be checked on any host and
// the icon file can be written by a tool that runs on the build machine.
namespace win32 {

// Window class atoms of the predefined control classes, as a dialog template names them.
constexpr std::uint16_t kButtonAtom = 0x0080;
constexpr std::uint16_t kEditAtom = 0x0081;
constexpr std::uint16_t kStaticAtom = 0x0082;
constexpr std::uint16_t kComboBoxAtom = 0x0085;
constexpr const char* kListViewClass = "SysListView32";

// The full style a control is created with: the template's bits, plus WS_CHILD and the type bits
// its kind implies when the template leaves the type field empty.
[[nodiscard]] std::uint32_t ControlStyle(const res::ControlTemplate& control);

// The template in the form CreateDialogIndirectParam takes: a DLGTEMPLATE with its items, or a
// DLGTEMPLATEEX with its items when `extended` is set. Words, so that the start is aligned the
// way the dialog manager needs; items start on a 4-byte boundary from the start.
[[nodiscard]] std::vector<std::uint16_t> BuildDialogTemplate(const res::DialogTemplate& dialog);

// A file dialog filter written "Name|pattern|...||" becomes the NUL-separated list that
// GetOpenFileName takes, ending in two NULs. A filter without the closing bars is closed too.
[[nodiscard]] std::string FileDialogFilter(const char* barSeparated);

// The default extension as the file dialog appends it: without a leading "*." or ".".
[[nodiscard]] std::string FileDialogDefaultExtension(const char* extension);

// A .ico file of 4-bit images with their AND masks, from the icon data of the resources. An
// image whose pixel or mask data is shorter than its size asks for is left out.
[[nodiscard]] std::vector<std::uint8_t> BuildIconFile(std::span<const res::IconImage> images,
                                                      std::span<const res::RgbColour, 16> palette);

}  // namespace win32

#pragma once

#include <QFont>
#include <QRect>
#include <QString>
#include <string>
#include <string_view>

#include "resources/dialog_template.h"

// The pieces of the Qt window that are plain conversions: the dialog font and its units, texts
// between the tool's byte strings and Qt, the file-open filter, and key codes.
namespace qtui {

// Dialog units of one font, converted to pixels the way the dialog manager does it: a
// horizontal unit is a quarter of the average character width, a vertical one an eighth of the
// character height.
struct DialogUnits {
  int baseX = 0;
  int baseY = 0;

  [[nodiscard]] int X(int dlu) const { return MulDiv(dlu, baseX, 4); }
  [[nodiscard]] int Y(int dlu) const { return MulDiv(dlu, baseY, 8); }
  [[nodiscard]] QRect Rect(int x, int y, int cx, int cy) const {
    return {X(x), Y(y), X(cx), Y(cy)};
  }
  // a * b / c rounded to the nearest integer, halves away from zero.
  [[nodiscard]] static int MulDiv(int a, int b, int c);
};

// The template's font when it is installed, otherwise a sans-serif face of the same point size,
// preferring faces with the metrics of the usual Windows dialog fonts.
[[nodiscard]] QFont DialogFont(const res::DialogTemplate& dialogTemplate);
// baseX: the average width of "A".."Z" and "a".."z", rounded; baseY: the font's height.
[[nodiscard]] DialogUnits UnitsOf(const QFont& font);

// The tool's texts are byte strings: UTF-8 where they are valid UTF-8 (paths, typed text),
// otherwise one character per byte (instrument texts with arbitrary bytes).
[[nodiscard]] QString ToQString(std::string_view text);
[[nodiscard]] std::string ToStdString(const QString& text);
// The tool ends its lines with "\r\n"; a widget shows line breaks as "\n". A lone "\n" is
// taken as a break as well, and a lone "\r" is dropped.
[[nodiscard]] QString ToDisplayLines(std::string_view text);
// The text of a static control without its mnemonic marks: "&&" shows as "&", a single "&"
// only underlines the next letter on Windows and is left out here.
[[nodiscard]] QString WithoutMnemonics(std::string_view text);

// "Binary files (*.bin)|*.bin||" becomes "Binary files (*.bin)": one "Name (patterns)" entry
// per pair, separated by ";;", the patterns appended only when the name does not end with them.
[[nodiscard]] QString FileDialogFilter(const char* filter);
// The default extension without a leading "*." or ".": "*.bin" becomes "bin".
[[nodiscard]] QString DefaultSuffix(const char* extension);

// The Windows virtual-key code of a Qt key, 0 when it has none. Letters give their upper-case
// code, digits and the shifted digits of a US keyboard their digit.
[[nodiscard]] unsigned VirtualKey(int qtKey);

}  // namespace qtui

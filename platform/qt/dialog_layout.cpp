#include "platform/qt/dialog_layout.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QStringDecoder>
#include <QStringList>
#include <cstdint>

namespace qtui {

namespace {

// Faces whose widths come close to the Windows dialog fonts, so that the template texts fit
// their controls as they were laid out for.
constexpr const char* kStandInFaces[] = {
    "Microsoft Sans Serif", "Arial", "Liberation Sans", "Arimo", "Helvetica", "Nimbus Sans"};

bool IsInstalled(const QStringList& families, const QString& face) {
  return families.contains(face, Qt::CaseInsensitive);
}

}  // namespace

int DialogUnits::MulDiv(int a, int b, int c) {
  if (c == 0) return 0;
  const std::int64_t product = static_cast<std::int64_t>(a) * b;
  const std::int64_t half = (c > 0 ? c : -c) / 2;
  const bool negative = (product < 0) != (c < 0);
  const std::int64_t magnitude = ((product < 0 ? -product : product) + half) / (c > 0 ? c : -c);
  return static_cast<int>(negative ? -magnitude : magnitude);
}

QFont DialogFont(const res::DialogTemplate& dialogTemplate) {
  const QStringList families = QFontDatabase::families();
  QFont font;
  const QString wanted = QString::fromLatin1(dialogTemplate.fontName);
  if (IsInstalled(families, wanted)) {
    font.setFamily(wanted);
  } else {
    font.setStyleHint(QFont::SansSerif);
    font.setFamily(QStringLiteral("Sans Serif"));
    for (const char* face : kStandInFaces) {
      if (IsInstalled(families, QString::fromLatin1(face))) {
        font.setFamily(QString::fromLatin1(face));
        break;
      }
    }
  }
  font.setPointSize(dialogTemplate.pointSize > 0 ? dialogTemplate.pointSize : 8);
  return font;
}

DialogUnits UnitsOf(const QFont& font) {
  const QFontMetrics metrics(font);
  const int width = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  // The width of 52 letters, halved per 26 and rounded: the average character width.
  return {(width / 26 + 1) / 2, metrics.height()};
}

QString ToQString(std::string_view text) {
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString decoded = utf8.decode(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
  if (!utf8.hasError()) return decoded;
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToStdString(const QString& text) {
  return text.toStdString();
}

QString ToDisplayLines(std::string_view text) {
  std::string lines;
  lines.reserve(text.size());
  for (const char c : text) {
    if (c != '\r') lines.push_back(c);
  }
  return ToQString(lines);
}

QString WithoutMnemonics(std::string_view text) {
  std::string shown;
  shown.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '&') {
      shown.push_back(text[i]);
    } else if (i + 1 < text.size() && text[i + 1] == '&') {
      shown.push_back('&');
      ++i;
    }
  }
  return ToQString(shown);
}

QString FileDialogFilter(const char* filter) {
  if (filter == nullptr) return {};
  const QStringList parts = QString::fromLatin1(filter).split(QLatin1Char('|'));
  QStringList entries;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    const QString name = parts[i];
    const QString patterns = parts[i + 1];
    if (name.isEmpty() || patterns.isEmpty()) break;
    // Qt takes the patterns from the parenthesised end of an entry, separated by blanks.
    const QString qtPatterns = QString(patterns).replace(QLatin1Char(';'), QLatin1Char(' '));
    const QString ending = QStringLiteral("(") + qtPatterns + QStringLiteral(")");
    entries << (name.trimmed().endsWith(ending) ? name : name + QStringLiteral(" ") + ending);
  }
  return entries.join(QStringLiteral(";;"));
}

QString DefaultSuffix(const char* extension) {
  if (extension == nullptr) return {};
  QString suffix = QString::fromLatin1(extension);
  if (suffix.startsWith(QLatin1Char('*'))) suffix.remove(0, 1);
  if (suffix.startsWith(QLatin1Char('.'))) suffix.remove(0, 1);
  return suffix;
}

unsigned VirtualKey(int qtKey) {
  if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) return static_cast<unsigned>(qtKey);
  if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) return static_cast<unsigned>(qtKey);
  if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) {
    return 0x70u + static_cast<unsigned>(qtKey - Qt::Key_F1);
  }
  struct Pair {
    int qt;
    unsigned vk;
  };
  static constexpr Pair kKeys[] = {
      {Qt::Key_Backspace, 0x08},  {Qt::Key_Tab, 0x09},       {Qt::Key_Backtab, 0x09},
      {Qt::Key_Return, 0x0D},     {Qt::Key_Enter, 0x0D},     {Qt::Key_Shift, 0x10},
      {Qt::Key_Control, 0x11},    {Qt::Key_Alt, 0x12},       {Qt::Key_Pause, 0x13},
      {Qt::Key_CapsLock, 0x14},   {Qt::Key_Escape, 0x1B},    {Qt::Key_Space, 0x20},
      {Qt::Key_PageUp, 0x21},     {Qt::Key_PageDown, 0x22},  {Qt::Key_End, 0x23},
      {Qt::Key_Home, 0x24},       {Qt::Key_Left, 0x25},      {Qt::Key_Up, 0x26},
      {Qt::Key_Right, 0x27},      {Qt::Key_Down, 0x28},      {Qt::Key_Insert, 0x2D},
      {Qt::Key_Delete, 0x2E},     {Qt::Key_Exclam, '1'},     {Qt::Key_At, '2'},
      {Qt::Key_NumberSign, '3'},  {Qt::Key_Dollar, '4'},     {Qt::Key_Percent, '5'},
      {Qt::Key_AsciiCircum, '6'}, {Qt::Key_Ampersand, '7'},  {Qt::Key_Asterisk, '8'},
      {Qt::Key_ParenLeft, '9'},   {Qt::Key_ParenRight, '0'},
  };
  for (const Pair& pair : kKeys) {
    if (pair.qt == qtKey) return pair.vk;
  }
  return 0;
}

}  // namespace qtui

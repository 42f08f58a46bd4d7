#include "platform/win32/resource_bytes.h"

namespace win32 {

namespace {

// Style bits used here that the resources do not name.
constexpr std::uint32_t kWsChild = 0x40000000;
constexpr std::uint32_t kDsSetFont = 0x0040;
constexpr std::uint32_t kButtonTypeMask = 0x000F;
constexpr std::uint32_t kStaticTypeMask = 0x001F;
constexpr std::uint32_t kComboTypeMask = 0x0003;
constexpr std::uint32_t kListViewTypeMask = 0x0003;
constexpr std::uint32_t kBsGroupBox = 0x0007;
constexpr std::uint32_t kBsAutoCheckBox = 0x0003;
constexpr std::uint32_t kSsEtchedFrame = 0x0012;
constexpr std::uint32_t kCbsDropDown = 0x0002;
constexpr std::uint32_t kLvsReport = 0x0001;
constexpr std::uint16_t kFontWeightNormal = 400;

class WordWriter {
 public:
  void Word(std::uint16_t value) { words_.push_back(value); }
  void Short(short value) { Word(static_cast<std::uint16_t>(value)); }
  void Dword(std::uint32_t value) {
    Word(static_cast<std::uint16_t>(value & 0xFFFF));
    Word(static_cast<std::uint16_t>(value >> 16));
  }
  // Texts are ASCII; each byte becomes one UTF-16 unit, then the terminating zero.
  void Text(const char* text) {
    if (text != nullptr) {
      for (const char* p = text; *p != '\0'; ++p) Word(static_cast<unsigned char>(*p));
    }
    Word(0);
  }
  void Ordinal(std::uint16_t atom) {
    Word(0xFFFF);
    Word(atom);
  }
  void AlignToDword() {
    if (words_.size() % 2 != 0) Word(0);
  }
  std::vector<std::uint16_t> Take() { return std::move(words_); }

 private:
  std::vector<std::uint16_t> words_;
};

void WriteClass(WordWriter& out, res::ControlKind kind) {
  switch (kind) {
    case res::ControlKind::GroupBox:
    case res::ControlKind::PushButton:
    case res::ControlKind::CheckBox:
      out.Ordinal(kButtonAtom);
      return;
    case res::ControlKind::Static:
    case res::ControlKind::Frame:
      out.Ordinal(kStaticAtom);
      return;
    case res::ControlKind::Edit:
      out.Ordinal(kEditAtom);
      return;
    case res::ControlKind::ComboBox:
      out.Ordinal(kComboBoxAtom);
      return;
    case res::ControlKind::ListView:
      out.Text(kListViewClass);
      return;
  }
}

std::uint32_t WithType(std::uint32_t style, std::uint32_t mask, std::uint32_t type) {
  return (style & mask) == 0 ? style | type : style;
}

std::uint32_t DialogStyle(const res::DialogTemplate& dialog) {
  return dialog.fontName != nullptr ? dialog.style | kDsSetFont : dialog.style;
}

}  // namespace

std::uint32_t ControlStyle(const res::ControlTemplate& control) {
  const std::uint32_t style = control.style | kWsChild;
  switch (control.kind) {
    case res::ControlKind::GroupBox:
      return (style & ~kButtonTypeMask) | kBsGroupBox;
    case res::ControlKind::CheckBox:
      return WithType(style, kButtonTypeMask, kBsAutoCheckBox);
    case res::ControlKind::Frame:
      return WithType(style, kStaticTypeMask, kSsEtchedFrame);
    case res::ControlKind::ComboBox:
      return WithType(style, kComboTypeMask, kCbsDropDown);
    case res::ControlKind::ListView:
      return WithType(style, kListViewTypeMask, kLvsReport);
    case res::ControlKind::Static:
    case res::ControlKind::Edit:
    case res::ControlKind::PushButton:
      return style;
  }
  return style;
}

std::vector<std::uint16_t> BuildDialogTemplate(const res::DialogTemplate& dialog) {
  WordWriter out;
  const std::uint32_t style = DialogStyle(dialog);
  const auto count = static_cast<std::uint16_t>(dialog.controls.size());
  // The position is left at 0,0: the dialog manager centres a window with DS_CENTER, and
  // otherwise the owner's position decides, as for any template.
  if (dialog.extended) {
    out.Word(1);       // dlgVer
    out.Word(0xFFFF);  // signature of the extended form
    out.Dword(0);      // helpID
    out.Dword(dialog.exStyle);
    out.Dword(style);
  } else {
    out.Dword(style);
    out.Dword(dialog.exStyle);
  }
  out.Word(count);
  out.Short(0);
  out.Short(0);
  out.Short(dialog.cx);
  out.Short(dialog.cy);
  out.Word(0);  // no menu
  out.Word(0);  // the standard dialog class
  out.Text(dialog.caption);
  if ((style & kDsSetFont) != 0) {
    out.Word(static_cast<std::uint16_t>(dialog.pointSize));
    if (dialog.extended) {
      out.Word(kFontWeightNormal);
      out.Word(0);  // not italic; the default character set
    }
    out.Text(dialog.fontName);
  }

  for (const res::ControlTemplate& control : dialog.controls) {
    out.AlignToDword();
    if (dialog.extended) {
      out.Dword(0);  // helpID
      out.Dword(control.exStyle);
      out.Dword(ControlStyle(control));
    } else {
      out.Dword(ControlStyle(control));
      out.Dword(control.exStyle);
    }
    out.Short(control.x);
    out.Short(control.y);
    out.Short(control.cx);
    out.Short(control.cy);
    if (dialog.extended) {
      out.Dword(static_cast<std::uint32_t>(control.id));
    } else {
      out.Word(static_cast<std::uint16_t>(control.id));
    }
    WriteClass(out, control.kind);
    out.Text(control.text);
    out.Word(0);  // no creation data
  }
  return out.Take();
}

std::string FileDialogFilter(const char* barSeparated) {
  std::string filter = barSeparated != nullptr ? barSeparated : "";
  for (char& c : filter) {
    if (c == '|') c = '\0';
  }
  // The list ends with an empty entry: two NULs in a row, the string's own one included.
  if (filter.empty() || filter.back() != '\0') filter.push_back('\0');
  if (filter.size() < 2 || filter[filter.size() - 2] != '\0') filter.push_back('\0');
  return filter;
}

std::string FileDialogDefaultExtension(const char* extension) {
  std::string_view text = extension != nullptr ? extension : "";
  if (text.starts_with("*")) text.remove_prefix(1);
  if (text.starts_with(".")) text.remove_prefix(1);
  return std::string(text);
}

}  // namespace win32

namespace win32 {

namespace {

class ByteWriter {
 public:
  void Byte(std::uint8_t value) { bytes_.push_back(value); }
  void Word(std::uint16_t value) {
    Byte(static_cast<std::uint8_t>(value & 0xFF));
    Byte(static_cast<std::uint8_t>(value >> 8));
  }
  void Dword(std::uint32_t value) {
    Word(static_cast<std::uint16_t>(value & 0xFFFF));
    Word(static_cast<std::uint16_t>(value >> 16));
  }
  [[nodiscard]] std::size_t size() const { return bytes_.size(); }
  std::vector<std::uint8_t> Take() { return std::move(bytes_); }

 private:
  std::vector<std::uint8_t> bytes_;
};

constexpr std::uint32_t kIconDirSize = 6;
constexpr std::uint32_t kIconDirEntrySize = 16;
constexpr std::uint32_t kBitmapInfoHeaderSize = 40;
constexpr std::uint32_t kPaletteSize = 16 * 4;
constexpr std::uint16_t kBitsPerPixel = 4;

// Bitmap rows are padded to whole 32-bit words.
std::uint32_t RowBytes(int width, int bitsPerPixel) {
  return static_cast<std::uint32_t>((width * bitsPerPixel + 31) / 32 * 4);
}

std::uint32_t ImageBytes(const res::IconImage& image) {
  const auto rows = static_cast<std::uint32_t>(image.size);
  return kBitmapInfoHeaderSize + kPaletteSize + rows * RowBytes(image.size, kBitsPerPixel) +
         rows * RowBytes(image.size, 1);
}

void WriteImage(ByteWriter& out, const res::IconImage& image,
                std::span<const res::RgbColour, 16> palette) {
  const int size = image.size;
  out.Dword(kBitmapInfoHeaderSize);
  out.Dword(static_cast<std::uint32_t>(size));
  out.Dword(static_cast<std::uint32_t>(size * 2));  // the colour image and the mask, stacked
  out.Word(1);                                      // planes
  out.Word(kBitsPerPixel);
  out.Dword(0);  // no compression
  out.Dword(ImageBytes(image) - kBitmapInfoHeaderSize - kPaletteSize);
  out.Dword(0);
  out.Dword(0);
  out.Dword(16);  // colours used
  out.Dword(0);
  for (const res::RgbColour& colour : palette) {
    out.Byte(colour.b);
    out.Byte(colour.g);
    out.Byte(colour.r);
    out.Byte(0);
  }
  // Both bitmaps are stored bottom row first. A transparent pixel is black in the colour image,
  // so that the mask alone decides what shows through.
  const auto at = [&](int x, int y) { return static_cast<std::size_t>(y * size + x); };
  for (int y = size - 1; y >= 0; --y) {
    std::uint32_t written = 0;
    for (int x = 0; x < size; x += 2) {
      std::uint8_t pair = 0;
      for (int half = 0; half < 2; ++half) {
        const int px = x + half;
        if (px >= size) break;
        const std::uint8_t index = image.transparent[at(px, y)]
                                       ? 0
                                       : static_cast<std::uint8_t>(image.pixels[at(px, y)] & 0x0F);
        pair = static_cast<std::uint8_t>(pair | (half == 0 ? index << 4 : index));
      }
      out.Byte(pair);
      ++written;
    }
    for (; written < RowBytes(size, kBitsPerPixel); ++written) out.Byte(0);
  }
  for (int y = size - 1; y >= 0; --y) {
    std::uint32_t written = 0;
    for (int x = 0; x < size; x += 8) {
      std::uint8_t bits = 0;
      for (int bit = 0; bit < 8 && x + bit < size; ++bit) {
        if (image.transparent[at(x + bit, y)])
          bits = static_cast<std::uint8_t>(bits | (0x80 >> bit));
      }
      out.Byte(bits);
      ++written;
    }
    for (; written < RowBytes(size, 1); ++written) out.Byte(0);
  }
}

}  // namespace

std::vector<std::uint8_t> BuildIconFile(std::span<const res::IconImage> allImages,
                                        std::span<const res::RgbColour, 16> palette) {
  std::vector<res::IconImage> images;
  for (const res::IconImage& image : allImages) {
    const auto pixelCount =
        static_cast<std::size_t>(image.size) * static_cast<std::size_t>(image.size);
    if (image.size > 0 && image.size <= 256 && image.pixels.size() >= pixelCount &&
        image.transparent.size() >= pixelCount) {
      images.push_back(image);
    }
  }
  ByteWriter out;
  out.Word(0);  // reserved
  out.Word(1);  // an icon, not a cursor
  out.Word(static_cast<std::uint16_t>(images.size()));
  std::uint32_t offset =
      kIconDirSize + kIconDirEntrySize * static_cast<std::uint32_t>(images.size());
  for (const res::IconImage& image : images) {
    // A size of 256 is written as 0.
    out.Byte(static_cast<std::uint8_t>(image.size));
    out.Byte(static_cast<std::uint8_t>(image.size));
    out.Byte(16);  // colours
    out.Byte(0);
    out.Word(1);  // planes
    out.Word(kBitsPerPixel);
    out.Dword(ImageBytes(image));
    out.Dword(offset);
    offset += ImageBytes(image);
  }
  for (const res::IconImage& image : images) WriteImage(out, image, palette);
  return out.Take();
}

}  // namespace win32

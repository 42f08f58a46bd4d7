#include "platform/win32/resource_bytes.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "resources/dialog_template.h"
#include "resources/resource_ids.h"

namespace {

namespace st = res::style;

// Reads a dialog template image back the way the dialog manager walks it.
class TemplateReader {
 public:
  explicit TemplateReader(const std::vector<std::uint16_t>& words) : words_(words) {}

  std::uint16_t Word() { return at_ < words_.size() ? words_[at_++] : Overrun(); }
  std::uint32_t Dword() {
    const std::uint32_t low = Word();
    return low | static_cast<std::uint32_t>(Word()) << 16;
  }
  short Short() { return static_cast<short>(Word()); }
  std::string Text() {
    std::string text;
    for (std::uint16_t c = Word(); c != 0; c = Word()) text.push_back(static_cast<char>(c));
    return text;
  }
  // A class or title: an ordinal after 0xFFFF, or a text.
  std::string ClassOrText() {
    if (at_ < words_.size() && words_[at_] == 0xFFFF) {
      Word();
      return std::string("#").append(std::to_string(Word()));
    }
    return Text();
  }
  void AlignToDword() {
    if (at_ % 2 != 0) {
      EXPECT_EQ(Word(), 0) << "padding";
    }
  }
  [[nodiscard]] bool AtEnd() const { return at_ == words_.size(); }
  [[nodiscard]] std::size_t position() const { return at_; }

 private:
  std::uint16_t Overrun() {
    ADD_FAILURE() << "read past the end of the template";
    return 0;
  }
  const std::vector<std::uint16_t>& words_;
  std::size_t at_ = 0;
};

std::string ExpectedClass(res::ControlKind kind) {
  switch (kind) {
    case res::ControlKind::GroupBox:
    case res::ControlKind::PushButton:
    case res::ControlKind::CheckBox:
      return "#128";
    case res::ControlKind::Edit:
      return "#129";
    case res::ControlKind::Static:
    case res::ControlKind::Frame:
      return "#130";
    case res::ControlKind::ComboBox:
      return "#133";
    case res::ControlKind::ListView:
      return "SysListView32";
  }
  return "?";
}

TEST(DialogTemplateImage, EveryTemplateReadsBackAsTheDialogManagerWalksIt) {
  struct Case {
    int id;
    bool extended;
  };
  const Case cases[] = {{res::IDD_MAIN, false},
                        {res::IDD_ICTRL_CMD, false},
                        {res::IDD_ECTRL_CMD, true},
                        {res::IDD_RELAY_TEST, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE("template " + std::to_string(c.id));
    const res::DialogTemplate* dialog = res::FindDialogTemplate(c.id);
    ASSERT_NE(dialog, nullptr);
    ASSERT_EQ(dialog->extended, c.extended);
    const std::vector<std::uint16_t> image = win32::BuildDialogTemplate(*dialog);
    TemplateReader in(image);

    std::uint32_t style = 0;
    std::uint32_t exStyle = 0;
    if (c.extended) {
      EXPECT_EQ(in.Word(), 1);       // version
      EXPECT_EQ(in.Word(), 0xFFFF);  // signature
      EXPECT_EQ(in.Dword(), 0u);     // help id
      exStyle = in.Dword();
      style = in.Dword();
    } else {
      style = in.Dword();
      exStyle = in.Dword();
    }
    EXPECT_EQ(style, dialog->style | st::DS_SETFONT);
    EXPECT_EQ(exStyle, dialog->exStyle);
    EXPECT_EQ(in.Word(), dialog->controls.size());
    in.Short();  // x
    in.Short();  // y
    EXPECT_EQ(in.Short(), dialog->cx);
    EXPECT_EQ(in.Short(), dialog->cy);
    EXPECT_EQ(in.ClassOrText(), "");  // no menu
    EXPECT_EQ(in.ClassOrText(), "");  // the standard dialog class
    EXPECT_EQ(in.Text(), dialog->caption);
    EXPECT_EQ(in.Word(), 8);  // points
    if (c.extended) {
      EXPECT_EQ(in.Word(), 400);  // weight
      EXPECT_EQ(in.Word(), 0);    // italic, character set
    }
    EXPECT_EQ(in.Text(), "MS Sans Serif");

    for (const res::ControlTemplate& control : dialog->controls) {
      SCOPED_TRACE(std::string("control ") + std::to_string(control.id) + " \"" + control.text +
                   "\"");
      in.AlignToDword();
      EXPECT_EQ(in.position() % 2, 0u);
      std::uint32_t itemStyle = 0;
      std::uint32_t itemExStyle = 0;
      if (c.extended) {
        EXPECT_EQ(in.Dword(), 0u);  // help id
        itemExStyle = in.Dword();
        itemStyle = in.Dword();
      } else {
        itemStyle = in.Dword();
        itemExStyle = in.Dword();
      }
      EXPECT_EQ(itemStyle, win32::ControlStyle(control));
      EXPECT_EQ(itemExStyle, control.exStyle);
      EXPECT_EQ(in.Short(), control.x);
      EXPECT_EQ(in.Short(), control.y);
      EXPECT_EQ(in.Short(), control.cx);
      EXPECT_EQ(in.Short(), control.cy);
      const int id = c.extended ? static_cast<int>(in.Dword()) : static_cast<short>(in.Word());
      EXPECT_EQ(id, control.id);
      EXPECT_EQ(in.ClassOrText(), ExpectedClass(control.kind));
      EXPECT_EQ(in.ClassOrText(), control.text);
      EXPECT_EQ(in.Word(), 0);  // no creation data
    }
    EXPECT_TRUE(in.AtEnd());
  }
}

TEST(DialogTemplateImage, ControlStylesAreChildrenOfTheirKind) {
  struct Case {
    const char* name;
    res::ControlKind kind;
    std::uint32_t style;
    std::uint32_t expected;
  };
  const Case cases[] = {
      {"group box", res::ControlKind::GroupBox, st::WS_VISIBLE,
       st::WS_CHILD | st::WS_VISIBLE | st::BS_GROUPBOX},
      {"check box keeps its multi-line text", res::ControlKind::CheckBox,
       st::WS_VISIBLE | st::BS_MULTILINE | st::BS_TOP | st::BS_LEFT,
       st::WS_CHILD | st::WS_VISIBLE | st::BS_MULTILINE | st::BS_TOP | st::BS_LEFT |
           st::BS_AUTOCHECKBOX},
      {"hidden check box stays hidden", res::ControlKind::CheckBox, st::BS_AUTOCHECKBOX,
       st::WS_CHILD | st::BS_AUTOCHECKBOX},
      {"default push button", res::ControlKind::PushButton, st::BS_DEFPUSHBUTTON,
       st::WS_CHILD | st::BS_DEFPUSHBUTTON},
      {"frame without a type is etched", res::ControlKind::Frame, 0,
       st::WS_CHILD | st::SS_ETCHEDFRAME},
      {"centred text stays centred", res::ControlKind::Static, st::SS_CENTER,
       st::WS_CHILD | st::SS_CENTER},
      {"combo box drops down", res::ControlKind::ComboBox, st::WS_VSCROLL,
       st::WS_CHILD | st::WS_VSCROLL | st::CBS_DROPDOWN},
      {"list view is a report", res::ControlKind::ListView, st::WS_BORDER,
       st::WS_CHILD | st::WS_BORDER | st::LVS_REPORT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const res::ControlTemplate control{1, c.kind, "", 0, 0, 1, 1, c.style, 0, {}};
    EXPECT_EQ(win32::ControlStyle(control), c.expected);
  }
}

TEST(FileDialogSettings, FilterBecomesNulSeparatedListWithClosingEmptyEntry) {
  struct Case {
    const char* name;
    const char* filter;
    std::string expected;
  };
  using namespace std::string_literals;
  const Case cases[] = {
      {"one entry with closing bars", "Binary files (*.bin)|*.bin||",
       "Binary files (*.bin)\0*.bin\0\0"s},
      {"closing bars missing", "Binary files (*.bin)|*.bin", "Binary files (*.bin)\0*.bin\0\0"s},
      {"two entries", "A|*.a|B|*.b||", "A\0*.a\0B\0*.b\0\0"s},
      {"none", nullptr, "\0\0"s},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(win32::FileDialogFilter(c.filter), c.expected);
  }
}

TEST(FileDialogSettings, DefaultExtensionLosesWildcardAndDot) {
  EXPECT_EQ(win32::FileDialogDefaultExtension("*.bin"), "bin");
  EXPECT_EQ(win32::FileDialogDefaultExtension(".bin"), "bin");
  EXPECT_EQ(win32::FileDialogDefaultExtension("bin"), "bin");
  EXPECT_EQ(win32::FileDialogDefaultExtension(nullptr), "");
}

std::uint32_t Dword(const std::vector<std::uint8_t>& bytes, std::size_t at) {
  return static_cast<std::uint32_t>(bytes.at(at) | bytes.at(at + 1) << 8 | bytes.at(at + 2) << 16 |
                                    bytes.at(at + 3) << 24);
}
std::uint16_t Word(const std::vector<std::uint8_t>& bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes.at(at) | bytes.at(at + 1) << 8);
}

TEST(IconFile, SmallImageIsStoredBottomUpWithItsMask) {
  // A 16x16 fixture: palette index = row number (0-15), with the top-left pixel transparent.
  std::array<std::uint8_t, 256> pixels{};
  std::array<bool, 256> transparent{};
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x)
      pixels[static_cast<std::size_t>(y * 16 + x)] = static_cast<std::uint8_t>(y);
  }
  pixels[1] = 9;  // top row, second pixel: the low nibble of the first byte of that row
  transparent[0] = true;
  const res::IconImage image{16, pixels, transparent};
  const std::vector<std::uint8_t> file =
      win32::BuildIconFile(std::span(&image, 1), res::IconPalette());

  const std::size_t imageBytes = 40 + 64 + 16 * 8 + 16 * 4;
  ASSERT_EQ(file.size(), 6 + 16 + imageBytes);
  EXPECT_EQ(Word(file, 2), 1);  // an icon
  EXPECT_EQ(Word(file, 4), 1);  // one image
  EXPECT_EQ(file[6], 16);
  EXPECT_EQ(file[8], 16);        // colours
  EXPECT_EQ(Word(file, 12), 4);  // bits per pixel
  EXPECT_EQ(Dword(file, 14), imageBytes);
  const std::size_t header = Dword(file, 18);
  EXPECT_EQ(header, 22u);
  EXPECT_EQ(Dword(file, header + 4), 16u);
  EXPECT_EQ(Dword(file, header + 8), 32u);  // image and mask stacked

  // The palette follows as blue, green, red, zero.
  const res::RgbColour red = res::IconPalette()[9];
  EXPECT_EQ(file[header + 40 + 9 * 4], red.b);
  EXPECT_EQ(file[header + 40 + 9 * 4 + 2], red.r);

  const std::size_t colours = header + 40 + 64;
  const std::size_t mask = colours + 16 * 8;
  EXPECT_EQ(file[colours], 0xFF);  // bottom row first: index 15 twice
  const std::size_t topRow = colours + 15 * 8;
  EXPECT_EQ(file[topRow], 0x09);  // transparent pixel black, then index 9
  EXPECT_EQ(file[topRow + 1], 0x00);
  EXPECT_EQ(file[mask + 15 * 4], 0x80);  // the top-left pixel shows through
  EXPECT_EQ(file[mask], 0x00);
}

TEST(IconFile, MainIconHoldsBothImagesBackToBack) {
  const std::vector<std::uint8_t> file =
      win32::BuildIconFile(res::MainIconImages(), res::IconPalette());
  ASSERT_EQ(Word(file, 4), 2);
  const std::uint32_t bigSize = Dword(file, 6 + 8);
  const std::uint32_t bigOffset = Dword(file, 6 + 12);
  const std::uint32_t smallSize = Dword(file, 22 + 8);
  const std::uint32_t smallOffset = Dword(file, 22 + 12);
  EXPECT_EQ(file[6], 32);
  EXPECT_EQ(file[22], 16);
  EXPECT_EQ(bigSize, 40u + 64 + 32 * 16 + 32 * 4);
  EXPECT_EQ(smallOffset, bigOffset + bigSize);
  EXPECT_EQ(file.size(), smallOffset + smallSize);
}

TEST(IconFile, ImageWithShortDataIsLeftOut) {
  const std::array<std::uint8_t, 10> pixels{};
  const std::array<bool, 10> transparent{};
  const res::IconImage image{16, pixels, transparent};
  const std::vector<std::uint8_t> file =
      win32::BuildIconFile(std::span(&image, 1), res::IconPalette());
  EXPECT_EQ(file.size(), 6u);
  EXPECT_EQ(Word(file, 4), 0);
}

}  // namespace

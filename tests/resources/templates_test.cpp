#include <gtest/gtest.h>

#include <set>
#include <string>
#include <string_view>

#include "resources/dialog_template.h"
#include "resources/resource_ids.h"

namespace {

using res::ControlKind;
using res::ControlTemplate;
using res::DialogTemplate;
namespace st = res::style;

const DialogTemplate& Template(int id) {
  const DialogTemplate* t = res::FindDialogTemplate(id);
  EXPECT_NE(t, nullptr) << "template " << id;
  static const DialogTemplate kEmpty{};
  return t != nullptr ? *t : kEmpty;
}

const ControlTemplate* FindControl(const DialogTemplate& t, int id) {
  for (const ControlTemplate& c : t.controls) {
    if (c.id == id) return &c;
  }
  return nullptr;
}

bool Has(std::uint32_t style, std::uint32_t bits) {
  return (style & bits) == bits;
}

TEST(Templates, MainWindowHasEveryControlInTemplateOrder) {
  struct Row {
    int id;
    ControlKind kind;
    const char* text;
    short x, y, cx, cy;
  };
  constexpr int S = res::IDC_STATIC;
  const Row rows[] = {
      {S, ControlKind::GroupBox, "Found device:", 7, 7, 305, 25},
      {res::IDC_DEVICE_NAME, ControlKind::Static, "", 12, 16, 257, 12},
      {res::IDC_RESCAN, ControlKind::PushButton, "Re-scan", 273, 15, 36, 15},
      {res::IDC_LOG, ControlKind::Edit, "", 7, 44, 305, 56},
      {S, ControlKind::Static, "Device info:", 12, 34, 40, 8},
      {res::IDC_IMAGE_PATH, ControlKind::Edit, "", 12, 119, 272, 14},
      {S, ControlKind::GroupBox, "Image file:", 7, 107, 305, 30},
      {res::IDC_BROWSE, ControlKind::PushButton, "...", 290, 119, 19, 15},
      {res::IDC_UPLOAD, ControlKind::PushButton, "Upload App(s)", 255, 182, 54, 15},
      {res::IDC_RECALIBRATE, ControlKind::PushButton, "Recalibrate ICRC", 11, 182, 68, 15},
      {res::IDC_IMAGE_LIST, ControlKind::ListView, "List1", 12, 140, 297, 37},
      {S, ControlKind::Frame, "", 82, 182, 171, 15},
      {S, ControlKind::Static, "Use check boxes to select image(s) to be uploaded", 86, 185, 164,
       8},
  };
  const DialogTemplate& t = Template(res::IDD_MAIN);
  ASSERT_EQ(t.controls.size(), std::size(rows));
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    SCOPED_TRACE(rows[i].text);
    const ControlTemplate& c = t.controls[i];
    EXPECT_EQ(c.id, rows[i].id);
    EXPECT_EQ(c.kind, rows[i].kind);
    EXPECT_EQ(std::string_view(c.text), rows[i].text);
    EXPECT_EQ(c.x, rows[i].x);
    EXPECT_EQ(c.y, rows[i].y);
    EXPECT_EQ(c.cx, rows[i].cx);
    EXPECT_EQ(c.cy, rows[i].cy);
    EXPECT_TRUE(Has(c.style, st::WS_CHILD | st::WS_VISIBLE));
  }
  EXPECT_EQ(std::string_view(t.caption), "Veltra appication updater V1.36");
  EXPECT_EQ(t.cx, 319);
  EXPECT_EQ(t.cy, 204);
  EXPECT_TRUE(Has(t.style, st::WS_POPUP | st::WS_VISIBLE | st::WS_CAPTION | st::WS_SYSMENU |
                               st::DS_MODALFRAME | st::DS_SETFONT));
  EXPECT_EQ(t.exStyle, st::WS_EX_APPWINDOW);
  EXPECT_TRUE(Has(FindControl(t, res::IDC_LOG)->style,
                  st::ES_MULTILINE | st::ES_READONLY | st::WS_VSCROLL));
  EXPECT_TRUE(Has(FindControl(t, res::IDC_IMAGE_LIST)->style, st::LVS_REPORT));
}

TEST(Templates, EveryTemplateUsesTheDialogFontAndUniqueIds) {
  for (int id : {res::IDD_MAIN, res::IDD_ICTRL_CMD, res::IDD_ECTRL_CMD, res::IDD_RELAY_TEST}) {
    SCOPED_TRACE(id);
    const DialogTemplate& t = Template(id);
    EXPECT_EQ(std::string_view(t.fontName), "MS Sans Serif");
    EXPECT_EQ(t.pointSize, 8);
    EXPECT_TRUE(Has(t.style, st::WS_POPUP | st::WS_CAPTION | st::WS_SYSMENU | st::DS_MODALFRAME |
                                 st::DS_SETFONT));
    // Only the main window shows itself; the service dialogs have no taskbar button.
    EXPECT_EQ((t.style & st::WS_VISIBLE) != 0, id == res::IDD_MAIN);
    EXPECT_EQ(t.extended, id == res::IDD_ECTRL_CMD);
    std::set<int> ids;
    for (const ControlTemplate& c : t.controls) {
      if (c.id != res::IDC_STATIC) {
        EXPECT_TRUE(ids.insert(c.id).second) << "duplicate " << c.id;
      }
      // Every button and check box can be reached with Tab.
      if (c.kind == ControlKind::PushButton || c.kind == ControlKind::CheckBox) {
        EXPECT_TRUE(Has(c.style, st::WS_TABSTOP)) << c.id;
      }
    }
  }
  EXPECT_EQ(res::FindDialogTemplate(999), nullptr);
}

TEST(Templates, ChannelListOffersEightChannelsAndStartsDisabled) {
  const ControlTemplate* channel = FindControl(Template(res::IDD_ICTRL_CMD), res::IDC_CHANNEL);
  ASSERT_NE(channel, nullptr);
  EXPECT_EQ(channel->kind, ControlKind::ComboBox);
  EXPECT_TRUE(Has(channel->style, st::CBS_DROPDOWN | st::WS_VSCROLL | st::WS_DISABLED));
  const char* const channels[] = {" 1", " 2", " 3", " 4", " 5", " 6", " 7", " 8"};
  ASSERT_EQ(channel->items.size(), std::size(channels));
  for (std::size_t i = 0; i < std::size(channels); ++i) {
    EXPECT_STREQ(channel->items[i], channels[i]);
  }
}

// Which controls start disabled or hidden, and which button Enter presses.
TEST(Templates, InitialStatesAndDefaultButtons) {
  struct Case {
    const char* name;
    int templateId;
    int controlId;
    bool disabled;
    bool visible;
    bool defaultButton;
  };
  const Case cases[] = {
      {"upload waits for a package", res::IDD_MAIN, res::IDC_UPLOAD, true, true, false},
      {"re-scan", res::IDD_MAIN, res::IDC_RESCAN, false, true, false},
      {"channel list", res::IDD_ICTRL_CMD, res::IDC_CHANNEL, true, true, false},
      {"enable LOG is never shown", res::IDD_ICTRL_CMD, res::IDC_ENABLE_LOG, false, false, false},
      {"send in 129", res::IDD_ICTRL_CMD, res::IDC_SEND_CMD, false, true, true},
      {"clear report", res::IDD_ICTRL_CMD, res::IDC_CLEAR_REPORT, false, true, true},
      {"send in 130", res::IDD_ECTRL_CMD, res::IDC_SEND_CMD, false, true, true},
      {"life update", res::IDD_ECTRL_CMD, res::IDC_LIFE_UPDATE, true, true, false},
      {"clear counters", res::IDD_ECTRL_CMD, res::IDC_CLEAR_COUNTERS, false, true, false},
      {"start", res::IDD_RELAY_TEST, res::IDC_RELAY_START, false, true, true},
      {"stop", res::IDD_RELAY_TEST, res::IDC_RELAY_STOP, false, true, false},
      {"relay box 2", res::IDD_RELAY_TEST, res::IDC_RELAY_FIRST + 1, false, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ControlTemplate* control = FindControl(Template(c.templateId), c.controlId);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ((control->style & st::WS_DISABLED) != 0, c.disabled);
    EXPECT_EQ((control->style & st::WS_VISIBLE) != 0, c.visible);
    // BS_DEFPUSHBUTTON is the low bit shared with other button types: only push buttons count.
    EXPECT_EQ(control->kind == ControlKind::PushButton && Has(control->style, st::BS_DEFPUSHBUTTON),
              c.defaultButton);
  }
  // The main window has no default push button: Enter there is the standard OK.
  for (const ControlTemplate& c : Template(res::IDD_MAIN).controls) {
    if (c.kind == ControlKind::PushButton) {
      EXPECT_FALSE(Has(c.style, st::BS_DEFPUSHBUTTON)) << c.id;
    }
  }
}

TEST(Templates, ServiceDialogTextsAreExact) {
  struct Case {
    int templateId;
    int controlId;
    const char* text;
  };
  const Case cases[] = {
      {res::IDD_ECTRL_CMD, res::IDC_SEND_CMD, "Send\nCMD"},
      {res::IDD_ECTRL_CMD, res::IDC_LIFE_UPDATE, "Life\nupdate"},
      {res::IDD_ECTRL_CMD, res::IDC_CLEAR_COUNTERS, "Clear\nCntrs"},
      {res::IDD_ICTRL_CMD, res::IDC_INPUT_MONITORING, "Enable Input monitoring"},
      {res::IDD_ICTRL_CMD, res::IDC_ID_DEV_CMD, "ID dev Cmd"},
      {res::IDD_RELAY_TEST, res::IDC_RELAY_LAST, "8"},
      {res::IDD_RELAY_TEST, res::IDC_RELAY_INVERSE, "Inverse All"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const ControlTemplate* control = FindControl(Template(c.templateId), c.controlId);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(std::string_view(control->text), c.text);
  }
  // The group boxes under the check boxes 1019 and 1021 are blanks only, 24 and 28 of them.
  std::size_t blanks129 = 0, blanks130 = 0;
  for (const ControlTemplate& c : Template(res::IDD_ICTRL_CMD).controls) {
    if (c.kind == ControlKind::GroupBox && c.text[0] == ' ')
      blanks129 = std::string_view(c.text).size();
  }
  for (const ControlTemplate& c : Template(res::IDD_ECTRL_CMD).controls) {
    if (c.kind == ControlKind::GroupBox) blanks130 = std::string_view(c.text).size();
  }
  EXPECT_EQ(blanks129, 24u);
  EXPECT_EQ(blanks130, 28u);
}

TEST(Icon, HasBothSizesWithOpaqueMiddleAndTransparentCorners) {
  const auto images = res::MainIconImages();
  ASSERT_EQ(images.size(), 2u);
  EXPECT_EQ(images[0].size, 32);
  EXPECT_EQ(images[1].size, 16);
  for (const res::IconImage& image : images) {
    SCOPED_TRACE(image.size);
    const std::size_t n = static_cast<std::size_t>(image.size);
    ASSERT_EQ(image.pixels.size(), n * n);
    ASSERT_EQ(image.transparent.size(), n * n);
    EXPECT_TRUE(image.transparent[0]);
    EXPECT_TRUE(image.transparent[n * n - 1]);
    EXPECT_FALSE(image.transparent[(n / 2) * n + n / 2]);
    std::set<int> colours;
    for (std::size_t i = 0; i < n * n; ++i) {
      EXPECT_LT(image.pixels[i], 16);
      if (!image.transparent[i]) colours.insert(image.pixels[i]);
    }
    EXPECT_GE(colours.size(), 5u) << "a recognisable picture, not a blot";
  }
  const auto palette = res::IconPalette();
  EXPECT_EQ(palette[0].r + palette[0].g + palette[0].b, 0);
  EXPECT_EQ(palette[7].r, 192);
  EXPECT_EQ(palette[9].r, 255);
  EXPECT_EQ(palette[9].g, 0);
  EXPECT_EQ(palette[15].b, 255);
}

}  // namespace

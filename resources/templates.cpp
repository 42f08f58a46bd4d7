#include <array>
#include <cstddef>

#include "resources/dialog_template.h"
#include "resources/resource_ids.h"

namespace res {

namespace {

using namespace style;

// The styles every control of the templates carries, and those a resource compiler gives each
// kind by default: buttons, check boxes, edits, combo boxes and lists are tab stops, and a
// static text starts a group.
constexpr std::uint32_t kChild = WS_CHILD | WS_VISIBLE;
constexpr std::uint32_t kTabStop = kChild | WS_TABSTOP;
constexpr std::uint32_t kButton = kTabStop;
constexpr std::uint32_t kDefButton = kButton | BS_DEFPUSHBUTTON;
constexpr std::uint32_t kCheckBox = kButton | BS_AUTOCHECKBOX;
constexpr std::uint32_t kGroupBox = kChild | BS_GROUPBOX;
constexpr std::uint32_t kLabel = kChild | WS_GROUP;
constexpr std::uint32_t kFrame = kChild | SS_ETCHEDFRAME;

// A bordered edit or list is drawn sunken: its border becomes the client edge.
constexpr std::uint32_t kBorder = WS_BORDER;
constexpr std::uint32_t kBorderEx = WS_EX_CLIENTEDGE;

constexpr std::uint32_t kDialogStyle =
    WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;
constexpr const char* kFont = "MS Sans Serif";
constexpr short kFontPoints = 8;

// Template 102: the main window.
constexpr ControlTemplate kMainControls[] = {
    {IDC_STATIC, ControlKind::GroupBox, "Found device:", 7, 7, 305, 25, kGroupBox, 0, {}},
    {IDC_DEVICE_NAME, ControlKind::Static, "", 12, 16, 257, 12, kLabel | SS_SUNKEN, 0, {}},
    {IDC_RESCAN, ControlKind::PushButton, "Re-scan", 273, 15, 36, 15, kButton, 0, {}},
    {IDC_LOG,
     ControlKind::Edit,
     "",
     7,
     44,
     305,
     56,
     kTabStop | ES_MULTILINE | ES_READONLY | WS_VSCROLL | kBorder,
     kBorderEx,
     {}},
    {IDC_STATIC, ControlKind::Static, "Device info:", 12, 34, 40, 8, kLabel, 0, {}},
    {IDC_IMAGE_PATH,
     ControlKind::Edit,
     "",
     12,
     119,
     272,
     14,
     kTabStop | ES_READONLY | ES_AUTOHSCROLL | kBorder,
     kBorderEx,
     {}},
    {IDC_STATIC, ControlKind::GroupBox, "Image file:", 7, 107, 305, 30, kGroupBox, 0, {}},
    {IDC_BROWSE, ControlKind::PushButton, "...", 290, 119, 19, 15, kButton, 0, {}},
    // Disabled until a package with at least one image has been read.
    {IDC_UPLOAD,
     ControlKind::PushButton,
     "Upload App(s)",
     255,
     182,
     54,
     15,
     kButton | WS_DISABLED,
     0,
     {}},
    {IDC_RECALIBRATE, ControlKind::PushButton, "Recalibrate ICRC", 11, 182, 68, 15, kButton, 0, {}},
    {IDC_IMAGE_LIST,
     ControlKind::ListView,
     "List1",
     12,
     140,
     297,
     37,
     kTabStop | LVS_REPORT | kBorder,
     kBorderEx,
     {}},
    {IDC_STATIC, ControlKind::Frame, "", 82, 182, 171, 15, kFrame, 0, {}},
    {IDC_STATIC,
     ControlKind::Static,
     "Use check boxes to select image(s) to be uploaded",
     86,
     185,
     164,
     8,
     kLabel,
     0,
     {}},
};

// The channel list of the ID-device form: a blank and one digit each.
constexpr const char* kChannelItems[] = {" 1", " 2", " 3", " 4", " 5", " 6", " 7", " 8"};

// Template 129: the inputs-controller console. Two buttons carry the default style; the first
// in template order is the one the dialog manager makes the default.
constexpr ControlTemplate kIctrlControls[] = {
    {IDC_SEND_CMD, ControlKind::PushButton, "Send CMD", 28, 81, 50, 14, kDefButton, 0, {}},
    {IDC_STATIC,
     ControlKind::GroupBox,
     "Command,  use '0x' - prefix to enter hex values ",
     7,
     35,
     159,
     41,
     kGroupBox,
     0,
     {}},
    {IDC_STATIC, ControlKind::Static, "data:", 14, 46, 17, 8, kLabel, 0, {}},
    {IDC_CMD_TEXT,
     ControlKind::Edit,
     "",
     32,
     44,
     131,
     14,
     kTabStop | ES_AUTOHSCROLL | kBorder,
     kBorderEx,
     {}},
    {IDC_STATIC, ControlKind::Static, "result:", 12, 62, 20, 8, kLabel, 0, {}},
    {IDC_CMD_RESULT,
     ControlKind::Edit,
     "",
     32,
     61,
     131,
     12,
     kTabStop | ES_MULTILINE | ES_READONLY | kBorder,
     kBorderEx,
     {}},
    {IDC_INPUT_MONITORING,
     ControlKind::CheckBox,
     "Enable Input monitoring",
     78,
     10,
     88,
     10,
     kCheckBox,
     0,
     {}},
    // Present in the template but never shown.
    {IDC_ENABLE_LOG,
     ControlKind::CheckBox,
     "Enable LOG",
     78,
     20,
     88,
     10,
     (kCheckBox & ~WS_VISIBLE),
     0,
     {}},
    {IDC_STATIC,
     ControlKind::GroupBox,
     "                        ",
     8,
     11,
     63,
     24,
     kGroupBox,
     0,
     {}},
    {IDC_ID_DEV_CMD, ControlKind::CheckBox, "ID dev Cmd", 13, 10, 53, 10, kCheckBox, 0, {}},
    {IDC_CHANNEL, ControlKind::ComboBox, "", 40, 20, 24, 90,
     kTabStop | CBS_DROPDOWN | WS_VSCROLL | WS_DISABLED, 0, kChannelItems},
    {IDC_STATIC, ControlKind::Static, "Chan:", 14, 22, 20, 8, kLabel, 0, {}},
    {IDC_CLEAR_REPORT, ControlKind::PushButton, "Clear Report", 99, 82, 50, 14, kDefButton, 0, {}},
    {IDC_REPORT,
     ControlKind::Edit,
     "",
     171,
     7,
     88,
     115,
     kTabStop | ES_MULTILINE | ES_READONLY | WS_VSCROLL | kBorder,
     kBorderEx,
     {}},
};

// Template 130: the external-controller console.
constexpr std::uint32_t kTopLeftMultiline = BS_MULTILINE | BS_LEFT | BS_TOP;
constexpr ControlTemplate kEctrlControls[] = {
    {IDC_SEND_CMD,
     ControlKind::PushButton,
     "Send\nCMD",
     188,
     21,
     32,
     22,
     kDefButton | BS_MULTILINE,
     0,
     {}},
    {IDC_STATIC, ControlKind::Static, "CMD data:", 8, 9, 35, 8, kLabel, 0, {}},
    {IDC_CMD_TEXT,
     ControlKind::Edit,
     "",
     48,
     7,
     172,
     14,
     kTabStop | ES_AUTOHSCROLL | kBorder,
     kBorderEx,
     {}},
    {IDC_STATIC, ControlKind::Static, "CMD result:", 8, 24, 37, 8, kLabel, 0, {}},
    {IDC_CMD_RESULT,
     ControlKind::Edit,
     "",
     48,
     21,
     138,
     22,
     kTabStop | ES_MULTILINE | ES_READONLY,
     WS_EX_STATICEDGE,
     {}},
    {IDC_STATIC,
     ControlKind::GroupBox,
     "                            ",
     7,
     47,
     214,
     59,
     kGroupBox,
     0,
     {}},
    {IDC_POWER_ON, ControlKind::CheckBox, "Power On", 18, 47, 47, 10, kCheckBox, 0, {}},
    {IDC_REPORT,
     ControlKind::Edit,
     "",
     48,
     58,
     170,
     47,
     kTabStop | ES_MULTILINE | ES_READONLY,
     WS_EX_STATICEDGE,
     {}},
    // Enabled only while the crossbar power is on.
    {IDC_LIFE_UPDATE,
     ControlKind::CheckBox,
     "Life\nupdate",
     11,
     72,
     34,
     16,
     kCheckBox | kTopLeftMultiline | WS_DISABLED,
     0,
     {}},
    {IDC_STATIC, ControlKind::Static, "Status:", 20, 59, 24, 9, kLabel | SS_CENTER, 0, {}},
    {IDC_CLEAR_COUNTERS,
     ControlKind::CheckBox,
     "Clear\nCntrs",
     11,
     90,
     34,
     16,
     kCheckBox | kTopLeftMultiline,
     0,
     {}},
};

// Template 131: the crossbar relay test. The boxes "1" to "8" are controls 1017 to 1024.
constexpr ControlTemplate kRelayControls[] = {
    {IDC_RELAY_START, ControlKind::PushButton, "Start", 75, 42, 50, 14, kDefButton, 0, {}},
    {IDC_RELAY_STOP, ControlKind::PushButton, "Stop", 135, 42, 50, 14, kButton, 0, {}},
    {IDC_STATIC, ControlKind::Static, "Relay Channels mask :", 10, 7, 74, 8, kLabel, 0, {}},
    // Two units high, so the etched frame shows as a separator line.
    {IDC_STATIC, ControlKind::Frame, "", 14, 37, 171, 2, kFrame, 0, {}},
    {IDC_RELAY_FIRST + 0, ControlKind::CheckBox, "1", 23, 18, 16, 10, kCheckBox, 0, {}},
    {IDC_RELAY_FIRST + 1, ControlKind::CheckBox, "2", 42, 18, 17, 10, kCheckBox, 0, {}},
    {IDC_RELAY_FIRST + 2, ControlKind::CheckBox, "3", 61, 18, 17, 10, kCheckBox, 0, {}},
    {IDC_RELAY_FIRST + 3, ControlKind::CheckBox, "4", 80, 18, 17, 10, kCheckBox, 0, {}},
    {IDC_RELAY_FIRST + 4, ControlKind::CheckBox, "5", 99, 18, 17, 10, kCheckBox, 0, {}},
    {IDC_RELAY_FIRST + 5, ControlKind::CheckBox, "6", 119, 18, 17, 10, kCheckBox, 0, {}},
    {IDC_RELAY_FIRST + 6, ControlKind::CheckBox, "7", 139, 18, 17, 10, kCheckBox, 0, {}},
    {IDC_RELAY_FIRST + 7, ControlKind::CheckBox, "8", 159, 18, 17, 10, kCheckBox, 0, {}},
    {IDC_RELAY_INVERSE, ControlKind::PushButton, "Inverse All", 13, 42, 50, 14, kButton, 0, {}},
};

constexpr DialogTemplate kTemplates[] = {
    // The main window shows at once and has a taskbar button of its own.
    {IDD_MAIN, "Veltra appication updater V1.36", 319, 204, kFont, kFontPoints,
     kDialogStyle | WS_VISIBLE, WS_EX_APPWINDOW, false, kMainControls},
    {IDD_ICTRL_CMD, "ICtrl CMD", 266, 129, kFont, kFontPoints, kDialogStyle, 0, false,
     kIctrlControls},
    {IDD_ECTRL_CMD, "ECtrl CMD", 227, 115, kFont, kFontPoints, kDialogStyle, 0, true,
     kEctrlControls},
    {IDD_RELAY_TEST, "CB relay test", 197, 66, kFont, kFontPoints, kDialogStyle, 0, false,
     kRelayControls},
};

// Icon 128: a measuring gauge with a green-yellow-red scale, a red needle and a green readout,
// drawn as palette indices (hex digits) with '.' for transparent pixels.
constexpr const char* kIconArt32[32] = {
    "..............0000..............", "..........000088880000..........",
    "........0088888888888800........", ".......088887777777788880.......",
    ".....0088877AAAABBBB7788800.....", "....008877AAAAAABBBBBB778800....",
    "....0887FAAA2222BBBBBBBF7880....", "...0887AAA22FFFF0FFFBBBBB7880...",
    "..0887FAA22FFFFF0FFFF99BBF7880..", "..0887AA2FFFFFFFFFFFF9FBBB7880..",
    ".0887AA22F0FFFFFFFFF11FBBBB7880.", ".0887AA2FFFFFFFFFFF11FFFBBB7880.",
    ".087AA2FFFFFFFFFFF11FFFFFBBB780.", ".087AA2FFFFFFFFFF91FFFFFFB99780.",
    "0887AA2FFFFFFF44441FFFFFF9997880", "0887AA20FFFFFF4CC4FFFFFFF9997880",
    "0887AA2F0FFFFF4CC4FFFFF009997880", "0887AA2FFFFFFF4444FFFFFFF9997880",
    ".087AA2FFFFFFFFFFFFFFFFFF999780.", ".087AA2FFFFFFFFFFFFFFFFFF999780.",
    ".0887AA2FFFFFFFFFFFFFFFF9997880.", ".0887AA22F000000000000F99997880.",
    "..0887AA2FF0222222220FF9997880..", "..0887FAAFF02AAA2AA20FF99F7880..",
    "...0887AFFF0222222220FFF97880...", "....0887FFF0000000000FFF7880....",
    "....008877FFFFFFFFFFFF778800....", ".....0088877FFFFFFFF7788800.....",
    ".......088887777777788880.......", "........0088888888888800........",
    "..........000088880000..........", "..............0000..............",
};

constexpr const char* kIconArt16[16] = {
    "......0000......", "....00888800....", "...088FFFF880...", "..08FAAABBBF80..",
    ".08FAAAABB1BF80.", ".08AAAFFF11BB80.", "08FAAFFF11FBBF80", "08FAAFF44FF99F80",
    "08FAAFF44FF99F80", "08FAAFFFFFF99F80", ".08AAAFFFF99980.", ".08FAF0AA0F9F80.",
    "..08FF0000FF80..", "...088FFFF880...", "....00888800....", "......0000......",
};

template <std::size_t N>
struct IconBitmap {
  std::array<std::uint8_t, N * N> pixels{};
  std::array<bool, N * N> transparent{};
};

constexpr int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// True when every row is N characters of hex digits or '.'.
template <std::size_t N>
constexpr bool ArtIsValid(const char* const (&rows)[N]) {
  for (const char* row : rows) {
    std::size_t length = 0;
    for (; row[length] != '\0'; ++length) {
      if (row[length] != '.' && HexDigit(row[length]) < 0) return false;
    }
    if (length != N) return false;
  }
  return true;
}

template <std::size_t N>
constexpr IconBitmap<N> FromArt(const char* const (&rows)[N]) {
  IconBitmap<N> bitmap;
  for (std::size_t y = 0; y < N; ++y) {
    for (std::size_t x = 0; x < N; ++x) {
      const char c = rows[y][x];
      // A transparent pixel keeps index 0 (black), so AND mask and XOR image combine as usual.
      bitmap.transparent[y * N + x] = c == '.';
      bitmap.pixels[y * N + x] = c == '.' ? 0 : static_cast<std::uint8_t>(HexDigit(c));
    }
  }
  return bitmap;
}

static_assert(ArtIsValid(kIconArt32));
static_assert(ArtIsValid(kIconArt16));
constexpr IconBitmap<32> kIcon32 = FromArt(kIconArt32);
constexpr IconBitmap<16> kIcon16 = FromArt(kIconArt16);

constexpr IconImage kMainIcon[] = {
    {32, kIcon32.pixels, kIcon32.transparent},
    {16, kIcon16.pixels, kIcon16.transparent},
};

// The standard 16-colour palette in the order of the Windows 4-bit bitmaps.
constexpr RgbColour kPalette[16] = {
    {0, 0, 0},     {128, 0, 0},     {0, 128, 0},     {128, 128, 0},   {0, 0, 128}, {128, 0, 128},
    {0, 128, 128}, {192, 192, 192}, {128, 128, 128}, {255, 0, 0},     {0, 255, 0}, {255, 255, 0},
    {0, 0, 255},   {255, 0, 255},   {0, 255, 255},   {255, 255, 255},
};

}  // namespace

const DialogTemplate* FindDialogTemplate(int id) {
  for (const DialogTemplate& t : kTemplates) {
    if (t.id == id) return &t;
  }
  return nullptr;
}

std::span<const RgbColour, 16> IconPalette() {
  return std::span<const RgbColour, 16>(kPalette);
}

std::span<const IconImage> MainIconImages() {
  return kMainIcon;
}

}  // namespace res

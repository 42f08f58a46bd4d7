#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <string>

#include "platform/qt/dialog_layout.h"
#include "qt_fixture.h"
#include "resources/resource_ids.h"

namespace {

using qt_test::QtWindowTest;
using res::ControlKind;

class PlainDialog : public ui::Dialog {
 public:
  explicit PlainDialog(int templateId) : ui::Dialog(templateId) {}
};

TEST(DialogUnitsTest, ConvertLikeTheDialogManagerRoundingHalvesUp) {
  struct Case {
    const char* name;
    int dlu;
    int x;
    int y;
  };
  // A font with an average character width of 6 and a height of 13 pixels.
  const qtui::DialogUnits units{6, 13};
  const Case cases[] = {
      {"zero", 0, 0, 0},
      {"one unit", 1, 2, 2},           // 1.5 and 1.625 round up
      {"four units", 4, 6, 7},         // 6 and 6.5
      {"main width", 319, 479, 518},   // 478.5 rounds up
      {"main height", 204, 306, 332},  // 331.5 rounds up
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(units.X(c.dlu), c.x);
    EXPECT_EQ(units.Y(c.dlu), c.y);
  }
  EXPECT_EQ(qtui::DialogUnits::MulDiv(-3, 6, 4), -5);  // -4.5 rounds away from zero
}

TEST(DialogLayoutTest, TextsForWidgets) {
  struct Case {
    const char* name;
    std::string tool;
    const char* lines;
  };
  const Case cases[] = {
      {"CRLF breaks", "Entered in ICCmd mode\r\nExit ICCmd mode\r\n",
       "Entered in ICCmd mode\nExit ICCmd mode\n"},
      {"a lone LF breaks too", "Start ExtIntrfCtrl calibration\nFailure!",
       "Start ExtIntrfCtrl calibration\nFailure!"},
      {"a lone CR is dropped", "a\rb", "ab"},
      {"bytes that are no UTF-8 show one character each", std::string("UID:\xC4\x01", 6),
       "UID:\xC3\x84\x01"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(qtui::ToDisplayLines(c.tool), QString::fromUtf8(c.lines));
  }
  EXPECT_EQ(qtui::WithoutMnemonics("&Start && stop"), QStringLiteral("Start & stop"));
}

TEST(DialogLayoutTest, FileDialogFilterAndSuffix) {
  EXPECT_EQ(qtui::FileDialogFilter("Binary files (*.bin)|*.bin||"),
            QStringLiteral("Binary files (*.bin)"));
  EXPECT_EQ(qtui::FileDialogFilter("Images|*.bin;*.img|All files (*.*)|*.*||"),
            QStringLiteral("Images (*.bin *.img);;All files (*.*)"));
  EXPECT_EQ(qtui::FileDialogFilter(nullptr), QString());
  EXPECT_EQ(qtui::DefaultSuffix("*.bin"), QStringLiteral("bin"));
  EXPECT_EQ(qtui::DefaultSuffix("bin"), QStringLiteral("bin"));
}

TEST(DialogLayoutTest, VirtualKeyCodes) {
  struct Case {
    int qt;
    unsigned vk;
  };
  const Case cases[] = {{Qt::Key_T, 0x54},      {Qt::Key_E, 0x45},      {Qt::Key_U, 0x55},
                        {Qt::Key_5, 0x35},      {Qt::Key_Exclam, 0x31}, {Qt::Key_Return, 0x0D},
                        {Qt::Key_Escape, 0x1B}, {Qt::Key_Shift, 0x10},  {Qt::Key_Control, 0x11},
                        {Qt::Key_F5, 0x74},     {Qt::Key_Eacute, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.qt);
    EXPECT_EQ(qtui::VirtualKey(c.qt), c.vk);
  }
}

// What a control of each kind shows, read from its widget.
QString ShownText(QWidget& widget) {
  if (auto* label = qobject_cast<QLabel*>(&widget)) return label->text();
  if (auto* group = dynamic_cast<qtui::GroupBox*>(&widget)) return group->title();
  if (auto* button = qobject_cast<QAbstractButton*>(&widget)) return button->text();
  if (auto* edit = qobject_cast<QLineEdit*>(&widget)) return edit->text();
  if (auto* edit = qobject_cast<QPlainTextEdit*>(&widget)) return edit->toPlainText();
  if (auto* combo = qobject_cast<QComboBox*>(&widget)) return combo->currentText();
  return {};
}

bool IsWidgetOfKind(QWidget& widget, const res::ControlTemplate& control) {
  switch (control.kind) {
    case ControlKind::GroupBox:
      return dynamic_cast<qtui::GroupBox*>(&widget) != nullptr;
    case ControlKind::Static:
      return qobject_cast<QLabel*>(&widget) != nullptr;
    case ControlKind::Frame:
      return qobject_cast<QFrame*>(&widget) != nullptr;
    case ControlKind::Edit:
      return (control.style & res::style::ES_MULTILINE) != 0
                 ? qobject_cast<QPlainTextEdit*>(&widget) != nullptr
                 : qobject_cast<QLineEdit*>(&widget) != nullptr;
    case ControlKind::PushButton:
      return qobject_cast<QPushButton*>(&widget) != nullptr;
    case ControlKind::CheckBox:
      return qobject_cast<QCheckBox*>(&widget) != nullptr;
    case ControlKind::ComboBox:
      return qobject_cast<QComboBox*>(&widget) != nullptr;
    case ControlKind::ListView:
      return qobject_cast<QTableWidget*>(&widget) != nullptr;
  }
  return false;
}

TEST_F(QtWindowTest, EveryTemplateBuildsEveryControlAtItsScaledPlaceWithItsText) {
  for (const int id :
       {res::IDD_MAIN, res::IDD_ICTRL_CMD, res::IDD_ECTRL_CMD, res::IDD_RELAY_TEST}) {
    SCOPED_TRACE(id);
    const res::DialogTemplate* dialogTemplate = res::FindDialogTemplate(id);
    ASSERT_NE(dialogTemplate, nullptr);
    PlainDialog dialog(id);
    qtui::DialogWindow window(dialog, *dialogTemplate, nullptr, platform);
    const qtui::DialogUnits& units = window.units();

    // The units come from the dialog's own font, of the template's point size.
    EXPECT_EQ(window.font().pointSize(), dialogTemplate->pointSize);
    EXPECT_EQ(units.baseY, QFontMetrics(window.font()).height());
    EXPECT_GE(units.baseX, 4);
    EXPECT_LE(units.baseX, 9);
    EXPECT_EQ(window.windowTitle(), QString::fromLatin1(dialogTemplate->caption));
    EXPECT_EQ(window.size(), QSize(units.X(dialogTemplate->cx), units.Y(dialogTemplate->cy)));

    ASSERT_EQ(window.controls().size(), dialogTemplate->controls.size());
    for (std::size_t i = 0; i < dialogTemplate->controls.size(); ++i) {
      const res::ControlTemplate& control = dialogTemplate->controls[i];
      SCOPED_TRACE(std::to_string(control.id) + " \"" + control.text + "\"");
      QWidget& widget = *window.controls()[i].widget;
      EXPECT_TRUE(IsWidgetOfKind(widget, control));
      const QRect place = units.Rect(control.x, control.y, control.cx, control.cy);
      if (control.kind == ControlKind::ComboBox) {
        // The template's height includes the dropped-down list.
        EXPECT_EQ(widget.pos(), place.topLeft());
        EXPECT_EQ(widget.width(), place.width());
        EXPECT_LE(widget.height(), place.height());
      } else {
        EXPECT_EQ(widget.geometry(), place);
      }
      if (control.kind != ControlKind::ListView && control.kind != ControlKind::Frame) {
        EXPECT_EQ(ShownText(widget),
                  control.kind == ControlKind::Static || control.kind == ControlKind::GroupBox
                      ? qtui::WithoutMnemonics(control.text)
                      : qtui::ToQString(control.text));
      }
      EXPECT_EQ(widget.isEnabled(), (control.style & res::style::WS_DISABLED) == 0);
      EXPECT_EQ(widget.isHidden(), (control.style & res::style::WS_VISIBLE) == 0);
      if (control.id != res::IDC_STATIC && control.kind != ControlKind::ListView) {
        EXPECT_EQ(window.ItemText(control.id), control.text);
      }
      if (auto* combo = qobject_cast<QComboBox*>(&widget)) {
        ASSERT_EQ(static_cast<std::size_t>(combo->count()), control.items.size());
        for (int item = 0; item < combo->count(); ++item) {
          EXPECT_EQ(combo->itemText(item), QString::fromLatin1(control.items[item]));
        }
        EXPECT_EQ(window.ComboSelection(control.id), -1);
      }
    }
  }
}

TEST_F(QtWindowTest, TheFirstDefaultButtonInTheTemplateIsTheDefault) {
  PlainDialog dialog(res::IDD_ICTRL_CMD);
  qtui::DialogWindow window(dialog, *res::FindDialogTemplate(res::IDD_ICTRL_CMD), nullptr,
                            platform);
  EXPECT_TRUE(qobject_cast<QPushButton*>(window.Item(res::IDC_SEND_CMD))->isDefault());
  EXPECT_FALSE(qobject_cast<QPushButton*>(window.Item(res::IDC_CLEAR_REPORT))->isDefault());
}

TEST_F(QtWindowTest, AnUnknownTemplateRunsNoDialog) {
  PlainDialog dialog(4711);
  EXPECT_EQ(dialog.DoModal(), -1);
}

}  // namespace

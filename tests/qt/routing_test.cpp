#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTableWidget>
#include <QtTest/QTest>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "qt_fixture.h"
#include "resources/resource_ids.h"

namespace {

using qt_test::QtWindowTest;
using qt_test::UiScript;
using ui::Route;

// A dialog that writes down every message and key that reaches it, on any template.
class ProbeDialog : public ui::Dialog {
 public:
  explicit ProbeDialog(int templateId, ui::Dialog* owner = nullptr)
      : ui::Dialog(templateId, owner) {}

  std::vector<std::string> events;
  std::set<unsigned> swallowedKeys;
  bool endOnCancel = true;
  std::function<void()> onInit;
  std::function<void(int)> onCommand;
  std::function<void(int)> onTimer;

  bool OnInitDialog() override {
    if (onInit) onInit();
    return true;
  }
  bool PreTranslateMessage(const ui::Msg& msg) override {
    char line[64];
    std::snprintf(line, sizeof line, "key %02X%s%s", msg.wParam,
                  (msg.lParam & (1L << 30)) != 0 ? " repeat" : "",
                  ui::Host().IsKeyDown(ui::VK_CONTROL) && ui::Host().IsKeyDown(ui::VK_SHIFT)
                      ? " ctrl+shift"
                      : "");
    events.emplace_back(line);
    return swallowedKeys.count(msg.wParam) != 0;
  }
  void OnCommand(int id) {
    std::string line = "command " + std::to_string(id);
    // A check box's state as its handler sees it.
    if (qobject_cast<QCheckBox*>(qtui::QtPlatform::WindowOf(this)->Item(id)) != nullptr) {
      line += GetCheck(id) == ui::BST_CHECKED ? " checked" : " unchecked";
    }
    events.push_back(line);
    if (onCommand) onCommand(id);
    if (id == ui::IDCANCEL && endOnCancel) EndDialog(ui::IDCANCEL);
  }
  void OnTimer(int id) {
    ++ticks[id];
    if (onTimer) onTimer(id);
  }
  void OnDestroy() { events.emplace_back("destroy"); }

  std::map<int, int> ticks;

  [[nodiscard]] bool Saw(const std::string& event) const {
    return std::find(events.begin(), events.end(), event) != events.end();
  }
  [[nodiscard]] qtui::DialogWindow& shown() const { return *qtui::QtPlatform::WindowOf(this); }

 protected:
  bool OnMessage(const ui::Message& m) override;
};

const ui::MapEntry<ProbeDialog> kProbeMap[] = {
    {Route::CommandRange(1, 0xFFFF), &ProbeDialog::OnCommand},
    {Route::Timer(), &ProbeDialog::OnTimer},
    {Route::Destroy(), &ProbeDialog::OnDestroy},
};

bool ProbeDialog::OnMessage(const ui::Message& m) {
  return ui::RouteMessage(*this, kProbeMap, m);
}

void Click(QWidget* widget) {
  ASSERT_NE(widget, nullptr);
  QTest::mouseClick(widget, Qt::LeftButton);
}

void PressKey(QWidget* widget, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  ASSERT_NE(widget, nullptr);
  widget->setFocus();
  QTest::keyClick(widget, key, modifiers);
}

TEST_F(QtWindowTest, ClicksAndAutomaticCheckBoxesReachTheHandlersOnlyWhenEnabled) {
  ProbeDialog dialog(res::IDD_RELAY_TEST);
  UiScript user;
  user.OnDialog("relay test up", res::IDD_RELAY_TEST, [&](qtui::DialogWindow& window) {
    Click(window.Item(res::IDC_RELAY_STOP));
    Click(window.Item(res::IDC_RELAY_FIRST));
    Click(window.Item(res::IDC_RELAY_FIRST));
    dialog.EnableItem(res::IDC_RELAY_START, false);
    EXPECT_FALSE(dialog.IsItemEnabled(res::IDC_RELAY_START));
    Click(window.Item(res::IDC_RELAY_START));
    PressKey(window.Item(res::IDC_RELAY_STOP), Qt::Key_Escape);
  });
  user.Start();

  EXPECT_EQ(dialog.DoModal(), ui::IDCANCEL);
  EXPECT_TRUE(user.done());
  const std::vector<std::string> commands(
      dialog.events.begin(),
      std::remove_if(dialog.events.begin(), dialog.events.end(),
                     [](const std::string& e) { return e.rfind("key", 0) == 0; }));
  EXPECT_EQ(commands, (std::vector<std::string>{"command 1016", "command 1017 checked",
                                                "command 1017 unchecked", "command 2", "destroy"}));
  EXPECT_EQ(dialog.window(), nullptr) << "detached once destroyed";
}

TEST_F(QtWindowTest, EnterClicksTheFocusedOrDefaultButtonAndOtherwiseSendsOk) {
  struct Case {
    const char* name;
    int templateId;
    int focusId;
    bool defaultDisabled;
    const char* expected;  // nullptr: nothing is sent
  };
  const Case cases[] = {
      {"default button", res::IDD_RELAY_TEST, res::IDC_RELAY_FIRST + 2, false, "command 1015"},
      {"focused push button", res::IDD_RELAY_TEST, res::IDC_RELAY_STOP, false, "command 1016"},
      {"disabled default", res::IDD_RELAY_TEST, res::IDC_RELAY_FIRST + 2, true, nullptr},
      {"from an edit to the default", res::IDD_ICTRL_CMD, res::IDC_CMD_TEXT, false, "command 1012"},
      {"no default button", res::IDD_MAIN, res::IDC_IMAGE_PATH, false, "command 1"},
      {"no default, focused button", res::IDD_MAIN, res::IDC_RESCAN, false, "command 1002"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ProbeDialog dialog(c.templateId);
    UiScript user;
    user.OnDialog("up", c.templateId, [&](qtui::DialogWindow& window) {
      if (c.defaultDisabled) dialog.EnableItem(res::IDC_RELAY_START, false);
      PressKey(window.Item(c.focusId), Qt::Key_Return);
      PressKey(window.Item(c.focusId), Qt::Key_Escape);
    });
    user.Start();
    EXPECT_EQ(dialog.DoModal(), ui::IDCANCEL);
    std::vector<std::string> commands;
    for (const std::string& e : dialog.events) {
      if (e.rfind("command", 0) == 0) commands.push_back(e);
    }
    std::vector<std::string> expected;
    if (c.expected != nullptr) expected.emplace_back(c.expected);
    expected.emplace_back("command 2");
    EXPECT_EQ(commands, expected);
  }
}

TEST_F(QtWindowTest, TheCloseBoxAsksTheDialogWhichMayRefuse) {
  ProbeDialog dialog(res::IDD_ECTRL_CMD);
  dialog.endOnCancel = false;
  UiScript user;
  user.OnDialog("console up", res::IDD_ECTRL_CMD, [&](qtui::DialogWindow& window) {
    window.close();
    EXPECT_TRUE(window.isVisible()) << "the dialog did not agree to end";
    dialog.endOnCancel = true;
    window.close();
  });
  user.Start();
  EXPECT_EQ(dialog.DoModal(), ui::IDCANCEL);
  EXPECT_EQ(std::count(dialog.events.begin(), dialog.events.end(), "command 2"), 2);
}

TEST_F(QtWindowTest, TimersTickUntilKilledAndSettingOneAgainRestartsIt) {
  ProbeDialog dialog(res::IDD_RELAY_TEST);
  int firstSet = 0;
  int secondSet = 0;
  int ticksWhenKilled = 0;
  bool inTick = false;
  bool nested = false;
  dialog.onInit = [&] { firstSet = dialog.SetTimer(7, 10); };
  dialog.onTimer = [&](int id) {
    if (id != 7) return;
    // Letting the waiting messages through inside a tick does not deliver the next tick
    // inside this one: ticks do not pile up behind a slow handler.
    nested = nested || inTick;
    inTick = true;
    ui::DrainMessages();
    inTick = false;
  };
  UiScript user;
  user.When(
          "three ticks", [&] { return dialog.ticks[7] >= 3; },
          [&] {
            secondSet = dialog.SetTimer(7, 10);
            dialog.KillTimer(99);  // not running: nothing happens
          })
      .When(
          "two more ticks", [&] { return dialog.ticks[7] >= 5; },
          [&] {
            dialog.KillTimer(7);
            ticksWhenKilled = dialog.ticks[7];
            QTest::qWait(60);
            dialog.EndDialog(ui::IDOK);
          });
  user.Start();

  EXPECT_EQ(dialog.DoModal(), ui::IDOK);
  EXPECT_TRUE(user.done());
  EXPECT_EQ(firstSet, 7);
  EXPECT_EQ(secondSet, 7);
  EXPECT_EQ(dialog.ticks[7], ticksWhenKilled);
  EXPECT_EQ(dialog.ticks.size(), 1u);
  EXPECT_FALSE(nested);
  EXPECT_EQ(dialog.SetTimer(3, 10), 0) << "no window, no timer";
}

TEST_F(QtWindowTest, APostedCommandRunsAfterThePostingHandlerHasReturned) {
  ProbeDialog dialog(res::IDD_RELAY_TEST);
  dialog.onCommand = [&](int id) {
    if (id == res::IDC_RELAY_START) {
      dialog.PostCommand(res::ID_SERVICE_ICTRL);
      dialog.events.emplace_back("posting handler returns");
    }
    if (id == res::ID_SERVICE_ICTRL) dialog.EndDialog(ui::IDOK);
  };
  UiScript user;
  user.OnDialog("up", res::IDD_RELAY_TEST,
                [&](qtui::DialogWindow& window) { Click(window.Item(res::IDC_RELAY_START)); });
  user.Start();
  EXPECT_EQ(dialog.DoModal(), ui::IDOK);
  EXPECT_EQ(dialog.events, (std::vector<std::string>{"command 1015", "posting handler returns",
                                                     "command 101", "destroy"}));
}

TEST_F(QtWindowTest, KeyDownsPassPreTranslateMessageFirstExceptWhileDraining) {
  ProbeDialog dialog(res::IDD_ICTRL_CMD);
  dialog.swallowedKeys = {0x58};  // X
  QString typed;
  std::vector<std::string> keysSeen;
  UiScript user;
  user.OnDialog("console up", res::IDD_ICTRL_CMD, [&](qtui::DialogWindow& window) {
    auto* edit = qobject_cast<QLineEdit*>(window.Item(res::IDC_CMD_TEXT));
    ASSERT_NE(edit, nullptr);
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_X);
    QTest::keyClick(edit, Qt::Key_Y);
    QTest::keyClick(edit, Qt::Key_T, Qt::ControlModifier | Qt::ShiftModifier);
    QKeyEvent repeated(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"), true);
    QApplication::sendEvent(edit, &repeated);

    // Keys that DrainMessages dispatches reach the edit, but neither PreTranslateMessage nor
    // the dialog's own keys: this Esc ends nothing.
    QCoreApplication::postEvent(
        edit, new QKeyEvent(QEvent::KeyPress, Qt::Key_Z, Qt::NoModifier, QStringLiteral("z")));
    QCoreApplication::postEvent(edit,
                                new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    ui::DrainMessages();
    typed = edit->text();
    keysSeen = dialog.events;
    QTest::keyClick(edit, Qt::Key_Escape);
  });
  user.Start();

  EXPECT_EQ(dialog.DoModal(), ui::IDCANCEL);
  EXPECT_EQ(typed, QStringLiteral("yaz"));
  EXPECT_TRUE(dialog.Saw("key 58"));
  EXPECT_TRUE(dialog.Saw("key 59"));
  EXPECT_TRUE(dialog.Saw("key 54 ctrl+shift"));
  EXPECT_TRUE(dialog.Saw("key 41 repeat"));
  EXPECT_FALSE(dialog.Saw("key 5A"));
  EXPECT_EQ(std::count(keysSeen.begin(), keysSeen.end(), "command 2"), 0);
  EXPECT_TRUE(dialog.Saw("key 1B"));
  EXPECT_TRUE(dialog.Saw("command 2"));
}

TEST_F(QtWindowTest, TheChannelListSelectsNothingForTypedTextThatIsNoEntry) {
  ProbeDialog dialog(res::IDD_ICTRL_CMD);
  std::vector<int> selections;
  UiScript user;
  user.OnDialog("console up", res::IDD_ICTRL_CMD, [&](qtui::DialogWindow& window) {
    dialog.EnableItem(res::IDC_CHANNEL, true);
    auto* combo = qobject_cast<QComboBox*>(window.Item(res::IDC_CHANNEL));
    ASSERT_NE(combo, nullptr);
    dialog.SetComboSelection(res::IDC_CHANNEL, 2);
    selections.push_back(dialog.GetComboSelection(res::IDC_CHANNEL));
    combo->lineEdit()->clear();
    QTest::keyClicks(combo->lineEdit(), QStringLiteral("9"));
    selections.push_back(dialog.GetComboSelection(res::IDC_CHANNEL));
    combo->lineEdit()->clear();
    QTest::keyClicks(combo->lineEdit(), QStringLiteral(" 5"));
    selections.push_back(dialog.GetComboSelection(res::IDC_CHANNEL));
    dialog.SetComboSelection(res::IDC_CHANNEL, -1);
    selections.push_back(dialog.GetComboSelection(res::IDC_CHANNEL));
    dialog.EndDialog(ui::IDOK);
  });
  user.Start();
  EXPECT_EQ(dialog.DoModal(), ui::IDOK);
  EXPECT_EQ(selections, (std::vector<int>{2, -1, 4, -1}));
}

// Where the check box of a list row is, as the list's style draws it.
QPoint CheckBoxOf(QTableWidget& list, int row) {
  QStyleOptionViewItem option;
  option.initFrom(list.viewport());
  option.rect = list.visualItemRect(list.item(row, 0));
  option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
  option.text = list.item(row, 0)->text();
  return list.style()
      ->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, list.viewport())
      .center();
}

TEST_F(QtWindowTest, ListCheckBoxesAreTheStateImageBitsBothWays) {
  ProbeDialog dialog(res::IDD_MAIN);
  qtui::DialogWindow window(dialog, *res::FindDialogTemplate(res::IDD_MAIN), nullptr, platform);
  dialog.Attach(&window);
  constexpr int kList = res::IDC_IMAGE_LIST;
  dialog.ListInsertColumn(kList, 0, "Img. type", 100);
  dialog.ListInsertColumn(kList, 1, "Version", 50);
  dialog.ListSetExtendedStyle(kList, ui::LVS_EX_GRIDLINES | ui::LVS_EX_CHECKBOXES);
  EXPECT_EQ(dialog.ListInsertRow(kList, 0, "General application"), 0);
  EXPECT_EQ(dialog.ListInsertRow(kList, 5, "Inputs controller"), 1);
  dialog.ListSetItemText(kList, 1, 1, "1.03");
  window.show();

  auto* list = qobject_cast<QTableWidget*>(window.Item(kList));
  ASSERT_NE(list, nullptr);
  EXPECT_TRUE(list->showGrid());
  EXPECT_EQ(list->horizontalHeaderItem(1)->text(), QStringLiteral("Version"));
  EXPECT_EQ(list->item(1, 1)->text(), QStringLiteral("1.03"));
  EXPECT_EQ(dialog.ListRowCount(kList), 2);

  EXPECT_EQ(dialog.ListGetItemState(kList, 0, ui::LVIS_STATEIMAGEMASK), ui::LVIS_UNCHECKED);
  dialog.ListSetItemState(kList, 0, ui::LVIS_CHECKED, ui::LVIS_STATEIMAGEMASK);
  EXPECT_EQ(list->item(0, 0)->checkState(), Qt::Checked);
  EXPECT_EQ(dialog.ListGetItemState(kList, 0, ui::LVIS_STATEIMAGEMASK), ui::LVIS_CHECKED);
  EXPECT_EQ(dialog.ListGetItemState(kList, 0, 0x0F00), 0u) << "only the bits of the mask";

  // The user ticks the second row's box, and unticks the first.
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, CheckBoxOf(*list, 1));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, CheckBoxOf(*list, 0));
  EXPECT_EQ(dialog.ListGetItemState(kList, 1, ui::LVIS_STATEIMAGEMASK), ui::LVIS_CHECKED);
  EXPECT_EQ(dialog.ListGetItemState(kList, 0, ui::LVIS_STATEIMAGEMASK), ui::LVIS_UNCHECKED);

  // Row -1 is every row.
  dialog.ListSetItemState(kList, -1, ui::LVIS_UNCHECKED, ui::LVIS_STATEIMAGEMASK);
  EXPECT_EQ(dialog.ListGetItemState(kList, 1, ui::LVIS_STATEIMAGEMASK), ui::LVIS_UNCHECKED);
  dialog.ListDeleteAllRows(kList);
  EXPECT_EQ(dialog.ListRowCount(kList), 0);
  dialog.Attach(nullptr);
}

TEST_F(QtWindowTest, ANestedDialogIsModalOverItsOwnerWhoseTimersStillTick) {
  ProbeDialog outer(res::IDD_MAIN);
  ProbeDialog inner(res::IDD_RELAY_TEST, &outer);
  outer.onInit = [&] { outer.SetTimer(5, 10); };
  outer.onCommand = [&](int id) {
    if (id == res::IDC_RESCAN) inner.DoModal();
  };
  int outerTicksAtOpen = 0;
  UiScript user;
  user.OnDialog("main up", res::IDD_MAIN,
                [&](qtui::DialogWindow& window) { Click(window.Item(res::IDC_RESCAN)); })
      .OnDialog("relay test over it", res::IDD_RELAY_TEST,
                [&](qtui::DialogWindow& window) {
                  EXPECT_EQ(QApplication::activeModalWidget(), &window);
                  EXPECT_EQ(window.parentWidget(), &outer.shown());
                  outerTicksAtOpen = outer.ticks[5];
                })
      .When(
          "the owner ticks on", [&] { return outer.ticks[5] >= outerTicksAtOpen + 2; },
          [&] { PressKey(&inner.shown(), Qt::Key_Escape); })
      .When(
          "back in the main window",
          [&] { return qt_test::RunningDialog(res::IDD_RELAY_TEST) == nullptr; },
          [&] { PressKey(&outer.shown(), Qt::Key_Escape); });
  user.Start();
  EXPECT_EQ(outer.DoModal(), ui::IDCANCEL);
  EXPECT_TRUE(user.done());
  EXPECT_TRUE(inner.Saw("destroy"));
}

}  // namespace

#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest/QTest>
#include <string>

#include "app/main_dialog.h"
#include "qt_fixture.h"
#include "resources/resource_ids.h"
#include "sim/sim_driver.h"

namespace {

using qt_test::QtWindowTest;
using qt_test::UiScript;

// The main window against the simulated instrument in-process, on the test's virtual clock.
class MainWindowTest : public QtWindowTest {
 protected:
  sim::SimDriver instruments{clock};

  static void Click(qtui::DialogWindow& window, int id) {
    ASSERT_NE(window.Item(id), nullptr);
    QTest::mouseClick(window.Item(id), Qt::LeftButton);
  }
  static void Keys(qtui::DialogWindow& window, Qt::Key key, Qt::KeyboardModifiers modifiers) {
    QTest::keyClick(&window, key, modifiers);
  }
  static bool LogHas(const app::MainDialog& dialog, const std::string& text) {
    return dialog.GetItemText(res::IDC_LOG).find(text) != std::string::npos;
  }
  static bool Closed(int templateId) { return qt_test::RunningDialog(templateId) == nullptr; }
};

// Chooses the file in the open file dialog the way a user does: types its name and confirms.
void ChooseFile(const char* path) {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    auto* box = qobject_cast<QFileDialog*>(widget);
    if (box == nullptr || !box->isVisible()) continue;
    EXPECT_EQ(box->windowTitle(), QStringLiteral("Open application image file"));
    EXPECT_EQ(box->nameFilters(), QStringList{QStringLiteral("Binary files (*.bin)")});
    auto* name = box->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(name, nullptr);
    name->setText(QString::fromLocal8Bit(path));
    QTest::keyClick(name, Qt::Key_Return);
    return;
  }
  ADD_FAILURE() << "no file dialog";
}

bool FileDialogShows() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (qobject_cast<QFileDialog*>(widget) != nullptr && widget->isVisible()) return true;
  }
  return false;
}

TEST_F(MainWindowTest, ATechnicianOpensEachServiceDialogOverTheIdentifiedInstrument) {
  instruments.Add();
  app::MainDialog dialog(instruments);
  qtui::DialogWindow* main = nullptr;
  std::string ictrlEntered;
  UiScript user;
  user.OnDialog("main window up", res::IDD_MAIN,
                [&](qtui::DialogWindow& window) {
                  main = &window;
                  EXPECT_EQ(dialog.GetItemText(res::IDC_DEVICE_NAME), sim::DEFAULT_DESCRIPTION);
                  EXPECT_FALSE(window.windowIcon().isNull());
                  EXPECT_EQ(window.windowIcon().availableSizes().size(), 2);
#ifdef VELTRA_SAMPLE_PACKAGE
                  Click(window, res::IDC_BROWSE);
#endif
                })
#ifdef VELTRA_SAMPLE_PACKAGE
      .When("file dialog", FileDialogShows, [] { ChooseFile(VELTRA_SAMPLE_PACKAGE); })
      .When(
          "package listed", [&] { return dialog.ListRowCount(res::IDC_IMAGE_LIST) == 2; },
          [&] {
            EXPECT_EQ(dialog.GetItemText(res::IDC_IMAGE_PATH), VELTRA_SAMPLE_PACKAGE);
            EXPECT_TRUE(dialog.IsItemEnabled(res::IDC_UPLOAD));
            qt_test::Grab(*main, "main-window");
            Keys(*main, Qt::Key_T, Qt::ControlModifier | Qt::ShiftModifier);
          })
#else
      .When("main window shown", [&] { return main != nullptr; },
            [&] {
              qt_test::Grab(*main, "main-window");
              Keys(*main, Qt::Key_T, Qt::ControlModifier | Qt::ShiftModifier);
            })
#endif
      .OnDialog("ICtrl console", res::IDD_ICTRL_CMD,
                [&](qtui::DialogWindow& console) {
                  EXPECT_EQ(QApplication::activeModalWidget(), &console);
                  EXPECT_EQ(console.parentWidget(), main);
                  ictrlEntered = dialog.GetItemText(res::IDC_LOG);
                  qt_test::Grab(console, "ictrl-console");
                  QTest::keyClick(&console, Qt::Key_Escape);
                })
      .When(
          "ICtrl console closed",
          [&] { return Closed(res::IDD_ICTRL_CMD) && LogHas(dialog, "Exit ICCmd mode"); },
          [&] { Keys(*main, Qt::Key_E, Qt::ControlModifier | Qt::ShiftModifier); })
      .OnDialog("ECtrl console", res::IDD_ECTRL_CMD,
                [&](qtui::DialogWindow& console) {
                  qt_test::Grab(console, "ectrl-console");
                  console.close();
                })
      .When(
          "ECtrl console closed",
          [&] { return Closed(res::IDD_ECTRL_CMD) && LogHas(dialog, "Exit ExICCmd mode"); },
          [&] { Keys(*main, Qt::Key_R, Qt::ControlModifier | Qt::ShiftModifier); })
      .OnDialog("relay test", res::IDD_RELAY_TEST,
                [&](qtui::DialogWindow& relayTest) {
                  qt_test::Grab(relayTest, "relay-test");
                  relayTest.close();
                })
      .When(
          "relay test closed", [&] { return Closed(res::IDD_RELAY_TEST); },
          [&] { QTest::keyClick(main, Qt::Key_Escape); });
  user.Start();

  (void)dialog.DoModal();
  EXPECT_TRUE(user.done());
  EXPECT_EQ(ictrlEntered, "Entered in ICCmd mode\r\n");
  EXPECT_EQ(instruments.openHandles(), 0u) << "closing the window closes the device";
}

TEST_F(MainWindowTest, AShortcutWithoutAnInstrumentGoesToTheDialogAndOpensNothing) {
  app::MainDialog dialog(instruments);
  bool consoleOpened = false;
  UiScript user;
  user.OnDialog("main window up", res::IDD_MAIN, [&](qtui::DialogWindow& window) {
    QTest::keyClick(&window, Qt::Key_T, Qt::ControlModifier | Qt::ShiftModifier);
    QTest::qWait(50);
    consoleOpened = qt_test::RunningDialog(res::IDD_ICTRL_CMD) != nullptr;
    QTest::keyClick(&window, Qt::Key_Escape);
  });
  user.Start();
  (void)dialog.DoModal();
  EXPECT_FALSE(consoleOpened);
  EXPECT_EQ(dialog.GetItemText(res::IDC_DEVICE_NAME), "");
}

TEST_F(MainWindowTest, RecalibrateShowsAWarningBoxWithTheFixedText) {
  struct Case {
    const char* name;
    bool instrument;
    const char* text;
  };
  const Case cases[] = {{"with an instrument", true, "Recalibration has been done"},
                        {"without one", false, "Recalibration has been failed"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::SimDriver driver(clock);
    if (c.instrument) driver.Add();
    app::MainDialog dialog(driver);
    qtui::DialogWindow* main = nullptr;
    UiScript user;
    user.OnDialog("main window up", res::IDD_MAIN,
                  [&](qtui::DialogWindow& window) {
                    main = &window;
                    Click(window, res::IDC_RECALIBRATE);
                  })
        .OnMessageBox("the box",
                      [&](QMessageBox& box) {
                        EXPECT_EQ(box.text(), QString::fromLatin1(c.text));
                        EXPECT_EQ(box.windowTitle(), QStringLiteral("veltra-updater"));
                        EXPECT_EQ(box.icon(), QMessageBox::Warning);
                        EXPECT_EQ(box.buttons().size(), 1);
                        EXPECT_EQ(box.standardButtons(), QMessageBox::Ok);
                        EXPECT_EQ(box.parentWidget(), main);
                        box.button(QMessageBox::Ok)->click();
                      })
        .When(
            "box gone", [] { return qt_test::OpenMessageBox() == nullptr; },
            [&] { QTest::keyClick(main, Qt::Key_Escape); });
    user.Start();
    (void)dialog.DoModal();
    EXPECT_TRUE(user.done());
  }
}

#ifdef VELTRA_SAMPLE_PACKAGE
TEST_F(MainWindowTest, UploadingTheSamplePackageBurnsBothImagesAndUnticksTheirRows) {
  instruments.Add();
  app::MainDialog dialog(instruments);
  qtui::DialogWindow* main = nullptr;
  UiScript user;
  user.OnDialog("main window up", res::IDD_MAIN,
                [&](qtui::DialogWindow& window) {
                  main = &window;
                  Click(window, res::IDC_BROWSE);
                })
      .When("file dialog", FileDialogShows, [] { ChooseFile(VELTRA_SAMPLE_PACKAGE); })
      .When(
          "both images ticked",
          [&] {
            return dialog.ListRowCount(res::IDC_IMAGE_LIST) == 2 &&
                   dialog.ListGetItemState(res::IDC_IMAGE_LIST, 1, ui::LVIS_STATEIMAGEMASK) ==
                       ui::LVIS_CHECKED;
          },
          [&] { Click(*main, res::IDC_UPLOAD); })
      .When(
          "upload done", [&] { return !dialog.uploadRunning && LogHas(dialog, " Ok."); },
          [&] {
            auto* list = qobject_cast<QTableWidget*>(main->Item(res::IDC_IMAGE_LIST));
            EXPECT_EQ(list->item(0, 0)->checkState(), Qt::Unchecked);
            EXPECT_EQ(list->item(1, 0)->checkState(), Qt::Unchecked);
            qt_test::Grab(*main, "main-window-after-upload");
            QTest::keyClick(main, Qt::Key_Escape);
          });
  user.Start();
  (void)dialog.DoModal();
  EXPECT_TRUE(user.done());
  const std::string log = dialog.logText;
  EXPECT_NE(log.find("general app. image burning succeed."), std::string::npos) << log;
  EXPECT_NE(log.find("Upload input controller app. image. Ok\r\nBurn image."), std::string::npos)
      << log;
}
#endif

}  // namespace

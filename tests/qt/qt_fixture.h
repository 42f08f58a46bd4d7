#pragma once

// The bench for the Qt window's tests: the Qt platform on a virtual clock, and a scripted user
// whose steps run inside the dialogs' modal loops, each once the window it acts on is there.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QTimer>
#include <chrono>
#include <deque>
#include <functional>
#include <string>
#include <utility>

#include "platform/clock.h"
#include "platform/qt/application.h"
#include "platform/qt/dialog_window.h"
#include "platform/qt/qt_platform.h"

namespace qt_test {

inline qtui::Application& App() {
  return *static_cast<qtui::Application*>(QCoreApplication::instance());
}

// The running, not yet ended window of a dialog with this template; nullptr when there is none.
inline qtui::DialogWindow* RunningDialog(int templateId) {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    auto* window = dynamic_cast<qtui::DialogWindow*>(widget);
    if (window != nullptr && window->isVisible() && !window->ended() &&
        window->dialogTemplate().id == templateId) {
      return window;
    }
  }
  return nullptr;
}

inline QMessageBox* OpenMessageBox() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    auto* box = qobject_cast<QMessageBox*>(widget);
    if (box != nullptr && box->isVisible()) return box;
  }
  return nullptr;
}

// Saves a picture of the window in the build tree and returns its path.
inline std::string Grab(QWidget& window, const char* name) {
  const QString directory = QStringLiteral(VELTRA_SCREENSHOT_DIR);
  QDir().mkpath(directory);
  const QString path = directory + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".png");
  EXPECT_TRUE(window.grab().save(path)) << path.toStdString();
  return path.toStdString();
}

// A user working through the windows while the code under test sits in its modal loops. Each
// step waits until its condition holds, then acts from a fresh turn of the event loop, so an
// action that opens another modal loop (a click that opens a console or a message box) does not
// hold up the steps that follow: they run inside that loop. A script that gets stuck fails the
// test and closes whatever is still open, so the test ends.
class UiScript {
 public:
  using Ready = std::function<bool()>;
  using Act = std::function<void()>;

  UiScript() {
    poll_.setInterval(2);
    QObject::connect(&poll_, &QTimer::timeout, [this] { Poll(); });
  }
  ~UiScript() { poll_.stop(); }

  UiScript& When(std::string name, Ready ready, Act act) {
    steps_.push_back({std::move(name), std::move(ready), std::move(act)});
    return *this;
  }
  // Acts on the window of a running dialog with this template once it shows.
  UiScript& OnDialog(std::string name, int templateId,
                     std::function<void(qtui::DialogWindow&)> act) {
    return When(
        std::move(name), [templateId] { return RunningDialog(templateId) != nullptr; },
        [templateId, act = std::move(act)] {
          if (qtui::DialogWindow* window = RunningDialog(templateId)) act(*window);
        });
  }
  UiScript& OnMessageBox(std::string name, std::function<void(QMessageBox&)> act) {
    return When(
        std::move(name), [] { return OpenMessageBox() != nullptr; },
        [act = std::move(act)] {
          if (QMessageBox* box = OpenMessageBox()) act(*box);
        });
  }

  void Start() {
    started_ = std::chrono::steady_clock::now();
    poll_.start();
  }
  [[nodiscard]] bool done() const { return steps_.empty(); }

 private:
  struct Step {
    std::string name;
    Ready ready;
    Act act;
  };
  static constexpr auto kStuckAfter = std::chrono::seconds(20);

  void Poll() {
    if (steps_.empty()) {
      poll_.stop();
      return;
    }
    if (std::chrono::steady_clock::now() - started_ > kStuckAfter) {
      if (!gaveUp_) ADD_FAILURE() << "the user got stuck at step: " << steps_.front().name;
      gaveUp_ = true;
      CloseEverything();
      return;
    }
    if (!steps_.front().ready()) return;
    Act act = std::move(steps_.front().act);
    steps_.pop_front();
    QTimer::singleShot(0, [act = std::move(act)] { act(); });
  }

  static void CloseEverything() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (!widget->isVisible()) continue;
      if (auto* window = dynamic_cast<qtui::DialogWindow*>(widget)) {
        window->EndModal(-1);
      } else if (auto* dialog = qobject_cast<QDialog*>(widget)) {
        dialog->done(QDialog::Rejected);
      }
    }
  }

  QTimer poll_;
  std::deque<Step> steps_;
  std::chrono::steady_clock::time_point started_;
  bool gaveUp_ = false;
};

// The Qt platform installed for one test, on a virtual clock: the tool's sleeps cost nothing,
// while Qt's timers and event loops run in real time.
class QtWindowTest : public ::testing::Test {
 protected:
  platform::VirtualClock clock;
  qtui::QtPlatform platform{App(), clock};

  void SetUp() override { ui::SetHost(&platform); }
  void TearDown() override { ui::SetHost(nullptr); }
};

}  // namespace qt_test

#pragma once

#include <QApplication>
#include <optional>

namespace qtui {

// The program's QApplication. It puts the dialogs' PreTranslateMessage in front of all key
// handling: notify() sees a key press once, before any event filter, shortcut or widget, and
// before the press travels up from the focus widget to its dialog. It also remembers the
// modifiers of the key event being delivered, so that the key state a handler reads is the
// state that came with its key, as on Windows, and not whatever the keyboard holds by then.
class Application final : public QApplication {
 public:
  Application(int& argc, char** argv);

  bool notify(QObject* receiver, QEvent* event) override;

  // The modifiers of the key event being delivered now, if one is.
  [[nodiscard]] std::optional<Qt::KeyboardModifiers> keyEventModifiers() const {
    return keyEventModifiers_;
  }

 private:
  std::optional<Qt::KeyboardModifiers> keyEventModifiers_;
};

}  // namespace qtui

#include "platform/qt/application.h"

#include <clocale>

#include <QKeyEvent>
#include <QWidget>

#include "platform/qt/dialog_window.h"

namespace qtui {

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
  // Each dialog runs its own modal loop and the program ends when the main window's loop
  // returns. Quitting on the last closed window would end every running loop at once.
  setQuitOnLastWindowClosed(false);
  // QApplication takes the locale from the environment. The tool's texts ("1.500", "Vs:5.00 V")
  // and its reading of the driver version keep the decimal point whatever the user's language.
  std::setlocale(LC_NUMERIC, "C");
}

bool Application::notify(QObject* receiver, QEvent* event) {
  const QEvent::Type type = event->type();
  if ((type != QEvent::KeyPress && type != QEvent::KeyRelease) || !receiver->isWidgetType()) {
    return QApplication::notify(receiver, event);
  }
  const auto* key = static_cast<const QKeyEvent*>(event);
  const std::optional<Qt::KeyboardModifiers> outer = keyEventModifiers_;
  keyEventModifiers_ = key->modifiers();
  bool handled = false;
  if (type == QEvent::KeyPress) {
    auto* window = dynamic_cast<DialogWindow*>(static_cast<QWidget*>(receiver)->window());
    handled = window != nullptr && window->PreTranslateKey(*key);
  }
  if (!handled) handled = QApplication::notify(receiver, event);
  keyEventModifiers_ = outer;
  return handled;
}

}  // namespace qtui

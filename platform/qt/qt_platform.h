#pragma once

#include <QIcon>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "platform/qt/application.h"
#include "platform/ui.h"

namespace qtui {

class DialogWindow;

// The windowing platform on Qt 6 Widgets. Each modal run builds a DialogWindow from the dialog's
// template and runs a loop of its own, so dialogs nest as they do on Windows; the message box
// and the file-open dialog are Qt's, modal over the dialog that raised them.
class QtPlatform final : public ui::Platform {
 public:
  // `clock` is what Sleep uses: the system clock in the program, so a wait blocks the window as
  // the tool expects; a virtual one in tests.
  QtPlatform(Application& application, platform::Clock& clock);
  ~QtPlatform() override;
  QtPlatform(const QtPlatform&) = delete;
  QtPlatform& operator=(const QtPlatform&) = delete;

  int RunModal(ui::Dialog& dialog) override;
  void MessageBox(ui::Dialog* owner, std::string_view text) override;
  [[nodiscard]] bool IsKeyDown(unsigned vk) override;
  [[nodiscard]] bool OpenFileDialog(ui::Dialog* owner, const ui::FileDialogSpec& options,
                                    std::string& path) override;
  void DrainMessages() override;
  platform::Clock& clock() override { return clock_; }
  [[nodiscard]] std::string ProgramPath() override;
  [[nodiscard]] ui::IconHandle LoadIcon(int resourceId) override;
  void IconSize(int& width, int& height) override;

  // True while DrainMessages dispatches: keys then skip PreTranslateMessage and the dialog's
  // own key handling.
  [[nodiscard]] bool draining() const { return draining_; }
  [[nodiscard]] QIcon Icon(ui::IconHandle icon) const;
  // The window of a running dialog; nullptr when it has none.
  [[nodiscard]] static DialogWindow* WindowOf(const ui::Dialog* dialog);

 private:
  // A nested modal loop is no longer part of the drain that may have started it: its keys get
  // the full handling again. Restores the drain state when the loop ends.
  class ModalScope {
   public:
    explicit ModalScope(QtPlatform& platform)
        : platform_(platform), wasDraining_(platform.draining_) {
      platform_.draining_ = false;
    }
    ~ModalScope() { platform_.draining_ = wasDraining_; }
    ModalScope(const ModalScope&) = delete;
    ModalScope& operator=(const ModalScope&) = delete;

   private:
    QtPlatform& platform_;
    bool wasDraining_;
  };

  [[nodiscard]] static QWidget* OwnerWidget(ui::Dialog* owner);

  Application& application_;
  platform::Clock& clock_;
  bool draining_ = false;
  QIcon mainIcon_;
};

}  // namespace qtui

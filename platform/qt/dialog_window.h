#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/qt/dialog_layout.h"
#include "platform/ui.h"
#include "resources/dialog_template.h"

class QEventLoop;
class QKeyEvent;
class QPainter;
class QPushButton;
class QTableWidget;
class QTimer;

namespace qtui {

class QtPlatform;

// A group box as the dialog manager draws it: an etched frame whose top edge runs through the
// middle of the title, the title on the dialog's background. It paints nothing inside, and the
// mouse passes through it to the controls it frames. A title of blanks leaves a gap in the top
// edge, in which a check box sitting on the edge shows cleanly.
class GroupBox final : public QWidget {
 public:
  GroupBox(const QString& title, QWidget* parent);
  [[nodiscard]] const QString& title() const { return title_; }
  void setTitle(const QString& title);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString title_;
};

// One dialog built from its template: a QDialog with a widget per control at the control's
// position, converted from dialog units with the dialog font's metrics. It is the ui::Window of
// its ui::Dialog while the dialog runs, and routes clicks, posted commands, timer ticks and the
// standard OK and Cancel to Dialog::Dispatch.
class DialogWindow final : public QDialog, public ui::Window {
 public:
  struct Control {
    const res::ControlTemplate* source = nullptr;
    QWidget* widget = nullptr;
    // The text as the tool last set it; what it reads back from controls the user cannot edit.
    std::string text;
    std::uint32_t listExtendedStyle = 0;
  };

  DialogWindow(ui::Dialog& dialog, const res::DialogTemplate& dialogTemplate, QWidget* parent,
               QtPlatform& platform);
  ~DialogWindow() override;

  // Shows the window modal and runs its loop until EndModal; returns the EndModal result.
  int RunModalLoop();
  // Puts the focus on the first visible, enabled control with a tab stop.
  void FocusFirstTabStop();
  void StopTimers();
  // The dialog's PreTranslateMessage for a key press; true when it swallowed the key. Keys
  // dispatched by DrainMessages and keys after the end of the dialog pass untouched.
  [[nodiscard]] bool PreTranslateKey(const QKeyEvent& event);

  [[nodiscard]] ui::Dialog& dialog() const { return dialog_; }
  [[nodiscard]] const res::DialogTemplate& dialogTemplate() const { return template_; }
  [[nodiscard]] const DialogUnits& units() const { return units_; }
  // The controls in template order.
  [[nodiscard]] const std::vector<Control>& controls() const { return controls_; }
  // The widget of the first control with this id; nullptr when there is none.
  [[nodiscard]] QWidget* Item(int id) const;
  [[nodiscard]] bool ended() const { return ended_; }

  // ui::Window
  [[nodiscard]] std::string ItemText(int id) const override;
  void SetItemText(int id, std::string_view text) override;
  [[nodiscard]] bool IsItemEnabled(int id) const override;
  void EnableItem(int id, bool enable) override;
  [[nodiscard]] int Check(int id) const override;
  void SetCheck(int id, int state) override;
  [[nodiscard]] int ComboSelection(int id) const override;
  void SetComboSelection(int id, int index) override;
  void ListInsertColumn(int id, int column, std::string_view heading, int width) override;
  void ListSetExtendedStyle(int id, std::uint32_t style) override;
  int ListInsertRow(int id, int row, std::string_view text) override;
  void ListSetItemText(int id, int row, int column, std::string_view text) override;
  void ListDeleteAllRows(int id) override;
  [[nodiscard]] int ListRowCount(int id) const override;
  [[nodiscard]] std::uint32_t ListItemState(int id, int row, std::uint32_t mask) const override;
  void ListSetItemState(int id, int row, std::uint32_t state, std::uint32_t mask) override;
  int SetTimer(int timerId, unsigned periodMs) override;
  void KillTimer(int timerId) override;
  void PostCommand(int id) override;
  void SetIcon(ui::IconHandle icon, bool big) override;
  [[nodiscard]] bool IsMinimized() const override;
  void ClientSize(int& width, int& height) const override;
  void DrawIcon(int x, int y, ui::IconHandle icon) override;
  void EndModal(int result) override;

  // QDialog's own ways to finish go through the dialog as the standard OK and Cancel, so that
  // the dialog decides whether it ends.
  void accept() override;
  void reject() override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void Build();
  [[nodiscard]] QWidget* CreateControl(const res::ControlTemplate& control);
  void Route(const ui::Message& message);
  void Command(int id) { Route(ui::Message{ui::Message::Kind::Command, id}); }
  [[nodiscard]] Control* Find(int id);
  [[nodiscard]] const Control* Find(int id) const;
  [[nodiscard]] QTableWidget* List(int id) const;
  void SetRowCheck(QTableWidget& list, int row, std::uint32_t stateImage);

  ui::Dialog& dialog_;
  const res::DialogTemplate& template_;
  QtPlatform& platform_;
  DialogUnits units_;
  std::vector<Control> controls_;
  QPushButton* defaultButton_ = nullptr;
  std::map<int, QTimer*> timers_;
  QEventLoop* loop_ = nullptr;
  QPainter* painter_ = nullptr;
  bool ended_ = false;
  int result_ = -1;
};

}  // namespace qtui

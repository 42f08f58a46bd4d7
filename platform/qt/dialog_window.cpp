#include "platform/qt/dialog_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QEventLoop>
#include <QFrame>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QTableWidget>
#include <QTimer>
#include <algorithm>
#include <climits>

#include "platform/qt/qt_platform.h"

namespace qtui {

namespace {

using res::ControlKind;
namespace style = res::style;

constexpr std::uint32_t WS_MINIMIZEBOX = 0x00020000;  // on a window; on a control WS_GROUP
constexpr std::uint32_t WS_MAXIMIZEBOX = 0x00010000;  // on a window; on a control WS_TABSTOP
constexpr std::uint32_t BS_TYPEMASK = 0x000F;
constexpr std::uint32_t SS_TYPEMASK = 0x001F;
constexpr std::uint32_t SS_RIGHT = 0x0002;
constexpr std::uint32_t SS_SIMPLE = 0x000B;
constexpr std::uint32_t SS_LEFTNOWORDWRAP = 0x000C;
constexpr std::uint32_t SS_ETCHEDHORZ = 0x0010;
constexpr std::uint32_t SS_ETCHEDVERT = 0x0011;
constexpr unsigned WM_SYSKEYDOWN = 0x0104;
constexpr std::uint32_t LVIS_FOCUSED = 0x0001;
constexpr std::uint32_t LVIS_SELECTED = 0x0002;
// Bits 30 of a key-down's lParam: the key was down before (an auto-repeat); bits 0-15: count.
constexpr long kKeyWasDown = 1L << 30;
constexpr long kRepeatCountOne = 1;
// The shortest period a window timer runs at.
constexpr unsigned kMinimumTimerMs = 10;
// List column widths are pixels laid out for the usual dialog font, whose average character
// is 6 pixels wide; they grow and shrink with the font actually used, as the dialog does.
constexpr int kLayoutBaseX = 6;

bool Has(std::uint32_t bits, std::uint32_t flag) {
  return (bits & flag) == flag;
}

bool IsDecoration(ControlKind kind) {
  return kind == ControlKind::GroupBox || kind == ControlKind::Frame;
}

bool HasBorder(const res::ControlTemplate& control) {
  return Has(control.style, style::WS_BORDER) || Has(control.exStyle, style::WS_EX_CLIENTEDGE);
}

// A read-only edit shows the dialog's background, as it does on Windows.
void ShowAsReadOnly(QWidget& edit) {
  QPalette palette = edit.palette();
  palette.setColor(QPalette::Base, palette.color(QPalette::Window));
  edit.setPalette(palette);
}

Qt::Alignment StaticAlignment(std::uint32_t styleBits) {
  switch (styleBits & SS_TYPEMASK) {
    case style::SS_CENTER:
      return Qt::AlignHCenter | Qt::AlignTop;
    case SS_RIGHT:
      return Qt::AlignRight | Qt::AlignTop;
    default:
      return Qt::AlignLeft | Qt::AlignTop;
  }
}

// The width a control leaves for its text.
int TextRoom(QWidget& widget) {
  if (auto* label = qobject_cast<QLabel*>(&widget)) {
    return label->contentsRect().width() - std::max(label->indent(), 0);
  }
  if (qobject_cast<QCheckBox*>(&widget) != nullptr) {
    return widget.width() - widget.style()->pixelMetric(QStyle::PM_IndicatorWidth) -
           widget.style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing) - 1;
  }
  if (qobject_cast<QPushButton*>(&widget) != nullptr) {
    return widget.width() - widget.style()->pixelMetric(QStyle::PM_ButtonMargin) -
           2 * widget.style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
  }
  return widget.width();
}

// Texts were laid out for the Windows dialog font, and a stand-in face of the same average
// width can still run wider on a given text. A one-line text that would be cut narrows its
// font just enough to fit, down to a limit; taller statics wrap instead.
void FitText(QWidget& widget, const QString& text) {
  constexpr int kNarrowestStretch = 80;
  const QFontMetrics metrics(widget.font());
  if (auto* label = qobject_cast<QLabel*>(&widget);
      label != nullptr && label->contentsRect().height() >= 2 * metrics.height()) {
    return;
  }
  int needed = 0;
  for (const QString& line : text.split(QLatin1Char('\n'))) {
    needed = std::max(needed, metrics.horizontalAdvance(QString(line).remove(QLatin1Char('&'))));
  }
  const int room = TextRoom(widget);
  if (needed <= room || room <= 0) return;
  QFont narrower = widget.font();
  narrower.setStretch(std::max(kNarrowestStretch, room * 100 / needed));
  widget.setFont(narrower);
}

}  // namespace

GroupBox::GroupBox(const QString& title, QWidget* parent) : QWidget(parent), title_(title) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setFocusPolicy(Qt::NoFocus);
}

void GroupBox::setTitle(const QString& title) {
  title_ = title;
  update();
}

void GroupBox::paintEvent(QPaintEvent* event) {
  (void)event;
  QPainter painter(this);
  const QFontMetrics metrics(font());
  const int top = metrics.height() / 2 - 1;
  const QRect frame(0, top, width() - 2, height() - top - 2);
  // The etched edge: a shadow line with a light line one pixel below and right of it.
  painter.setPen(palette().color(QPalette::Light));
  painter.drawRect(frame.translated(1, 1));
  painter.setPen(palette().color(QPalette::Mid));
  painter.drawRect(frame);
  if (title_.isEmpty()) return;
  const int textLeft = metrics.averageCharWidth() + 2;
  const QRect textRect(textLeft, 0, metrics.horizontalAdvance(title_) + 2, metrics.height());
  painter.fillRect(textRect, palette().color(QPalette::Window));
  painter.setPen(
      palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
  painter.drawText(textRect.adjusted(1, 0, 0, 0), Qt::AlignLeft | Qt::AlignTop, title_);
}

DialogWindow::DialogWindow(ui::Dialog& dialog, const res::DialogTemplate& dialogTemplate,
                           QWidget* parent, QtPlatform& platform)
    : QDialog(parent), dialog_(dialog), template_(dialogTemplate), platform_(platform) {
  Build();
}

DialogWindow::~DialogWindow() {
  StopTimers();
}

void DialogWindow::Build() {
  const bool appWindow =
      Has(template_.exStyle, style::WS_EX_APPWINDOW) || parentWidget() == nullptr;
  Qt::WindowFlags flags = appWindow ? Qt::Window : Qt::Dialog;
  flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint;
  if (Has(template_.style, style::WS_SYSMENU)) {
    flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  }
  if (Has(template_.style, WS_MINIMIZEBOX)) flags |= Qt::WindowMinimizeButtonHint;
  if (Has(template_.style, WS_MAXIMIZEBOX)) flags |= Qt::WindowMaximizeButtonHint;
  setWindowFlags(flags);
  setWindowTitle(ToQString(template_.caption != nullptr ? template_.caption : ""));

  const QFont dialogFont = DialogFont(template_);
  setFont(dialogFont);
  units_ = UnitsOf(dialogFont);
  setFixedSize(units_.X(template_.cx), units_.Y(template_.cy));

  controls_.reserve(template_.controls.size());
  for (const res::ControlTemplate& control : template_.controls) {
    Control entry;
    entry.source = &control;
    entry.text = control.text != nullptr ? control.text : "";
    entry.widget = CreateControl(control);
    controls_.push_back(entry);
  }

  // Stacking as the dialog manager leaves it: a control earlier in the template lies above a
  // later one, and the frames and group boxes lie below every control they frame.
  for (auto it = controls_.rbegin(); it != controls_.rend(); ++it) {
    if (!IsDecoration(it->source->kind)) it->widget->raise();
  }
  for (const Control& control : controls_) {
    if (IsDecoration(control.source->kind)) control.widget->lower();
  }
}

QWidget* DialogWindow::CreateControl(const res::ControlTemplate& control) {
  const QString text = ToQString(control.text != nullptr ? control.text : "");
  const int id = control.id;
  QWidget* widget = nullptr;
  bool interactive = true;

  switch (control.kind) {
    case ControlKind::GroupBox: {
      widget = new GroupBox(WithoutMnemonics(control.text != nullptr ? control.text : ""), this);
      interactive = false;
      break;
    }
    case ControlKind::Static: {
      auto* label = new QLabel(WithoutMnemonics(control.text != nullptr ? control.text : ""), this);
      label->setTextFormat(Qt::PlainText);
      label->setAlignment(StaticAlignment(control.style));
      const std::uint32_t type = control.style & SS_TYPEMASK;
      label->setWordWrap(type != SS_SIMPLE && type != SS_LEFTNOWORDWRAP);
      if (Has(control.style, style::SS_SUNKEN) || Has(control.exStyle, style::WS_EX_STATICEDGE)) {
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setLineWidth(1);
        label->setIndent(1);
      } else if (Has(control.style, style::WS_BORDER)) {
        label->setFrameStyle(QFrame::Box | QFrame::Plain);
        label->setLineWidth(1);
        label->setIndent(1);
      }
      // A static text without notification lets the mouse through, as on Windows.
      label->setAttribute(Qt::WA_TransparentForMouseEvents);
      widget = label;
      interactive = false;
      break;
    }
    case ControlKind::Frame: {
      auto* frame = new QFrame(this);
      switch (control.style & SS_TYPEMASK) {
        case SS_ETCHEDHORZ:
          frame->setFrameStyle(QFrame::HLine | QFrame::Sunken);
          break;
        case SS_ETCHEDVERT:
          frame->setFrameStyle(QFrame::VLine | QFrame::Sunken);
          break;
        default:
          frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
          break;
      }
      frame->setLineWidth(1);
      frame->setMidLineWidth(0);
      frame->setAttribute(Qt::WA_TransparentForMouseEvents);
      widget = frame;
      interactive = false;
      break;
    }
    case ControlKind::Edit: {
      const bool readOnly = Has(control.style, style::ES_READONLY);
      if (Has(control.style, style::ES_MULTILINE)) {
        auto* edit = new QPlainTextEdit(this);
        edit->setReadOnly(readOnly);
        edit->setTabChangesFocus(true);
        edit->document()->setDocumentMargin(1);
        const bool scrollsSideways =
            Has(control.style, style::WS_HSCROLL) || Has(control.style, style::ES_AUTOHSCROLL);
        edit->setLineWrapMode(scrollsSideways ? QPlainTextEdit::NoWrap
                                              : QPlainTextEdit::WidgetWidth);
        edit->setVerticalScrollBarPolicy(
            Has(control.style, style::WS_VSCROLL) ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
        edit->setHorizontalScrollBarPolicy(
            Has(control.style, style::WS_HSCROLL) ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
        if (HasBorder(control)) {
          edit->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        } else if (Has(control.exStyle, style::WS_EX_STATICEDGE)) {
          edit->setFrameStyle(QFrame::Panel | QFrame::Sunken);
          edit->setLineWidth(1);
        } else {
          edit->setFrameStyle(QFrame::NoFrame);
        }
        edit->setPlainText(ToDisplayLines(control.text != nullptr ? control.text : ""));
        edit->document()->setModified(false);
        if (readOnly) ShowAsReadOnly(*edit);
        widget = edit;
      } else {
        auto* edit = new QLineEdit(text, this);
        edit->setReadOnly(readOnly);
        edit->setFrame(HasBorder(control) || Has(control.exStyle, style::WS_EX_STATICEDGE));
        edit->setCursorPosition(0);
        if (readOnly) ShowAsReadOnly(*edit);
        widget = edit;
      }
      break;
    }
    case ControlKind::PushButton: {
      auto* button = new QPushButton(text, this);
      // Enter is the dialog's business (keyPressEvent), not the focused button's.
      button->setAutoDefault(false);
      // Of several buttons with the default style, the first in the template is the default.
      if ((control.style & BS_TYPEMASK) == style::BS_DEFPUSHBUTTON && defaultButton_ == nullptr) {
        button->setDefault(true);
        defaultButton_ = button;
      }
      connect(button, &QPushButton::clicked, this, [this, id] { Command(id); });
      widget = button;
      break;
    }
    case ControlKind::CheckBox: {
      auto* box = new QCheckBox(text, this);
      // The box covers what lies beneath it, such as the top edge of the group box it sits on.
      box->setAutoFillBackground(true);
      // An automatic check box has toggled itself by the time its click is routed.
      connect(box, &QCheckBox::clicked, this, [this, id] { Command(id); });
      widget = box;
      break;
    }
    case ControlKind::ComboBox: {
      auto* combo = new QComboBox(this);
      combo->setEditable(true);
      // Typed text stays typed text: no completion, and Enter adds no entry.
      combo->setInsertPolicy(QComboBox::NoInsert);
      combo->setCompleter(nullptr);
      for (const char* item : control.items) combo->addItem(ToQString(item));
      combo->setCurrentIndex(-1);
      combo->setEditText(text);
      widget = combo;
      break;
    }
    case ControlKind::ListView: {
      auto* list = new QTableWidget(0, 0, this);
      list->verticalHeader()->hide();
      list->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
      list->horizontalHeader()->setHighlightSections(false);
      list->horizontalHeader()->setStretchLastSection(false);
      list->setSelectionBehavior(QAbstractItemView::SelectRows);
      list->setSelectionMode(QAbstractItemView::ExtendedSelection);
      list->setEditTriggers(QAbstractItemView::NoEditTriggers);
      list->setShowGrid(false);
      list->setWordWrap(false);
      list->setCornerButtonEnabled(false);
      // Rows and header as tall as a report view makes them: a line of the font and a little,
      // and at least the height of a check box.
      const int lineHeight = QFontMetrics(font()).height();
      const int rowHeight = std::max(lineHeight + 4, 17);
      list->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
      list->verticalHeader()->setMinimumSectionSize(rowHeight);
      list->verticalHeader()->setDefaultSectionSize(rowHeight);
      list->horizontalHeader()->setFixedHeight(lineHeight + 5);
      list->setFrameStyle(HasBorder(control) ? (QFrame::StyledPanel | QFrame::Sunken)
                                             : QFrame::NoFrame);
      widget = list;
      break;
    }
  }

  if (control.kind == ControlKind::ComboBox) {
    // The template's height includes the dropped-down list; the closed box is one line high.
    const QRect area = units_.Rect(control.x, control.y, control.cx, control.cy);
    widget->setGeometry(area.x(), area.y(), area.width(),
                        std::min(area.height(), widget->sizeHint().height()));
  } else {
    widget->setGeometry(units_.Rect(control.x, control.y, control.cx, control.cy));
  }

  if (control.kind == ControlKind::Static || control.kind == ControlKind::PushButton ||
      control.kind == ControlKind::CheckBox) {
    FitText(*widget, text);
  }

  if (!interactive) {
    widget->setFocusPolicy(Qt::NoFocus);
  } else {
    widget->setFocusPolicy(Has(control.style, style::WS_TABSTOP) ? Qt::StrongFocus
                                                                 : Qt::ClickFocus);
  }
  if (Has(control.style, style::WS_DISABLED)) widget->setEnabled(false);
  if (!Has(control.style, style::WS_VISIBLE)) widget->setHidden(true);
  return widget;
}

int DialogWindow::RunModalLoop() {
  if (ended_) return result_;
  setWindowModality(Qt::ApplicationModal);
  show();
  QEventLoop loop;
  loop_ = &loop;
  loop.exec(QEventLoop::DialogExec);
  loop_ = nullptr;
  return result_;
}

void DialogWindow::FocusFirstTabStop() {
  for (const Control& control : controls_) {
    if (control.widget->focusPolicy() != Qt::StrongFocus || control.widget->isHidden() ||
        !control.widget->isEnabled()) {
      continue;
    }
    control.widget->setFocus(Qt::TabFocusReason);
    return;
  }
}

void DialogWindow::StopTimers() {
  for (auto& [id, timer] : timers_) timer->stop();
}

bool DialogWindow::PreTranslateKey(const QKeyEvent& event) {
  if (ended_ || platform_.draining()) return false;
  ui::Msg msg;
  msg.message = event.modifiers().testFlag(Qt::AltModifier) ? WM_SYSKEYDOWN : ui::WM_KEYDOWN;
  msg.wParam = VirtualKey(event.key());
  msg.lParam = kRepeatCountOne | (event.isAutoRepeat() ? kKeyWasDown : 0);
  return dialog_.PreTranslateMessage(msg);
}

QWidget* DialogWindow::Item(int id) const {
  const Control* control = Find(id);
  return control != nullptr ? control->widget : nullptr;
}

DialogWindow::Control* DialogWindow::Find(int id) {
  for (Control& control : controls_) {
    if (control.source->id == id) return &control;
  }
  return nullptr;
}

const DialogWindow::Control* DialogWindow::Find(int id) const {
  for (const Control& control : controls_) {
    if (control.source->id == id) return &control;
  }
  return nullptr;
}

QTableWidget* DialogWindow::List(int id) const {
  const Control* control = Find(id);
  return control != nullptr ? qobject_cast<QTableWidget*>(control->widget) : nullptr;
}

std::string DialogWindow::ItemText(int id) const {
  const Control* control = Find(id);
  if (control == nullptr) return {};
  if (auto* edit = qobject_cast<QLineEdit*>(control->widget)) return ToStdString(edit->text());
  if (auto* combo = qobject_cast<QComboBox*>(control->widget)) {
    return ToStdString(combo->currentText());
  }
  if (auto* edit = qobject_cast<QPlainTextEdit*>(control->widget)) {
    // What the user typed reads back with the tool's own line ends.
    if (edit->document()->isModified()) {
      return ToStdString(edit->toPlainText().replace(QStringLiteral("\n"), QStringLiteral("\r\n")));
    }
  }
  return control->text;
}

void DialogWindow::SetItemText(int id, std::string_view text) {
  Control* control = Find(id);
  if (control == nullptr) return;
  control->text.assign(text);
  QWidget* widget = control->widget;
  if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
    edit->setText(ToQString(text));
    // A new text shows from its start, as an edit control shows it.
    edit->setCursorPosition(0);
  } else if (auto* edit = qobject_cast<QPlainTextEdit*>(widget)) {
    edit->setPlainText(ToDisplayLines(text));
    edit->document()->setModified(false);
  } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
    combo->setEditText(ToQString(text));
  } else if (auto* label = qobject_cast<QLabel*>(widget)) {
    label->setText(WithoutMnemonics(text));
  } else if (auto* group = dynamic_cast<GroupBox*>(widget)) {
    group->setTitle(WithoutMnemonics(text));
  } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    button->setText(ToQString(text));
  }
}

bool DialogWindow::IsItemEnabled(int id) const {
  const QWidget* widget = Item(id);
  return widget != nullptr && widget->isEnabled();
}

void DialogWindow::EnableItem(int id, bool enable) {
  if (QWidget* widget = Item(id)) widget->setEnabled(enable);
}

int DialogWindow::Check(int id) const {
  auto* box = qobject_cast<QCheckBox*>(Item(id));
  return box != nullptr && box->isChecked() ? ui::BST_CHECKED : ui::BST_UNCHECKED;
}

void DialogWindow::SetCheck(int id, int state) {
  if (auto* box = qobject_cast<QCheckBox*>(Item(id))) box->setChecked(state != ui::BST_UNCHECKED);
}

int DialogWindow::ComboSelection(int id) const {
  auto* combo = qobject_cast<QComboBox*>(Item(id));
  if (combo == nullptr) return -1;
  // Text the user typed selects the entry it matches exactly, and no entry otherwise.
  const QString shown = combo->currentText();
  const int current = combo->currentIndex();
  if (current >= 0 && combo->itemText(current) == shown) return current;
  return combo->findText(shown, Qt::MatchExactly | Qt::MatchCaseSensitive);
}

void DialogWindow::SetComboSelection(int id, int index) {
  auto* combo = qobject_cast<QComboBox*>(Item(id));
  if (combo == nullptr) return;
  if (index < 0 || index >= combo->count()) {
    combo->setCurrentIndex(-1);
    combo->setEditText(QString());
    return;
  }
  combo->setCurrentIndex(index);
}

void DialogWindow::ListInsertColumn(int id, int column, std::string_view heading, int width) {
  QTableWidget* list = List(id);
  if (list == nullptr || column < 0) return;
  const int at = std::min(column, list->columnCount());
  list->insertColumn(at);
  auto* header = new QTableWidgetItem(ToQString(heading));
  header->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  list->setHorizontalHeaderItem(at, header);
  list->setColumnWidth(at, DialogUnits::MulDiv(width, units_.baseX, kLayoutBaseX));
}

void DialogWindow::ListSetExtendedStyle(int id, std::uint32_t extendedStyle) {
  Control* control = Find(id);
  QTableWidget* list = List(id);
  if (control == nullptr || list == nullptr) return;
  const bool hadCheckBoxes = Has(control->listExtendedStyle, ui::LVS_EX_CHECKBOXES);
  control->listExtendedStyle = extendedStyle;
  list->setShowGrid(Has(extendedStyle, ui::LVS_EX_GRIDLINES));
  const bool checkBoxes = Has(extendedStyle, ui::LVS_EX_CHECKBOXES);
  if (checkBoxes == hadCheckBoxes) return;
  // Turning the check boxes on gives every row an unticked box; turning them off removes them.
  for (int row = 0; row < list->rowCount(); ++row) {
    SetRowCheck(*list, row, checkBoxes ? ui::LVIS_UNCHECKED : 0);
  }
}

int DialogWindow::ListInsertRow(int id, int row, std::string_view text) {
  const Control* control = Find(id);
  QTableWidget* list = List(id);
  if (control == nullptr || list == nullptr || row < 0) return -1;
  const int at = std::min(row, list->rowCount());
  list->insertRow(at);
  if (list->columnCount() > 0) {
    auto* item = new QTableWidgetItem(ToQString(text));
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    list->setItem(at, 0, item);
    if (Has(control->listExtendedStyle, ui::LVS_EX_CHECKBOXES)) {
      SetRowCheck(*list, at, ui::LVIS_UNCHECKED);
    }
  }
  return at;
}

void DialogWindow::ListSetItemText(int id, int row, int column, std::string_view text) {
  QTableWidget* list = List(id);
  if (list == nullptr || row < 0 || row >= list->rowCount() || column < 0 ||
      column >= list->columnCount()) {
    return;
  }
  QTableWidgetItem* item = list->item(row, column);
  if (item == nullptr) {
    item = new QTableWidgetItem();
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    list->setItem(row, column, item);
  }
  item->setText(ToQString(text));
}

void DialogWindow::ListDeleteAllRows(int id) {
  if (QTableWidget* list = List(id)) list->setRowCount(0);
}

int DialogWindow::ListRowCount(int id) const {
  const QTableWidget* list = List(id);
  return list != nullptr ? list->rowCount() : 0;
}

std::uint32_t DialogWindow::ListItemState(int id, int row, std::uint32_t mask) const {
  const QTableWidget* list = List(id);
  if (list == nullptr || row < 0 || row >= list->rowCount()) return 0;
  std::uint32_t state = 0;
  if (const QTableWidgetItem* item = list->item(row, 0);
      item != nullptr && item->flags().testFlag(Qt::ItemIsUserCheckable)) {
    state |= item->checkState() == Qt::Checked ? ui::LVIS_CHECKED : ui::LVIS_UNCHECKED;
  }
  if (list->selectionModel()->isRowSelected(row, QModelIndex())) state |= LVIS_SELECTED;
  if (list->currentRow() == row) state |= LVIS_FOCUSED;
  return state & mask;
}

void DialogWindow::ListSetItemState(int id, int row, std::uint32_t state, std::uint32_t mask) {
  QTableWidget* list = List(id);
  if (list == nullptr || row < -1 || row >= list->rowCount()) return;
  // Row -1 stands for every row.
  const int first = row < 0 ? 0 : row;
  const int last = row < 0 ? list->rowCount() - 1 : row;
  for (int r = first; r <= last; ++r) {
    if ((mask & ui::LVIS_STATEIMAGEMASK) != 0) {
      SetRowCheck(*list, r, state & ui::LVIS_STATEIMAGEMASK);
    }
    if ((mask & LVIS_SELECTED) != 0) {
      const QModelIndex index = list->model()->index(r, 0);
      list->selectionModel()->select(
          index, ((state & LVIS_SELECTED) != 0 ? QItemSelectionModel::Select
                                               : QItemSelectionModel::Deselect) |
                     QItemSelectionModel::Rows);
    }
    if ((mask & LVIS_FOCUSED) != 0 && (state & LVIS_FOCUSED) != 0) {
      list->setCurrentCell(r, 0, QItemSelectionModel::NoUpdate);
    }
  }
}

void DialogWindow::SetRowCheck(QTableWidget& list, int row, std::uint32_t stateImage) {
  QTableWidgetItem* item = list.item(row, 0);
  if (item == nullptr) {
    if (list.columnCount() == 0) return;
    item = new QTableWidgetItem();
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    list.setItem(row, 0, item);
  }
  if (stateImage == ui::LVIS_CHECKED || stateImage == ui::LVIS_UNCHECKED) {
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(stateImage == ui::LVIS_CHECKED ? Qt::Checked : Qt::Unchecked);
  } else {
    // No state image: the row shows no box.
    item->setFlags(item->flags() & ~Qt::ItemIsUserCheckable);
    item->setData(Qt::CheckStateRole, QVariant());
  }
}

int DialogWindow::SetTimer(int timerId, unsigned periodMs) {
  if (timerId == 0) return 0;
  QTimer*& timer = timers_[timerId];
  if (timer == nullptr) {
    timer = new QTimer(this);
    timer->setTimerType(Qt::PreciseTimer);
    // A tick that runs long is not made up for: the next comes when the loop runs again.
    connect(timer, &QTimer::timeout, this, [this, timerId] {
      Route(ui::Message{ui::Message::Kind::Timer, timerId});
    });
  }
  // Setting a running timer again restarts it with the new period.
  const unsigned period = std::clamp(periodMs, kMinimumTimerMs, static_cast<unsigned>(INT_MAX));
  timer->start(static_cast<int>(period));
  return timerId;
}

void DialogWindow::KillTimer(int timerId) {
  const auto it = timers_.find(timerId);
  if (it != timers_.end()) it->second->stop();
}

void DialogWindow::PostCommand(int id) {
  // Queued behind what is waiting, and dropped if the window is gone by then.
  QMetaObject::invokeMethod(
      this, [this, id] { Command(id); }, Qt::QueuedConnection);
}

void DialogWindow::SetIcon(ui::IconHandle icon, bool big) {
  // One QIcon carries both sizes; the big and the small icon are the same resource.
  (void)big;
  setWindowIcon(platform_.Icon(icon));
}

bool DialogWindow::IsMinimized() const {
  return isMinimized();
}

void DialogWindow::ClientSize(int& width, int& height) const {
  width = this->width();
  height = this->height();
}

void DialogWindow::DrawIcon(int x, int y, ui::IconHandle icon) {
  if (painter_ == nullptr) return;
  int width = 0;
  int height = 0;
  platform_.IconSize(width, height);
  painter_->drawPixmap(x, y, platform_.Icon(icon).pixmap(width, height));
}

void DialogWindow::EndModal(int result) {
  result_ = result;
  ended_ = true;
  // The window goes at once; nothing more reaches the dialog before its loop returns.
  hide();
  if (loop_ != nullptr) loop_->exit(0);
}

void DialogWindow::accept() {
  Command(ui::IDOK);
}

void DialogWindow::reject() {
  Command(ui::IDCANCEL);
}

void DialogWindow::Route(const ui::Message& message) {
  if (ended_) return;
  dialog_.Dispatch(message);
}

void DialogWindow::keyPressEvent(QKeyEvent* event) {
  // The dialog's own keys: Esc cancels, Enter clicks the focused push button, else the default
  // button, else sends the standard OK. Keys dispatched by DrainMessages skip this handling.
  if (platform_.draining()) {
    event->ignore();
    return;
  }
  switch (event->key()) {
    case Qt::Key_Escape:
      Command(ui::IDCANCEL);
      return;
    case Qt::Key_Return:
    case Qt::Key_Enter: {
      if (auto* focused = qobject_cast<QPushButton*>(focusWidget())) {
        focused->click();
        return;
      }
      if (defaultButton_ != nullptr) {
        // A disabled default button takes the key and does nothing.
        if (defaultButton_->isEnabled() && defaultButton_->isVisible()) defaultButton_->click();
        return;
      }
      Command(ui::IDOK);
      return;
    }
    default:
      event->ignore();
      return;
  }
}

void DialogWindow::closeEvent(QCloseEvent* event) {
  // The close box asks; the dialog ends itself through EndDialog if it agrees.
  event->ignore();
  Command(ui::IDCANCEL);
}

void DialogWindow::paintEvent(QPaintEvent* event) {
  QDialog::paintEvent(event);
  QPainter painter(this);
  painter_ = &painter;
  Route(ui::Message{ui::Message::Kind::Paint, 0});
  painter_ = nullptr;
}

}  // namespace qtui

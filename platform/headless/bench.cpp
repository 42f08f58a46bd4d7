#include "platform/headless/bench.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "resources/resource_ids.h"

namespace headless {

namespace {

// Dialog units become pixels through the base units of 8-point MS Sans Serif: an average
// character is 6 pixels wide and 13 high, a dialog unit a quarter and an eighth of that.
constexpr int kBaseUnitX = 6;
constexpr int kBaseUnitY = 13;
// The shortest period the platform gives a timer; a shorter one is raised to it.
constexpr unsigned kMinTimerPeriodMs = 10;
constexpr int kSystemIconSize = 32;
// lParam of a key-down: a repeat count of 1, and bit 30 when the key was already down, as in
// the key-downs of auto-repeat.
constexpr long kKeyRepeatCount = 1;
constexpr long kKeyWasDown = 1L << 30;
// The button type sits in the low four bits of a button's style.
constexpr std::uint32_t kButtonTypeMask = 0xF;

std::string Where(int templateId, int controlId) {
  return "template " + std::to_string(templateId) + ", control " + std::to_string(controlId);
}

bool IsDefaultPushButton(const ControlState& c) {
  return c.kind == res::ControlKind::PushButton &&
         (c.style & kButtonTypeMask) == res::style::BS_DEFPUSHBUTTON;
}

unsigned ModifierOf(unsigned vk) {
  if (vk == ui::VK_SHIFT) return kShift;
  if (vk == ui::VK_CONTROL) return kCtrl;
  return kNoModifier;
}

}  // namespace

// ---- The scripted user ----

User& User::Add(Action action) {
  actions_.push_back(std::move(action));
  return *this;
}

User& User::Click(int id) {
  Action a;
  a.kind = Action::Kind::Click;
  a.id = id;
  return Add(std::move(a));
}

User& User::Type(int id, std::string_view text) {
  Action a;
  a.kind = Action::Kind::Type;
  a.id = id;
  a.text = text;
  return Add(std::move(a));
}

User& User::SelectItem(int comboId, int index) {
  Action a;
  a.kind = Action::Kind::SelectItem;
  a.id = comboId;
  a.index = index;
  return Add(std::move(a));
}

User& User::TickRow(int listId, int row) {
  Action a;
  a.kind = Action::Kind::TickRow;
  a.id = listId;
  a.index = row;
  return Add(std::move(a));
}

User& User::Key(unsigned vk, unsigned modifiers, int repeats) {
  Action a;
  a.kind = Action::Kind::Key;
  a.vk = vk;
  a.modifiers = modifiers;
  a.index = repeats;
  return Add(std::move(a));
}

User& User::Wait(std::uint32_t ms) {
  Action a;
  a.kind = Action::Kind::Wait;
  a.ms = ms;
  return Add(std::move(a));
}

User& User::ChooseFile(std::string_view path) {
  Action a;
  a.kind = Action::Kind::ChooseFile;
  a.text = path;
  return Add(std::move(a));
}

User& User::CancelFile() {
  Action a;
  a.kind = Action::Kind::CancelFile;
  return Add(std::move(a));
}

User& User::Close() {
  Action a;
  a.kind = Action::Kind::Close;
  return Add(std::move(a));
}

User& User::HoldKey(unsigned vk) {
  Action a;
  a.kind = Action::Kind::HoldKey;
  a.vk = vk;
  return Add(std::move(a));
}

User& User::ReleaseKey(unsigned vk) {
  Action a;
  a.kind = Action::Kind::ReleaseKey;
  a.vk = vk;
  return Add(std::move(a));
}

// ---- The clock ----

void BenchClock::Sleep(std::uint32_t ms) {
  sleeps_.push_back(ms);
  AdvanceTo(NowMs() + ms);
}

void BenchClock::AdvanceTo(std::uint64_t ms) {
  for (;;) {
    auto next = std::min_element(scheduled_.begin(), scheduled_.end(),
                                 [](const Scheduled& a, const Scheduled& b) {
                                   return a.atMs != b.atMs ? a.atMs < b.atMs : a.order < b.order;
                                 });
    if (next == scheduled_.end() || next->atMs > ms) break;
    if (next->atMs > NowMs()) Advance(next->atMs - NowMs());
    std::function<void()> action = std::move(next->action);
    scheduled_.erase(next);
    action();
  }
  if (ms > NowMs()) Advance(ms - NowMs());
}

void BenchClock::At(std::uint64_t ms, std::function<void()> action) {
  scheduled_.push_back({ms, nextOrder_++, std::move(action)});
}

void BenchClock::RunDue() {
  AdvanceTo(NowMs());
}

std::uint64_t BenchClock::NextCallbackMs() const {
  std::uint64_t next = UINT64_MAX;
  for (const Scheduled& s : scheduled_) next = std::min(next, s.atMs);
  return next;
}

// ---- A window ----

BenchWindow::BenchWindow(Bench& bench, ui::Dialog& dialog, const res::DialogTemplate& source)
    : bench_(bench), dialog_(&dialog), source_(source) {
  controls_.reserve(source.controls.size());
  for (const res::ControlTemplate& t : source.controls) {
    ControlState c;
    c.source = &t;
    c.id = t.id;
    c.kind = t.kind;
    c.style = t.style;
    c.text = t.text != nullptr ? t.text : "";
    c.enabled = (t.style & res::style::WS_DISABLED) == 0;
    c.visible = (t.style & res::style::WS_VISIBLE) != 0;
    for (const char* item : t.items) c.items.emplace_back(item);
    controls_.push_back(std::move(c));
  }
  clientWidth_ = source.cx * kBaseUnitX / 4;
  clientHeight_ = source.cy * kBaseUnitY / 8;
}

const ControlState* BenchWindow::Control(int id) const {
  if (id == res::IDC_STATIC) return nullptr;
  for (const ControlState& c : controls_) {
    if (c.id == id) return &c;
  }
  return nullptr;
}

const ControlState* BenchWindow::Find(int id, const char* operation) const {
  const ControlState* c = Control(id);
  if (c == nullptr) bench_.Error(Where(source_.id, id) + ": no such control (" + operation + ")");
  return c;
}

ControlState* BenchWindow::Find(int id, const char* operation) {
  return const_cast<ControlState*>(std::as_const(*this).Find(id, operation));
}

const ControlState* BenchWindow::FindKind(int id, res::ControlKind kind,
                                          const char* operation) const {
  const ControlState* c = Find(id, operation);
  if (c != nullptr && c->kind != kind) {
    bench_.Error(Where(source_.id, id) + ": wrong kind of control for " + operation);
    return nullptr;
  }
  return c;
}

ControlState* BenchWindow::FindKind(int id, res::ControlKind kind, const char* operation) {
  return const_cast<ControlState*>(std::as_const(*this).FindKind(id, kind, operation));
}

const ListRow* BenchWindow::Row(int id, int row, const char* operation) const {
  const ControlState* list = FindKind(id, res::ControlKind::ListView, operation);
  if (list == nullptr) return nullptr;
  if (row < 0 || row >= static_cast<int>(list->rows.size())) {
    bench_.Error(Where(source_.id, id) + ": no row " + std::to_string(row) + " (" + operation +
                 ")");
    return nullptr;
  }
  return &list->rows[static_cast<std::size_t>(row)];
}

ListRow* BenchWindow::Row(int id, int row, const char* operation) {
  return const_cast<ListRow*>(std::as_const(*this).Row(id, row, operation));
}

std::string BenchWindow::ItemText(int id) const {
  const ControlState* c = Find(id, "ItemText");
  return c != nullptr ? c->text : std::string();
}

void BenchWindow::SetItemText(int id, std::string_view text) {
  ControlState* c = Find(id, "SetItemText");
  if (c == nullptr) return;
  c->text = std::string(text);
  bench_.writes_.push_back({source_.id, id, c->text});
}

bool BenchWindow::IsItemEnabled(int id) const {
  const ControlState* c = Find(id, "IsItemEnabled");
  return c != nullptr && c->enabled;
}

void BenchWindow::EnableItem(int id, bool enable) {
  if (ControlState* c = Find(id, "EnableItem")) c->enabled = enable;
}

int BenchWindow::Check(int id) const {
  const ControlState* c = FindKind(id, res::ControlKind::CheckBox, "Check");
  return c != nullptr ? c->check : ui::BST_UNCHECKED;
}

void BenchWindow::SetCheck(int id, int state) {
  if (ControlState* c = FindKind(id, res::ControlKind::CheckBox, "SetCheck")) c->check = state;
}

int BenchWindow::ComboSelection(int id) const {
  const ControlState* c = FindKind(id, res::ControlKind::ComboBox, "ComboSelection");
  return c != nullptr ? c->selection : -1;
}

void BenchWindow::SetComboSelection(int id, int index) {
  ControlState* c = FindKind(id, res::ControlKind::ComboBox, "SetComboSelection");
  if (c == nullptr) return;
  // An index out of range clears the selection and the edit field, as -1 does.
  if (index >= 0 && index < static_cast<int>(c->items.size())) {
    c->selection = index;
    c->text = c->items[static_cast<std::size_t>(index)];
  } else {
    c->selection = -1;
    c->text.clear();
  }
}

void BenchWindow::ListInsertColumn(int id, int column, std::string_view heading, int width) {
  ControlState* list = FindKind(id, res::ControlKind::ListView, "ListInsertColumn");
  if (list == nullptr) return;
  const auto at =
      static_cast<std::size_t>(std::clamp(column, 0, static_cast<int>(list->columns.size())));
  list->columns.insert(list->columns.begin() + static_cast<std::ptrdiff_t>(at),
                       {std::string(heading), width});
}

void BenchWindow::ListSetExtendedStyle(int id, std::uint32_t style) {
  ControlState* list = FindKind(id, res::ControlKind::ListView, "ListSetExtendedStyle");
  if (list == nullptr) return;
  list->listExtendedStyle = style;
  // Turning the check boxes on gives every row without a state image the unchecked box.
  if ((style & ui::LVS_EX_CHECKBOXES) == 0) return;
  for (ListRow& row : list->rows) {
    if ((row.state & ui::LVIS_STATEIMAGEMASK) == 0) row.state |= ui::LVIS_UNCHECKED;
  }
}

int BenchWindow::ListInsertRow(int id, int row, std::string_view text) {
  ControlState* list = FindKind(id, res::ControlKind::ListView, "ListInsertRow");
  if (list == nullptr || row < 0) return -1;
  const int at = std::min(row, static_cast<int>(list->rows.size()));
  ListRow inserted;
  inserted.texts.emplace_back(text);
  if ((list->listExtendedStyle & ui::LVS_EX_CHECKBOXES) != 0) inserted.state = ui::LVIS_UNCHECKED;
  list->rows.insert(list->rows.begin() + at, std::move(inserted));
  return at;
}

void BenchWindow::ListSetItemText(int id, int row, int column, std::string_view text) {
  ListRow* r = Row(id, row, "ListSetItemText");
  if (r == nullptr) return;
  const ControlState* list = Control(id);
  // The item's own text (column 0) exists without columns; a subitem needs its column.
  if (column < 0 || (column > 0 && column >= static_cast<int>(list->columns.size()))) {
    bench_.Error(Where(source_.id, id) + ": no column " + std::to_string(column));
    return;
  }
  if (r->texts.size() <= static_cast<std::size_t>(column)) {
    r->texts.resize(static_cast<std::size_t>(column) + 1);
  }
  r->texts[static_cast<std::size_t>(column)] = std::string(text);
}

void BenchWindow::ListDeleteAllRows(int id) {
  if (ControlState* list = FindKind(id, res::ControlKind::ListView, "ListDeleteAllRows")) {
    list->rows.clear();
  }
}

int BenchWindow::ListRowCount(int id) const {
  const ControlState* list = FindKind(id, res::ControlKind::ListView, "ListRowCount");
  return list != nullptr ? static_cast<int>(list->rows.size()) : 0;
}

std::uint32_t BenchWindow::ListItemState(int id, int row, std::uint32_t mask) const {
  const ListRow* r = Row(id, row, "ListItemState");
  return r != nullptr ? r->state & mask : 0;
}

void BenchWindow::ListSetItemState(int id, int row, std::uint32_t state, std::uint32_t mask) {
  auto apply = [&](ListRow& r) { r.state = (r.state & ~mask) | (state & mask); };
  // Row -1 means every row.
  if (row == -1) {
    if (ControlState* list = FindKind(id, res::ControlKind::ListView, "ListSetItemState")) {
      for (ListRow& r : list->rows) apply(r);
    }
    return;
  }
  if (ListRow* r = Row(id, row, "ListSetItemState")) apply(*r);
}

int BenchWindow::SetTimer(int timerId, unsigned periodMs) {
  return bench_.SetTimer(*this, timerId, periodMs);
}

void BenchWindow::KillTimer(int timerId) {
  bench_.KillTimer(*this, timerId);
}

void BenchWindow::PostCommand(int id) {
  bench_.posted_.push_back({Bench::Queued::Kind::Command, this, id, 0, 0});
}

void BenchWindow::SetIcon(ui::IconHandle icon, bool big) {
  (big ? bigIcon_ : smallIcon_) = icon;
}

void BenchWindow::ClientSize(int& width, int& height) const {
  width = clientWidth_;
  height = clientHeight_;
}

void BenchWindow::SetClientSize(int width, int height) {
  clientWidth_ = width;
  clientHeight_ = height;
}

void BenchWindow::DrawIcon(int x, int y, ui::IconHandle icon) {
  bench_.drawnIcons_.push_back({source_.id, x, y, icon});
}

void BenchWindow::EndModal(int result) {
  ended_ = true;
  result_ = result;
}

int BenchWindow::NextTabStop(int from, bool backwards) const {
  const int n = static_cast<int>(controls_.size());
  int start = backwards ? n : -1;
  for (int i = 0; i < n; ++i) {
    if (controls_[static_cast<std::size_t>(i)].id == from && from != 0) start = i;
  }
  for (int step = 1; step <= n; ++step) {
    const int i = ((start + (backwards ? -step : step)) % n + n) % n;
    const ControlState& c = controls_[static_cast<std::size_t>(i)];
    if (c.id != res::IDC_STATIC && (c.style & res::style::WS_TABSTOP) != 0 && c.visible &&
        c.enabled) {
      return c.id;
    }
  }
  return 0;
}

int BenchWindow::EnterTarget() const {
  if (const ControlState* focused = Control(focus_)) {
    if (focused->kind == res::ControlKind::PushButton && focused->enabled && focused->visible) {
      return focused->id;
    }
  }
  for (const ControlState& c : controls_) {
    if (IsDefaultPushButton(c)) return c.id;
  }
  return 0;
}

// ---- The bench ----

Bench::Bench() {
  ui::SetHost(this);
}

Bench::~Bench() {
  ui::SetHost(nullptr);
}

void Bench::Error(std::string message) {
  errors_.push_back(std::move(message));
}

BenchWindow* Bench::Create(ui::Dialog& dialog) {
  const res::DialogTemplate* source = res::FindDialogTemplate(dialog.templateId());
  if (source == nullptr) {
    Error("no dialog template " + std::to_string(dialog.templateId()));
    return nullptr;
  }
  open_.push_back(std::make_unique<BenchWindow>(*this, dialog, *source));
  opened_.push_back(source->id);
  // A modal dialog disables its owner until it ends.
  if (dialog.owner() != nullptr) {
    if (BenchWindow* owner = FindOpen(*dialog.owner())) ++owner->disableCount_;
  }
  return open_.back().get();
}

void Bench::Initialize(BenchWindow& window) {
  frames_.push_back({&window});
  window.dialog_->Attach(&window);
  const bool focusFirstTabStop = window.dialog_->OnInitDialog();
  if (focusFirstTabStop && window.dialog_ != nullptr) window.focus_ = window.NextTabStop(0, false);
}

void Bench::Close(BenchWindow& window) {
  ui::Dialog* dialog = window.dialog_;
  if (dialog == nullptr) return;
  if (dialog->owner() != nullptr) {
    if (BenchWindow* owner = FindOpen(*dialog->owner())) --owner->disableCount_;
  }
  dialog->Dispatch({ui::Message::Kind::Destroy, 0});
  // The window's timers and waiting messages die with it.
  std::erase_if(timerList_, [&](const Timer& t) { return t.window == &window; });
  std::erase_if(posted_, [&](const Queued& q) { return q.window == &window; });
  std::erase_if(input_, [&](const Queued& q) { return q.window == &window; });
  dialog->Attach(nullptr);
  window.dialog_ = nullptr;
  std::erase_if(frames_, [&](const Frame& f) { return f.window == &window; });
  for (auto it = open_.begin(); it != open_.end(); ++it) {
    if (it->get() != &window) continue;
    closed_[window.templateId()] = std::move(*it);
    open_.erase(it);
    break;
  }
}

BenchWindow* Bench::Frontmost() const {
  for (auto it = frames_.rbegin(); it != frames_.rend(); ++it) {
    if (it->window != nullptr) return it->window;
  }
  return nullptr;
}

BenchWindow* Bench::FindOpen(const ui::Dialog& dialog) const {
  for (const auto& w : open_) {
    if (w->dialog_ == &dialog) return w.get();
  }
  return nullptr;
}

BenchWindow* Bench::FindOpenTemplate(int templateId) const {
  for (auto it = open_.rbegin(); it != open_.rend(); ++it) {
    if ((*it)->templateId() == templateId) return it->get();
  }
  return nullptr;
}

const BenchWindow* Bench::FindWindow(int templateId) const {
  if (const BenchWindow* w = FindOpenTemplate(templateId)) return w;
  auto closed = closed_.find(templateId);
  return closed != closed_.end() ? closed->second.get() : nullptr;
}

bool Bench::IsOpen(int templateId) const {
  return FindOpenTemplate(templateId) != nullptr;
}

void Bench::SendCommand(BenchWindow& window, int id) {
  if (window.dialog_ != nullptr) window.dialog_->Dispatch({ui::Message::Kind::Command, id});
}

// ---- Timers ----

int Bench::SetTimer(BenchWindow& window, int timerId, unsigned periodMs) {
  if (timersFail_ || timerId == 0) return 0;
  const std::uint64_t now = clock_.NowMs();
  const unsigned period = std::max(periodMs, kMinTimerPeriodMs);
  auto running = std::find_if(timerList_.begin(), timerList_.end(), [&](const Timer& t) {
    return t.window == &window && t.id == timerId;
  });
  timerLog_.push_back({TimerRecord::Op::Set, window.templateId(), timerId, periodMs, now,
                       running != timerList_.end()});
  // Setting a running timer again restarts it with the new period.
  if (running != timerList_.end()) {
    running->periodMs = period;
    running->nextFireMs = now + period;
    running->ready = false;
  } else {
    timerList_.push_back({&window, timerId, period, now + period, false, 0, timerOrder_++});
  }
  return timerId;
}

void Bench::KillTimer(BenchWindow& window, int timerId) {
  const auto removed = std::erase_if(
      timerList_, [&](const Timer& t) { return t.window == &window && t.id == timerId; });
  timerLog_.push_back(
      {TimerRecord::Op::Kill, window.templateId(), timerId, 0, clock_.NowMs(), removed != 0});
}

void Bench::RefreshTimers() {
  const std::uint64_t now = clock_.NowMs();
  for (Timer& t : timerList_) {
    if (t.nextFireMs > now) continue;
    // However often it fell due, a timer has at most one tick waiting.
    if (!t.ready) {
      t.ready = true;
      t.readyAtMs = t.nextFireMs;
    }
    t.nextFireMs += ((now - t.nextFireMs) / t.periodMs + 1) * t.periodMs;
  }
}

std::uint64_t Bench::NextTimerFireMs() const {
  std::uint64_t next = UINT64_MAX;
  for (const Timer& t : timerList_) next = std::min(next, t.nextFireMs);
  return next;
}

// ---- The message loop ----

Bench::Dispatched Bench::DispatchNext(Mode mode) {
  clock_.RunDue();
  RefreshTimers();
  if (!posted_.empty()) {
    const Queued q = posted_.front();
    posted_.pop_front();
    SendCommand(*q.window, q.id);
    return Dispatched::Command;
  }
  if (!input_.empty()) {
    const Queued q = input_.front();
    input_.pop_front();
    switch (q.kind) {
      case Queued::Kind::Click:
        return DeliverClick(*q.window, q.id);
      case Queued::Kind::Close:
        if (!q.window->enabled()) return Dispatched::Other;
        SendCommand(*q.window, ui::IDCANCEL);
        return Dispatched::Close;
      case Queued::Kind::Key:
        // Dispatched straight to the control, a key gets no dialog handling.
        if (mode == Mode::Loop) DeliverKey(*q.window, q.vk, q.modifiers, false);
        return Dispatched::Other;
      case Queued::Kind::Command:
        break;
    }
    return Dispatched::Other;
  }
  auto due = timerList_.end();
  for (auto it = timerList_.begin(); it != timerList_.end(); ++it) {
    if (!it->ready) continue;
    if (due == timerList_.end() || it->readyAtMs < due->readyAtMs ||
        (it->readyAtMs == due->readyAtMs && it->order < due->order)) {
      due = it;
    }
  }
  if (due == timerList_.end()) return Dispatched::None;
  due->ready = false;
  BenchWindow& window = *due->window;
  const int id = due->id;
  timerLog_.push_back({TimerRecord::Op::Tick, window.templateId(), id, 0, clock_.NowMs(), true});
  if (window.dialog_ != nullptr) window.dialog_->Dispatch({ui::Message::Kind::Timer, id});
  return Dispatched::Other;
}

bool Bench::StepWait() {
  if (user_.actions_.empty() || user_.actions_.front().kind != Action::Kind::Wait) return false;
  Action& wait = user_.actions_.front();
  const std::uint64_t now = clock_.NowMs();
  if (!wait.started) {
    wait.started = true;
    wait.untilMs = now + wait.ms;
  }
  if (now >= wait.untilMs) {
    user_.actions_.pop_front();
    return true;
  }
  // Idle time passes up to the next event: a tick falling due, a scheduled action, or the end.
  const std::uint64_t next = std::min({wait.untilMs, NextTimerFireMs(), clock_.NextCallbackMs()});
  clock_.AdvanceTo(std::max(next, now));
  return true;
}

int Bench::RunModal(ui::Dialog& dialog) {
  BenchWindow* window = Create(dialog);
  if (window == nullptr) return -1;
  Initialize(*window);
  while (!window->ended_) {
    if (DispatchNext(Mode::Loop) != Dispatched::None) continue;
    if (StepWait()) continue;
    if (user_.empty()) {
      // The script has run out: the user presses Esc. A dialog that still stays open is ended,
      // so that a test cannot hang.
      if (!window->exhaustCancelSent_) {
        window->exhaustCancelSent_ = true;
        SendCommand(*window, ui::IDCANCEL);
      } else {
        Error("template " + std::to_string(window->templateId()) +
              ": did not close when the script ran out");
        window->EndModal(ui::IDCANCEL);
      }
      continue;
    }
    const Action action = user_.actions_.front();
    user_.actions_.pop_front();
    Perform(*window, action);
  }
  const int result = window->result_;
  Close(*window);
  return result;
}

void Bench::Perform(BenchWindow& window, const Action& action) {
  const int t = window.templateId();
  switch (action.kind) {
    case Action::Kind::Click:
      DeliverClick(window, action.id);
      return;
    case Action::Kind::Type: {
      ControlState* c = window.Find(action.id, "Type");
      if (c == nullptr || !window.enabled() || !c->enabled || !c->visible) return;
      if (c->kind == res::ControlKind::Edit) {
        if ((c->style & res::style::ES_READONLY) != 0) {
          Error(Where(t, action.id) + ": typed into a read-only field");
          return;
        }
        c->text = action.text;
      } else if (c->kind == res::ControlKind::ComboBox) {
        // Typed text selects the entry it equals; any other text leaves no selection.
        c->text = action.text;
        auto match = std::find(c->items.begin(), c->items.end(), action.text);
        c->selection = match != c->items.end() ? static_cast<int>(match - c->items.begin()) : -1;
      } else {
        Error(Where(t, action.id) + ": typed into a control without a text field");
        return;
      }
      window.focus_ = action.id;
      return;
    }
    case Action::Kind::SelectItem: {
      ControlState* c = window.FindKind(action.id, res::ControlKind::ComboBox, "SelectItem");
      if (c == nullptr || !window.enabled() || !c->enabled || !c->visible) return;
      if (action.index < 0 || action.index >= static_cast<int>(c->items.size())) {
        Error(Where(t, action.id) + ": no entry " + std::to_string(action.index));
        return;
      }
      c->selection = action.index;
      c->text = c->items[static_cast<std::size_t>(action.index)];
      window.focus_ = action.id;
      return;
    }
    case Action::Kind::TickRow: {
      ControlState* c = window.FindKind(action.id, res::ControlKind::ListView, "TickRow");
      if (c == nullptr || !window.enabled() || !c->enabled || !c->visible) return;
      if ((c->listExtendedStyle & ui::LVS_EX_CHECKBOXES) == 0) {
        Error(Where(t, action.id) + ": the list has no check boxes");
        return;
      }
      ListRow* row = window.Row(action.id, action.index, "TickRow");
      if (row == nullptr) return;
      const bool checked = (row->state & ui::LVIS_STATEIMAGEMASK) == ui::LVIS_CHECKED;
      row->state = (row->state & ~ui::LVIS_STATEIMAGEMASK) |
                   (checked ? ui::LVIS_UNCHECKED : ui::LVIS_CHECKED);
      window.focus_ = action.id;
      return;
    }
    case Action::Kind::Key:
      for (int i = 0; i < std::max(action.index, 1) && !window.ended_; ++i) {
        DeliverKey(window, action.vk, action.modifiers, i > 0);
      }
      return;
    case Action::Kind::Close:
      if (window.enabled()) SendCommand(window, ui::IDCANCEL);
      return;
    case Action::Kind::HoldKey:
    case Action::Kind::ReleaseKey:
      if (ModifierOf(action.vk) == kNoModifier) {
        Error("only Shift and Ctrl can be held, not key " + std::to_string(action.vk));
        return;
      }
      SetKeyDown(action.vk, action.kind == Action::Kind::HoldKey);
      return;
    case Action::Kind::ChooseFile:
    case Action::Kind::CancelFile:
      Error("template " + std::to_string(t) + ": a file dialog answer, but no file dialog is open");
      return;
    case Action::Kind::Wait:
      return;  // StepWait handles it
  }
}

Bench::Dispatched Bench::DeliverClick(BenchWindow& window, int id) {
  if (window.dialog_ == nullptr) return Dispatched::Other;
  ControlState* c = window.Find(id, "Click");
  if (c == nullptr) return Dispatched::Other;
  if (c->kind != res::ControlKind::PushButton && c->kind != res::ControlKind::CheckBox) {
    Error(Where(window.templateId(), id) + ": clicked a control that is no button");
    return Dispatched::Other;
  }
  if (!window.enabled() || !c->enabled || !c->visible) return Dispatched::Other;
  window.focus_ = id;
  if (c->kind == res::ControlKind::CheckBox) {
    c->check = c->check == ui::BST_CHECKED ? ui::BST_UNCHECKED : ui::BST_CHECKED;
  }
  SendCommand(window, id);
  return Dispatched::Command;
}

void Bench::DeliverKey(BenchWindow& window, unsigned vk, unsigned modifiers, bool repeat) {
  if (window.dialog_ == nullptr || !window.enabled()) return;
  const unsigned saved = keyModifiers_;
  keyModifiers_ = modifiers;
  const ui::Msg msg{ui::WM_KEYDOWN, vk, kKeyRepeatCount | (repeat ? kKeyWasDown : 0)};
  if (!window.dialog_->PreTranslateMessage(msg)) DialogKey(window, vk);
  keyModifiers_ = saved;
}

void Bench::DialogKey(BenchWindow& window, unsigned vk) {
  if (vk == ui::VK_ESCAPE) {
    SendCommand(window, ui::IDCANCEL);
  } else if (vk == ui::VK_RETURN) {
    const int target = window.EnterTarget();
    if (target == 0) {
      SendCommand(window, ui::IDOK);
      return;
    }
    // Enter presses the button where it is: the focus stays.
    const int focus = window.focus_;
    DeliverClick(window, target);
    window.focus_ = focus;
  } else if (vk == VK_TAB) {
    window.focus_ = window.NextTabStop(window.focus_, IsKeyDown(ui::VK_SHIFT));
  }
}

Bench::PromptAnswer Bench::RunPrompt(ui::Dialog* owner, bool fileDialog, std::string& path) {
  BenchWindow* ownerWindow = owner != nullptr ? FindOpen(*owner) : nullptr;
  if (ownerWindow != nullptr) ++ownerWindow->disableCount_;
  frames_.push_back({nullptr});
  const PromptAnswer unanswered = fileDialog ? PromptAnswer::Cancel : PromptAnswer::Ok;
  PromptAnswer answer = unanswered;
  for (;;) {
    if (DispatchNext(Mode::Loop) != Dispatched::None) continue;
    if (StepWait()) continue;
    if (user_.empty()) break;
    const Action& next = user_.actions_.front();
    const bool dismiss = next.kind == Action::Kind::Close ||
                         (next.kind == Action::Kind::Key && next.vk == ui::VK_ESCAPE);
    bool taken = true;
    if (fileDialog && next.kind == Action::Kind::ChooseFile) {
      answer = PromptAnswer::File;
      path = next.text;
    } else if (fileDialog && (next.kind == Action::Kind::CancelFile || dismiss)) {
      answer = PromptAnswer::Cancel;
    } else if (!fileDialog &&
               (dismiss || (next.kind == Action::Kind::Key && next.vk == ui::VK_RETURN) ||
                (next.kind == Action::Kind::Click && next.id == ui::IDOK))) {
      answer = PromptAnswer::Ok;
    } else {
      taken = false;  // meant for a window behind: the user answered the prompt first
    }
    if (taken) user_.actions_.pop_front();
    break;
  }
  frames_.pop_back();
  if (ownerWindow != nullptr) --ownerWindow->disableCount_;
  return answer;
}

void Bench::MessageBox(ui::Dialog* owner, std::string_view text) {
  boxes_.push_back(
      {std::string(text), ui::kApplicationName, owner != nullptr ? owner->templateId() : 0});
  std::string unused;
  RunPrompt(owner, false, unused);
}

bool Bench::OpenFileDialog(ui::Dialog* owner, const ui::FileDialogSpec& options,
                           std::string& path) {
  auto text = [](const char* s) { return s != nullptr ? std::string(s) : std::string(); };
  fileDialogs_.push_back({owner != nullptr ? owner->templateId() : 0,
                          text(options.defaultExtension), text(options.fileName), options.flags,
                          text(options.filter), text(options.title)});
  std::string chosen;
  if (RunPrompt(owner, true, chosen) != PromptAnswer::File) return false;
  path = chosen;
  return true;
}

void Bench::DrainMessages() {
  for (;;) {
    const Dispatched d = DispatchNext(Mode::Drain);
    if (d == Dispatched::None || d == Dispatched::Command || d == Dispatched::Close) return;
  }
}

bool Bench::IsKeyDown(unsigned vk) {
  const unsigned modifier = ModifierOf(vk);
  return modifier != kNoModifier && ((heldModifiers_ | keyModifiers_) & modifier) != 0;
}

void Bench::SetKeyDown(unsigned vk, bool down) {
  const unsigned modifier = ModifierOf(vk);
  if (modifier == kNoModifier) {
    Error("only Shift and Ctrl can be held, not key " + std::to_string(vk));
    return;
  }
  heldModifiers_ = down ? heldModifiers_ | modifier : heldModifiers_ & ~modifier;
}

ui::IconHandle Bench::LoadIcon(int resourceId) {
  if (resourceId == res::IDI_MAIN && !res::MainIconImages().empty()) return resourceId;
  Error("no icon " + std::to_string(resourceId));
  return 0;
}

void Bench::IconSize(int& width, int& height) {
  width = kSystemIconSize;
  height = kSystemIconSize;
}

// ---- Tests without a loop ----

bool Bench::Open(ui::Dialog& dialog) {
  BenchWindow* window = Create(dialog);
  if (window == nullptr) return false;
  Initialize(*window);
  return true;
}

void Bench::Destroy(ui::Dialog& dialog) {
  BenchWindow* window = FindOpen(dialog);
  if (window == nullptr) {
    Error("Destroy: the dialog of template " + std::to_string(dialog.templateId()) +
          " is not open");
    return;
  }
  Close(*window);
}

void Bench::RunScript() {
  BenchWindow* window = Frontmost();
  if (window == nullptr) {
    Error("RunScript: no dialog is open");
    return;
  }
  while (!window->ended_) {
    if (DispatchNext(Mode::Loop) != Dispatched::None) continue;
    if (StepWait()) continue;
    if (user_.empty()) return;
    const Action action = user_.actions_.front();
    user_.actions_.pop_front();
    Perform(*window, action);
  }
}

void Bench::Pump() {
  while (DispatchNext(Mode::Loop) != Dispatched::None) {
  }
}

void Bench::Paint(int templateId) {
  BenchWindow* window = FindOpenTemplate(templateId);
  if (window == nullptr || window->dialog_ == nullptr) {
    Error("Paint: no open window of template " + std::to_string(templateId));
    return;
  }
  window->dialog_->Dispatch({ui::Message::Kind::Paint, 0});
}

void Bench::QueueClick(int id) {
  if (BenchWindow* window = Frontmost()) {
    input_.push_back({Queued::Kind::Click, window, id, 0, 0});
  } else {
    Error("QueueClick: no dialog is open");
  }
}

void Bench::QueueClose() {
  if (BenchWindow* window = Frontmost()) {
    input_.push_back({Queued::Kind::Close, window, 0, 0, 0});
  } else {
    Error("QueueClose: no dialog is open");
  }
}

void Bench::QueueKey(unsigned vk, unsigned modifiers) {
  if (BenchWindow* window = Frontmost()) {
    input_.push_back({Queued::Kind::Key, window, 0, vk, modifiers});
  } else {
    Error("QueueKey: no dialog is open");
  }
}

void Bench::SetMinimized(int templateId, bool minimized) {
  if (BenchWindow* window = FindOpenTemplate(templateId)) {
    window->SetMinimized(minimized);
  } else {
    Error("SetMinimized: no open window of template " + std::to_string(templateId));
  }
}

void Bench::SetClientSize(int templateId, int width, int height) {
  if (BenchWindow* window = FindOpenTemplate(templateId)) {
    window->SetClientSize(width, height);
  } else {
    Error("SetClientSize: no open window of template " + std::to_string(templateId));
  }
}

// ---- Assertions ----

const ControlState* Bench::Inspect(int templateId, int controlId, const char* what) {
  const BenchWindow* window = FindWindow(templateId);
  if (window == nullptr) {
    Error(std::string(what) + ": no window of template " + std::to_string(templateId));
    return nullptr;
  }
  const ControlState* c = window->Control(controlId);
  if (c == nullptr) Error(Where(templateId, controlId) + ": no such control (" + what + ")");
  return c;
}

std::string Bench::Text(int templateId, int controlId) {
  const ControlState* c = Inspect(templateId, controlId, "Text");
  return c != nullptr ? c->text : std::string();
}

bool Bench::Enabled(int templateId, int controlId) {
  const ControlState* c = Inspect(templateId, controlId, "Enabled");
  return c != nullptr && c->enabled;
}

bool Bench::Visible(int templateId, int controlId) {
  const ControlState* c = Inspect(templateId, controlId, "Visible");
  return c != nullptr && c->visible;
}

int Bench::Check(int templateId, int controlId) {
  const ControlState* c = Inspect(templateId, controlId, "Check");
  return c != nullptr ? c->check : ui::BST_UNCHECKED;
}

int Bench::ComboSelection(int templateId, int controlId) {
  const ControlState* c = Inspect(templateId, controlId, "ComboSelection");
  return c != nullptr ? c->selection : -1;
}

std::vector<std::string> Bench::ComboItems(int templateId, int controlId) {
  const ControlState* c = Inspect(templateId, controlId, "ComboItems");
  return c != nullptr ? c->items : std::vector<std::string>();
}

std::vector<ListColumn> Bench::ListColumns(int templateId, int controlId) {
  const ControlState* c = Inspect(templateId, controlId, "ListColumns");
  return c != nullptr ? c->columns : std::vector<ListColumn>();
}

std::uint32_t Bench::ListExtendedStyle(int templateId, int controlId) {
  const ControlState* c = Inspect(templateId, controlId, "ListExtendedStyle");
  return c != nullptr ? c->listExtendedStyle : 0;
}

int Bench::ListRowCount(int templateId, int controlId) {
  const ControlState* c = Inspect(templateId, controlId, "ListRowCount");
  return c != nullptr ? static_cast<int>(c->rows.size()) : 0;
}

std::vector<std::string> Bench::ListRowTexts(int templateId, int controlId, int row) {
  const ControlState* c = Inspect(templateId, controlId, "ListRowTexts");
  if (c == nullptr) return {};
  if (row < 0 || row >= static_cast<int>(c->rows.size())) {
    Error(Where(templateId, controlId) + ": no row " + std::to_string(row));
    return {};
  }
  return c->rows[static_cast<std::size_t>(row)].texts;
}

std::uint32_t Bench::ListRowState(int templateId, int controlId, int row) {
  const ControlState* c = Inspect(templateId, controlId, "ListRowState");
  if (c == nullptr) return 0;
  if (row < 0 || row >= static_cast<int>(c->rows.size())) {
    Error(Where(templateId, controlId) + ": no row " + std::to_string(row));
    return 0;
  }
  return c->rows[static_cast<std::size_t>(row)].state;
}

std::vector<std::string> Bench::MessageBoxTexts() const {
  std::vector<std::string> texts;
  for (const MessageBoxRecord& box : boxes_) texts.push_back(box.text);
  return texts;
}

std::vector<std::string> Bench::WritesTo(int templateId, int controlId) const {
  std::vector<std::string> texts;
  for (const FieldWrite& w : writes_) {
    if (w.templateId == templateId && w.controlId == controlId) texts.push_back(w.text);
  }
  return texts;
}

void Bench::ClearRecord() {
  boxes_.clear();
  writes_.clear();
  timerLog_.clear();
  fileDialogs_.clear();
  drawnIcons_.clear();
  opened_.clear();
  errors_.clear();
  clock_.ClearSleeps();
}

}  // namespace headless

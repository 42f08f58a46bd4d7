#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "platform/ui.h"
#include "resources/dialog_template.h"

// The headless windowing backend: the test bench on which every dialog of the tool runs in a
// unit test, without a display and without real time.
//
//   headless::Bench bench;                        // installs itself as the ui::Host()
//   bench.user().Click(res::IDC_RELAY_START).Wait(600).Close();
//   RelayTestDialog dialog(&main);
//   dialog.DoModal();                             // runs the script, returns when it is done
//   EXPECT_EQ(bench.Text(res::IDD_MAIN, res::IDC_LOG), "...");
//
// What it models, because the dialogs rely on it:
// - One thread, one message queue. A modal run creates the window from its template, disables
//   the owner, runs OnInitDialog, then loops: posted commands first, then queued user input,
//   then due timer ticks; when nothing is waiting it performs the next action of the script.
//   When the script has run out and nothing is waiting, the dialog gets the standard cancel, as
//   if the user pressed Esc, so a test never hangs; one that still does not close is ended and
//   recorded as an error. The end of the run sends Destroy, kills the window's timers, detaches
//   the window and re-enables the owner.
// - Every nested modal loop (a console opened from the main window, a message box, the file
//   dialog) takes the next actions of the same script, and dispatches the messages of every
//   window meanwhile: the owner's timers go on ticking behind a modal dialog.
// - Time is a virtual clock. Sleep advances it and is recorded; the script's Wait advances it
//   as idle time, with each timer tick dispatched at its due time. A timer that falls due several
//   times while a handler sleeps gives one tick when the handler returns: ticks never queue up.
// - Keys: a key-down passes the dialog's PreTranslateMessage first; a true result swallows it.
//   Otherwise Esc is the standard cancel, Enter clicks the focused push button, else the first
//   push button with BS_DEFPUSHBUTTON in template order, else sends the standard OK; Tab moves
//   the focus through the tab stops. Other keys do nothing more. The focus starts on the first
//   tab stop when OnInitDialog returns true, and moves to what the user clicks or types into.
// - Clicks: a click on a disabled or hidden control, or into a disabled window, never arrives.
//   An automatic check box toggles itself before its click reaches the handler.
// - The close box is the standard cancel (IDCANCEL), without PreTranslateMessage.
// - DrainMessages dispatches what is waiting (posted commands, queued input, due ticks) without
//   PreTranslateMessage, so queued keys do nothing there; it returns after a command (a posted
//   command or a click) or a close has been dispatched, or when nothing is left.
// - Message boxes and the file dialog are modal prompts over their owner. A prompt takes the
//   next script action when it is meant for it (see User); when the next action is something
//   else, or the script is empty, the user is taken to answer OK (box) or Cancel (file dialog)
//   and the action stays for the window behind.
// - Control state comes from the template: text, enabled, visible, check state, combo entries and
//   selection, list views with columns, extended styles, rows and state bits. Addressing a
//   control that the window does not have, or with an operation its kind does not support, is
//   recorded in errors(); tests assert that it stays empty.
namespace headless {

// The Tab key, which moves the focus through a dialog's tab stops.
constexpr unsigned VK_TAB = 0x09;

// Modifier keys held while a scripted key is processed.
enum Modifier : unsigned { kNoModifier = 0, kShift = 1, kCtrl = 2 };

// One step of the scripted user.
struct Action {
  enum class Kind {
    Click,       // a mouse click on control `id`
    Type,        // replace the text of edit or combo `id` with `text`
    SelectItem,  // pick entry `index` of combo `id`
    TickRow,     // click the check box of row `index` of list `id`
    Key,         // key-down of `vk` with `modifiers`, `index` times (auto-repeat)
    Wait,        // let `ms` of idle time pass
    ChooseFile,  // confirm the file dialog with `text` as the chosen path
    CancelFile,  // cancel the file dialog
    Close,       // the close box
    HoldKey,     // press and keep `vk` (Shift or Ctrl) down for the following actions
    ReleaseKey,  // let `vk` go
  };
  Kind kind = Kind::Wait;
  int id = 0;
  int index = 0;
  std::string text;
  unsigned vk = 0;
  unsigned modifiers = 0;
  std::uint32_t ms = 0;
  // A Wait in progress: the clock time at which it ends.
  bool started = false;
  std::uint64_t untilMs = 0;
};

// The scripted user: a queue of actions that the modal loops consume in order. The builders
// return *this so that a session reads as one sentence.
//
// What a prompt takes: a message box takes Key(VK_RETURN), Key(VK_ESCAPE), Click(ui::IDOK) and
// Close() as its answer; the file dialog takes ChooseFile, CancelFile, Key(VK_ESCAPE) and
// Close(). Both let a Wait pass while they are shown.
class User {
 public:
  User& Click(int id);
  // Into a combo box with an edit field: the selection becomes the entry equal to `text`, or -1.
  User& Type(int id, std::string_view text);
  User& SelectItem(int comboId, int index);
  User& TickRow(int listId, int row);
  User& Key(unsigned vk, unsigned modifiers = kNoModifier, int repeats = 1);
  User& Wait(std::uint32_t ms);
  User& ChooseFile(std::string_view path);
  User& CancelFile();
  User& Close();
  User& HoldKey(unsigned vk);
  User& ReleaseKey(unsigned vk);

  [[nodiscard]] bool empty() const { return actions_.empty(); }
  [[nodiscard]] std::size_t size() const { return actions_.size(); }
  void clear() { actions_.clear(); }

 private:
  friend class Bench;
  User& Add(Action action);
  std::deque<Action> actions_;
};

// The virtual clock of the bench. Sleep is a wait of the tool and is recorded; idle time passed
// by the bench is not. Callbacks registered with At run when the clock reaches their time.
class BenchClock final : public platform::VirtualClock {
 public:
  void Sleep(std::uint32_t ms) override;
  void AdvanceTo(std::uint64_t ms);
  void At(std::uint64_t ms, std::function<void()> action);
  // Runs the callbacks whose time has come.
  void RunDue();
  // The time of the next callback, or UINT64_MAX.
  [[nodiscard]] std::uint64_t NextCallbackMs() const;
  [[nodiscard]] const std::vector<std::uint32_t>& sleeps() const { return sleeps_; }
  void ClearSleeps() { sleeps_.clear(); }

 private:
  struct Scheduled {
    std::uint64_t atMs;
    std::uint64_t order;
    std::function<void()> action;
  };
  std::vector<std::uint32_t> sleeps_;
  std::vector<Scheduled> scheduled_;
  std::uint64_t nextOrder_ = 0;
};

struct ListColumn {
  std::string heading;
  int width = 0;
};

struct ListRow {
  std::vector<std::string> texts;  // one per column; texts[0] is the item itself
  std::uint32_t state = 0;
};

// The live state of one control of a headless window.
struct ControlState {
  const res::ControlTemplate* source = nullptr;
  int id = 0;
  res::ControlKind kind = res::ControlKind::Static;
  std::uint32_t style = 0;
  std::string text;
  bool enabled = true;
  bool visible = true;
  int check = ui::BST_UNCHECKED;
  std::vector<std::string> items;  // combo entries
  int selection = -1;              // combo selection
  std::vector<ListColumn> columns;
  std::uint32_t listExtendedStyle = 0;
  std::vector<ListRow> rows;
};

struct MessageBoxRecord {
  std::string text;
  std::string caption;
  int ownerTemplate = 0;  // 0 when the box had no owner
};

struct FieldWrite {
  int templateId = 0;
  int controlId = 0;
  std::string text;
};

struct TimerRecord {
  enum class Op { Set, Kill, Tick };
  Op op = Op::Set;
  int templateId = 0;
  int timerId = 0;
  unsigned periodMs = 0;  // Set: the period asked for
  std::uint64_t atMs = 0;
  bool running = false;  // Kill: whether the timer ran; Set: whether it replaced a running one
};

struct FileDialogRecord {
  int ownerTemplate = 0;
  std::string defaultExtension;
  std::string fileName;
  std::uint32_t flags = 0;
  std::string filter;
  std::string title;
};

struct DrawIconRecord {
  int templateId = 0;
  int x = 0;
  int y = 0;
  ui::IconHandle icon = 0;
};

class Bench;

// A dialog window of the bench, built from the dialog's template.
class BenchWindow final : public ui::Window {
 public:
  BenchWindow(Bench& bench, ui::Dialog& dialog, const res::DialogTemplate& source);

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
  [[nodiscard]] bool IsMinimized() const override { return minimized_; }
  void ClientSize(int& width, int& height) const override;
  void DrawIcon(int x, int y, ui::IconHandle icon) override;
  void EndModal(int result) override;

  // For assertions. Control returns nullptr for an id the window does not have.
  [[nodiscard]] const ControlState* Control(int id) const;
  [[nodiscard]] const std::vector<ControlState>& controls() const { return controls_; }
  [[nodiscard]] int templateId() const { return source_.id; }
  [[nodiscard]] const res::DialogTemplate& source() const { return source_; }
  // Null once the window is destroyed.
  [[nodiscard]] ui::Dialog* dialog() const { return dialog_; }
  [[nodiscard]] bool enabled() const { return disableCount_ == 0; }
  [[nodiscard]] bool ended() const { return ended_; }
  [[nodiscard]] int result() const { return result_; }
  [[nodiscard]] int focus() const { return focus_; }  // 0: none
  [[nodiscard]] ui::IconHandle icon(bool big) const { return big ? bigIcon_ : smallIcon_; }

  void SetMinimized(bool minimized) { minimized_ = minimized; }
  void SetClientSize(int width, int height);

 private:
  friend class Bench;
  ControlState* Find(int id, const char* operation);
  const ControlState* Find(int id, const char* operation) const;
  ControlState* FindKind(int id, res::ControlKind kind, const char* operation);
  const ControlState* FindKind(int id, res::ControlKind kind, const char* operation) const;
  ListRow* Row(int id, int row, const char* operation);
  const ListRow* Row(int id, int row, const char* operation) const;
  // The first visible, enabled tab stop after (or before) `from` in template order, wrapping.
  [[nodiscard]] int NextTabStop(int from, bool backwards) const;
  // The id Enter clicks: the focused push button, else the default push button; 0 for IDOK.
  [[nodiscard]] int EnterTarget() const;

  Bench& bench_;
  ui::Dialog* dialog_;
  const res::DialogTemplate& source_;
  std::vector<ControlState> controls_;
  int disableCount_ = 0;
  bool ended_ = false;
  int result_ = 0;
  int focus_ = 0;
  bool exhaustCancelSent_ = false;
  ui::IconHandle bigIcon_ = 0;
  ui::IconHandle smallIcon_ = 0;
  bool minimized_ = false;
  int clientWidth_ = 0;
  int clientHeight_ = 0;
};

class Bench final : public ui::Platform {
 public:
  // Installs the bench as the program's platform; the destructor uninstalls it.
  Bench();
  ~Bench() override;
  Bench(const Bench&) = delete;
  Bench& operator=(const Bench&) = delete;

  // ui::Platform
  int RunModal(ui::Dialog& dialog) override;
  void MessageBox(ui::Dialog* owner, std::string_view text) override;
  [[nodiscard]] bool IsKeyDown(unsigned vk) override;
  [[nodiscard]] bool OpenFileDialog(ui::Dialog* owner, const ui::FileDialogSpec& options,
                                    std::string& path) override;
  void DrainMessages() override;
  BenchClock& clock() override { return clock_; }
  [[nodiscard]] std::string ProgramPath() override { return programPath_; }
  [[nodiscard]] ui::IconHandle LoadIcon(int resourceId) override;
  void IconSize(int& width, int& height) override;

  // The script the modal loops consume.
  User& user() { return user_; }

  // Unit tests without a loop: Open creates the window, attaches it and runs OnInitDialog (false
  // when the template does not exist); Destroy sends Destroy, kills the window's timers and
  // detaches it. Call Destroy before the dialog goes out of scope.
  bool Open(ui::Dialog& dialog);
  void Destroy(ui::Dialog& dialog);
  // Runs the script against the frontmost dialog until the script is empty and nothing is
  // waiting, or that dialog has ended. It does not close the dialog at the end.
  void RunScript();
  // Dispatches everything that is waiting (posted commands, queued input with the dialog's
  // key handling, due ticks), as the modal loop does while it is idle.
  void Pump();
  // Sends the paint message to the open window of the template.
  void Paint(int templateId);

  // User input that arrives while a handler is busy: it waits in the queue for the frontmost
  // dialog until DrainMessages or the loop takes it.
  void QueueClick(int id);
  void QueueClose();
  void QueueKey(unsigned vk, unsigned modifiers = kNoModifier);
  // Runs `action` when the clock reaches `ms`, inside whatever sleep or wait passes that time;
  // for example to queue a click in the middle of an upload, or to unplug the instrument.
  void At(std::uint64_t ms, std::function<void()> action) { clock_.At(ms, std::move(action)); }
  // Holds a key down (Shift or Ctrl) for handlers called directly.
  void SetKeyDown(unsigned vk, bool down);

  void SetProgramPath(std::string path) { programPath_ = std::move(path); }
  // Makes SetTimer fail (return 0) from now on, or work again.
  void SetTimerFailure(bool fail) { timersFail_ = fail; }
  // The minimized state and client size of the open window of a template.
  void SetMinimized(int templateId, bool minimized);
  void SetClientSize(int templateId, int width, int height);

  // The open window of a template (the frontmost if several), else the last one closed, else
  // nullptr.
  [[nodiscard]] const BenchWindow* FindWindow(int templateId) const;
  [[nodiscard]] bool IsOpen(int templateId) const;

  // Control state of the window FindWindow gives; a missing window or control is an error and
  // gives the default value.
  [[nodiscard]] std::string Text(int templateId, int controlId);
  [[nodiscard]] bool Enabled(int templateId, int controlId);
  [[nodiscard]] bool Visible(int templateId, int controlId);
  [[nodiscard]] int Check(int templateId, int controlId);
  [[nodiscard]] int ComboSelection(int templateId, int controlId);
  [[nodiscard]] std::vector<std::string> ComboItems(int templateId, int controlId);
  [[nodiscard]] std::vector<ListColumn> ListColumns(int templateId, int controlId);
  [[nodiscard]] std::uint32_t ListExtendedStyle(int templateId, int controlId);
  [[nodiscard]] int ListRowCount(int templateId, int controlId);
  [[nodiscard]] std::vector<std::string> ListRowTexts(int templateId, int controlId, int row);
  [[nodiscard]] std::uint32_t ListRowState(int templateId, int controlId, int row);

  // The record, in order of events.
  [[nodiscard]] const std::vector<MessageBoxRecord>& messageBoxes() const { return boxes_; }
  [[nodiscard]] const std::vector<FieldWrite>& fieldWrites() const { return writes_; }
  [[nodiscard]] const std::vector<TimerRecord>& timers() const { return timerLog_; }
  [[nodiscard]] const std::vector<FileDialogRecord>& fileDialogs() const { return fileDialogs_; }
  [[nodiscard]] const std::vector<DrawIconRecord>& drawnIcons() const { return drawnIcons_; }
  [[nodiscard]] const std::vector<std::uint32_t>& sleeps() const { return clock_.sleeps(); }
  // Template ids of the dialogs created, in order.
  [[nodiscard]] const std::vector<int>& opened() const { return opened_; }
  // The texts of the message boxes, and the field writes to one control, for short assertions.
  [[nodiscard]] std::vector<std::string> MessageBoxTexts() const;
  [[nodiscard]] std::vector<std::string> WritesTo(int templateId, int controlId) const;
  [[nodiscard]] const std::vector<std::string>& errors() const { return errors_; }
  void ClearRecord();

 private:
  friend class BenchWindow;
  enum class Mode { Loop, Drain };
  enum class Dispatched { None, Command, Close, Other };
  struct Frame {
    BenchWindow* window;  // nullptr for a prompt (message box, file dialog)
  };
  struct Timer {
    BenchWindow* window;
    int id;
    unsigned periodMs;
    std::uint64_t nextFireMs;
    bool ready;
    std::uint64_t readyAtMs;
    std::uint64_t order;
  };
  struct Queued {
    enum class Kind { Command, Click, Close, Key };
    Kind kind;
    BenchWindow* window;
    int id;
    unsigned vk;
    unsigned modifiers;
  };
  enum class PromptAnswer { Ok, Cancel, File };

  void Error(std::string message);
  BenchWindow* Create(ui::Dialog& dialog);
  void Initialize(BenchWindow& window);
  void Close(BenchWindow& window);
  BenchWindow* Frontmost() const;
  BenchWindow* FindOpen(const ui::Dialog& dialog) const;
  BenchWindow* FindOpenTemplate(int templateId) const;
  const ControlState* Inspect(int templateId, int controlId, const char* what);

  // Moves timers that fell due to ready, one tick each.
  void RefreshTimers();
  [[nodiscard]] std::uint64_t NextTimerFireMs() const;
  Dispatched DispatchNext(Mode mode);
  // Handles a Wait at the head of the script: true when it made progress.
  bool StepWait();
  void Perform(BenchWindow& window, const Action& action);
  Dispatched DeliverClick(BenchWindow& window, int id);
  void DeliverKey(BenchWindow& window, unsigned vk, unsigned modifiers, bool repeat);
  void DialogKey(BenchWindow& window, unsigned vk);
  // The modal loop of a message box or the file dialog: returns how the user answered.
  PromptAnswer RunPrompt(ui::Dialog* owner, bool fileDialog, std::string& path);
  void SendCommand(BenchWindow& window, int id);

  int SetTimer(BenchWindow& window, int timerId, unsigned periodMs);
  void KillTimer(BenchWindow& window, int timerId);

  BenchClock clock_;
  User user_;
  std::vector<std::unique_ptr<BenchWindow>> open_;
  std::map<int, std::unique_ptr<BenchWindow>> closed_;
  std::vector<Frame> frames_;
  std::vector<Timer> timerList_;
  std::uint64_t timerOrder_ = 0;
  std::deque<Queued> posted_;
  std::deque<Queued> input_;
  unsigned heldModifiers_ = 0;
  unsigned keyModifiers_ = 0;  // those of the key being processed
  bool timersFail_ = false;
  std::string programPath_ = "C:\\Veltra\\veltra-updater.exe";

  std::vector<MessageBoxRecord> boxes_;
  std::vector<FieldWrite> writes_;
  std::vector<TimerRecord> timerLog_;
  std::vector<FileDialogRecord> fileDialogs_;
  std::vector<DrawIconRecord> drawnIcons_;
  std::vector<int> opened_;
  std::vector<std::string> errors_;
};

}  // namespace headless

#pragma once

#include <climits>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/clock.h"

// The windowing platform: what the dialogs use of a windowing library, and nothing more.
// Dialogs are built from the templates in resources/; each backend (headless, qt, win32)
// provides the windows and the services behind this interface.
namespace ui {

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr unsigned WM_KEYDOWN = 0x0100;
constexpr unsigned VK_RETURN = 0x0D;
constexpr unsigned VK_SHIFT = 0x10;
constexpr unsigned VK_CONTROL = 0x11;
constexpr unsigned VK_ESCAPE = 0x1B;

// List-view state-image bits of a row's check box.
constexpr std::uint32_t LVIS_STATEIMAGEMASK = 0xF000;
constexpr std::uint32_t LVIS_UNCHECKED = 0x1000;
constexpr std::uint32_t LVIS_CHECKED = 0x2000;
constexpr std::uint32_t LVS_EX_GRIDLINES = 0x0001;
constexpr std::uint32_t LVS_EX_CHECKBOXES = 0x0004;
constexpr std::uint32_t LVS_EX_FULLROWSELECT = 0x0020;

constexpr int BST_UNCHECKED = 0;
constexpr int BST_CHECKED = 1;

// File-open dialog option: hide the read-only check box.
constexpr std::uint32_t OFN_HIDEREADONLY = 0x0004;

// The message a dialog's PreTranslateMessage examines (key-downs are the ones it takes).
struct Msg {
  unsigned message = 0;
  unsigned wParam = 0;
  long lParam = 0;
};

// What a message map routes: a command (button click or posted command, by id), a timer tick
// (by timer id), the window's destruction, and its painting.
struct Message {
  enum class Kind { Command, Timer, Destroy, Paint };
  Kind kind = Kind::Command;
  int id = 0;
};

struct Route {
  Message::Kind kind;
  int first;
  int last;

  static constexpr Route Click(int id) { return {Message::Kind::Command, id, id}; }
  static constexpr Route ClickRange(int first, int last) {
    return {Message::Kind::Command, first, last};
  }
  static constexpr Route Command(int id) { return {Message::Kind::Command, id, id}; }
  static constexpr Route CommandRange(int first, int last) {
    return {Message::Kind::Command, first, last};
  }
  static constexpr Route Timer() { return {Message::Kind::Timer, INT_MIN, INT_MAX}; }
  static constexpr Route Destroy() { return {Message::Kind::Destroy, INT_MIN, INT_MAX}; }
  static constexpr Route Paint() { return {Message::Kind::Paint, INT_MIN, INT_MAX}; }

  [[nodiscard]] constexpr bool Matches(const Message& m) const {
    return m.kind == kind && m.id >= first && m.id <= last;
  }
};

// One line of a message map: a route and the member that handles it, with or without the id.
template <class D>
struct MapEntry {
  Route route;
  void (D::*handler)() = nullptr;
  void (D::*handlerWithId)(int) = nullptr;

  constexpr MapEntry(Route r, void (D::*h)()) : route(r), handler(h) {}
  constexpr MapEntry(Route r, void (D::*h)(int)) : route(r), handlerWithId(h) {}
};

// Runs the first entry of `map` that matches; false when none does.
template <class D, std::size_t N>
bool RouteMessage(D& dialog, const MapEntry<D> (&map)[N], const Message& m) {
  for (const MapEntry<D>& entry : map) {
    if (!entry.route.Matches(m)) continue;
    if (entry.handler != nullptr) {
      (dialog.*entry.handler)();
    } else {
      (dialog.*entry.handlerWithId)(m.id);
    }
    return true;
  }
  return false;
}

using IconHandle = int;  // the icon resource id; 0 is none

// A live dialog window, as a backend provides it. The dialog reaches its controls by template id.
class Window {
 public:
  virtual ~Window() = default;

  [[nodiscard]] virtual std::string ItemText(int id) const = 0;
  virtual void SetItemText(int id, std::string_view text) = 0;
  [[nodiscard]] virtual bool IsItemEnabled(int id) const = 0;
  virtual void EnableItem(int id, bool enable) = 0;
  [[nodiscard]] virtual int Check(int id) const = 0;
  virtual void SetCheck(int id, int state) = 0;
  [[nodiscard]] virtual int ComboSelection(int id) const = 0;  // -1: none
  virtual void SetComboSelection(int id, int index) = 0;

  virtual void ListInsertColumn(int id, int column, std::string_view heading, int width) = 0;
  virtual void ListSetExtendedStyle(int id, std::uint32_t style) = 0;
  // Returns the index at which the row was inserted, or -1.
  virtual int ListInsertRow(int id, int row, std::string_view text) = 0;
  virtual void ListSetItemText(int id, int row, int column, std::string_view text) = 0;
  virtual void ListDeleteAllRows(int id) = 0;
  [[nodiscard]] virtual int ListRowCount(int id) const = 0;
  [[nodiscard]] virtual std::uint32_t ListItemState(int id, int row, std::uint32_t mask) const = 0;
  virtual void ListSetItemState(int id, int row, std::uint32_t state, std::uint32_t mask) = 0;

  // Returns `timerId` when the timer runs (restarting one of the same id), 0 on failure.
  virtual int SetTimer(int timerId, unsigned periodMs) = 0;
  // Stopping a timer that does not run does nothing.
  virtual void KillTimer(int timerId) = 0;
  // Queues a command for this window; it is handled when the loop runs again.
  virtual void PostCommand(int id) = 0;
  virtual void SetIcon(IconHandle icon, bool big) = 0;
  [[nodiscard]] virtual bool IsMinimized() const = 0;
  // Minimized painting: client size, and drawing the icon at a client position.
  virtual void ClientSize(int& width, int& height) const = 0;
  virtual void DrawIcon(int x, int y, IconHandle icon) = 0;
  virtual void EndModal(int result) = 0;
};

class Dialog;

struct FileDialogSpec {
  const char* defaultExtension = nullptr;
  const char* fileName = nullptr;
  std::uint32_t flags = 0;
  const char* filter = nullptr;  // "Name|pattern||" form
  const char* title = nullptr;
};

// The services of the windowing platform. One is installed for the whole program.
class Platform {
 public:
  virtual ~Platform() = default;

  // Creates the dialog's window from its template, runs OnInitDialog and the modal loop until
  // EndDialog, sends the destroy message, and returns the EndDialog result (-1 on failure).
  virtual int RunModal(Dialog& dialog) = 0;
  // A modal box with the fixed text, an OK button only, the application's name as caption and
  // the warning icon.
  virtual void MessageBox(Dialog* owner, std::string_view text) = 0;
  // GetKeyState(vk) < 0.
  [[nodiscard]] virtual bool IsKeyDown(unsigned vk) = 0;
  // The file-open dialog; true with the chosen full path when the user confirms.
  [[nodiscard]] virtual bool OpenFileDialog(Dialog* owner, const FileDialogSpec& options,
                                            std::string& path) = 0;
  // Dispatches the messages waiting for the thread, without PreTranslateMessage, until none is
  // left or a command or close has been dispatched.
  virtual void DrainMessages() = 0;
  virtual platform::Clock& clock() = 0;
  // The full path of the running program file.
  [[nodiscard]] virtual std::string ProgramPath() = 0;
  [[nodiscard]] virtual IconHandle LoadIcon(int resourceId) = 0;
  // Width and height of a system icon.
  virtual void IconSize(int& width, int& height) = 0;
};

Platform& Host();
void SetHost(Platform* platform);

// The platform's Sleep: every wait of the tool goes through it.
void Sleep(std::uint32_t ms);
void DrainMessages();

constexpr const char* kApplicationName = "veltra-updater";

// A dialog built from a template. Derived classes route messages with a message map.
class Dialog {
 public:
  explicit Dialog(int templateId, Dialog* owner = nullptr)
      : templateId_(templateId), owner_(owner) {}
  virtual ~Dialog() = default;
  Dialog(const Dialog&) = delete;
  Dialog& operator=(const Dialog&) = delete;

  virtual int DoModal() { return Host().RunModal(*this); }
  void EndDialog(int result);
  // TRUE lets the platform put the focus on the first tab stop.
  virtual bool OnInitDialog() { return true; }
  // Key-down messages pass here before the dialog's own key handling; true swallows the key.
  virtual bool PreTranslateMessage(const Msg& msg) {
    (void)msg;
    return false;
  }
  virtual IconHandle OnQueryDragIcon() { return 0; }

  // Called by backends for every routed message: the class's map first, then the standard
  // OK and Cancel, which end the dialog.
  void Dispatch(const Message& m);

  [[nodiscard]] int templateId() const { return templateId_; }
  [[nodiscard]] Dialog* owner() const { return owner_; }
  [[nodiscard]] Window* window() const { return window_; }
  // Backends attach the window while the dialog runs and detach it when it is destroyed.
  void Attach(Window* window) { window_ = window; }

  // Control access by template id; harmless no-ops while the dialog has no window.
  [[nodiscard]] std::string GetItemText(int id) const;
  void SetItemText(int id, std::string_view text);
  [[nodiscard]] bool IsItemEnabled(int id) const;
  void EnableItem(int id, bool enable);
  [[nodiscard]] int GetCheck(int id) const;
  void SetCheck(int id, int state);
  [[nodiscard]] int GetComboSelection(int id) const;
  void SetComboSelection(int id, int index);
  void ListInsertColumn(int id, int column, std::string_view heading, int width);
  void ListSetExtendedStyle(int id, std::uint32_t style);
  int ListInsertRow(int id, int row, std::string_view text);
  void ListSetItemText(int id, int row, int column, std::string_view text);
  void ListDeleteAllRows(int id);
  [[nodiscard]] int ListRowCount(int id) const;
  [[nodiscard]] std::uint32_t ListGetItemState(int id, int row, std::uint32_t mask) const;
  void ListSetItemState(int id, int row, std::uint32_t state, std::uint32_t mask);
  int SetTimer(int timerId, unsigned periodMs);
  void KillTimer(int timerId);
  void PostCommand(int id);
  void SetIcon(IconHandle icon, bool big);
  [[nodiscard]] bool IsMinimized() const;
  void MessageBox(std::string_view text) { Host().MessageBox(this, text); }

 protected:
  // Derived classes answer with RouteMessage(*this, kMessageMap, m).
  virtual bool OnMessage(const Message& m) {
    (void)m;
    return false;
  }
  void SetTemplateId(int id) { templateId_ = id; }

 private:
  int templateId_;
  Dialog* owner_;
  Window* window_ = nullptr;
};

}  // namespace ui

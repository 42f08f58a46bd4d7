#include "platform/win32/win32_platform.h"

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win32/resource_bytes.h"
#include "resources/dialog_template.h"

// The Windows headers come last: they define macros (IDOK, WS_POPUP, MessageBox, LoadIcon ...)
// that would otherwise rewrite the names declared by the headers above.
// clang-format off
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
// clang-format on
#undef MessageBox
#undef LoadIcon

namespace win32 {

namespace {

// Room for a chosen file's full path; longer than MAX_PATH so that a deep folder is not refused.
constexpr DWORD kFilePathCapacity = 4096;

// The notification code of a command sent by an accelerator key.
constexpr int kAcceleratorCode = 1;

HWND AsHwnd(void* window) {
  return static_cast<HWND>(window);
}

}  // namespace

// A running dialog's window. It lives on the stack of the modal run that created it.
class Win32Window final : public ui::Window {
 public:
  Win32Window(Win32Platform& platform, ui::Dialog& dialog, const res::DialogTemplate& layout)
      : platform_(platform), dialog_(dialog), layout_(layout) {}

  HWND hwnd = nullptr;
  bool ended = false;
  int result = -1;

  [[nodiscard]] ui::Dialog& dialog() { return dialog_; }

  BOOL OnInitDialog(HWND window) {
    hwnd = window;
    // The combo boxes' entries come with the template; a dialog template cannot carry them, so
    // they are added before the dialog's own initialisation sees the box.
    for (const res::ControlTemplate& control : layout_.controls) {
      if (control.kind != res::ControlKind::ComboBox) continue;
      for (const char* item : control.items) {
        SendDlgItemMessageA(hwnd, control.id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
      }
    }
    return dialog_.OnInitDialog() ? TRUE : FALSE;
  }

  // The cursor shown while the minimized window is dragged.
  [[nodiscard]] HICON DragIcon() {
    return static_cast<HICON>(platform_.IconFor(dialog_.OnQueryDragIcon(), true));
  }

  void Dispatch(ui::Message::Kind kind, int id) { dialog_.Dispatch(ui::Message{kind, id}); }

  // Painting: the dialog manager paints a normal window; a minimized one is painted by the
  // dialog itself, into the paint context opened here.
  BOOL OnPaint() {
    if (!IsIconic(hwnd)) {
      Dispatch(ui::Message::Kind::Paint, 0);
      return FALSE;
    }
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd, &paint);
    SendMessageA(hwnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    paintDc_ = dc;
    Dispatch(ui::Message::Kind::Paint, 0);
    paintDc_ = nullptr;
    EndPaint(hwnd, &paint);
    return TRUE;
  }

  [[nodiscard]] HWND Item(int id) const { return GetDlgItem(hwnd, id); }

  std::string ItemText(int id) const override {
    HWND item = Item(id);
    if (item == nullptr) return {};
    const int length = GetWindowTextLengthA(item);
    if (length <= 0) return {};
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    const int copied = GetWindowTextA(item, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return text;
  }
  void SetItemText(int id, std::string_view text) override {
    SetDlgItemTextA(hwnd, id, std::string(text).c_str());
  }
  bool IsItemEnabled(int id) const override {
    HWND item = Item(id);
    return item != nullptr && IsWindowEnabled(item) != FALSE;
  }
  void EnableItem(int id, bool enable) override {
    HWND item = Item(id);
    if (item != nullptr) EnableWindow(item, enable ? TRUE : FALSE);
  }
  int Check(int id) const override { return static_cast<int>(IsDlgButtonChecked(hwnd, id)); }
  void SetCheck(int id, int state) override { CheckDlgButton(hwnd, id, static_cast<UINT>(state)); }
  int ComboSelection(int id) const override {
    const LRESULT index = SendDlgItemMessageA(hwnd, id, CB_GETCURSEL, 0, 0);
    return index == CB_ERR ? -1 : static_cast<int>(index);
  }
  void SetComboSelection(int id, int index) override {
    SendDlgItemMessageA(hwnd, id, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  }

  void ListInsertColumn(int id, int column, std::string_view heading, int width) override {
    std::string text(heading);
    LVCOLUMNA info{};
    info.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    info.fmt = LVCFMT_LEFT;
    info.cx = width;
    info.pszText = text.data();
    info.iSubItem = column;
    SendDlgItemMessageA(hwnd, id, LVM_INSERTCOLUMNA, static_cast<WPARAM>(column),
                        reinterpret_cast<LPARAM>(&info));
  }
  void ListSetExtendedStyle(int id, std::uint32_t style) override {
    SendDlgItemMessageA(hwnd, id, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, static_cast<LPARAM>(style));
  }
  int ListInsertRow(int id, int row, std::string_view text) override {
    std::string copy(text);
    LVITEMA item{};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.pszText = copy.data();
    return static_cast<int>(
        SendDlgItemMessageA(hwnd, id, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
  }
  void ListSetItemText(int id, int row, int column, std::string_view text) override {
    std::string copy(text);
    LVITEMA item{};
    item.iSubItem = column;
    item.pszText = copy.data();
    SendDlgItemMessageA(hwnd, id, LVM_SETITEMTEXTA, static_cast<WPARAM>(row),
                        reinterpret_cast<LPARAM>(&item));
  }
  void ListDeleteAllRows(int id) override {
    SendDlgItemMessageA(hwnd, id, LVM_DELETEALLITEMS, 0, 0);
  }
  int ListRowCount(int id) const override {
    return static_cast<int>(SendDlgItemMessageA(hwnd, id, LVM_GETITEMCOUNT, 0, 0));
  }
  std::uint32_t ListItemState(int id, int row, std::uint32_t mask) const override {
    return static_cast<std::uint32_t>(SendDlgItemMessageA(
        hwnd, id, LVM_GETITEMSTATE, static_cast<WPARAM>(row), static_cast<LPARAM>(mask)));
  }
  void ListSetItemState(int id, int row, std::uint32_t state, std::uint32_t mask) override {
    LVITEMA item{};
    item.stateMask = mask;
    item.state = state;
    SendDlgItemMessageA(hwnd, id, LVM_SETITEMSTATE, static_cast<WPARAM>(row),
                        reinterpret_cast<LPARAM>(&item));
  }

  int SetTimer(int timerId, unsigned periodMs) override {
    if (timerId == 0) return 0;  // Windows would make up an identifier the caller cannot know
    const UINT_PTR started = ::SetTimer(hwnd, static_cast<UINT_PTR>(timerId), periodMs, nullptr);
    return started != 0 ? timerId : 0;
  }
  void KillTimer(int timerId) override { ::KillTimer(hwnd, static_cast<UINT_PTR>(timerId)); }
  void PostCommand(int id) override {
    PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), 0), 0);
  }
  void SetIcon(ui::IconHandle icon, bool big) override {
    SendMessageA(hwnd, WM_SETICON, big ? ICON_BIG : ICON_SMALL,
                 reinterpret_cast<LPARAM>(platform_.IconFor(icon, big)));
  }
  bool IsMinimized() const override { return IsIconic(hwnd) != FALSE; }
  void ClientSize(int& width, int& height) const override {
    RECT client{};
    GetClientRect(hwnd, &client);
    width = client.right - client.left;
    height = client.bottom - client.top;
  }
  void DrawIcon(int x, int y, ui::IconHandle icon) override {
    HICON handle = static_cast<HICON>(platform_.IconFor(icon, true));
    if (handle == nullptr) return;
    if (paintDc_ != nullptr) {
      ::DrawIcon(paintDc_, x, y, handle);
      return;
    }
    HDC dc = GetDC(hwnd);
    ::DrawIcon(dc, x, y, handle);
    ReleaseDC(hwnd, dc);
  }
  // Ends the modal loop; the post wakes it if it is waiting for a message.
  void EndModal(int modalResult) override {
    ended = true;
    result = modalResult;
    if (hwnd != nullptr) PostMessageA(hwnd, WM_NULL, 0, 0);
  }

 private:
  Win32Platform& platform_;
  ui::Dialog& dialog_;
  const res::DialogTemplate& layout_;
  HDC paintDc_ = nullptr;
};

namespace {

INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
    return reinterpret_cast<Win32Window*>(lParam)->OnInitDialog(hwnd);
  }
  auto* window = reinterpret_cast<Win32Window*>(GetWindowLongPtrA(hwnd, DWLP_USER));
  if (window == nullptr) return FALSE;

  switch (message) {
    case WM_COMMAND: {
      // Button clicks (the standard OK and Cancel among them), menu-less commands posted to the
      // window, and accelerators; the other notifications of edits and combo boxes are not
      // commands of the dialog.
      const int code = HIWORD(wParam);
      const bool fromControl = lParam != 0;
      if (code != BN_CLICKED && (fromControl || code != kAcceleratorCode)) return FALSE;
      window->Dispatch(ui::Message::Kind::Command, LOWORD(wParam));
      return TRUE;
    }
    case WM_TIMER:
      window->Dispatch(ui::Message::Kind::Timer, static_cast<int>(wParam));
      return TRUE;
    case WM_PAINT:
      return window->OnPaint();
    case WM_QUERYDRAGICON:
      // One of the messages whose answer a dialog procedure returns directly.
      return reinterpret_cast<INT_PTR>(window->DragIcon());
    case WM_DESTROY:
      window->Dispatch(ui::Message::Kind::Destroy, 0);
      return FALSE;  // the dialog manager still frees what it made
    case WM_NCDESTROY:
      SetWindowLongPtrA(hwnd, DWLP_USER, 0);
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

Win32Platform::Win32Platform(void* instance) : instance_(instance) {
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof(controls);
  controls.dwICC = ICC_LISTVIEW_CLASSES;
  InitCommonControlsEx(&controls);
}

Win32Platform::~Win32Platform() {
  for (auto& [id, icon] : icons_) {
    if (icon.big != nullptr) DestroyIcon(static_cast<HICON>(icon.big));
    if (icon.small != nullptr) DestroyIcon(static_cast<HICON>(icon.small));
  }
}

int Win32Platform::RunModal(ui::Dialog& dialog) {
  const res::DialogTemplate* layout = res::FindDialogTemplate(dialog.templateId());
  if (layout == nullptr) return -1;
  const std::vector<std::uint16_t> image = BuildDialogTemplate(*layout);

  // The owner is disabled for as long as the dialog runs, as a modal dialog box does it; one
  // that something else has disabled already stays disabled afterwards.
  HWND owner = nullptr;
  if (dialog.owner() != nullptr && dialog.owner()->window() != nullptr) {
    owner = static_cast<Win32Window*>(dialog.owner()->window())->hwnd;
  }
  const bool enableOwner = owner != nullptr && IsWindowEnabled(owner) != FALSE;
  if (enableOwner) EnableWindow(owner, FALSE);

  Win32Window window(*this, dialog, *layout);
  dialog.Attach(&window);
  running_.push_back(&window);
  HWND hwnd = CreateDialogIndirectParamA(static_cast<HINSTANCE>(instance_),
                                         reinterpret_cast<LPCDLGTEMPLATEA>(image.data()), owner,
                                         DialogProc, reinterpret_cast<LPARAM>(&window));
  if (hwnd != nullptr) {
    if (!window.ended && IsWindowVisible(hwnd) == FALSE) ShowWindow(hwnd, SW_SHOWNORMAL);
    MSG msg;
    while (!window.ended) {
      const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
      if (got == 0 || got == -1) {
        // A quit request ends this run and is passed on to the loops outside it.
        if (got == 0) PostQuitMessage(static_cast<int>(msg.wParam));
        window.result = -1;
        break;
      }
      if (msg.message == WM_KEYDOWN) {
        const ui::Msg key{msg.message, static_cast<unsigned>(msg.wParam),
                          static_cast<long>(msg.lParam)};
        if (dialog.PreTranslateMessage(key)) continue;
      }
      if (IsDialogMessageA(hwnd, &msg)) continue;
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }

  // The owner is enabled again before the dialog goes, so that Windows hands the activation
  // back to it instead of to some other program's window.
  if (enableOwner) EnableWindow(owner, TRUE);
  if (hwnd != nullptr) {
    if (owner != nullptr && GetActiveWindow() == hwnd) SetActiveWindow(owner);
    DestroyWindow(hwnd);
  }
  running_.pop_back();
  dialog.Attach(nullptr);
  return hwnd != nullptr ? window.result : -1;
}

void* Win32Platform::OwnerWindow(ui::Dialog* owner) const {
  if (owner != nullptr && owner->window() != nullptr) {
    return static_cast<Win32Window*>(owner->window())->hwnd;
  }
  return running_.empty() ? nullptr : running_.back()->hwnd;
}

void Win32Platform::MessageBox(ui::Dialog* owner, std::string_view text) {
  MessageBoxA(AsHwnd(OwnerWindow(owner)), std::string(text).c_str(), ui::kApplicationName,
              MB_OK | MB_ICONWARNING);
}

bool Win32Platform::IsKeyDown(unsigned vk) {
  return GetKeyState(static_cast<int>(vk)) < 0;
}

bool Win32Platform::OpenFileDialog(ui::Dialog* owner, const ui::FileDialogSpec& options,
                                   std::string& path) {
  const std::string filter = FileDialogFilter(options.filter);
  const std::string extension = FileDialogDefaultExtension(options.defaultExtension);
  std::vector<char> file(kFilePathCapacity, '\0');
  if (options.fileName != nullptr) {
    std::string(options.fileName).copy(file.data(), file.size() - 1);
  }

  OPENFILENAMEA dialog{};
  dialog.lStructSize = sizeof(dialog);
  dialog.hwndOwner = AsHwnd(OwnerWindow(owner));
  dialog.hInstance = static_cast<HINSTANCE>(instance_);
  dialog.lpstrFilter = filter.c_str();
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = file.data();
  dialog.nMaxFile = static_cast<DWORD>(file.size());
  dialog.lpstrTitle = options.title;
  dialog.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
  dialog.Flags = options.flags;
  if (GetOpenFileNameA(&dialog) == FALSE) return false;
  path = file.data();
  return true;
}

void Win32Platform::DrainMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE) != FALSE) {
    if (msg.message == WM_QUIT) {
      // Nothing here may swallow a quit request: it stays for the loop that waits for it.
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    if (msg.message == WM_CLOSE || msg.message == WM_COMMAND) return;
  }
}

std::string Win32Platform::ProgramPath() {
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    const DWORD length =
        GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    // A full buffer means the path was cut short; try again with more room.
    if (length < buffer.size()) return std::string(buffer.data(), length);
    if (buffer.size() >= 32768) return {};
    buffer.resize(buffer.size() * 2);
  }
}

ui::IconHandle Win32Platform::LoadIcon(int resourceId) {
  if (icons_.contains(resourceId)) return resourceId;
  HINSTANCE instance = static_cast<HINSTANCE>(instance_);
  LoadedIcon icon;
  icon.big = LoadImageA(instance, MAKEINTRESOURCEA(resourceId), IMAGE_ICON,
                        GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0);
  if (icon.big == nullptr) return 0;
  icon.small = LoadImageA(instance, MAKEINTRESOURCEA(resourceId), IMAGE_ICON,
                          GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0);
  icons_[resourceId] = icon;
  return resourceId;
}

void* Win32Platform::IconFor(ui::IconHandle icon, bool big) const {
  const auto found = icons_.find(icon);
  if (found == icons_.end()) return nullptr;
  const LoadedIcon& loaded = found->second;
  return big || loaded.small == nullptr ? loaded.big : loaded.small;
}

void Win32Platform::IconSize(int& width, int& height) {
  width = GetSystemMetrics(SM_CXICON);
  height = GetSystemMetrics(SM_CYICON);
}

}  // namespace win32

// A small console program for the smoke test under Wine: it waits for a top-level window with
// the given caption and reports what a user would see of it, one line each:
//   window "<caption>" <width>x<height> client <width>x<height>
//   control <id> <class> <x>,<y> <width>x<height> <visible|hidden> <enabled|disabled> "<text>"
//           [items <count>]              (the number of entries of a combo box)
//   toplevel "<class>" "<caption>"       (every visible top-level window of the same process)
//   focus <id> active "<caption>"        (the window thread's keyboard focus and active window)
// It exits with 0 once the window was found, 1 if it did not appear in time.
#include <cstdio>
#include <cstdlib>
#include <string>

#include <windows.h>

namespace {

constexpr DWORD kPollIntervalMs = 100;

std::string TextOf(HWND window) {
  char text[1024] = {};
  // WM_GETTEXT reaches into another process's controls, where GetWindowText would not.
  SendMessageTimeoutA(window, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text),
                      SMTO_ABORTIFHUNG, 2000, nullptr);
  std::string escaped;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p == '\r') {
      escaped += "\\r";
    } else if (*p == '\n') {
      escaped += "\\n";
    } else {
      escaped += *p;
    }
  }
  return escaped;
}

BOOL CALLBACK ReportControl(HWND control, LPARAM parentParam) {
  HWND parent = reinterpret_cast<HWND>(parentParam);
  if (GetParent(control) != parent) return TRUE;  // parts of a control, such as a list header
  char className[64] = {};
  GetClassNameA(control, className, sizeof(className));
  RECT rect{};
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
  std::printf("control %d %s %ld,%ld %ldx%ld %s %s \"%s\"", GetDlgCtrlID(control), className,
              rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
              IsWindowVisible(control) ? "visible" : "hidden",
              IsWindowEnabled(control) ? "enabled" : "disabled", TextOf(control).c_str());
  if (lstrcmpiA(className, "ComboBox") == 0) {
    std::printf(" items %ld", static_cast<long>(SendMessageA(control, CB_GETCOUNT, 0, 0)));
  }
  std::printf("\n");
  return TRUE;
}

struct ProcessWindows {
  DWORD processId;
};

BOOL CALLBACK ReportTopLevel(HWND window, LPARAM param) {
  const auto* process = reinterpret_cast<const ProcessWindows*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != process->processId || !IsWindowVisible(window)) return TRUE;
  char className[64] = {};
  GetClassNameA(window, className, sizeof(className));
  std::printf("toplevel \"%s\" \"%s\"\n", className, TextOf(window).c_str());
  return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s CAPTION [TIMEOUT_SECONDS]\n", argv[0]);
    return 2;
  }
  const char* caption = argv[1];
  const DWORD timeoutMs = argc > 2 ? static_cast<DWORD>(std::atoi(argv[2])) * 1000 : 10000;

  HWND window = nullptr;
  for (DWORD waited = 0; waited <= timeoutMs; waited += kPollIntervalMs) {
    window = FindWindowA(nullptr, caption);
    if (window != nullptr && IsWindowVisible(window)) break;
    window = nullptr;
    Sleep(kPollIntervalMs);
  }
  if (window == nullptr) {
    std::printf("no window \"%s\"\n", caption);
    return 1;
  }

  RECT outer{};
  RECT client{};
  GetWindowRect(window, &outer);
  GetClientRect(window, &client);
  std::printf("window \"%s\" %ldx%ld client %ldx%ld\n", TextOf(window).c_str(),
              outer.right - outer.left, outer.bottom - outer.top, client.right, client.bottom);
  EnumChildWindows(window, ReportControl, reinterpret_cast<LPARAM>(window));
  ProcessWindows process{};
  GetWindowThreadProcessId(window, &process.processId);
  EnumWindows(ReportTopLevel, reinterpret_cast<LPARAM>(&process));

  GUITHREADINFO thread{};
  thread.cbSize = sizeof(thread);
  if (GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &thread)) {
    const int focusId = thread.hwndFocus != nullptr ? GetDlgCtrlID(thread.hwndFocus) : 0;
    const std::string active = thread.hwndActive != nullptr ? TextOf(thread.hwndActive) : "";
    std::printf("focus %d active \"%s\"\n", focusId, active.c_str());
  }
  return 0;
}

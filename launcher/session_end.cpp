#include "launcher/session_end.h"

#include <windows.h>

#include "launcher/cleanup.h"

typedef ATOM(WINAPI* RegisterClassExWFunction)(const WNDCLASSEXW*);
typedef HWND(WINAPI* CreateWindowExWFunction)(DWORD, LPCWSTR, LPCWSTR, DWORD, int, int, int, int,
                                              HWND, HMENU, HINSTANCE, LPVOID);
typedef LRESULT(WINAPI* DefWindowProcWFunction)(HWND, UINT, WPARAM, LPARAM);
typedef BOOL(WINAPI* GetMessageWFunction)(LPMSG, HWND, UINT, UINT);
typedef LRESULT(WINAPI* DispatchMessageWFunction)(const MSG*);

static const wchar_t SESSION_WINDOW_CLASS[] = L"onefile_session_end";

static DefWindowProcWFunction default_window_procedure;

static LRESULT CALLBACK session_window_procedure(HWND window, UINT message, WPARAM wparam,
                                                 LPARAM lparam) {
  switch (message) {
    case WM_QUERYENDSESSION:
      // The launcher never stands in the way of the session's end.
      return TRUE;
    case WM_ENDSESSION:
      // Once this returns, the system may end the process at any moment, so
      // the whole clean-up runs here. A false wParam means the session goes
      // on after all.
      if (wparam) cleanup_after_system_event();
      return 0;
    default:
      return default_window_procedure(window, message, wparam, lparam);
  }
}

template <typename Function>
static Function lookup(HMODULE library, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

static DWORD WINAPI keep_session_window(void*) {
  HMODULE user32 = LoadLibraryExW(L"user32.dll", /*hFile=*/nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (user32 == nullptr) return 0;
  auto register_class = lookup<RegisterClassExWFunction>(user32, "RegisterClassExW");
  auto create_window = lookup<CreateWindowExWFunction>(user32, "CreateWindowExW");
  auto get_message = lookup<GetMessageWFunction>(user32, "GetMessageW");
  auto dispatch_message = lookup<DispatchMessageWFunction>(user32, "DispatchMessageW");
  default_window_procedure = lookup<DefWindowProcWFunction>(user32, "DefWindowProcW");
  if (register_class == nullptr || create_window == nullptr || get_message == nullptr ||
      dispatch_message == nullptr || default_window_procedure == nullptr) {
    return 0;
  }
  HINSTANCE instance = GetModuleHandleW(/*lpModuleName=*/nullptr);
  WNDCLASSEXW window_class = {};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = session_window_procedure;
  window_class.hInstance = instance;
  window_class.lpszClassName = SESSION_WINDOW_CLASS;
  if (register_class(&window_class) == 0) return 0;
  // No WS_VISIBLE and no parent: a hidden top-level window.
  HWND window = create_window(/*dwExStyle=*/0, SESSION_WINDOW_CLASS, /*lpWindowName=*/L"",
                              WS_OVERLAPPED, /*X=*/0, /*Y=*/0, /*nWidth=*/0, /*nHeight=*/0,
                              /*hWndParent=*/nullptr, /*hMenu=*/nullptr, instance,
                              /*lpParam=*/nullptr);
  if (window == nullptr) return 0;
  MSG message;
  while (get_message(&message, /*hWnd=*/nullptr, 0, 0) > 0) dispatch_message(&message);
  return 0;
}

// Under Wine, the first window of a session starts the desktop process and
// hands it the standard handles of the process that made the window, which
// it keeps: a pipe on them would never close for its reader. The child has
// its own copies already, the parent writes nothing more, and the runtime's
// streams keep theirs; so the parent's handles go to no other process.
static void hand_standard_handles_to_no_one() {
  SetStdHandle(STD_INPUT_HANDLE, nullptr);
  SetStdHandle(STD_OUTPUT_HANDLE, nullptr);
  SetStdHandle(STD_ERROR_HANDLE, nullptr);
}

void start_session_end_watch() {
  hand_standard_handles_to_no_one();
  HANDLE thread = CreateThread(/*lpThreadAttributes=*/nullptr, /*dwStackSize=*/0,
                               keep_session_window, /*lpParameter=*/nullptr,
                               /*dwCreationFlags=*/0, /*lpThreadId=*/nullptr);
  // The thread lives until the process ends; nothing waits for it.
  if (thread != nullptr) CloseHandle(thread);
}

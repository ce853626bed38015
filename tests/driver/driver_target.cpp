// A small ANSI program for the driver's own tests.
//   driver-target window      a window with the usual controls; every
//                             WM_COMMAND is logged to its list box
//   driver-target box <flags> a message box (flags in hex) owned by the
//                             running target window; exits with the answer
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace {

const char TargetClass[] = "DriverTarget";
const char TargetTitle[] = "Driver Target";
// "é" in code page 1252, to show that texts keep their ANSI bytes.
const char StatusText[] = "Ready caf\xe9";

HWND statusBar, commandLog;

void LogCommand(WPARAM wParam) {
    char line[64];
    snprintf(line, sizeof(line), "command %u code %u", LOWORD(wParam), HIWORD(wParam));
    SendMessageA(commandLog, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line));
    SendMessageA(statusBar, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(line));
}

HWND Child(HWND parent, const char* cls, const char* text, DWORD style, int x, int y, int w, int h, int id) {
    return CreateWindowExA(0, cls, text, WS_CHILD | style, x, y, w, h, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
}

void CreateControls(HWND hwnd) {
    Child(hwnd, "Button", "First", WS_VISIBLE | WS_TABSTOP, 10, 10, 80, 22, 100);
    Child(hwnd, "Static", "Label", WS_VISIBLE, 100, 10, 60, 22, 0);
    Child(hwnd, "Button", "Disabled", WS_VISIBLE | WS_TABSTOP | WS_DISABLED, 170, 10, 80, 22, 101);
    HWND combo = Child(hwnd, "ComboBox", nullptr, WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST,
                       10, 40, 150, 100, 102);
    for (const char* item : {"Alpha", "Beta", "Caf\xe9"})
        SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    commandLog = Child(hwnd, "ListBox", nullptr, WS_VISIBLE | WS_BORDER | WS_VSCROLL | LBS_NOINTEGRALHEIGHT,
                       10, 70, 240, 60, 103);
    Child(hwnd, "Button", "Hidden", WS_TABSTOP, 170, 40, 80, 22, 104);
    statusBar = Child(hwnd, STATUSCLASSNAMEA, nullptr, WS_VISIBLE, 0, 0, 0, 0, 0);
    SendMessageA(statusBar, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(StatusText));
}

LRESULT CALLBACK TargetProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CREATE:
        CreateControls(hwnd);
        return 0;
    case WM_COMMAND:
        LogCommand(wParam);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(7);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

int RunWindow(HINSTANCE instance, int show) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = TargetProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = TargetClass;
    RegisterClassA(&wc);
    HWND hwnd = CreateWindowExA(0, TargetClass, TargetTitle, WS_CAPTION, 40, 30, 300, 220, nullptr, nullptr,
                                instance, nullptr);
    ShowWindow(hwnd, show);
    UpdateWindow(hwnd);
    MSG m;
    while (GetMessageA(&m, nullptr, 0, 0)) {
        if (IsDialogMessageA(hwnd, &m)) continue;
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
    return static_cast<int>(m.wParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int show) {
    InitCommonControls();
    if (std::strncmp(commandLine, "box ", 4) == 0) {
        UINT flags = static_cast<UINT>(std::strtoul(commandLine + 4, nullptr, 16));
        return MessageBoxA(FindWindowA(TargetClass, TargetTitle), "Box text caf\xe9", "Box caption", flags);
    }
    return RunWindow(instance, show);
}

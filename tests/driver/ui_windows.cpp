// Reading windows and controls of another process.
#include "ui_driver.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>

namespace ui {
namespace {

constexpr int ReadTimeoutMs = 5000;
constexpr size_t MaxChildren = 512;

std::string ToAnsi(const wchar_t* text, int length) {
    if (length <= 0) return {};
    int size = WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, length, out.data(), size, nullptr, nullptr);
    return out;
}

bool SendWide(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutW(hwnd, msg, wParam, lParam, SMTO_ABORTIFHUNG, ReadTimeoutMs, &answer)) return false;
    *result = static_cast<LRESULT>(answer);
    return true;
}

// An item text of a list or combo box; lengthMsg/textMsg are the W messages.
std::string ItemText(HWND hwnd, UINT lengthMsg, UINT textMsg, int index) {
    LRESULT length = 0;
    if (!SendWide(hwnd, lengthMsg, static_cast<WPARAM>(index), 0, &length) || length < 0) return {};
    std::wstring buffer(static_cast<size_t>(length) + 1, L'\0');
    LRESULT copied = 0;
    if (!SendWide(hwnd, textMsg, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buffer.data()), &copied) ||
        copied < 0)
        return {};
    return ToAnsi(buffer.c_str(), static_cast<int>(std::min<LRESULT>(copied, length)));
}

int IntAnswer(HWND hwnd, UINT msg, WPARAM wParam = 0) {
    LRESULT result = 0;
    if (!SendWide(hwnd, msg, wParam, 0, &result)) return -1;
    return static_cast<int>(result);
}

// A buffer in another process, for messages whose pointers are not
// marshalled between processes.
class RemoteBuffer {
public:
    RemoteBuffer(DWORD processId, size_t bytes) : bytes_(bytes) {
        process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
        if (process_) address_ = VirtualAllocEx(process_, nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    }
    ~RemoteBuffer() {
        if (address_) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
        if (process_) CloseHandle(process_);
    }
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;

    bool Valid() const { return address_ != nullptr; }
    LPARAM Address() const { return reinterpret_cast<LPARAM>(address_); }
    bool Read(void* into) const {
        SIZE_T done = 0;
        return ReadProcessMemory(process_, address_, into, bytes_, &done) && done == bytes_;
    }

private:
    HANDLE process_ = nullptr;
    void* address_ = nullptr;
    size_t bytes_;
};

}  // namespace

std::string ClassName(HWND hwnd) {
    char name[256] = "";
    GetClassNameA(hwnd, name, sizeof(name));
    return name;
}

std::string WindowText(HWND hwnd) {
    LRESULT length = 0;
    if (!SendWide(hwnd, WM_GETTEXTLENGTH, 0, 0, &length) || length <= 0) return {};
    std::wstring buffer(static_cast<size_t>(length) + 1, L'\0');
    LRESULT copied = 0;
    if (!SendWide(hwnd, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()), &copied)) return {};
    return ToAnsi(buffer.c_str(), static_cast<int>(std::min<LRESULT>(copied, length)));
}

DWORD Style(HWND hwnd) { return static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE)); }
DWORD ExStyle(HWND hwnd) { return static_cast<DWORD>(GetWindowLongW(hwnd, GWL_EXSTYLE)); }

RECT WindowRect(HWND hwnd) {
    RECT r = {};
    GetWindowRect(hwnd, &r);
    return r;
}

RECT ClientRect(HWND hwnd) {
    RECT r = {};
    GetClientRect(hwnd, &r);
    return r;
}

RECT ChildRect(HWND child) {
    RECT r = WindowRect(child);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

int Width(const RECT& r) { return r.right - r.left; }
int Height(const RECT& r) { return r.bottom - r.top; }
bool IsEnabled(HWND hwnd) { return IsWindowEnabled(hwnd) != FALSE; }
bool IsVisible(HWND hwnd) { return IsWindowVisible(hwnd) != FALSE; }
int ControlId(HWND hwnd) { return GetDlgCtrlID(hwnd); }
HWND Owner(HWND hwnd) { return GetWindow(hwnd, GW_OWNER); }
HWND Parent(HWND hwnd) { return GetAncestor(hwnd, GA_PARENT); }

DWORD ProcessOf(HWND hwnd) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    return pid;
}

DWORD ClassStyle(HWND hwnd) { return static_cast<DWORD>(GetClassLongW(hwnd, GCL_STYLE)); }

COLORREF ScreenPixel(POINT at) {
    HDC screen = GetDC(nullptr);
    COLORREF color = GetPixel(screen, at.x, at.y);
    ReleaseDC(nullptr, screen);
    return color;
}

bool WindowExists(HWND hwnd) { return hwnd && IsWindow(hwnd); }

HFONT FontHandle(HWND hwnd) {
    LRESULT font = 0;
    if (!SendWide(hwnd, WM_GETFONT, 0, 0, &font)) return nullptr;
    return reinterpret_cast<HFONT>(font);
}

std::vector<HWND> Children(HWND parent) {
    std::vector<HWND> children;
    for (HWND child = GetWindow(parent, GW_CHILD); child && children.size() < MaxChildren;
         child = GetWindow(child, GW_HWNDNEXT))
        children.push_back(child);
    return children;
}

HWND FindChild(HWND parent, const std::string& className, const std::string* text) {
    for (HWND child : Children(parent)) {
        if (ClassName(child) != className) continue;
        if (text && WindowText(child) != *text) continue;
        return child;
    }
    return nullptr;
}

HWND ChildById(HWND parent, int id) {
    for (HWND child : Children(parent))
        if (ControlId(child) == id) return child;
    return nullptr;
}

std::vector<HWND> TabOrder(HWND parent) {
    std::vector<HWND> order;
    HWND first = GetNextDlgTabItem(parent, nullptr, FALSE);
    HWND item = first;
    while (item && order.size() < MaxChildren) {
        order.push_back(item);
        item = GetNextDlgTabItem(parent, item, FALSE);
        if (item == first) break;
    }
    return order;
}

std::string StatusBarText(HWND statusBar, int part) {
    LRESULT lengthAndType = 0;
    if (!SendWide(statusBar, SB_GETTEXTLENGTHW, static_cast<WPARAM>(part), 0, &lengthAndType)) return {};
    size_t length = LOWORD(lengthAndType);
    if (length == 0) return {};
    std::vector<wchar_t> text(length + 1, L'\0');
    RemoteBuffer remote(ProcessOf(statusBar), text.size() * sizeof(wchar_t));
    LRESULT ignored = 0;
    if (!remote.Valid() || !SendWide(statusBar, SB_GETTEXTW, static_cast<WPARAM>(part), remote.Address(), &ignored) ||
        !remote.Read(text.data()))
        return {};
    return ToAnsi(text.data(), static_cast<int>(length));
}

int ComboCount(HWND combo) { return IntAnswer(combo, CB_GETCOUNT); }
int ComboSelection(HWND combo) { return IntAnswer(combo, CB_GETCURSEL); }
bool ComboDroppedDown(HWND combo) { return IntAnswer(combo, CB_GETDROPPEDSTATE) > 0; }

std::vector<std::string> ComboItems(HWND combo) {
    std::vector<std::string> items;
    for (int i = 0, n = ComboCount(combo); i < n; ++i) items.push_back(ItemText(combo, CB_GETLBTEXTLEN, CB_GETLBTEXT, i));
    return items;
}

int ListBoxCount(HWND list) { return IntAnswer(list, LB_GETCOUNT); }
int ListBoxTopIndex(HWND list) { return IntAnswer(list, LB_GETTOPINDEX); }

std::vector<std::string> ListBoxItems(HWND list) {
    std::vector<std::string> items;
    for (int i = 0, n = ListBoxCount(list); i < n; ++i) items.push_back(ItemText(list, LB_GETTEXTLEN, LB_GETTEXT, i));
    return items;
}

std::string Describe(HWND hwnd) {
    if (!WindowExists(hwnd)) return "(no window)";
    char head[96];
    snprintf(head, sizeof(head), "%p id %d style 0x%08lx", static_cast<void*>(hwnd), ControlId(hwnd),
             static_cast<unsigned long>(Style(hwnd)));
    std::string className = ClassName(hwnd);
    std::string out = std::string(head) + " class '" + className + "' text '" + WindowText(hwnd) + "'";
    // A message box says more by its message than by its caption.
    if (className == "#32770") out += " message '" + WindowText(GetDlgItem(hwnd, 0xFFFF)) + "'";
    if (!IsVisible(hwnd)) out += " hidden";
    if (!IsEnabled(hwnd)) out += " disabled";
    return out;
}

std::string DescribeTree(HWND parent) {
    std::string out = Describe(parent);
    for (HWND child : Children(parent)) out += "\n    " + Describe(child);
    return out;
}

}  // namespace ui

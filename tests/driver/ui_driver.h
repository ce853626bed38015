#pragma once
// Drives a GUI program in another process the way a person would, and reads
// its windows from outside. Every wait is bounded and, when it runs out, says
// what it waited for and what it saw instead.
//
// Texts are returned in the ANSI code page: they are read through the wide
// messages (the only ones whose texts cross processes intact) and converted
// with CP_ACP, so tests compare them with the program's own ANSI strings.
#include <windows.h>

#include <functional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace ui {

// ---------------------------------------------------------------- processes

struct StartOptions {
    std::string workingDir;  // empty: the test's own
    // Added to (or replacing) the test's own environment; an empty value
    // removes the variable.
    std::vector<std::pair<std::string, std::string>> env;
    // STARTUPINFO show state; -1 leaves it to the system (SW_SHOWDEFAULT).
    int showCommand = -1;
    std::string arguments;  // appended after the quoted program path
};

struct ExitOutcome {
    bool exited = false;
    DWORD exitCode = 0;
    std::string failure;  // set when the process did not end in time
    explicit operator bool() const { return exited; }
};

// A started program. Kills it in its destructor if it is still running, so a
// failed test leaves no process behind.
class Process {
public:
    Process() = default;
    Process(HANDLE process, DWORD id, std::string name);
    ~Process();
    Process(Process&& other) noexcept;
    Process& operator=(Process&& other) noexcept;
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    bool Started() const { return handle_ != nullptr; }
    DWORD Id() const { return id_; }
    HANDLE Handle() const { return handle_; }
    const std::string& Name() const { return name_; }
    bool IsRunning() const;
    // Exit code once ended; STILL_ACTIVE while running.
    DWORD ExitCode() const;
    ExitOutcome WaitForExit(int timeoutMs) const;
    // TerminateProcess with exit code 0xDEAD and a bounded wait for the end.
    void Kill();

private:
    void Release();
    HANDLE handle_ = nullptr;
    DWORD id_ = 0;
    std::string name_;
};

struct StartOutcome {
    Process process;
    std::string failure;  // why CreateProcessA refused
    explicit operator bool() const { return process.Started(); }
};

StartOutcome StartProgram(const std::string& exePath, const StartOptions& options = {});

// Runs a console command line to its end (bounded) and gives its exit code;
// the program is killed if it outlives the bound.
ExitOutcome RunToEnd(const std::string& commandLine, int timeoutMs, const std::string& workingDir = {});

// ------------------------------------------------------------------ windows

std::string ClassName(HWND hwnd);
// WM_GETTEXT through SendMessageTimeoutW, converted to CP_ACP. A window that
// does not answer within the bound reads as "".
std::string WindowText(HWND hwnd);
DWORD Style(HWND hwnd);
DWORD ExStyle(HWND hwnd);
RECT WindowRect(HWND hwnd);  // screen coordinates
RECT ClientRect(HWND hwnd);
// The window's outer rectangle in its parent's client coordinates.
RECT ChildRect(HWND child);
int Width(const RECT& r);
int Height(const RECT& r);
bool IsEnabled(HWND hwnd);
bool IsVisible(HWND hwnd);
int ControlId(HWND hwnd);
HWND Owner(HWND hwnd);
HWND Parent(HWND hwnd);
DWORD ProcessOf(HWND hwnd);
bool WindowExists(HWND hwnd);
DWORD ClassStyle(HWND hwnd);
// The colour the screen shows at a point in screen coordinates.
COLORREF ScreenPixel(POINT at);
// The font the control was given (WM_GETFONT); 0 when it uses the system
// font. The handle belongs to the other process: compare values only.
HFONT FontHandle(HWND hwnd);

// Direct children, first created first (the sibling order a new child gets).
std::vector<HWND> Children(HWND parent);
// First direct child with that class (and text, when given), or null.
HWND FindChild(HWND parent, const std::string& className, const std::string* text = nullptr);
HWND ChildById(HWND parent, int id);

// The controls the dialog manager visits with Tab, starting at the first one:
// GetNextDlgTabItem from the parent, which skips hidden and disabled controls.
std::vector<HWND> TabOrder(HWND parent);

// Status bar part text (SB_GETTEXTLENGTHW / SB_GETTEXTW, through a buffer in
// the target process since common-control messages are not marshalled).
std::string StatusBarText(HWND statusBar, int part = 0);
int ComboCount(HWND combo);
int ComboSelection(HWND combo);  // CB_ERR (-1) when nothing is selected
std::vector<std::string> ComboItems(HWND combo);
bool ComboDroppedDown(HWND combo);
int ListBoxCount(HWND list);
std::vector<std::string> ListBoxItems(HWND list);
int ListBoxTopIndex(HWND list);

// A short description for failure messages: handle, class, text, id, flags.
std::string Describe(HWND hwnd);
std::string DescribeTree(HWND parent);  // the window and its direct children

// -------------------------------------------------------- finding and waiting

struct WindowQuery {
    std::string className;  // empty: any class
    std::string title;      // empty: any title
    bool mustBeVisible = true;
};

// All top-level windows of the process, in Z order, hidden ones included.
std::vector<HWND> TopLevelWindows(DWORD processId);
std::vector<HWND> FindTopLevelWindows(DWORD processId, const WindowQuery& query);
// Every visible top-level window of the process, described, for failure texts.
std::string DescribeWindowsOf(DWORD processId);

struct FoundWindow {
    HWND hwnd = nullptr;
    std::string failure;
    explicit operator bool() const { return hwnd != nullptr; }
};

FoundWindow WaitForWindow(const Process& process, const WindowQuery& query, int timeoutMs);

struct WaitOutcome {
    bool ok = false;
    std::string failure;
    explicit operator bool() const { return ok; }
};

// Waits until no window of the process matches the query.
WaitOutcome WaitForNoWindow(const Process& process, const WindowQuery& query, int timeoutMs);
// Waits until the window is destroyed or hidden.
WaitOutcome WaitForWindowGone(HWND hwnd, int timeoutMs);
// Polls the condition every 20 ms; on time-out the failure says what was
// awaited and, through describeSeen, what was seen at the end.
WaitOutcome WaitUntil(const std::function<bool()>& condition, int timeoutMs, const std::string& awaited,
                      const std::function<std::string()>& describeSeen = {});

// ------------------------------------------------------------------ actions

// BM_CLICK, posted: the click may open a modal box, which must not block us.
void ClickButton(HWND button);
// What a selection by the user does: CB_SETCURSEL, then CBN_SELCHANGE posted
// to the combo's parent.
void SelectComboItem(HWND combo, int index);
void ShowComboDropDown(HWND combo, bool show);
void PostMsg(HWND hwnd, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
// SendMessageTimeoutW; false when the window did not answer in time.
bool SendMsg(HWND hwnd, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0, int timeoutMs = 5000,
             LRESULT* result = nullptr);
// WM_COMMAND as a control of the window would send it, posted.
void PostCommand(HWND hwnd, int id, int notification = 0, HWND control = nullptr);

// ------------------------------------------------------------ message boxes

enum class BoxIcon { None, Warning, Error, Question, Information, Unknown };
const char* IconName(BoxIcon icon);
inline std::ostream& operator<<(std::ostream& out, BoxIcon icon) { return out << IconName(icon); }

struct BoxButton {
    int id = 0;
    std::string text;
    HWND hwnd = nullptr;
};

struct MessageBoxInfo {
    HWND hwnd = nullptr;
    std::string caption;
    std::string text;
    std::vector<BoxButton> buttons;  // the visible ones, in child order
    HWND owner = nullptr;
    std::vector<int> ButtonIds() const;
};

// Waits for a visible dialog box (#32770) of the process.
FoundWindow WaitForMessageBox(const Process& process, int timeoutMs);
MessageBoxInfo ReadMessageBox(HWND box);
// Clicks the button with that id; false when the box has no such button.
bool AnswerMessageBox(HWND box, int buttonId);
// Compares the pixels of the box's icon on the screen with the system's
// warning, error, question and information icons. Retries until the box has
// been painted, within the bound.
BoxIcon IdentifyIcon(HWND box, int timeoutMs = 10000);

// --------------------------------------------------------------- screenshot

// The whole X screen as a PNG through ImageMagick's import (a Linux program
// started by Wine). The path is a Windows path on a drive that Wine maps.
bool SaveScreenshot(const std::string& pngPath, std::string* failure = nullptr);
// Only the window's outer rectangle (with whatever covers it, an open
// drop-down list included), cut from the screen the same way.
bool SaveWindowScreenshot(HWND hwnd, const std::string& pngPath, std::string* failure = nullptr);

}  // namespace ui

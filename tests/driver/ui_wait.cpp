// Finding the top-level windows of a process and bounded waits.
#include "ui_driver.h"

namespace ui {
namespace {

constexpr DWORD PollMs = 20;

struct EnumState {
    DWORD processId;
    std::vector<HWND>* windows;
};

BOOL CALLBACK CollectWindowOfProcess(HWND hwnd, LPARAM lParam) {
    auto* state = reinterpret_cast<EnumState*>(lParam);
    if (ProcessOf(hwnd) == state->processId) state->windows->push_back(hwnd);
    return TRUE;
}

bool Matches(HWND hwnd, const WindowQuery& query) {
    if (query.mustBeVisible && !IsVisible(hwnd)) return false;
    if (!query.className.empty() && ClassName(hwnd) != query.className) return false;
    if (!query.title.empty() && WindowText(hwnd) != query.title) return false;
    return true;
}

std::string DescribeQuery(const WindowQuery& query) {
    std::string out = query.mustBeVisible ? "a visible window" : "a window";
    out += query.className.empty() ? " of any class" : " of class '" + query.className + "'";
    if (!query.title.empty()) out += " titled '" + query.title + "'";
    return out;
}

std::string DescribeProcessState(const Process& process) {
    std::string out = process.Name() + " (pid " + std::to_string(process.Id()) + ")";
    if (!process.IsRunning()) out += " has ended with exit code " + std::to_string(process.ExitCode());
    return out;
}

}  // namespace

std::vector<HWND> TopLevelWindows(DWORD processId) {
    std::vector<HWND> windows;
    EnumState state{processId, &windows};
    EnumWindows(CollectWindowOfProcess, reinterpret_cast<LPARAM>(&state));
    return windows;
}

std::vector<HWND> FindTopLevelWindows(DWORD processId, const WindowQuery& query) {
    std::vector<HWND> found;
    for (HWND hwnd : TopLevelWindows(processId))
        if (Matches(hwnd, query)) found.push_back(hwnd);
    return found;
}

std::string DescribeWindowsOf(DWORD processId) {
    std::string out;
    for (HWND hwnd : TopLevelWindows(processId)) {
        if (!IsVisible(hwnd)) continue;
        out += "\n  " + Describe(hwnd);
    }
    return out.empty() ? "(no visible window)" : out;
}

WaitOutcome WaitUntil(const std::function<bool()>& condition, int timeoutMs, const std::string& awaited,
                      const std::function<std::string()>& describeSeen) {
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeoutMs);
    for (;;) {
        if (condition()) return {true, {}};
        if (GetTickCount64() >= deadline) break;
        Sleep(PollMs);
    }
    WaitOutcome outcome;
    outcome.failure = "waited " + std::to_string(timeoutMs) + " ms for " + awaited;
    if (describeSeen) outcome.failure += "; seen: " + describeSeen();
    return outcome;
}

FoundWindow WaitForWindow(const Process& process, const WindowQuery& query, int timeoutMs) {
    FoundWindow found;
    WaitOutcome waited = WaitUntil(
        [&] {
            std::vector<HWND> windows = FindTopLevelWindows(process.Id(), query);
            if (!windows.empty()) found.hwnd = windows.front();
            // A process that has ended will never show the window.
            return found.hwnd != nullptr || !process.IsRunning();
        },
        timeoutMs, DescribeQuery(query) + " of " + process.Name(),
        [&] { return DescribeProcessState(process) + "; its windows: " + DescribeWindowsOf(process.Id()); });
    if (!found.hwnd)
        found.failure = waited ? "no " + DescribeQuery(query) + " appeared: " + DescribeProcessState(process)
                               : waited.failure;
    return found;
}

WaitOutcome WaitForNoWindow(const Process& process, const WindowQuery& query, int timeoutMs) {
    return WaitUntil([&] { return FindTopLevelWindows(process.Id(), query).empty(); }, timeoutMs,
                     "no " + DescribeQuery(query) + " of " + process.Name(),
                     [&] { return DescribeWindowsOf(process.Id()); });
}

WaitOutcome WaitForWindowGone(HWND hwnd, int timeoutMs) {
    std::string before = Describe(hwnd);
    return WaitUntil([&] { return !WindowExists(hwnd) || !IsVisible(hwnd); }, timeoutMs,
                     "window " + before + " to be destroyed or hidden", [&] { return Describe(hwnd); });
}

}  // namespace ui

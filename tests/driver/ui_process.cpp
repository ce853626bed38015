// Starting, watching and ending programs for the UI driver.
#include "ui_driver.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>

namespace ui {
namespace {

constexpr DWORD KilledExitCode = 0xDEAD;
constexpr int KillWaitMs = 5000;

struct CaseInsensitiveLess {
    bool operator()(const std::string& a, const std::string& b) const {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
            return std::toupper(static_cast<unsigned char>(x)) < std::toupper(static_cast<unsigned char>(y));
        });
    }
};

// The test's environment with the overrides applied, as a CreateProcessA block.
// Entries such as "=C:=C:\dir" (per-drive current directories) are kept as
// they are.
std::string BuildEnvironmentBlock(const std::vector<std::pair<std::string, std::string>>& overrides) {
    std::map<std::string, std::string, CaseInsensitiveLess> vars;
    std::vector<std::string> hiddenEntries;
    char* strings = GetEnvironmentStringsA();
    for (const char* p = strings; p && *p; p += std::char_traits<char>::length(p) + 1) {
        std::string entry = p;
        size_t eq = entry.find('=', 1);
        if (entry[0] == '=' || eq == std::string::npos) {
            hiddenEntries.push_back(entry);
            continue;
        }
        vars[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    if (strings) FreeEnvironmentStringsA(strings);

    for (const auto& [name, value] : overrides) {
        if (value.empty())
            vars.erase(name);
        else
            vars[name] = value;
    }

    std::string block;
    for (const std::string& entry : hiddenEntries) block += entry + '\0';
    for (const auto& [name, value] : vars) block += name + '=' + value + '\0';
    block += '\0';
    return block;
}

std::string LastErrorText(const char* what) {
    char buf[64];
    snprintf(buf, sizeof(buf), "%s failed, GetLastError %lu", what, static_cast<unsigned long>(GetLastError()));
    return buf;
}

}  // namespace

Process::Process(HANDLE process, DWORD id, std::string name) : handle_(process), id_(id), name_(std::move(name)) {}

Process::~Process() { Release(); }

Process::Process(Process&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), id_(std::exchange(other.id_, 0)), name_(std::move(other.name_)) {}

Process& Process::operator=(Process&& other) noexcept {
    if (this != &other) {
        Release();
        handle_ = std::exchange(other.handle_, nullptr);
        id_ = std::exchange(other.id_, 0);
        name_ = std::move(other.name_);
    }
    return *this;
}

void Process::Release() {
    if (!handle_) return;
    if (IsRunning()) Kill();
    CloseHandle(handle_);
    handle_ = nullptr;
}

bool Process::IsRunning() const { return handle_ && WaitForSingleObject(handle_, 0) == WAIT_TIMEOUT; }

DWORD Process::ExitCode() const {
    DWORD code = STILL_ACTIVE;
    if (handle_) GetExitCodeProcess(handle_, &code);
    return code;
}

ExitOutcome Process::WaitForExit(int timeoutMs) const {
    ExitOutcome outcome;
    if (!handle_) {
        outcome.failure = "no process was started";
        return outcome;
    }
    if (WaitForSingleObject(handle_, static_cast<DWORD>(timeoutMs)) != WAIT_OBJECT_0) {
        outcome.failure = "process " + name_ + " (pid " + std::to_string(id_) + ") still running after " +
                          std::to_string(timeoutMs) + " ms; its windows: " + DescribeWindowsOf(id_);
        return outcome;
    }
    outcome.exited = true;
    outcome.exitCode = ExitCode();
    return outcome;
}

void Process::Kill() {
    if (!handle_) return;
    TerminateProcess(handle_, KilledExitCode);
    WaitForSingleObject(handle_, KillWaitMs);
}

StartOutcome StartProgram(const std::string& exePath, const StartOptions& options) {
    StartOutcome outcome;
    std::string commandLine = "\"" + exePath + "\"";
    if (!options.arguments.empty()) commandLine += " " + options.arguments;
    std::vector<char> mutableCommandLine(commandLine.begin(), commandLine.end());
    mutableCommandLine.push_back('\0');

    std::string environment;
    if (!options.env.empty()) environment = BuildEnvironmentBlock(options.env);

    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    if (options.showCommand >= 0) {
        si.dwFlags = STARTF_USESHOWWINDOW;
        si.wShowWindow = static_cast<WORD>(options.showCommand);
    }
    PROCESS_INFORMATION pi = {};
    BOOL ok = CreateProcessA(exePath.c_str(), mutableCommandLine.data(), nullptr, nullptr, FALSE, 0,
                             environment.empty() ? nullptr : environment.data(),
                             options.workingDir.empty() ? nullptr : options.workingDir.c_str(), &si, &pi);
    if (!ok) {
        outcome.failure = LastErrorText(("CreateProcessA of " + exePath).c_str());
        return outcome;
    }
    CloseHandle(pi.hThread);
    outcome.process = Process(pi.hProcess, pi.dwProcessId, exePath);
    return outcome;
}

ExitOutcome RunToEnd(const std::string& commandLine, int timeoutMs, const std::string& workingDir) {
    std::vector<char> mutableCommandLine(commandLine.begin(), commandLine.end());
    mutableCommandLine.push_back('\0');
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, mutableCommandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        workingDir.empty() ? nullptr : workingDir.c_str(), &si, &pi)) {
        ExitOutcome outcome;
        outcome.failure = LastErrorText(("CreateProcessA of '" + commandLine + "'").c_str());
        return outcome;
    }
    CloseHandle(pi.hThread);
    Process process(pi.hProcess, pi.dwProcessId, commandLine);
    ExitOutcome outcome = process.WaitForExit(timeoutMs);
    if (!outcome) outcome.failure = "'" + commandLine + "' did not end within " + std::to_string(timeoutMs) + " ms";
    return outcome;
}

}  // namespace ui

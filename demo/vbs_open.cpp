// The "open" command of .vbs files in the local run's Wine prefix. Wine's
// script host rejects a shortcut whose IconLocation has no icon index, which
// Windows accepts, and then makes no shortcut at all. This hands the script
// host a copy with ",0" added to such a location, so the setup's desktop
// shortcut appears as it would on Windows.
//
//   hollowbranch-vbs-open SCRIPT.vbs
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

constexpr DWORD ScriptHostMs = 30000;

// `link.IconLocation = "C:\path\file.exe"` gains ",0" before its closing quote.
std::string WithIconIndex(const std::string& line) {
    if (line.find("IconLocation") == std::string::npos) return line;
    const size_t close = line.rfind('"');
    const size_t open = close == std::string::npos || close == 0 ? std::string::npos : line.rfind('"', close - 1);
    if (open == std::string::npos) return line;
    const std::string location = line.substr(open + 1, close - open - 1);
    const size_t comma = location.rfind(',');
    if (comma != std::string::npos && location.find('\\', comma) == std::string::npos) return line;
    return line.substr(0, close) + ",0" + line.substr(close);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    if (__argc != 2) return 2;
    // Read at once: the setup takes its script away soon after handing it over.
    std::ifstream in(__argv[1], std::ios::binary);
    if (!in) return 1;
    std::string script, line;
    while (std::getline(in, line)) script += WithIconIndex(line) + "\n";
    in.close();

    char folder[MAX_PATH];
    char copy[MAX_PATH];
    if (!GetTempPathA(sizeof folder, folder) || !GetTempFileNameA(folder, "hbs", 0, copy)) return 1;
    const std::string copyPath = std::string(copy) + ".vbs";
    MoveFileA(copy, copyPath.c_str());
    {
        std::ofstream out(copyPath, std::ios::binary | std::ios::trunc);
        out << script;
    }

    char commandLine[2 * MAX_PATH];
    snprintf(commandLine, sizeof commandLine, "wscript.exe //B //Nologo \"%s\"", copyPath.c_str());
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (CreateProcessA(NULL, commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
        WaitForSingleObject(process.hProcess, ScriptHostMs);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    DeleteFileA(copyPath.c_str());
    return 0;
}

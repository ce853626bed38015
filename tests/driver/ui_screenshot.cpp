// A picture of the whole X screen, taken by ImageMagick's import from the
// Linux side: Wine starts Linux programs given by their Unix path.
#include "ui_driver.h"

#include <cstdio>
#include <cstring>

namespace ui {
namespace {

constexpr int ScreenshotTimeoutMs = 20000;

// Wine's own export; absent on Windows, where there is no X screen to take.
using UnixFileNameFn = char*(CDECL*)(LPCWSTR);

std::string UnixPathOf(const std::string& windowsPath) {
    auto toUnix = reinterpret_cast<UnixFileNameFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (!toUnix) return {};
    int length = MultiByteToWideChar(CP_ACP, 0, windowsPath.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, windowsPath.c_str(), -1, wide.data(), length);
    char* unixPath = toUnix(wide.c_str());
    if (!unixPath) return {};
    std::string out = unixPath;
    HeapFree(GetProcessHeap(), 0, unixPath);
    return out;
}

// A PNG ends with its IEND chunk; import writes the file front to back.
bool EndsWithPngTrailer(const std::string& path) {
    static const unsigned char trailer[] = {'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    unsigned char tail[sizeof(trailer)] = {};
    DWORD got = 0;
    bool complete = SetFilePointer(file, -static_cast<LONG>(sizeof(tail)), nullptr, FILE_END) != INVALID_SET_FILE_POINTER &&
                    ReadFile(file, tail, sizeof(tail), &got, nullptr) && got == sizeof(tail) &&
                    memcmp(tail, trailer, sizeof(tail)) == 0;
    CloseHandle(file);
    return complete;
}

// import's arguments after the display: what to take and how to cut it.
bool Capture(const std::string& pngPath, const std::string& what, std::string* failure) {
    auto fail = [&](const std::string& why) {
        if (failure) *failure = "screenshot " + pngPath + ": " + why;
        return false;
    };
    char display[64] = "";
    if (!GetEnvironmentVariableA("DISPLAY", display, sizeof(display))) return fail("DISPLAY is not set");
    std::string unixPath = UnixPathOf(pngPath);
    if (unixPath.empty()) return fail("no Unix path for it (not running under Wine?)");
    DeleteFileA(pngPath.c_str());

    ExitOutcome run = RunToEnd("start.exe /wait /unix /usr/bin/import -display " + std::string(display) +
                                   " " + what + " \"" + unixPath + "\"",
                               ScreenshotTimeoutMs);
    if (!run) return fail(run.failure);
    // start.exe neither waits for a Linux program nor passes on its exit
    // code: wait for the file to be complete.
    WaitOutcome written = WaitUntil([&] { return EndsWithPngTrailer(pngPath); }, ScreenshotTimeoutMs,
                                    "import to write a complete PNG");
    if (!written) return fail(written.failure);
    return true;
}

}  // namespace

bool SaveScreenshot(const std::string& pngPath, std::string* failure) {
    return Capture(pngPath, "-window root", failure);
}

bool SaveWindowScreenshot(HWND hwnd, const std::string& pngPath, std::string* failure) {
    RECT r = WindowRect(hwnd);
    if (Width(r) <= 0 || Height(r) <= 0) {
        if (failure) *failure = "screenshot " + pngPath + ": " + Describe(hwnd) + " has no area on the screen";
        return false;
    }
    // The screen's edges clip the cut; +repage drops the offset it keeps.
    char crop[96];
    snprintf(crop, sizeof(crop), "-window root -crop %dx%d%+d%+d +repage", Width(r), Height(r),
             static_cast<int>(r.left), static_cast<int>(r.top));
    return Capture(pngPath, crop, failure);
}

}  // namespace ui

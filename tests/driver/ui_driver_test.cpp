// The driver against a program of known shape (driver-target): if these
// fail, the window tests cannot be trusted.
#include "ui_driver.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

constexpr int WaitMs = 10000;
const char TargetClass[] = "DriverTarget";
const char TargetTitle[] = "Driver Target";

// driver-target.exe lies beside the test program.
std::string TargetExe() {
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir = path;
    return dir.substr(0, dir.find_last_of('\\') + 1) + "driver-target.exe";
}

std::string TempPath(const char* name) {
    char dir[MAX_PATH] = "";
    GetTempPathA(MAX_PATH, dir);
    return std::string(dir) + name;
}

class DriverTargetWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ui::StartOutcome started = ui::StartProgram(TargetExe(), {});
        ASSERT_TRUE(started) << started.failure;
        target = std::move(started.process);
        ui::FoundWindow found = ui::WaitForWindow(target, {TargetClass, TargetTitle, true}, WaitMs);
        ASSERT_TRUE(found) << found.failure;
        window = found.hwnd;
        combo = ui::ChildById(window, 102);
        log = ui::ChildById(window, 103);
        statusBar = ui::FindChild(window, "msctls_statusbar32");
        ASSERT_TRUE(combo && log && statusBar) << ui::DescribeTree(window);
    }

    // The target logs every WM_COMMAND it receives as its last list line.
    ui::WaitOutcome WaitForLastCommand(const std::string& line) {
        return ui::WaitUntil(
            [&] {
                auto items = ui::ListBoxItems(log);
                return !items.empty() && items.back() == line;
            },
            WaitMs, "command log line '" + line + "'",
            [&] {
                auto items = ui::ListBoxItems(log);
                return items.empty() ? std::string("(empty log)") : "last line '" + items.back() + "'";
            });
    }

    ui::Process target;
    HWND window = nullptr, combo = nullptr, log = nullptr, statusBar = nullptr;
};

TEST_F(DriverTargetWindow, ReadsWhatTheProgramCreated) {
    EXPECT_EQ(ui::ClassName(window), TargetClass);
    EXPECT_EQ(ui::WindowText(window), TargetTitle);
    EXPECT_EQ(ui::Style(window) & WS_CAPTION, static_cast<DWORD>(WS_CAPTION)) << std::hex << ui::Style(window);
    RECT outer = ui::WindowRect(window);
    EXPECT_EQ(ui::Width(outer), 300);
    EXPECT_EQ(ui::Height(outer), 220);

    // Children come in creation order, with their own class, text and id.
    struct Expected {
        const char* className;
        const char* text;
        int id;
    };
    const Expected expected[] = {
        {"Button", "First", 100},   {"Static", "Label", 0},  {"Button", "Disabled", 101},
        {"ComboBox", "", 102},      {"ListBox", "", 103},    {"Button", "Hidden", 104},
        {"msctls_statusbar32", "Ready caf\xe9", 0},
    };
    std::vector<HWND> children = ui::Children(window);
    ASSERT_EQ(children.size(), std::size(expected)) << ui::DescribeTree(window);
    for (size_t i = 0; i < children.size(); ++i) {
        SCOPED_TRACE("child " + std::to_string(i) + ": " + ui::Describe(children[i]));
        EXPECT_EQ(ui::ClassName(children[i]), expected[i].className);
        EXPECT_EQ(ui::WindowText(children[i]), expected[i].text);
        EXPECT_EQ(ui::ControlId(children[i]), expected[i].id);
        EXPECT_EQ(ui::Parent(children[i]), window);
    }

    RECT first = ui::ChildRect(children[0]);
    EXPECT_EQ(first.left, 10);
    EXPECT_EQ(first.top, 10);
    EXPECT_EQ(ui::Width(first), 80);
    EXPECT_EQ(ui::Height(first), 22);
    EXPECT_FALSE(ui::IsEnabled(children[2])) << "the Disabled button is created with WS_DISABLED";
    EXPECT_FALSE(ui::IsVisible(children[5])) << "the Hidden button is created without WS_VISIBLE";

    // Texts keep the program's ANSI bytes ("é" is 0xE9 in code page 1252).
    EXPECT_EQ(ui::StatusBarText(statusBar), "Ready caf\xe9");
    EXPECT_EQ(ui::ComboItems(combo), (std::vector<std::string>{"Alpha", "Beta", "Caf\xe9"}));
    EXPECT_EQ(ui::ComboSelection(combo), CB_ERR) << "a new drop-down list has no selection";
    EXPECT_EQ(ui::ListBoxCount(log), 0);

    // The class brush (COLOR_BTNFACE) shows where no control covers the client area.
    POINT corner = {3, 3};
    ClientToScreen(window, &corner);
    EXPECT_TRUE(ui::WaitUntil([&] { return ui::ScreenPixel(corner) == GetSysColor(COLOR_BTNFACE); }, WaitMs,
                              "the client area painted"));

    // Tab visits tab stops only, and passes over the disabled and the hidden one.
    EXPECT_EQ(ui::TabOrder(window), (std::vector<HWND>{children[0], children[3]}));
}

TEST_F(DriverTargetWindow, ActsAsAUserWould) {
    ui::ClickButton(ui::ChildById(window, 100));
    ui::WaitOutcome clicked = WaitForLastCommand("command 100 code 0");
    EXPECT_TRUE(clicked) << "BM_CLICK reaches the parent as BN_CLICKED: " << clicked.failure;
    EXPECT_EQ(ui::StatusBarText(statusBar), "command 100 code 0");

    ui::SelectComboItem(combo, 2);
    ui::WaitOutcome selected = WaitForLastCommand("command 102 code 1");
    EXPECT_TRUE(selected) << "a selection notifies the parent with CBN_SELCHANGE: " << selected.failure;
    EXPECT_EQ(ui::ComboSelection(combo), 2);

    ui::ShowComboDropDown(combo, true);
    EXPECT_TRUE(ui::WaitUntil([&] { return ui::ComboDroppedDown(combo); }, WaitMs, "the list to drop down"));
    ui::ShowComboDropDown(combo, false);
    EXPECT_TRUE(ui::WaitUntil([&] { return !ui::ComboDroppedDown(combo); }, WaitMs, "the list to close"));

    ui::PostCommand(window, 12, 3);
    EXPECT_TRUE(WaitForLastCommand("command 12 code 3")) << "a posted WM_COMMAND carries id and code";

    ui::PostMsg(window, WM_CLOSE);
    ui::ExitOutcome ended = target.WaitForExit(WaitMs);
    ASSERT_TRUE(ended) << ended.failure;
    EXPECT_EQ(ended.exitCode, 7u) << "WM_CLOSE destroys the window, whose WM_DESTROY quits with 7";
}

TEST_F(DriverTargetWindow, ReadsAndAnswersMessageBoxes) {
    struct Case {
        UINT flags;
        ui::BoxIcon icon;
        std::vector<int> buttons;
    };
    const Case cases[] = {
        {MB_OK | MB_ICONWARNING, ui::BoxIcon::Warning, {IDOK}},
        {MB_OK | MB_ICONERROR, ui::BoxIcon::Error, {IDOK}},
        {MB_YESNO | MB_ICONQUESTION, ui::BoxIcon::Question, {IDYES, IDNO}},
        {MB_OKCANCEL | MB_ICONINFORMATION, ui::BoxIcon::Information, {IDOK, IDCANCEL}},
        {MB_OK, ui::BoxIcon::None, {IDOK}},
    };
    for (const Case& c : cases) {
        char flags[16];
        snprintf(flags, sizeof(flags), "box %x", c.flags);
        SCOPED_TRACE(flags);
        ui::StartOptions options;
        options.arguments = flags;
        ui::StartOutcome started = ui::StartProgram(TargetExe(), options);
        ASSERT_TRUE(started) << started.failure;

        ui::FoundWindow box = ui::WaitForMessageBox(started.process, WaitMs);
        ASSERT_TRUE(box) << box.failure;
        ui::MessageBoxInfo info = ui::ReadMessageBox(box.hwnd);
        EXPECT_EQ(info.caption, "Box caption");
        EXPECT_EQ(info.text, "Box text caf\xe9");
        EXPECT_EQ(info.owner, window) << "the box is owned by the window the program found";
        EXPECT_EQ(info.ButtonIds(), c.buttons);
        ui::BoxIcon icon = ui::IdentifyIcon(box.hwnd);
        EXPECT_EQ(icon, c.icon);

        // The answer is the box's result, which the program returns.
        ASSERT_TRUE(ui::AnswerMessageBox(box.hwnd, c.buttons.back()));
        ui::ExitOutcome ended = started.process.WaitForExit(WaitMs);
        ASSERT_TRUE(ended) << ended.failure;
        EXPECT_EQ(ended.exitCode, static_cast<DWORD>(c.buttons.back()));
    }
}

TEST(DriverProcesses, StartsWithEnvironmentArgumentsAndWorkingDirectory) {
    std::string dir = TempPath("hb-driver-cwd");
    CreateDirectoryA(dir.c_str(), nullptr);
    std::string marker = dir + "\\marker.txt";
    FILE* f = fopen(marker.c_str(), "w");
    ASSERT_TRUE(f);
    fclose(f);

    char cmd[MAX_PATH] = "";
    GetEnvironmentVariableA("ComSpec", cmd, MAX_PATH);
    SetEnvironmentVariableA("HB_DRIVER_GONE", "1");
    struct Case {
        const char* what;
        std::string arguments;
        std::string workingDir;
        std::vector<std::pair<std::string, std::string>> env;
        DWORD exitCode;
    };
    const Case cases[] = {
        {"arguments reach the program", "/c exit 3", "", {}, 3},
        {"an added variable is seen", "/c exit %HB_DRIVER_CODE%", "", {{"HB_DRIVER_CODE", "5"}}, 5},
        {"a removed variable is gone", "/c if defined HB_DRIVER_GONE (exit 1) else exit 6", "",
         {{"HB_DRIVER_GONE", ""}}, 6},
        {"the working directory is used", "/c if exist marker.txt (exit 9) else exit 1", dir, {}, 9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ui::StartOptions options;
        options.arguments = c.arguments;
        options.workingDir = c.workingDir;
        options.env = c.env;
        ui::StartOutcome started = ui::StartProgram(cmd, options);
        ASSERT_TRUE(started) << started.failure;
        ui::ExitOutcome ended = started.process.WaitForExit(WaitMs);
        ASSERT_TRUE(ended) << ended.failure;
        EXPECT_EQ(ended.exitCode, c.exitCode);
    }
    DeleteFileA(marker.c_str());
    RemoveDirectoryA(dir.c_str());

    ui::ExitOutcome ran = ui::RunToEnd("cmd.exe /c exit 4", WaitMs);
    ASSERT_TRUE(ran) << ran.failure;
    EXPECT_EQ(ran.exitCode, 4u);
}

TEST(DriverProcesses, BoundedWaitsFailWithWhatTheySaw) {
    ui::StartOutcome started = ui::StartProgram(TargetExe(), {});
    ASSERT_TRUE(started) << started.failure;
    ASSERT_TRUE(ui::WaitForWindow(started.process, {TargetClass, TargetTitle, true}, WaitMs));

    ui::FoundWindow missing = ui::WaitForWindow(started.process, {"NoSuchClass", "", true}, 300);
    EXPECT_FALSE(missing);
    EXPECT_NE(missing.failure.find("NoSuchClass"), std::string::npos) << missing.failure;
    EXPECT_NE(missing.failure.find(TargetTitle), std::string::npos)
        << "the failure lists the windows that were there: " << missing.failure;

    ui::ExitOutcome notEnded = started.process.WaitForExit(300);
    EXPECT_FALSE(notEnded);
    EXPECT_NE(notEnded.failure.find("still running"), std::string::npos) << notEnded.failure;

    // The handle dies with the Process object: the program must die with it.
    HANDLE watcher = OpenProcess(SYNCHRONIZE, FALSE, started.process.Id());
    ASSERT_TRUE(watcher);
    { ui::Process dropped = std::move(started.process); }
    EXPECT_EQ(WaitForSingleObject(watcher, 0), WAIT_OBJECT_0) << "a dropped Process kills its program";
    CloseHandle(watcher);
}

TEST(DriverScreenshot, WritesAPngOfTheScreen) {
    std::string png = TempPath("hb-driver-screen.png");
    std::string failure;
    ASSERT_TRUE(ui::SaveScreenshot(png, &failure)) << failure;
    FILE* f = fopen(png.c_str(), "rb");
    ASSERT_TRUE(f);
    unsigned char head[8] = {};
    size_t got = fread(head, 1, sizeof(head), f);
    fclose(f);
    DeleteFileA(png.c_str());
    const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    EXPECT_EQ(got, sizeof(head));
    EXPECT_EQ(memcmp(head, signature, sizeof(head)), 0) << "the file starts with the PNG signature";
}

TEST_F(DriverTargetWindow, WindowScreenshotIsCutToTheWindow) {
    std::string png = TempPath("hb-driver-window.png");
    std::string failure;
    ASSERT_TRUE(ui::SaveWindowScreenshot(window, png, &failure)) << failure;
    // The IHDR chunk follows the signature: length, "IHDR", then width and
    // height as big-endian 32-bit numbers.
    FILE* f = fopen(png.c_str(), "rb");
    ASSERT_TRUE(f);
    unsigned char head[24] = {};
    size_t got = fread(head, 1, sizeof(head), f);
    fclose(f);
    DeleteFileA(png.c_str());
    ASSERT_EQ(got, sizeof(head));
    auto number = [&](int at) {
        return static_cast<int>((head[at] << 24) | (head[at + 1] << 16) | (head[at + 2] << 8) | head[at + 3]);
    };
    RECT r = ui::WindowRect(window);
    EXPECT_EQ(number(16), ui::Width(r)) << "the picture is as wide as the window";
    EXPECT_EQ(number(20), ui::Height(r)) << "and as high";
}

}  // namespace

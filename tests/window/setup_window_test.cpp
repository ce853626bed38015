// The setup's start-up and main window, seen from outside: the real
// hollowbranch-setup.exe is started against the test server and driven
// through its windows.
#include "files/paths.h"
#include "setup_under_test.h"
#include "test_support.h"
#include "ui_driver.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>

namespace {

using hbsetup::SetupWindowName;

constexpr int StartMs = 20000;
constexpr int BoxMs = 15000;
constexpr int ExitMs = 15000;
constexpr int IdcLanguage = 30;

constexpr char GuardName[] = "LARKMOORE_HOLLOWBRANCH_SETUP_RUNTIME_MUTEX";
constexpr char SecondInstanceText[] =
    "There is already an instance of 'Hollowbranch - Setup' running on this computer. "
    "The program could not be started.";
constexpr char OldWindowsText[] = "Your Windows is too old to install Hollowbranch!";
constexpr char GuardErrorText[] = "It occurred an error while initializing the instance 'Hollowbranch - Setup'.";

std::string Hex(DWORD value) {
    char text[16];
    snprintf(text, sizeof(text), "0x%08lx", static_cast<unsigned long>(value));
    return text;
}

// Every test starts on a machine without the product, with the smallest
// server tree that keeps the setup on its first screen; the setups it starts
// are killed at the end if they are still running.
class SetupWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(hbtest::ResetMachine()) << "the product's trees could not be removed before the test";
        hbtest::ClearServer();
        hbsetup::ServeMinimalSetupTree();
    }

    void TearDown() override {
        if (HasFailure()) {
            const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
            std::string path = hbsetup::ScreenshotPath(std::string(test->test_suite_name()) + "." + test->name());
            std::string failure;
            if (ui::SaveScreenshot(path, &failure))
                printf("screen at the failure: %s\n", path.c_str());
            else
                printf("%s\n", failure.c_str());
        }
        setups_.clear();
    }

    // A started setup; the test fails at once when it cannot be started.
    ui::Process& StartSetup() {
        ui::StartOutcome started = hbsetup::StartSetup();
        EXPECT_TRUE(started) << started.failure;
        setups_.push_back(std::move(started.process));
        return setups_.back();
    }

    // No window of the setup's class, shown or hidden.
    static bool HasMainWindow(const ui::Process& setup) {
        return !ui::FindTopLevelWindows(setup.Id(), {SetupWindowName, "", false}).empty();
    }

    // The one start-up box of a refused start: its texts, its only button
    // and its icon; then answered, after which the process ends with 0.
    void ExpectRefusedWithBox(ui::Process& setup, const char* text, ui::BoxIcon icon, HWND owner) {
        ui::FoundWindow box = ui::WaitForMessageBox(setup, BoxMs);
        ASSERT_TRUE(box) << box.failure;
        ui::MessageBoxInfo info = ui::ReadMessageBox(box.hwnd);
        EXPECT_EQ(info.text, text);
        EXPECT_EQ(info.caption, SetupWindowName);
        EXPECT_EQ(info.ButtonIds(), std::vector<int>{IDOK}) << "MB_OK: an OK button only";
        ui::BoxIcon seen = ui::IdentifyIcon(box.hwnd);
        EXPECT_EQ(seen, icon);
        EXPECT_EQ(info.owner, owner) << "owner " << ui::Describe(info.owner) << ", expected " << ui::Describe(owner);
        EXPECT_FALSE(HasMainWindow(setup)) << "a refused start creates no main window";

        ASSERT_TRUE(ui::AnswerMessageBox(box.hwnd, IDOK));
        ui::ExitOutcome ended = setup.WaitForExit(ExitMs);
        ASSERT_TRUE(ended) << ended.failure;
        EXPECT_EQ(ended.exitCode, 0u) << "a refused start ends with exit code 0";
        EXPECT_FALSE(HasMainWindow(setup));
    }

    std::deque<ui::Process> setups_;
};

TEST_F(SetupWindowTest, MainWindowHasItsClassStyleSizeAndPlace) {
    ui::Process& setup = StartSetup();
    ui::FoundWindow main = hbsetup::WaitForSetupWindow(setup, StartMs);
    ASSERT_TRUE(main) << main.failure;
    HWND hwnd = main.hwnd;

    EXPECT_EQ(ui::ClassName(hwnd), SetupWindowName);
    EXPECT_EQ(ui::WindowText(hwnd), SetupWindowName);
    EXPECT_EQ(ui::Parent(hwnd), GetDesktopWindow()) << "a top-level window";
    EXPECT_EQ(ui::Owner(hwnd), nullptr);

    // WS_CAPTION alone was asked for: no system menu, no boxes, no sizing
    // border. Windows adds WS_CLIPSIBLINGS to every top-level window, and
    // WS_VISIBLE once it is shown.
    const DWORD expectedStyle = WS_CAPTION | WS_CLIPSIBLINGS | WS_VISIBLE;
    EXPECT_EQ(ui::Style(hwnd), expectedStyle)
        << "style " << Hex(ui::Style(hwnd)) << ", expected WS_CAPTION | WS_CLIPSIBLINGS (added by Windows) | "
        << "WS_VISIBLE = " << Hex(expectedStyle);
    // Extended style 0 was asked for; Windows adds WS_EX_WINDOWEDGE to a
    // window with a dialog frame, which WS_CAPTION includes.
    EXPECT_EQ(ui::ExStyle(hwnd), static_cast<DWORD>(WS_EX_WINDOWEDGE))
        << "extended style " << Hex(ui::ExStyle(hwnd)) << ", expected WS_EX_WINDOWEDGE (added by Windows)";
    EXPECT_EQ(ui::ClassStyle(hwnd), static_cast<DWORD>(CS_HREDRAW | CS_VREDRAW))
        << "class style " << Hex(ui::ClassStyle(hwnd));

    // Centred in the area a maximised window's client area would cover.
    RECT outer = ui::WindowRect(hwnd);
    EXPECT_EQ(ui::Width(outer), 450);
    EXPECT_EQ(ui::Height(outer), 290);
    EXPECT_EQ(outer.left, GetSystemMetrics(SM_CXFULLSCREEN) / 2 - 225)
        << "SM_CXFULLSCREEN " << GetSystemMetrics(SM_CXFULLSCREEN);
    EXPECT_EQ(outer.top, GetSystemMetrics(SM_CYFULLSCREEN) / 2 - 145)
        << "SM_CYFULLSCREEN " << GetSystemMetrics(SM_CYFULLSCREEN);

    // The class brush is RGB(240, 240, 240): look at a corner of the client
    // area that no control covers.
    POINT corner = {3, 3};
    ClientToScreen(hwnd, &corner);
    ui::WaitOutcome painted = ui::WaitUntil([&] { return ui::ScreenPixel(corner) == RGB(240, 240, 240); }, StartMs,
                                            "the client area painted in RGB(240, 240, 240)",
                                            [&] { return Hex(ui::ScreenPixel(corner)) + " (0x00bbggrr)"; });
    EXPECT_TRUE(painted) << painted.failure;
}

TEST_F(SetupWindowTest, SecondStartIsRefusedWhileOneRuns) {
    ui::Process& first = StartSetup();
    ui::FoundWindow main = hbsetup::WaitForSetupWindow(first, StartMs);
    ASSERT_TRUE(main) << main.failure;

    ui::Process& second = StartSetup();
    ExpectRefusedWithBox(second, SecondInstanceText, ui::BoxIcon::Warning, main.hwnd);

    // The running setup goes on as before.
    EXPECT_TRUE(first.IsRunning());
    EXPECT_TRUE(ui::WindowExists(main.hwnd) && ui::IsVisible(main.hwnd)) << ui::Describe(main.hwnd);
    EXPECT_TRUE(ui::SendMsg(main.hwnd, WM_NULL)) << "the running setup still answers messages";
    EXPECT_TRUE(ui::FindTopLevelWindows(first.Id(), {"#32770", "", true}).empty())
        << "the running setup shows no box: " << ui::DescribeWindowsOf(first.Id());

    // Once it has ended, the guard is free for the next start.
    ui::PostMsg(main.hwnd, WM_CLOSE);
    ui::ExitOutcome ended = first.WaitForExit(ExitMs);
    ASSERT_TRUE(ended) << ended.failure;
    ui::Process& third = StartSetup();
    ui::FoundWindow admitted = hbsetup::WaitForSetupWindow(third, StartMs);
    EXPECT_TRUE(admitted) << "a start after the first setup ended is admitted: " << admitted.failure;
    EXPECT_TRUE(ui::FindTopLevelWindows(third.Id(), {"#32770", "", true}).empty()) << ui::DescribeWindowsOf(third.Id());
}

TEST_F(SetupWindowTest, GuardNameHeldByAMutexGivesTheGuardErrorBox) {
    // Another program holds a mutex of the guard's name: the setup's own
    // mutex test passes, but its event cannot take the name.
    HANDLE foreignMutex = CreateMutexA(nullptr, FALSE, GuardName);
    ASSERT_TRUE(foreignMutex) << "GetLastError " << GetLastError();
    ui::Process& setup = StartSetup();
    ExpectRefusedWithBox(setup, GuardErrorText, ui::BoxIcon::Error, nullptr);
    CloseHandle(foreignMutex);
}

// The Windows version the prefix reports to programs started from now on;
// the value is removed again at the end of every test, failed or not.
class WindowsVersionTest : public SetupWindowTest {
protected:
    void TearDown() override {
        SetupWindowTest::TearDown();
        ui::RunToEnd("reg.exe delete HKCU\\Software\\Wine /v Version /f", ExitMs);
    }

    void SetReportedVersion(const std::string& version) {
        ui::ExitOutcome set = ui::RunToEnd("reg.exe add HKCU\\Software\\Wine /v Version /d " + version + " /f", ExitMs);
        ASSERT_TRUE(set) << set.failure;
        ASSERT_EQ(set.exitCode, 0u) << "reg add of Version " << version;
        char value[32] = "";
        DWORD size = sizeof(value);
        ASSERT_EQ(RegGetValueA(HKEY_CURRENT_USER, "Software\\Wine", "Version", RRF_RT_REG_SZ, nullptr, value, &size),
                  ERROR_SUCCESS);
        ASSERT_EQ(std::string(value), version);
    }
};

TEST_F(WindowsVersionTest, WindowsBefore51IsRefused) {
    SetReportedVersion("win2k");  // 5.0
    ui::Process& setup = StartSetup();
    ExpectRefusedWithBox(setup, OldWindowsText, ui::BoxIcon::Warning, nullptr);
}

TEST_F(WindowsVersionTest, Windows51AndLaterStart) {
    // winxp is 5.1 (5.2 for a 64-bit program) and win8 is 6.2. win10 is
    // "10.0", below "5.1" as text; a program whose manifest has no
    // compatibility section is told 6.2 instead, so it starts as well.
    for (const char* version : {"winxp", "win8", "win10"}) {
        SCOPED_TRACE(version);
        SetReportedVersion(version);
        ui::Process& setup = StartSetup();
        ui::FoundWindow main = hbsetup::WaitForSetupWindow(setup, StartMs);
        ASSERT_TRUE(main) << main.failure;
        ui::PostMsg(main.hwnd, WM_CLOSE);
        ui::ExitOutcome ended = setup.WaitForExit(ExitMs);
        ASSERT_TRUE(ended) << ended.failure;
        EXPECT_EQ(ended.exitCode, 0u);
    }
}

// How the main window is ended from outside, and what that leaves on disk.
TEST_F(SetupWindowTest, EndingTheWindowRemovesThePackageManifestAndExitsWithZero) {
    struct Case {
        const char* what;
        UINT message;
        int times;
        bool posted;
    };
    const Case cases[] = {
        {"WM_DESTROY sent", WM_DESTROY, 1, false},
        {"WM_CLOSE sent (the default handling destroys the window)", WM_CLOSE, 1, false},
        {"two WM_DESTROY posted in a row", WM_DESTROY, 2, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ui::Process& setup = StartSetup();
        ui::FoundWindow main = hbsetup::WaitForSetupWindow(setup, StartMs);
        ASSERT_TRUE(main) << main.failure;
        // The start-up work is over once the language box is usable; only
        // then is the manifest ours to replace.
        HWND languageBox = ui::ChildById(main.hwnd, IdcLanguage);
        ui::WaitOutcome ready = ui::WaitUntil([&] { return languageBox && ui::IsEnabled(languageBox); }, StartMs,
                                              "the language box to be enabled",
                                              [&] { return ui::DescribeTree(main.hwnd); });
        ASSERT_TRUE(ready) << ready.failure;
        ASSERT_TRUE(hbtest::WriteFileBytes(NewUpdatesIni, "[LIST]\r\n0=end\r\n"));
        ASSERT_TRUE(hbtest::PathPresent(GeneralFileInfoIni));

        for (int i = 0; i < c.times; ++i) {
            if (c.posted)
                ui::PostMsg(main.hwnd, c.message);
            else
                EXPECT_TRUE(ui::SendMsg(main.hwnd, c.message)) << "the window did not handle the message in time";
        }
        ui::ExitOutcome ended = setup.WaitForExit(ExitMs);
        ASSERT_TRUE(ended) << ended.failure;
        EXPECT_EQ(ended.exitCode, 0u);
        EXPECT_FALSE(hbtest::PathPresent(NewUpdatesIni)) << NewUpdatesIni << " is removed when the window ends";
        EXPECT_TRUE(hbtest::PathPresent(GeneralFileInfoIni)) << "only the package manifest is removed";
        EXPECT_TRUE(hbtest::PathPresent(OptionsDir));
    }
}

}  // namespace

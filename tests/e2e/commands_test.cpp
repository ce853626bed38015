// Messages that reach the setup's main window other than by a plain click:
// WM_CREATE during a run, WM_COMMAND values that are no command of the
// screen, and a double click on Install.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "e2e_setup.h"
#include "files/paths.h"
#include "install_checks.h"
#include "test_support.h"

namespace e2e {
namespace {

class SetupCommands : public SetupE2eTest {
protected:
    // The fresh screen with the languages offered and German chosen, so that
    // an Install taken by mistake would really run.
    HWND StartFreshScreenReadyToInstall() {
        HWND main = StartSetupWindow();
        if (!main) return nullptr;
        ui::WaitOutcome offered = WaitForLanguagesOffered(main);
        EXPECT_TRUE(offered) << offered.failure;
        ui::WaitOutcome chosen = SelectLanguage(main, GermanItem);
        EXPECT_TRUE(chosen) << chosen.failure;
        return offered && chosen ? main : nullptr;
    }
};

// Posted messages of a thread are handled in the order they were posted: a
// BM_SETSTATE posted after the message under test has taken effect only
// once that message has been handled. The button is released again after.
ui::WaitOutcome WaitUntilHandled(HWND button) {
    ui::PostMsg(button, BM_SETSTATE, TRUE);
    ui::WaitOutcome handled = ui::WaitUntil(
        [&] {
            LRESULT state = 0;
            return ui::SendMsg(button, BM_GETSTATE, 0, 0, 5000, &state) && (state & BST_PUSHED);
        },
        StepMs, "the messages posted before to be handled");
    ui::SendMsg(button, BM_SETSTATE, FALSE);
    return handled;
}

struct Command {
    std::string what;
    WPARAM wParam;
};

// wParam 12 to 20 are no identifier of the setup.
std::vector<Command> UnusedIdentifiers() {
    std::vector<Command> commands;
    for (int id = 12; id <= 20; ++id) commands.push_back({"identifier " + std::to_string(id), MAKEWPARAM(id, 0)});
    return commands;
}

std::vector<Command> WithCommands(std::vector<Command> commands, const std::vector<Command>& more) {
    commands.insert(commands.end(), more.begin(), more.end());
    return commands;
}

TEST_F(SetupCommands, WmCreateDuringTheRunChangesNothing) {
    HWND main = StartFreshScreenReadyToInstall();
    ASSERT_TRUE(main);
    ui::ClickButton(ReadScreen(main).install);
    ui::WaitOutcome running = ui::WaitUntil(
        [&] {
            Screen s = ReadScreen(main);
            std::vector<std::string> lines = s.progress ? ui::ListBoxItems(s.progress) : std::vector<std::string>{};
            return std::find(lines.begin(), lines.end(), "Installing...") != lines.end();
        },
        StepMs, "the run to reach the installer package", [&] { return ui::DescribeTree(main); });
    ASSERT_TRUE(running) << running.failure;
    const std::vector<HWND> children = ui::Children(main);

    // The handling reads neither parameter; a CREATESTRUCT is passed only
    // because the system copies it between processes.
    CREATESTRUCTW create = {};
    EXPECT_TRUE(ui::SendMsg(main, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create))) << "the window answers WM_CREATE";
    EXPECT_EQ(ui::Children(main), children) << "WM_CREATE after Install creates no control: " << ui::DescribeTree(main);

    HWND question = ExpectBox(SetupProcess(), {German.installSucceed, hbsetup::SetupWindowName, {IDYES, IDNO},
                                        ui::BoxIcon::None, main}, 30000);
    ASSERT_TRUE(question) << "the run goes on to its end";
    EXPECT_EQ(RequestsFor("general_fileinfo.ini"), 1) << "and no second fetch was started";
    EXPECT_EQ(ui::Children(main), children);
    EXPECT_EQ(ui::ListBoxItems(ReadScreen(main).progress), ProgressLines);
    Answer(question, IDNO);
    ui::ExitOutcome ended = SetupProcess().WaitForExit(ExitMs);
    ASSERT_TRUE(ended) << ended.failure;
    EXPECT_EQ(ended.exitCode, 0u);
}

TEST_F(SetupCommands, FreshScreenIgnoresWmCommandsThatAreNotItsCommands) {
    HWND main = StartFreshScreenReadyToInstall();
    ASSERT_TRUE(main);
    const Screen s = ReadScreen(main);
    const std::map<std::string, std::string> installed = TreeSnapshot(InstallRoot), data = TreeSnapshot(DataRoot);
    const std::vector<Command> commands = WithCommands(UnusedIdentifiers(), {
        {"Install with BN_DOUBLECLICKED", MAKEWPARAM(IdInstall, BN_DOUBLECLICKED)},
        {"Install with BN_SETFOCUS", MAKEWPARAM(IdInstall, BN_SETFOCUS)},
        {"Cancel with BN_DOUBLECLICKED", MAKEWPARAM(IdCancel, BN_DOUBLECLICKED)},
        {"Cancel with BN_KILLFOCUS", MAKEWPARAM(IdCancel, BN_KILLFOCUS)},
        {"Repair (21), a command of the maintenance screen", MAKEWPARAM(IdRepair, 0)},
        {"Uninstall (22), a command of the maintenance screen", MAKEWPARAM(IdUninstall, 0)},
    });
    for (const Command& command : commands) {
        SCOPED_TRACE(command.what);
        ui::PostMsg(main, WM_COMMAND, command.wParam, 0);
        ui::WaitOutcome handled = WaitUntilHandled(s.cancel);
        ASSERT_TRUE(handled) << handled.failure;
        ASSERT_TRUE(ui::FindTopLevelWindows(SetupProcess().Id(), {"#32770", "", true}).empty())
            << "no box is shown: " << ui::DescribeWindowsOf(SetupProcess().Id());
        EXPECT_EQ(ReadScreen(main).install, s.install) << "the fresh screen stays: " << ui::DescribeTree(main);
        EXPECT_TRUE(ui::IsEnabled(s.install) && ui::IsEnabled(s.cancel) && ui::IsEnabled(s.language))
            << ui::DescribeTree(main);
        EXPECT_FALSE(ui::IsVisible(s.progress)) << "no run has started";
        EXPECT_EQ(RequestsFor("lang/Deutsch.lng"), 0) << "no run has started";
        EXPECT_EQ(TreeSnapshot(InstallRoot), installed) << "nothing was removed or installed";
        EXPECT_EQ(TreeSnapshot(DataRoot), data);
    }
    EXPECT_TRUE(SetupProcess().IsRunning());
}

TEST_F(SetupCommands, MaintenanceScreenIgnoresWmCommandsThatAreNotItsCommands) {
    PlaceInstallation(GermanInstallation());
    HWND main = StartSetupWindow();
    ASSERT_TRUE(main);
    const Screen s = ReadScreen(main);
    ASSERT_TRUE(s.repair && s.uninstall) << ui::DescribeTree(main);
    const std::map<std::string, std::string> installed = TreeSnapshot(InstallRoot), data = TreeSnapshot(DataRoot);
    const std::vector<Command> commands = WithCommands(UnusedIdentifiers(), {
        {"Install (10), a command of the fresh screen", MAKEWPARAM(IdInstall, 0)},
        {"a language box notification", MAKEWPARAM(IdLanguage, CBN_SELCHANGE)},
        {"Repair with BN_DOUBLECLICKED", MAKEWPARAM(IdRepair, BN_DOUBLECLICKED)},
        {"Repair with BN_SETFOCUS", MAKEWPARAM(IdRepair, BN_SETFOCUS)},
        {"Uninstall with BN_DOUBLECLICKED", MAKEWPARAM(IdUninstall, BN_DOUBLECLICKED)},
        {"Cancel with BN_DOUBLECLICKED", MAKEWPARAM(IdCancel, BN_DOUBLECLICKED)},
    });
    for (const Command& command : commands) {
        SCOPED_TRACE(command.what);
        ui::PostMsg(main, WM_COMMAND, command.wParam, 0);
        ui::WaitOutcome handled = WaitUntilHandled(s.repair);
        ASSERT_TRUE(handled) << handled.failure;
        ASSERT_TRUE(ui::FindTopLevelWindows(SetupProcess().Id(), {"#32770", "", true}).empty())
            << "no box is shown: " << ui::DescribeWindowsOf(SetupProcess().Id());
        ASSERT_TRUE(SetupProcess().IsRunning()) << "the setup goes on";
        for (HWND control : {s.title, s.repair, s.uninstall, s.cancel})
            EXPECT_TRUE(ui::WindowExists(control) && ui::IsEnabled(control)) << ui::Describe(control);
        EXPECT_EQ(TreeSnapshot(InstallRoot), installed) << "nothing was removed";
        EXPECT_EQ(TreeSnapshot(DataRoot), data);
        EXPECT_EQ(hbtest::RequestLog(), std::vector<std::string>{}) << "no fresh screen was built";
    }
}

TEST_F(SetupCommands, DoubleClickOnInstallStartsOneRun) {
    struct Case {
        const char* what;
        void (*doubleClick)(HWND main, HWND install);
    };
    const Case cases[] = {
        {"two clicks posted to Install",
         [](HWND, HWND install) {
             ui::ClickButton(install);
             ui::ClickButton(install);
         }},
        {"two Install commands posted to the window",
         [](HWND main, HWND install) {
             ui::PostCommand(main, IdInstall, BN_CLICKED, install);
             ui::PostCommand(main, IdInstall, BN_CLICKED, install);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (&c != &cases[0]) StartClean();
        HWND main = StartFreshScreenReadyToInstall();
        ASSERT_TRUE(main);
        const Screen s = ReadScreen(main);
        c.doubleClick(main, s.install);

        // A second run would show its own lines, fetch its own language
        // file and packages, or fail with an error box on the way.
        HWND question = ExpectBox(SetupProcess(), {German.installSucceed, hbsetup::SetupWindowName, {IDYES, IDNO},
                                            ui::BoxIcon::None, main}, 30000);
        ASSERT_TRUE(question);
        EXPECT_EQ(ui::ListBoxItems(s.progress), ProgressLines) << "the lines of one run";
        EXPECT_EQ(RequestsFor("lang/Deutsch.lng"), 1);
        EXPECT_EQ(RequestsFor("files/Hollowbranch.exe"), 1);
        EXPECT_EQ(InstallerStarts().size(), 1u);
        Answer(question, IDNO);
        ui::ExitOutcome ended = SetupProcess().WaitForExit(ExitMs);
        ASSERT_TRUE(ended) << ended.failure << "; windows: " << ui::DescribeWindowsOf(SetupProcess().Id());
        EXPECT_EQ(ended.exitCode, 0u);
    }
}

}  // namespace
}  // namespace e2e

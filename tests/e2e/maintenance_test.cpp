// The maintenance screen of the real setup, started on a machine where an
// earlier run left the product: when it is shown, its language, and its
// three commands.
#include <gtest/gtest.h>

#include "e2e_setup.h"
#include "files/paths.h"
#include "install_checks.h"
#include "test_support.h"

namespace e2e {
namespace {

class MaintenanceScreen : public SetupE2eTest {
protected:
    // Ends the setup through the screen's Cancel, which asks nothing.
    void CancelAndExpectExit(HWND main) {
        ui::ClickButton(ReadScreen(main).cancel);
        ui::ExitOutcome ended = SetupProcess().WaitForExit(ExitMs);
        ASSERT_TRUE(ended) << ended.failure << "; windows: " << ui::DescribeWindowsOf(SetupProcess().Id());
        EXPECT_EQ(ended.exitCode, 0u);
    }
};

// The texts of a language file that gives no key a text: each slot shows
// its own key.
const LanguageTexts Keys = {"SP#quit",   "BT#cancel",          "SP#install_succeed",   "SP#repair",
                            "SP#uninstall", "SP#want_to_uninstall", "SP#uninstall_succeed", "SP#exist"};

TEST_F(MaintenanceScreen, ShownOnlyWhenUpdatesIniAndTheInstallRootExist) {
    struct Case {
        const char* what;
        bool installRoot;
        bool updatesIni;
        bool maintenance;
    };
    const Case cases[] = {
        {"neither", false, false, false},
        {"updates.ini without the install root", false, true, false},
        {"the install root without updates.ini", true, false, false},
        {"both", true, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (&c != &cases[0]) StartClean();
        if (c.installRoot || c.updatesIni) {
            PlacedInstallation installation;
            installation.installRoot = c.installRoot;
            installation.updatesIni = c.updatesIni;
            PlaceInstallation(installation);
        }
        HWND main = StartSetupWindow();
        ASSERT_TRUE(main);
        Screen s = ReadScreen(main);
        if (c.maintenance) {
            EXPECT_TRUE(s.title && s.repair && s.uninstall) << "the maintenance screen: " << ui::DescribeTree(main);
            EXPECT_FALSE(s.install || s.language || s.progress) << "and nothing of the fresh screen";
            CancelAndExpectExit(main);
        } else {
            EXPECT_TRUE(s.install && s.language && s.progress) << "the fresh-install screen: " << ui::DescribeTree(main);
            EXPECT_FALSE(s.title || s.repair || s.uninstall) << "and nothing of the maintenance screen";
            EXPECT_EQ(ui::WindowText(s.cancel), "Cancel");
            ui::WaitOutcome offered = WaitForLanguagesOffered(main);
            EXPECT_TRUE(offered) << offered.failure;
            ui::PostMsg(main, WM_CLOSE);
            ui::ExitOutcome ended = SetupProcess().WaitForExit(ExitMs);
            ASSERT_TRUE(ended) << ended.failure;
        }
    }
}

TEST_F(MaintenanceScreen, SpeaksTheRememberedLanguageOrShowsTheKeys) {
    LanguageTexts partial = Keys;
    partial.repair = "Neu installieren";
    const std::string partialFile = "SP#repair = \"Neu installieren\"\r\n";
    struct Case {
        const char* what;
        std::string settingsIni;  // empty: none
        const LanguageTexts& shown;
        const char* picture;
    };
    const Case cases[] = {
        {"settings.ini names Deutsch.lng", SettingsRemembering(LangFilePath("Deutsch.lng")), German,
         "maintenance-screen"},
        {"no settings.ini: the default English.lng", "", English, nullptr},
        {"settings.ini without \"sprache\": the default English.lng", "[SETTINGS]\r\nlanguage=German\r\n", English,
         nullptr},
        {"the remembered file gives only SP#repair", SettingsRemembering(LangFilePath("Partial.lng")), partial,
         "maintenance-screen-keys"},
        {"the remembered file is missing", SettingsRemembering(LangFilePath("Missing.lng")), Keys, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (&c != &cases[0]) StartClean();
        PlacedInstallation installation = GermanInstallation();
        installation.files["Lang\\Partial.lng"] = partialFile;
        installation.settingsIni = c.settingsIni;
        PlaceInstallation(installation);

        HWND main = StartSetupWindow();
        ASSERT_TRUE(main);
        Screen s = ReadScreen(main);
        ASSERT_TRUE(s.title && s.repair && s.uninstall && s.cancel) << ui::DescribeTree(main);
        EXPECT_EQ(ui::WindowText(s.title), c.shown.exist) << "title";
        EXPECT_EQ(ui::WindowText(s.repair), c.shown.repair) << "Repair";
        EXPECT_EQ(ui::WindowText(s.uninstall), c.shown.uninstall) << "Uninstall";
        EXPECT_EQ(ui::WindowText(s.cancel), c.shown.cancel) << "Cancel";
        EXPECT_EQ(ui::StatusBarText(s.statusBar), "") << "the status bar is empty";

        EXPECT_EQ(Placement(s.title), Placement(10, 10, 415, 50)) << "title";
        EXPECT_EQ(Placement(s.repair), Placement(10, 70, 425, 50)) << "Repair";
        EXPECT_EQ(Placement(s.uninstall), Placement(10, 130, 425, 50)) << "Uninstall";
        EXPECT_EQ(Placement(s.cancel), Placement(355, 205, 80, 22)) << "Cancel";
        EXPECT_EQ(ui::TabOrder(main), (std::vector<HWND>{s.cancel, s.repair, s.uninstall}))
            << "Tab order: Cancel, Repair, Uninstall";
        for (HWND button : {s.cancel, s.repair, s.uninstall}) EXPECT_TRUE(ui::IsEnabled(button)) << ui::Describe(button);
        if (c.picture) SaveScreenPicture(main, c.picture);

        EXPECT_EQ(hbtest::RequestLog(), std::vector<std::string>{}) << "the maintenance screen starts no worker";
        CancelAndExpectExit(main);
    }
}

TEST_F(MaintenanceScreen, UninstallNoKeepsEverythingYesClosesTheProductAndRemovesBothTrees) {
    PlaceInstallation(GermanInstallation());
    const std::map<std::string, std::string> installed = TreeSnapshot(InstallRoot), data = TreeSnapshot(DataRoot);
    ui::Process& product = StartProgram(hbtest::TestBinPath("fake-product.exe"), "lifetime=30000");
    ui::WaitOutcome ready = ui::WaitUntil(
        [] { return !hbtest::RecordsOfKind(hbtest::ReadLog(hbtest::TestbedPath("product.log")), "ready").empty(); },
        StartMs, "fake-product to open its windows");
    ASSERT_TRUE(ready) << ready.failure;

    HWND main = StartSetupWindow();
    ASSERT_TRUE(main);
    Screen s = ReadScreen(main);
    ui::ClickButton(s.uninstall);
    HWND question = ExpectBox(SetupProcess(), SetupQuestion(German.wantToUninstall, main));
    ASSERT_TRUE(question);
    Answer(question, IDNO);
    for (HWND button : {s.repair, s.uninstall, s.cancel})
        EXPECT_TRUE(ui::IsEnabled(button)) << "after No " << ui::Describe(button) << " stays enabled";
    EXPECT_EQ(TreeSnapshot(InstallRoot), installed) << "No removes nothing";
    EXPECT_EQ(TreeSnapshot(DataRoot), data);
    EXPECT_EQ(ProductWindowsDestroyed(), std::vector<std::string>{}) << "No leaves the product alone";

    ui::ClickButton(s.uninstall);
    question = ExpectBox(SetupProcess(), SetupQuestion(German.wantToUninstall, main));
    ASSERT_TRUE(question);
    Answer(question, IDYES);
    HWND done = ExpectBox(SetupProcess(), {German.uninstallSucceed, hbsetup::SetupWindowName, {IDOK}, ui::BoxIcon::None, main},
                          60000);
    ASSERT_TRUE(done) << "the success message in the remembered language";
    EXPECT_EQ(ProductWindowsDestroyed(), (std::vector<std::string>{"main", "messages"}))
        << "both windows of the product are told to close before the removal";
    for (const char* path : {InstallRoot, DataRoot, InstallRootTempName, DataRootTempName})
        EXPECT_FALSE(hbtest::PathPresent(path)) << path << " is gone by the time the message is shown";
    for (HWND button : {s.repair, s.uninstall, s.cancel})
        EXPECT_FALSE(ui::IsEnabled(button)) << "greyed during the removal: " << ui::Describe(button);
    Answer(done, IDOK);

    ui::ExitOutcome ended = SetupProcess().WaitForExit(ExitMs);
    ASSERT_TRUE(ended) << ended.failure;
    EXPECT_EQ(ended.exitCode, 0u);
    ui::ExitOutcome productEnded = product.WaitForExit(ExitMs);
    EXPECT_TRUE(productEnded) << "fake-product ends once both its windows were destroyed: " << productEnded.failure;
}

TEST_F(MaintenanceScreen, CancelEndsAtOnceTouchingOnlyThePackageManifest) {
    PlaceInstallation(GermanInstallation());
    ASSERT_TRUE(hbtest::WriteFileBytes(NewUpdatesIni, "[LIST]\r\n0=end\r\n"));
    const std::map<std::string, std::string> installed = TreeSnapshot(InstallRoot);
    std::map<std::string, std::string> data = TreeSnapshot(DataRoot);

    HWND main = StartSetupWindow();
    ASSERT_TRUE(main);
    CancelAndExpectExit(main);
    EXPECT_EQ(TreeSnapshot(InstallRoot), installed) << "Cancel removes nothing of the install tree";
    data.erase("Options\\new_updates.ini");
    EXPECT_EQ(TreeSnapshot(DataRoot), data) << "only new_updates.ini goes";
}

TEST_F(MaintenanceScreen, RemovalThatFailsShowsTheErrorBoxInsteadOfTheSuccessMessage) {
    PlaceInstallation(GermanInstallation());
    // A program holds a file of the install tree open without sharing: the
    // tree cannot go, and the removal gives up after its bound (60 s).
    const char* readyEvent = "hb-e2e-held-file";
    const std::string held = std::string(FilesDir) + "\\held.dat";
    StartProgram(hbtest::TestBinPath("hold-file.exe"), "\"" + held + "\" none 120000 " + readyEvent);
    ui::WaitOutcome holding = ui::WaitUntil(
        [&] {
            HANDLE event = OpenEventA(SYNCHRONIZE, FALSE, readyEvent);
            const bool set = event && WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
            if (event) CloseHandle(event);
            return set;
        },
        StartMs, "hold-file to hold " + held);
    ASSERT_TRUE(holding) << holding.failure;

    HWND main = StartSetupWindow();
    ASSERT_TRUE(main);
    ui::ClickButton(ReadScreen(main).uninstall);
    HWND question = ExpectBox(SetupProcess(), SetupQuestion(German.wantToUninstall, main));
    ASSERT_TRUE(question);
    Answer(question, IDYES);

    HWND box = ExpectBox(SetupProcess(), ErrorBox(main), 90000);
    ASSERT_TRUE(box) << "a removal that failed must not report success";
    // The root may have been moved to its temporary name before the
    // deletion met the held file.
    const std::string heldMoved = std::string(InstallRootTempName) + "\\Files\\held.dat";
    EXPECT_TRUE(hbtest::PathPresent(held) || hbtest::PathPresent(heldMoved)) << "the held file is still there";
    Answer(box, IDOK);
    ui::ExitOutcome ended = SetupProcess().WaitForExit(ExitMs);
    ASSERT_TRUE(ended) << ended.failure << "; windows: " << ui::DescribeWindowsOf(SetupProcess().Id());
    EXPECT_EQ(ended.exitCode, 0u);
}

TEST_F(MaintenanceScreen, RepairAsksNothingAndLeadsToAFreshInstallationInTheRememberedLanguage) {
    PlacedInstallation installation = GermanInstallation();
    installation.files["Files\\old-plugin.dll"] = "from the installation being repaired";
    PlaceInstallation(installation);

    HWND main = StartSetupWindow();
    ASSERT_TRUE(main);
    Screen maintenance = ReadScreen(main);
    ui::ClickButton(maintenance.repair);

    FetchSnapshot fetching = WaitForFetchSnapshot(SetupProcess(), main, StartMs);
    ASSERT_TRUE(fetching.seen) << "the rebuilt fresh screen reads \"Please wait ...\" while fetching; "
                               << ui::DescribeTree(main);
    EXPECT_FALSE(fetching.boxShown) << "Repair asks no question";
    EXPECT_EQ(fetching.cancelText, German.cancel) << "the Cancel button keeps the text of the maintenance screen";
    EXPECT_EQ(fetching.installText, "Install");
    EXPECT_FALSE(fetching.installEnabled);
    EXPECT_FALSE(fetching.languageEnabled);
    for (HWND gone : {maintenance.title, maintenance.repair, maintenance.uninstall})
        EXPECT_FALSE(ui::WindowExists(gone)) << "the maintenance screen's controls are destroyed";
    Screen fresh = ReadScreen(main);
    EXPECT_EQ(fresh.cancel, maintenance.cancel) << "Cancel and the status bar outlive the change of screen";
    EXPECT_EQ(fresh.statusBar, maintenance.statusBar);
    EXPECT_FALSE(hbtest::PathPresent(std::string(FilesDir) + "\\old-plugin.dll")) << "the old install tree is gone";
    EXPECT_FALSE(hbtest::PathPresent(SettingsIni)) << "and the old data tree";

    ui::WaitOutcome offered = WaitForLanguagesOffered(main);
    ASSERT_TRUE(offered) << offered.failure;
    SaveScreenPicture(main, "fresh-screen-after-repair");

    ui::ClickButton(fresh.cancel);
    HWND question = ExpectBox(SetupProcess(), SetupQuestion(German.quit, main));
    ASSERT_TRUE(question) << "the quit question in the language the maintenance screen loaded";
    Answer(question, IDNO);

    InstallThroughTheScreen(main, EnglishItem, English, IDNO);
    if (HasFatalFailure()) return;
    ExpectInstalledFiles("English.lng");
}

}  // namespace
}  // namespace e2e

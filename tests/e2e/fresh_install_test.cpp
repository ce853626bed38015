// The fresh-install screen of the real setup, worked through its windows:
// the whole road of an installation, a manifest that cannot be fetched, and
// Cancel.
#include <gtest/gtest.h>

#include "e2e_setup.h"
#include "files/paths.h"
#include "install_checks.h"
#include "test_support.h"

namespace e2e {
namespace {

class FreshInstall : public SetupE2eTest {};

// What the user sees before the catalogue has been read, and where the
// controls stand.
void ExpectScreenWhileFetching(const ui::Process& setup, HWND main) {
    FetchSnapshot fetching = WaitForFetchSnapshot(setup, main, StartMs);
    ASSERT_TRUE(fetching.seen) << "the status bar reads \"Please wait ...\" while the manifests are fetched; "
                               << ui::DescribeTree(main);
    EXPECT_TRUE(fetching.cancelEnabled) << "only Cancel works before the catalogue is read";
    EXPECT_FALSE(fetching.installEnabled) << "Install is greyed until a language is chosen";
    EXPECT_FALSE(fetching.languageEnabled) << "the language box is greyed until it is filled";
    EXPECT_EQ(fetching.languageItems, 0) << "the language box is empty until it is filled";
    EXPECT_EQ(fetching.installText, "Install");
    EXPECT_EQ(fetching.cancelText, "Cancel");
    EXPECT_FALSE(fetching.boxShown);

    Screen s = ReadScreen(main);
    EXPECT_EQ(Placement(s.cancel), Placement(355, 205, 80, 22)) << "Cancel";
    EXPECT_EQ(Placement(s.install), Placement(265, 205, 80, 22)) << "Install";
    // The 100 pixels asked for include the drop-down list; the closed box
    // is as high as its field.
    RECT box = ui::ChildRect(s.language);
    EXPECT_EQ(Placement(box.left, box.top, ui::Width(box), 0), Placement(122, 112, 200, 0)) << "language box";
    ASSERT_TRUE(s.progress) << ui::DescribeTree(main);
    EXPECT_FALSE(ui::IsVisible(s.progress)) << "the progress list waits hidden for the run";
    EXPECT_EQ(Placement(s.progress), Placement(10, 10, 425, 160)) << "progress list";
    RECT client = ui::ClientRect(main), bar = ui::ChildRect(s.statusBar);
    EXPECT_EQ(bar.bottom, client.bottom) << "the status bar lies along the bottom edge";
    EXPECT_EQ(ui::Width(bar), ui::Width(client)) << "across the whole width";
}

TEST_F(FreshInstall, WholeRoadFromTheFirstScreenToTheClosingQuestion) {
    struct Case {
        const char* what;
        int answer;
        bool pictures;
    };
    const Case cases[] = {
        {"closing question answered Yes: the product starts", IDYES, true},
        {"closing question answered No: nothing is started", IDNO, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (&c != &cases[0]) StartClean();
        HWND main = StartSetupWindow();
        ASSERT_TRUE(main);
        ExpectScreenWhileFetching(SetupProcess(), main);

        ui::WaitOutcome offered = WaitForLanguagesOffered(main);
        ASSERT_TRUE(offered) << offered.failure;
        Screen s = ReadScreen(main);
        EXPECT_EQ(ui::StatusBarText(s.statusBar), "") << "the status bar is empty again once the catalogue is read";
        EXPECT_FALSE(ui::IsEnabled(s.install)) << "the prompt is no language";
        EXPECT_EQ(ui::TabOrder(main), (std::vector<HWND>{s.cancel, s.language}))
            << "Tab visits Cancel and the language box; the greyed Install is passed over";

        if (c.pictures) {
            ui::ShowComboDropDown(s.language, true);
            ui::WaitOutcome open = ui::WaitUntil([&] { return ui::ComboDroppedDown(s.language); }, StepMs,
                                                 "the drop-down list to open");
            EXPECT_TRUE(open) << open.failure;
            SaveScreenPicture(main, "fresh-screen-language-list-open");
            ui::ShowComboDropDown(s.language, false);
            ui::WaitOutcome closed = ui::WaitUntil([&] { return !ui::ComboDroppedDown(s.language); }, StepMs,
                                                   "the drop-down list to close");
            EXPECT_TRUE(closed) << closed.failure;
        }

        // Install follows the selection: a language enables it, the prompt
        // greys it again.
        for (int item : {EnglishItem, 0, GermanItem}) {
            ui::WaitOutcome followed = SelectLanguage(main, item);
            EXPECT_TRUE(followed) << followed.failure;
        }
        EXPECT_EQ(ui::TabOrder(main), (std::vector<HWND>{s.cancel, s.install, s.language}))
            << "Tab order: Cancel, Install, the language box";
        if (c.pictures) SaveScreenPicture(main, "fresh-screen-language-chosen");

        InstallThroughTheScreen(main, GermanItem, German, c.answer, c.pictures ? "progress-screen" : "");
        if (HasFatalFailure()) return;
        ExpectInstalledFiles("Deutsch.lng");
    }
}

TEST_F(FreshInstall, FailedManifestDownloadShowsOneErrorBoxThenTheSetupEnds) {
    struct Case {
        const char* what;
        const char* failingPath;
        const char* rule;
        std::vector<std::string> requested;  // the failed one is the last
    };
    const Case cases[] = {
        {"general_fileinfo.ini answered 404", "/general_fileinfo.ini", "404", {"/general_fileinfo.ini"}},
        {"the language catalogue answered 500", "/autoupdate_languages.ini", "500",
         {"/general_fileinfo.ini", "/autoupdate_languages.ini"}},
        {"the package manifest cut short", "/new_updates.ini", "cut",
         {"/general_fileinfo.ini", "/autoupdate_languages.ini", "/new_updates.ini"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (&c != &cases[0]) StartClean();
        hbtest::SetServerRule(c.failingPath, c.rule);
        HWND main = StartSetupWindow();
        ASSERT_TRUE(main);

        HWND box = ExpectBox(SetupProcess(), ErrorBox(main));
        ASSERT_TRUE(box);
        EXPECT_EQ(hbtest::RequestLog(), c.requested) << "nothing is fetched after the failed download";
        Answer(box, IDOK);

        // The window closes and no second box holds the process up.
        ui::ExitOutcome ended = SetupProcess().WaitForExit(ExitMs);
        ASSERT_TRUE(ended) << ended.failure << "; windows: " << ui::DescribeWindowsOf(SetupProcess().Id());
        EXPECT_EQ(ended.exitCode, 0u);
        EXPECT_EQ(hbtest::RequestLog(), c.requested);
        EXPECT_FALSE(hbtest::PathPresent(UpdatesIni)) << "nothing was installed";
    }
}

TEST_F(FreshInstall, CancelAnsweredNoGoesOnAndYesRemovesBothTrees) {
    // Files of the product lying there before the setup started go with the
    // trees on Yes.
    PlacedInstallation leftovers;
    leftovers.updatesIni = false;
    leftovers.files = {{"Files\\left-over.dat", "from an earlier install"}};
    PlaceInstallation(leftovers);

    HWND main = StartSetupWindow();
    ASSERT_TRUE(main);
    Screen s = ReadScreen(main);
    ui::ClickButton(s.cancel);
    HWND question = ExpectBox(SetupProcess(), SetupQuestion(BuiltInQuitQuestion, main));
    ASSERT_TRUE(question) << "before any language is loaded the question is the built-in English one";
    Answer(question, IDNO);

    // No: the workers go on to fill the box, nothing is removed.
    ui::WaitOutcome offered = WaitForLanguagesOffered(main);
    EXPECT_TRUE(offered) << offered.failure;
    EXPECT_TRUE(SetupProcess().IsRunning());
    for (const char* path : {FilesDir, LangDir, IconsDir, OptionsDir, GeneralFileInfoIni, NewUpdatesIni})
        EXPECT_TRUE(hbtest::PathPresent(path)) << path << " stays after No";
    EXPECT_TRUE(hbtest::PathPresent(std::string(FilesDir) + "\\left-over.dat"));

    ui::ClickButton(s.cancel);
    question = ExpectBox(SetupProcess(), SetupQuestion(BuiltInQuitQuestion, main));
    ASSERT_TRUE(question);
    Answer(question, IDYES);
    ui::ExitOutcome ended = SetupProcess().WaitForExit(ExitMs);
    ASSERT_TRUE(ended) << ended.failure << "; windows: " << ui::DescribeWindowsOf(SetupProcess().Id());
    EXPECT_EQ(ended.exitCode, 0u);
    for (const char* path : {InstallRoot, DataRoot, InstallRootTempName, DataRootTempName})
        EXPECT_FALSE(hbtest::PathPresent(path)) << path << " is gone after Yes";
}

}  // namespace
}  // namespace e2e

#pragma once
// What the end-to-end tests share: a release served by the test server (two
// languages, three packages made of the fixture programs), an installation
// placed on disk as an earlier run would leave it, the setup's controls read
// from outside, and a fixture that starts the setup and cleans up after it.
#include <windows.h>

#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "setup_under_test.h"
#include "ui_driver.h"

namespace e2e {

inline constexpr int StartMs = 20000;
inline constexpr int StepMs = 15000;
inline constexpr int ExitMs = 15000;

inline constexpr int IdInstall = 10;
inline constexpr int IdCancel = 11;
inline constexpr int IdRepair = 21;
inline constexpr int IdUninstall = 22;
inline constexpr int IdLanguage = 30;

inline constexpr char LanguagePrompt[] = "Please select a language";
inline constexpr char PleaseWait[] = "Please wait ...";
inline constexpr char BuiltInQuitQuestion[] = "Do you really want to quit the setup of Hollowbranch?";
inline constexpr char ErrorText[] = "An error occurred.";
// MessageBox without a caption gets the system's default one.
inline constexpr char DefaultBoxCaption[] = "Error";

// ------------------------------------------------------------- languages

// The texts of one language file, by key.
struct LanguageTexts {
    const char* quit;
    const char* cancel;
    const char* installSucceed;
    const char* repair;
    const char* uninstall;
    const char* wantToUninstall;
    const char* uninstallSucceed;
    const char* exist;
};

extern const LanguageTexts English;
extern const LanguageTexts German;  // ANSI (code page 1252) umlauts included

// KEY = "text" lines with CR LF, the way the product's files are written.
std::string LanguageFileBytes(const LanguageTexts& texts);

// Item texts of the language box after the fill: the prompt, then the
// catalogue's languages in [LIST] order.
inline const std::vector<std::string> OfferedLanguages = {LanguagePrompt, "English", "Deutsch"};
inline constexpr int EnglishItem = 1;
inline constexpr int GermanItem = 2;
std::string LangFilePath(const char* fileName);  // in the install tree's Lang folder

// ------------------------------------------------------------ the release

// general_fileinfo.ini, the catalogue of English and Deutsch with their
// files, and a manifest of three packages: the product's program (a copy of
// fake-product.exe placed at ProductExe), an installer (fake-installer.exe)
// and a manual placed under Files.
void ServeRelease();

// What a whole run of that release leaves behind.
inline const std::vector<std::string> ProgressLines = {
    "Hollowbranch program", "Downloading...", "Succeed",
    "Hollowbranch runtime", "Downloading...", "Installing...", "Succeed",
    "Manual",               "Downloading...", "Succeed",
};
inline constexpr char ManualPath[] = "C:\\Programme\\Hollowbranch\\Files\\manual.txt";
std::string ManualBytes();
std::string ProductProgramBytes();  // fake-product.exe
// updates.ini as hbtest::DescribeIni shows it: the set's version and date,
// then the dates of the two file packages (an installer leaves none).
std::string ExpectedUpdatesIni();
std::string ExpectedSettingsIni(const char* languageFile);

// ------------------------------------------------------ a placed install

struct PlacedInstallation {
    bool installRoot = true;
    bool updatesIni = true;
    // Files to put into the install tree, relative to it, with their bytes.
    std::map<std::string, std::string> files;
    // The settings.ini content; empty: no settings.ini.
    std::string settingsIni;
};

// A settings.ini that remembers this language file.
std::string SettingsRemembering(const std::string& languageFile);
// The installation as an earlier run leaves it; with both flags set the
// setup shows its maintenance screen.
void PlaceInstallation(const PlacedInstallation& installation);
// The German installation the maintenance tests start from.
PlacedInstallation GermanInstallation();

// Every file and folder under root, relative path -> bytes ("<dir>" for a
// folder), to see that nothing changed.
std::map<std::string, std::string> TreeSnapshot(const std::string& root);

// ------------------------------------------------------------ the screens

// The setup's controls, found by identifier or class under the main window.
struct Screen {
    HWND main = nullptr;
    HWND statusBar = nullptr;
    HWND cancel = nullptr;
    HWND install = nullptr;
    HWND language = nullptr;
    HWND progress = nullptr;  // the first ListBox child
    HWND title = nullptr;     // the first Static child
    HWND repair = nullptr;
    HWND uninstall = nullptr;
};
Screen ReadScreen(HWND main);

// A control's rectangle in the main window's client area, as text for
// comparisons: "x,y wxh".
std::string Placement(HWND control);
std::string Placement(int x, int y, int width, int height);

// The state of the fresh-install screen while the manifests are fetched,
// read in an order that makes it consistent: the controls first, the status
// text last, so a status of "Please wait ..." means the fill had not begun.
// Waits for the fresh screen to be built first (after Repair, for one).
struct FetchSnapshot {
    bool seen = false;
    bool cancelEnabled = false;
    bool installEnabled = false;
    bool languageEnabled = false;
    int languageItems = -1;
    std::string installText;
    std::string cancelText;
    bool boxShown = false;  // a message box of the setup was up while waiting
};
FetchSnapshot WaitForFetchSnapshot(const ui::Process& setup, HWND main, int timeoutMs);

// Waits until the language box is enabled and offers OfferedLanguages.
ui::WaitOutcome WaitForLanguagesOffered(HWND main);
// Selects an item as the user would and waits until Install follows it.
ui::WaitOutcome SelectLanguage(HWND main, int item);

// ------------------------------------------------------------ message boxes

struct ExpectedBox {
    std::string text;
    std::string caption;
    std::vector<int> buttons;
    ui::BoxIcon icon;
    HWND owner;
};
inline ExpectedBox ErrorBox(HWND owner) {
    return {ErrorText, DefaultBoxCaption, {IDOK}, ui::BoxIcon::None, owner};
}
inline ExpectedBox SetupQuestion(const std::string& text, HWND owner) {
    return {text, hbsetup::SetupWindowName, {IDYES, IDNO}, ui::BoxIcon::Question, owner};
}

// Waits for the setup's next message box and checks it against expected;
// null (with the failure recorded) when none came.
HWND ExpectBox(const ui::Process& setup, const ExpectedBox& expected, int timeoutMs = StepMs);
// True when no message box of the process shows up within the time.
bool NoBoxWithin(const ui::Process& setup, int ms);
// Answers the box and waits until it has gone.
void Answer(HWND box, int buttonId);

// -------------------------------------------------------- fixture records

// "start" records of fake-product.exe and fake-installer.exe.
std::vector<std::string> ProductStarts();   // exe paths
std::vector<std::string> InstallerStarts();  // "args=<..> show=<n>"
// The WM_DESTROY records of fake-product, as "main" / "messages".
std::vector<std::string> ProductWindowsDestroyed();
int RequestsFor(const std::string& urlPath);

// Where the pictures of the screens go: build/<tree>/screenshots.
std::string ScreenshotDir();
// Saves the window's picture there; a failure to take it fails the test.
void SaveScreenPicture(HWND window, const std::string& name);

// ------------------------------------------------------------- the fixture

// A machine without the product, the release on the server, empty fixture
// records. Whatever the test started is ended in TearDown, and a failing
// test leaves a picture of the whole screen in the test bed's scratch folder.
class SetupE2eTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Resets machine, server and records; also for loops over cases.
    void StartClean();
    // Starts the setup and waits for its main window; fails the test when
    // either does not happen.
    HWND StartSetupWindow(const ui::StartOptions& options = {});
    ui::Process& SetupProcess() { return setups_.back(); }
    // The whole installation from a fresh screen with the languages offered:
    // choose item, Install, the progress screen, the closing question in
    // that language answered with answer. Returns with the setup ended.
    void InstallThroughTheScreen(HWND main, int item, const LanguageTexts& texts, int answer,
                                 const std::string& progressPicture = {});
    // What a whole run leaves on disk, for the language file chosen.
    void ExpectInstalledFiles(const char* languageFile);
    ui::Process& StartProgram(const std::string& exe, const std::string& arguments);
    void EndStartedPrograms();

    std::deque<ui::Process> setups_;
    std::deque<ui::Process> programs_;
};

}  // namespace e2e

#include "e2e_setup.h"

#include <algorithm>
#include <cstdlib>
#include <optional>

#include "files/paths.h"
#include "install_checks.h"
#include "test_support.h"

namespace e2e {

const LanguageTexts English = {
    "Do you really want to cancel the installation of Hollowbranch?",
    "Cancel",
    "Hollowbranch has been installed. Do you want to start it now?",
    "Repair",
    "Uninstall",
    "Do you really want to remove Hollowbranch from this computer?",
    "Hollowbranch has been removed from your computer.",
    "Hollowbranch is already installed on this computer. What do you want to do?",
};

// \xF6 is o-umlaut and \xFC u-umlaut in code page 1252; the literals are
// split so that no hex escape runs into the letter after it.
const LanguageTexts German = {
    "M\xF6" "chten Sie die Installation von Hollowbranch wirklich abbrechen?",
    "Abbrechen",
    "Hollowbranch wurde installiert. M\xF6" "chten Sie es jetzt starten?",
    "Reparieren",
    "Deinstallieren",
    "M\xF6" "chten Sie Hollowbranch wirklich von diesem Computer entfernen?",
    "Hollowbranch wurde von Ihrem Computer entfernt.",
    "Hollowbranch ist bereits auf diesem Computer installiert. Was m\xF6" "chten Sie tun?",
};

std::string LanguageFileBytes(const LanguageTexts& texts) {
    // "SP#uninstall" before "SP#uninstall_succeed": the first line that
    // contains a key is the one it is read from.
    const std::pair<const char*, const char*> lines[] = {
        {"SP#exist", texts.exist},
        {"SP#repair", texts.repair},
        {"SP#uninstall", texts.uninstall},
        {"SP#uninstall_succeed", texts.uninstallSucceed},
        {"SP#want_to_uninstall", texts.wantToUninstall},
        {"BT#cancel", texts.cancel},
        {"SP#install_succeed", texts.installSucceed},
        {"SP#quit", texts.quit},
    };
    std::string bytes;
    for (const auto& [key, text] : lines) bytes += std::string(key) + " = \"" + text + "\"\r\n";
    return bytes;
}

std::string LangFilePath(const char* fileName) { return std::string(LangDir) + "\\" + fileName; }

// ------------------------------------------------------------ the release

namespace {

std::string FixtureBytes(const char* exeName) {
    std::optional<std::string> bytes = hbtest::ReadFileBytes(hbtest::TestBinPath(exeName));
    if (!bytes || bytes->empty()) ADD_FAILURE() << exeName << " is missing beside the test";
    return bytes.value_or(std::string());
}

std::string Catalogue() {
    return "[LIST]\r\n0=ENGLISH\r\n1=GERMAN\r\n2=0\r\n"
           "[ENGLISH]\r\nlistname=English\r\nfilename=English.lng\r\nnetlink=" +
           hbtest::ServerUrl("lang/English.lng") +
           "\r\nshowname=English\r\n"
           "[GERMAN]\r\nlistname=Deutsch\r\nfilename=Deutsch.lng\r\nnetlink=" +
           hbtest::ServerUrl("lang/Deutsch.lng") + "\r\nshowname=German\r\n";
}

std::string Manifest() {
    return std::string("[PACKAGE]\r\nversion=2.5.1\r\ndate=2024-05-01\r\n"
                       "[LIST]\r\n0=PROGRAM\r\n1=RUNTIME\r\n2=MANUAL\r\n3=end\r\n"
                       "[PROGRAM]\r\nname=program\r\ninstall=") +
           ProductExe + "\r\nnetlink=" + hbtest::ServerUrl("files/Hollowbranch.exe") +
           "\r\nshowname=Hollowbranch program\r\ndate=2024-04-30\r\n"
           "[RUNTIME]\r\nname=runtime\r\ninstall=1\r\nnetlink=" +
           hbtest::ServerUrl("files/runtime-setup.exe") +
           "\r\nshowname=Hollowbranch runtime\r\ndate=2024-04-01\r\n"
           "[MANUAL]\r\nname=manual\r\ninstall=" +
           ManualPath + "\r\nnetlink=" + hbtest::ServerUrl("files/manual.txt") +
           "\r\nshowname=Manual\r\ndate=2024-03-15\r\n";
}

}  // namespace

std::string ManualBytes() { return "Hollowbranch manual\r\n\r\nChapter 1\r\n" + hbtest::BinaryPayload(3000, 7); }

std::string ProductProgramBytes() {
    static const std::string bytes = FixtureBytes("fake-product.exe");
    return bytes;
}

void ServeRelease() {
    static const std::string installer = FixtureBytes("fake-installer.exe");
    hbsetup::ServeSetupTree(Catalogue(), Manifest());
    hbtest::ServeFile("lang/English.lng", LanguageFileBytes(English));
    hbtest::ServeFile("lang/Deutsch.lng", LanguageFileBytes(German));
    hbtest::ServeFile("files/Hollowbranch.exe", ProductProgramBytes());
    hbtest::ServeFile("files/runtime-setup.exe", installer);
    hbtest::ServeFile("files/manual.txt", ManualBytes());
}

std::string ExpectedUpdatesIni() {
    return "[INFO]\nversion=2.5.1\n[DATE]\nversion=2024-05-01\nprogram=2024-04-30\nmanual=2024-03-15\n";
}

std::string ExpectedSettingsIni(const char* languageFile) {
    return "[SETTINGS]\nsprache=" + LangFilePath(languageFile) + "\n";
}

// ------------------------------------------------------ a placed install

std::string SettingsRemembering(const std::string& languageFile) {
    return "[SETTINGS]\r\nsprache=" + languageFile + "\r\n";
}

void PlaceInstallation(const PlacedInstallation& installation) {
    if (installation.installRoot) {
        for (const char* dir : {FilesDir, LangDir, IconsDir}) hbtest::MakeDirectories(dir);
        for (const auto& [relative, bytes] : installation.files) {
            const std::string path = std::string(InstallRoot) + "\\" + relative;
            hbtest::MakeDirectories(path.substr(0, path.find_last_of('\\')));
            EXPECT_TRUE(hbtest::WriteFileBytes(path, bytes)) << path;
        }
    }
    hbtest::MakeDirectories(OptionsDir);
    if (installation.updatesIni) {
        EXPECT_TRUE(hbtest::WriteFileBytes(UpdatesIni, "[INFO]\r\nversion=2.0\r\n[DATE]\r\nversion=2023-01-01\r\n"));
    }
    if (!installation.settingsIni.empty()) {
        EXPECT_TRUE(hbtest::WriteFileBytes(SettingsIni, installation.settingsIni));
    }
}

PlacedInstallation GermanInstallation() {
    PlacedInstallation installation;
    installation.files = {
        {"Hollowbranch.exe", "the installed program"},
        {"Lang\\English.lng", LanguageFileBytes(English)},
        {"Lang\\Deutsch.lng", LanguageFileBytes(German)},
        {"Files\\manual.txt", ManualBytes()},
    };
    installation.settingsIni = SettingsRemembering(LangFilePath("Deutsch.lng"));
    return installation;
}

namespace {

void Snapshot(const std::string& root, const std::string& relative, std::map<std::string, std::string>& into) {
    const std::string dir = relative.empty() ? root : root + "\\" + relative;
    for (const std::string& name : hbtest::DirectoryEntries(dir)) {
        const std::string path = relative.empty() ? name : relative + "\\" + name;
        const std::string full = root + "\\" + path;
        const DWORD attributes = GetFileAttributesA(full.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            into[path] = "<dir>";
            Snapshot(root, path, into);
        } else {
            into[path] = hbtest::BytesOf(full);
        }
    }
}

}  // namespace

std::map<std::string, std::string> TreeSnapshot(const std::string& root) {
    std::map<std::string, std::string> entries;
    if (hbtest::PathPresent(root)) entries[""] = "<dir>";
    Snapshot(root, "", entries);
    return entries;
}

// ------------------------------------------------------------ the screens

Screen ReadScreen(HWND main) {
    Screen s;
    s.main = main;
    for (HWND child : ui::Children(main)) {
        const std::string className = ui::ClassName(child);
        const int id = ui::ControlId(child);
        if (className == "msctls_statusbar32" && !s.statusBar) s.statusBar = child;
        if (className == "ListBox" && !s.progress) s.progress = child;
        if (className == "Static" && !s.title) s.title = child;
        if (className == "Button" && id == IdCancel) s.cancel = child;
        if (className == "Button" && id == IdInstall) s.install = child;
        if (className == "ComboBox" && id == IdLanguage) s.language = child;
        if (className == "Button" && id == IdRepair) s.repair = child;
        if (className == "Button" && id == IdUninstall) s.uninstall = child;
    }
    return s;
}

std::string Placement(int x, int y, int width, int height) {
    return std::to_string(x) + "," + std::to_string(y) + " " + std::to_string(width) + "x" + std::to_string(height);
}

std::string Placement(HWND control) {
    if (!ui::WindowExists(control)) return "(no control)";
    RECT r = ui::ChildRect(control);
    return Placement(r.left, r.top, ui::Width(r), ui::Height(r));
}

FetchSnapshot WaitForFetchSnapshot(const ui::Process& setup, HWND main, int timeoutMs) {
    FetchSnapshot snapshot;
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeoutMs);
    while (GetTickCount64() < deadline) {
        if (!setup.IsRunning()) break;
        if (!ui::FindTopLevelWindows(setup.Id(), {"#32770", "", true}).empty()) snapshot.boxShown = true;
        // Until the fresh screen has been built (after Repair, say) there is
        // nothing to read yet.
        Screen s = ReadScreen(main);
        if (!s.statusBar || !s.cancel || !s.install || !s.language) continue;
        snapshot.cancelEnabled = ui::IsEnabled(s.cancel);
        snapshot.cancelText = ui::WindowText(s.cancel);
        snapshot.installEnabled = ui::IsEnabled(s.install);
        snapshot.installText = ui::WindowText(s.install);
        snapshot.languageEnabled = ui::IsEnabled(s.language);
        snapshot.languageItems = ui::ComboCount(s.language);
        if (ui::StatusBarText(s.statusBar) == PleaseWait) {
            snapshot.seen = true;
            return snapshot;
        }
    }
    return snapshot;
}

namespace {

std::string Joined(const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& item : items) out += (out.empty() ? "'" : ", '") + item + "'";
    return "[" + out + "]";
}

}  // namespace

ui::WaitOutcome WaitForLanguagesOffered(HWND main) {
    return ui::WaitUntil(
        [&] {
            Screen s = ReadScreen(main);
            return s.language && ui::IsEnabled(s.language) && ui::ComboItems(s.language) == OfferedLanguages &&
                   ui::ComboSelection(s.language) == 0;
        },
        StartMs, "the language box enabled, offering " + Joined(OfferedLanguages) + " with the prompt selected",
        [&] {
            Screen s = ReadScreen(main);
            if (!s.language) return ui::DescribeTree(main);
            return ui::Describe(s.language) + " items " + Joined(ui::ComboItems(s.language)) + " selection " +
                   std::to_string(ui::ComboSelection(s.language)) + ", status '" + ui::StatusBarText(s.statusBar) +
                   "'";
        });
}

ui::WaitOutcome SelectLanguage(HWND main, int item) {
    Screen s = ReadScreen(main);
    if (!s.language || !s.install) return {false, "no language box or Install button: " + ui::DescribeTree(main)};
    ui::SelectComboItem(s.language, item);
    const bool installWanted = item > 0;
    return ui::WaitUntil(
        [&] { return ui::ComboSelection(s.language) == item && ui::IsEnabled(s.install) == installWanted; }, StepMs,
        "item " + std::to_string(item) + " selected and Install " + (installWanted ? "enabled" : "disabled"),
        [&] { return "selection " + std::to_string(ui::ComboSelection(s.language)) + ", " + ui::Describe(s.install); });
}

// ------------------------------------------------------------ message boxes

HWND ExpectBox(const ui::Process& setup, const ExpectedBox& expected, int timeoutMs) {
    ui::FoundWindow box = ui::WaitForMessageBox(setup, timeoutMs);
    if (!box) {
        ADD_FAILURE() << "expected the box '" << expected.text << "': " << box.failure;
        return nullptr;
    }
    // A thread that was busy for a while (a long removal) counts as hung
    // until its box's loop runs, and reads of the box fail meanwhile.
    ui::MessageBoxInfo info;
    ui::WaitUntil(
        [&] {
            info = ui::ReadMessageBox(box.hwnd);
            return !info.text.empty() && !info.caption.empty();
        },
        5000, "the box to answer");
    EXPECT_EQ(info.text, expected.text);
    EXPECT_EQ(info.caption, expected.caption) << "the caption of the box '" << info.text << "'";
    EXPECT_EQ(info.ButtonIds(), expected.buttons) << "the buttons of the box '" << info.text << "' (IDOK 1, IDYES 6, IDNO 7)";
    EXPECT_EQ(info.owner, expected.owner) << "the box '" << info.text << "' is owned by " << ui::Describe(info.owner)
                                          << ", expected " << ui::Describe(expected.owner);
    EXPECT_EQ(ui::IdentifyIcon(box.hwnd), expected.icon) << "the icon of the box '" << info.text << "'";
    return box.hwnd;
}

bool NoBoxWithin(const ui::Process& setup, int ms) {
    return !ui::WaitUntil([&] { return !ui::FindTopLevelWindows(setup.Id(), {"#32770", "", true}).empty(); }, ms,
                          "a message box");
}

void Answer(HWND box, int buttonId) {
    ASSERT_TRUE(ui::AnswerMessageBox(box, buttonId)) << "no button " << buttonId << " on " << ui::Describe(box);
    ui::WaitOutcome gone = ui::WaitForWindowGone(box, StepMs);
    ASSERT_TRUE(gone) << gone.failure;
}

// -------------------------------------------------------- fixture records

namespace {

std::vector<hbtest::LogRecord> Records(const char* log, const char* kind) {
    return hbtest::RecordsOfKind(hbtest::ReadLog(hbtest::TestbedPath(log)), kind);
}

}  // namespace

std::vector<std::string> ProductStarts() {
    std::vector<std::string> exes;
    for (const hbtest::LogRecord& record : Records("product.log", "start")) exes.push_back(record.Field("exe"));
    return exes;
}

std::vector<std::string> InstallerStarts() {
    std::vector<std::string> starts;
    for (const hbtest::LogRecord& record : Records("installer.log", "start"))
        starts.push_back("args=" + record.Field("args") + " show=" + record.Field("show"));
    return starts;
}

std::vector<std::string> ProductWindowsDestroyed() {
    std::vector<std::string> windows;
    for (const hbtest::LogRecord& record : Records("product.log", "WM_DESTROY")) windows.push_back(record.Field("window"));
    return windows;
}

int RequestsFor(const std::string& urlPath) {
    int count = 0;
    for (const std::string& path : hbtest::RequestLog())
        if (path == "/" + urlPath) ++count;
    return count;
}

std::string ScreenshotDir() {
    // HB_TEST_BIN is <build>/tests/bin.
    const std::string wanted = hbtest::TestBinDir() + "\\..\\..\\screenshots";
    char full[MAX_PATH] = "";
    GetFullPathNameA(wanted.c_str(), MAX_PATH, full, nullptr);
    CreateDirectoryA(full, nullptr);
    return full;
}

void SaveScreenPicture(HWND window, const std::string& name) {
    const std::string path = ScreenshotDir() + "\\" + name + ".png";
    std::string failure;
    EXPECT_TRUE(ui::SaveWindowScreenshot(window, path, &failure)) << failure;
}

// ------------------------------------------------------------- the fixture

void SetupE2eTest::SetUp() { StartClean(); }

void SetupE2eTest::StartClean() {
    setups_.clear();
    EndStartedPrograms();
    ASSERT_TRUE(hbtest::ResetMachine()) << "the product's trees could not be removed before the test";
    hbtest::ClearServer();
    ServeRelease();
    hbtest::ClearCaptures();
    hbtest::RemoveTree(hbtest::TestbedPath("product.log"));
    hbtest::RemoveTree(hbtest::TestbedPath("installer.log"));
}

void SetupE2eTest::TearDown() {
    if (HasFailure()) {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string path = hbsetup::ScreenshotPath(std::string("e2e.") + test->test_suite_name() + "." + test->name());
        std::string failure;
        if (ui::SaveScreenshot(path, &failure))
            printf("screen at the failure: %s\n", path.c_str());
        else
            printf("%s\n", failure.c_str());
    }
    setups_.clear();
    EndStartedPrograms();
}

HWND SetupE2eTest::StartSetupWindow(const ui::StartOptions& options) {
    ui::StartOptions withProduct = options;
    // A product started by the setup ends by itself soon after the test.
    withProduct.env.push_back({"HB_PRODUCT_OPTS", "lifetime=20000"});
    ui::StartOutcome started = hbsetup::StartSetup(withProduct);
    EXPECT_TRUE(started) << started.failure;
    if (!started) return nullptr;
    setups_.push_back(std::move(started.process));
    ui::FoundWindow main = hbsetup::WaitForSetupWindow(setups_.back(), StartMs);
    EXPECT_TRUE(main) << main.failure;
    return main.hwnd;
}

ui::Process& SetupE2eTest::StartProgram(const std::string& exe, const std::string& arguments) {
    ui::StartOptions options;
    options.arguments = arguments;
    ui::StartOutcome started = ui::StartProgram(exe, options);
    EXPECT_TRUE(started) << started.failure;
    programs_.push_back(std::move(started.process));
    return programs_.back();
}

void SetupE2eTest::EndStartedPrograms() {
    programs_.clear();
    // What the setup started: the product on Yes, an installer of a run
    // that was cut short. Their files must not stay held.
    for (const char* log : {"product.log", "installer.log"})
        for (const hbtest::LogRecord& record : Records(log, "start")) hbtest::EndProcessById(record.Number("pid"), 0);
}

void SetupE2eTest::InstallThroughTheScreen(HWND main, int item, const LanguageTexts& texts, int answer,
                                           const std::string& progressPicture) {
    ui::WaitOutcome chosen = SelectLanguage(main, item);
    ASSERT_TRUE(chosen) << chosen.failure;
    Screen fresh = ReadScreen(main);
    ui::ClickButton(fresh.install);

    // The run replaces the buttons and the box by the progress list; the
    // installer package (which stays about two seconds) keeps it on show.
    Screen progress;
    ui::WaitOutcome shown = ui::WaitUntil(
        [&] {
            progress = ReadScreen(main);
            if (!progress.progress || !ui::IsVisible(progress.progress)) return false;
            std::vector<std::string> lines = ui::ListBoxItems(progress.progress);
            return std::find(lines.begin(), lines.end(), "Installing...") != lines.end();
        },
        StepMs, "the progress list shown, with the installer's \"Installing...\" line",
        [&] { return ui::DescribeTree(main); });
    ASSERT_TRUE(shown) << shown.failure;
    EXPECT_FALSE(ui::WindowExists(fresh.install)) << "Install is destroyed: " << ui::Describe(fresh.install);
    EXPECT_FALSE(ui::WindowExists(fresh.cancel)) << "Cancel is destroyed: " << ui::Describe(fresh.cancel);
    EXPECT_FALSE(ui::WindowExists(fresh.language)) << "the language box is destroyed: " << ui::Describe(fresh.language);
    EXPECT_FALSE(ui::IsEnabled(progress.progress)) << "the progress list only displays";
    EXPECT_EQ(Placement(progress.progress), Placement(10, 10, 425, 160));
    EXPECT_EQ(ui::StatusBarText(progress.statusBar), "") << "the status bar stays empty during the package loop";
    if (!progressPicture.empty()) SaveScreenPicture(main, progressPicture);

    // The closing question, in the chosen language, over the whole list.
    HWND question = ExpectBox(SetupProcess(), {texts.installSucceed, hbsetup::SetupWindowName, {IDYES, IDNO},
                                        ui::BoxIcon::None, main}, 30000);
    ASSERT_TRUE(question);
    EXPECT_EQ(ui::ListBoxItems(progress.progress), ProgressLines);
    Answer(question, answer);

    ui::ExitOutcome ended = SetupProcess().WaitForExit(ExitMs);
    ASSERT_TRUE(ended) << ended.failure;
    EXPECT_EQ(ended.exitCode, 0u);
    if (answer == IDYES) {
        ui::WaitOutcome started = ui::WaitUntil([] { return !ProductStarts().empty(); }, StepMs, "fake-product to start");
        ASSERT_TRUE(started) << started.failure;
        EXPECT_EQ(ProductStarts(), std::vector<std::string>{ProductExe}) << "Yes starts the installed product once";
    } else {
        Sleep(1000);  // a start from ShellExecute would have shown by now
        EXPECT_EQ(ProductStarts(), std::vector<std::string>{}) << "No starts nothing";
    }
}

void SetupE2eTest::ExpectInstalledFiles(const char* languageFile) {
    const std::string program = hbtest::BytesOf(ProductExe);
    EXPECT_TRUE(program == ProductProgramBytes())
        << ProductExe << " holds " << program.size() << " bytes, the served program " << ProductProgramBytes().size();
    EXPECT_TRUE(hbtest::BytesOf(ManualPath) == ManualBytes()) << ManualPath << " is the served manual";
    EXPECT_EQ(InstallerStarts(), std::vector<std::string>{"args=INSTALL show=0"})
        << "the installer package runs once, hidden (SW_HIDE 0), with the argument INSTALL";
    EXPECT_FALSE(hbtest::PathPresent(TempInstallerExe)) << "the installer's copy is removed once it has ended";

    EXPECT_EQ(hbtest::DescribeIni(UpdatesIni), ExpectedUpdatesIni());
    EXPECT_EQ(hbtest::DescribeIni(SettingsIni), ExpectedSettingsIni(languageFile));
    const LanguageTexts& texts = std::string(languageFile) == "Deutsch.lng" ? German : English;
    EXPECT_TRUE(hbtest::BytesOf(LangFilePath(languageFile)) == LanguageFileBytes(texts))
        << LangFilePath(languageFile) << " is the served language file";

    const char* profile = std::getenv("USERPROFILE");
    ASSERT_TRUE(profile) << "USERPROFILE is not set for the test";
    const std::string desktop = std::string(profile) + "\\Desktop";
    ui::WaitOutcome captured =
        ui::WaitUntil([] { return !hbtest::Captures().empty(); }, StepMs, "vbs-capture to record the shortcut script");
    ASSERT_TRUE(captured) << captured.failure;
    std::vector<hbtest::CapturedScript> scripts = hbtest::Captures();
    ASSERT_EQ(scripts.size(), 1u) << "one shortcut script is handed to the script host";
    EXPECT_EQ(hbtest::CollapsedSeparators(scripts[0].sourcePath), desktop + "\\createshortcut_temp.vbs");
    EXPECT_EQ(scripts[0].bytes, hbtest::ExpectedShortcutScript(desktop + "\\Hollowbranch.lnk", ProductExe));
    EXPECT_FALSE(hbtest::PathPresent(desktop + "\\createshortcut_temp.vbs")) << "the script is removed afterwards";

    EXPECT_FALSE(hbtest::PathPresent(NewUpdatesIni)) << "the package manifest goes when the setup ends";
    EXPECT_FALSE(hbtest::PathPresent(LanguagesIni)) << "the catalogue goes once it has been read";
    EXPECT_TRUE(hbtest::PathPresent(GeneralFileInfoIni)) << "general_fileinfo.ini stays";
}

}  // namespace e2e

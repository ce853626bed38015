#include "setup_road.h"

#include <windows.h>

#include <cctype>
#include <cstdlib>
#include <optional>

#include "files/paths.h"
#include "lang/language_catalogue.h"
#include "lang/language_file.h"
#include "shell/shared_ui.h"
#include "test_support.h"
#include "ui_driver.h"

namespace road {
namespace {

// The sample product's main window, which the setup's removal also looks for.
constexpr char ProductWindowClass[] = "Hollowbranch";
constexpr char ProductWindowTitle[] = "My Hollowbranch";
constexpr char ProductMessagesWindow[] = "Hollowbranch - Messages";

constexpr int WindowShownMs = 30000;
constexpr int LanguageBoxFilledMs = 60000;
constexpr int InstallationRunMs = 120000;
constexpr int ShortWaitMs = 10000;
constexpr int RemovalMs = 60000;
constexpr int SetupEndsMs = 30000;

struct ServedLanguage {
    std::string listname;
    std::string filename;
};

struct ServedPackage {
    std::string name;
    std::string showname;
    std::string install;  // target path, or "1" for an installer
    std::string netlink;
    bool IsInstaller() const { return _stricmp(install.c_str(), "1") == 0; }
};

struct PublishedRelease {
    std::string baseUrl;  // the folder of the package manifest's address
    std::string version;
    std::vector<ServedLanguage> languages;
    std::vector<ServedPackage> packages;
};

std::string IniValue(const std::string& file, const char* section, const char* key, const char* fallback) {
    char value[1024] = "";
    GetPrivateProfileStringA(section, key, fallback, value, sizeof value, file.c_str());
    return value;
}

std::optional<PublishedRelease> ReadRelease(const std::string& tree, std::string* failure) {
    PublishedRelease release;
    const std::string general = tree + "\\general_fileinfo.ini";
    const std::string updates = IniValue(general, "LIST", "updates", "");
    const size_t folderEnd = updates.rfind('/');
    if (folderEnd == std::string::npos) {
        *failure = general + " names no package manifest address in [LIST] updates";
        return std::nullopt;
    }
    release.baseUrl = updates.substr(0, folderEnd + 1);

    const std::string catalogue = tree + "\\autoupdate_languages.ini";
    for (int row = 0; row < LanguageTableRows; ++row) {
        const std::string section = IniValue(catalogue, "LIST", std::to_string(row).c_str(), "0");
        if (section == "0") break;
        release.languages.push_back(
            {IniValue(catalogue, section.c_str(), "listname", ""), IniValue(catalogue, section.c_str(), "filename", "")});
    }

    const std::string manifest = tree + "\\new_updates.ini";
    release.version = IniValue(manifest, "PACKAGE", "version", "0");
    for (int row = 0;; ++row) {
        const std::string section = IniValue(manifest, "LIST", std::to_string(row).c_str(), "end");
        if (_stricmp(section.c_str(), "end") == 0) break;
        const char* s = section.c_str();
        release.packages.push_back({IniValue(manifest, s, "name", "0"), IniValue(manifest, s, "showname", "0"),
                                    IniValue(manifest, s, "install", "0"), IniValue(manifest, s, "netlink", "0")});
    }
    if (release.languages.empty() || release.packages.empty()) {
        *failure = tree + " offers no language or no package: publish a release into it first";
        return std::nullopt;
    }
    return release;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// The file of the tree that an address under the tree's base URL names.
std::string ServedPath(const std::string& tree, const std::string& baseUrl, const std::string& url) {
    if (url.compare(0, baseUrl.size(), baseUrl) != 0) return {};
    std::string path = tree + "\\";
    for (size_t i = baseUrl.size(); i < url.size(); ++i) {
        if (url[i] == '%' && i + 2 < url.size() && HexDigit(url[i + 1]) >= 0 && HexDigit(url[i + 2]) >= 0) {
            path += static_cast<char>(HexDigit(url[i + 1]) * 16 + HexDigit(url[i + 2]));
            i += 2;
        } else {
            path += url[i] == '/' ? '\\' : url[i];
        }
    }
    return path;
}

void CollectFiles(const std::string& folder, std::vector<InstalledFile>* files) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        const std::string path = folder + "\\" + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            CollectFiles(path, files);
        } else {
            files->push_back({path, (static_cast<unsigned long long>(found.nFileSizeHigh) << 32) | found.nFileSizeLow});
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

std::string Listed(const std::vector<std::string>& items) {
    std::string out = "[";
    for (size_t i = 0; i < items.size(); ++i) out += (i ? ", " : "") + Quoted(items[i]);
    return out + "]";
}

std::string DescribeButtons(const ui::MessageBoxInfo& box) {
    std::string out;
    for (int id : box.ButtonIds()) out += (out.empty() ? "" : ",") + std::to_string(id);
    return "{" + out + "}";
}

// "" when the box is the one expected, else what differs.
std::string CheckBox(const ui::MessageBoxInfo& box, const std::string& text, const std::vector<int>& buttons) {
    if (box.text != text) return "the box says " + Quoted(box.text) + ", expected " + Quoted(text);
    if (box.caption != SetupWindowName)
        return "the box is captioned " + Quoted(box.caption) + ", expected " + Quoted(SetupWindowName);
    if (box.ButtonIds() != buttons) return "the box has the buttons " + DescribeButtons(box) + " (IDOK 1, IDYES 6, IDNO 7)";
    return {};
}

class Road {
public:
    explicit Road(const RoadOptions& options) : options_(options) {}

    RoadResult Run() {
        using Body = std::string (Road::*)();
        const struct {
            const char* what;
            Body body;
        } steps[] = {
            {"reading the published release", &Road::ReadPublishedRelease},
            {"checking that the product is not installed", &Road::CheckNothingInstalled},
            {"starting the setup", &Road::StartFreshSetup},
            {"waiting for the language box to fill", &Road::WaitForLanguages},
            {"choosing a language", &Road::ChooseLanguage},
            {"pressing Install", &Road::PressInstall},
            {"waiting for the closing question", &Road::WaitForClosingQuestion},
            {"checking the installed files", &Road::CheckInstalledFiles},
            {"answering Yes: the product starts", &Road::StartProduct},
            {"closing the product", &Road::CloseProduct},
            {"looking for the desktop shortcut", &Road::LookForShortcut},
            {"starting the setup again", &Road::StartMaintenanceSetup},
            {"pressing Uninstall and answering Yes", &Road::PressUninstall},
            {"reading the removal's message", &Road::ReadRemovalMessage},
            {"checking that both trees are gone", &Road::CheckTreesGone},
        };
        for (const auto& step : steps) {
            Say(step.what);
            const std::string failure = (this->*step.body)();
            if (!failure.empty()) {
                result_.failure = std::string(step.what) + ": " + failure;
                Screenshot("failure");
                return result_;
            }
        }
        result_.ok = true;
        return result_;
    }

private:
    void Say(const std::string& text) {
        if (options_.say) options_.say(text);
    }

    std::string Screenshot(const std::string& name) {
        if (options_.screenshotDir.empty()) return {};
        const std::string path = options_.screenshotDir + "\\" + name + ".png";
        std::string why;
        if (!ui::SaveScreenshot(path, &why)) return why;
        result_.screenshots.push_back(path);
        Say("  picture: " + path);
        return {};
    }

    std::string Text(const char* key) {
        SetLanguageFile(expectedTexts_);
        return GetLanguageText(key);
    }

    std::string ReadPublishedRelease() {
        std::string failure;
        std::optional<PublishedRelease> release = ReadRelease(options_.publishedTree, &failure);
        if (!release) return failure;
        release_ = *release;
        for (const ServedLanguage& language : release_.languages) {
            if (language.listname == options_.languageListName) chosen_ = language;
        }
        if (chosen_.filename.empty()) return "the tree offers no language listed as " + Quoted(options_.languageListName);
        expectedTexts_ = options_.publishedTree + "\\lang\\" + chosen_.filename;
        if (!hbtest::PathPresent(expectedTexts_)) return expectedTexts_ + " is missing";
        return {};
    }

    std::string CheckNothingInstalled() {
        for (const char* root : {InstallRoot, DataRoot}) {
            if (hbtest::PathPresent(root))
                return std::string(root) + " exists: the road starts on a machine without the product";
        }
        return {};
    }

    std::string StartSetup() {
        ui::StartOutcome started = ui::StartProgram(options_.setupExe);
        if (!started) return started.failure;
        setup_ = std::move(started.process);
        ui::FoundWindow main = ui::WaitForWindow(setup_, {SetupWindowName, SetupWindowName, true}, WindowShownMs);
        if (!main) return main.failure;
        main_ = main.hwnd;
        return {};
    }

    std::string StartFreshSetup() { return StartSetup(); }

    std::string WaitForLanguages() {
        combo_ = ui::ChildById(main_, IDC_LANGUAGE);
        if (!combo_) return "the window has no language box (id 30): " + ui::DescribeTree(main_);
        std::vector<std::string> expected = {LanguagePrompt};
        for (const ServedLanguage& language : release_.languages) expected.push_back(language.listname);
        ui::WaitOutcome filled = ui::WaitUntil(
            [&] { return ui::IsEnabled(combo_) && ui::ComboCount(combo_) >= static_cast<int>(expected.size()); },
            LanguageBoxFilledMs, "the language box to be enabled with " + std::to_string(expected.size()) + " entries",
            [&] { return Listed(ui::ComboItems(combo_)) + (ui::IsEnabled(combo_) ? "" : ", disabled"); });
        if (!filled) return filled.failure;
        const std::vector<std::string> items = ui::ComboItems(combo_);
        if (items != expected) return "the language box offers " + Listed(items) + ", expected " + Listed(expected);
        if (ui::ComboSelection(combo_) != 0)
            return "entry " + std::to_string(ui::ComboSelection(combo_)) + " is selected, expected the prompt (0)";
        install_ = ui::ChildById(main_, IDC_INSTALL);
        if (!install_ || ui::IsEnabled(install_)) return "Install must be there and disabled before a choice";
        return PictureOfOpenLanguageBox();
    }

    // The fresh screen with its language box open, so the picture shows
    // what the catalogue offered.
    std::string PictureOfOpenLanguageBox() {
        ui::ShowComboDropDown(combo_, true);
        ui::WaitOutcome open =
            ui::WaitUntil([&] { return ui::ComboDroppedDown(combo_); }, ShortWaitMs, "the language box to open");
        if (!open) return open.failure;
        std::string failure = Screenshot("1-fresh-screen");
        ui::ShowComboDropDown(combo_, false);
        ui::WaitOutcome closed =
            ui::WaitUntil([&] { return !ui::ComboDroppedDown(combo_); }, ShortWaitMs, "the language box to close");
        if (failure.empty() && !closed) failure = closed.failure;
        return failure;
    }

    std::string ChooseLanguage() {
        const std::vector<std::string> items = ui::ComboItems(combo_);
        int index = 0;
        while (index < static_cast<int>(items.size()) && items[index] != options_.languageListName) ++index;
        Say("  choosing " + Quoted(options_.languageListName) + " (entry " + std::to_string(index) + ")");
        ui::SelectComboItem(combo_, index);
        ui::WaitOutcome enabled =
            ui::WaitUntil([&] { return ui::IsEnabled(install_); }, ShortWaitMs, "Install to be enabled");
        return enabled ? "" : enabled.failure;
    }

    std::string PressInstall() {
        ui::ClickButton(install_);
        HWND list = nullptr;
        ui::WaitOutcome shown = ui::WaitUntil(
            [&] {
                list = ui::FindChild(main_, "ListBox");
                return list && ui::IsVisible(list) && ui::ListBoxCount(list) > 0;
            },
            InstallationRunMs, "the progress list to show its first line", [&] { return ui::DescribeTree(main_); });
        if (!shown) return shown.failure;
        progressList_ = list;
        return Screenshot("2-progress-screen");
    }

    std::vector<std::string> ExpectedProgressLines() const {
        std::vector<std::string> lines;
        for (const ServedPackage& package : release_.packages) {
            lines.push_back(package.showname);
            lines.push_back("Downloading...");
            if (package.IsInstaller()) lines.push_back("Installing...");
            lines.push_back("Succeed");
        }
        return lines;
    }

    std::string WaitForClosingQuestion() {
        ui::FoundWindow box = ui::WaitForMessageBox(setup_, InstallationRunMs);
        if (!box) return box.failure;
        box_ = box.hwnd;
        result_.progressLines = ui::ListBoxItems(progressList_);
        std::string wrong = CheckBox(ui::ReadMessageBox(box_), Text("SP#install_succeed"), {IDYES, IDNO});
        if (!wrong.empty()) return wrong + "; progress list " + Listed(result_.progressLines);
        if (result_.progressLines != ExpectedProgressLines())
            return "the progress list shows " + Listed(result_.progressLines) + ", expected " +
                   Listed(ExpectedProgressLines());
        return Screenshot("3-closing-question");
    }

    // A file the setup put in place holds exactly the served bytes.
    std::string CheckSameBytes(const std::string& installed, const std::string& served) {
        std::optional<std::string> got = hbtest::ReadFileBytes(installed);
        std::optional<std::string> want = hbtest::ReadFileBytes(served);
        if (!want) return served + " cannot be read";
        if (!got) return installed + " is missing";
        if (*got != *want)
            return installed + " holds " + std::to_string(got->size()) + " bytes that differ from the " +
                   std::to_string(want->size()) + " served in " + served;
        return {};
    }

    std::string CheckInstalledFiles() {
        for (const char* root : {InstallRoot, DataRoot}) CollectFiles(root, &result_.installed);
        for (const InstalledFile& file : result_.installed)
            Say("  " + file.path + " (" + std::to_string(file.size) + " bytes)");

        const std::string languageFile = std::string(LangDir) + "\\" + chosen_.filename;
        std::string wrong = CheckSameBytes(languageFile, expectedTexts_);
        for (const ServedPackage& package : release_.packages) {
            if (!wrong.empty()) return wrong;
            if (package.IsInstaller()) continue;
            const std::string served = ServedPath(options_.publishedTree, release_.baseUrl, package.netlink);
            if (served.empty()) return package.netlink + " lies outside " + release_.baseUrl;
            wrong = CheckSameBytes(package.install, served);
        }
        if (!wrong.empty()) return wrong;

        const std::string remembered = IniValue(SettingsIni, "SETTINGS", "sprache", "");
        if (_stricmp(remembered.c_str(), languageFile.c_str()) != 0)
            return std::string(SettingsIni) + " remembers " + Quoted(remembered) + ", expected " + Quoted(languageFile);
        const std::string version = IniValue(UpdatesIni, "INFO", "version", "");
        if (version != release_.version)
            return std::string(UpdatesIni) + " records version " + Quoted(version) + ", expected " +
                   Quoted(release_.version);
        return {};
    }

    // The script host makes the shortcut on its own time, after the setup
    // has handed it the script; by now it has had seconds.
    std::string LookForShortcut() {
        const char* profile = std::getenv("USERPROFILE");
        if (!profile) return {};
        const std::string shortcut = std::string(profile) + "\\Desktop\\Hollowbranch.lnk";
        if (hbtest::PathPresent(shortcut)) {
            result_.desktopShortcut = shortcut;
            Say("  " + shortcut);
        } else {
            Say("  none (this machine's script host made no shortcut)");
        }
        return {};
    }

    std::string StartProduct() {
        if (!ui::AnswerMessageBox(box_, IDYES)) return "the closing question has no Yes button";
        ui::ExitOutcome ended = setup_.WaitForExit(SetupEndsMs);
        if (!ended) return "the setup did not end after Yes: " + ended.failure;
        ui::WaitOutcome shown = ui::WaitUntil(
            [&] {
                product_ = FindWindowA(ProductWindowClass, ProductWindowTitle);
                return product_ && ui::IsVisible(product_);
            },
            WindowShownMs, "the product's window " + Quoted(ProductWindowTitle));
        if (!shown) return shown.failure;
        return Screenshot("4-product");
    }

    std::string CloseProduct() {
        ui::PostMsg(product_, WM_CLOSE);
        ui::WaitOutcome gone = ui::WaitUntil(
            [&] { return !FindWindowA(ProductWindowClass, ProductWindowTitle) && !FindWindowA(ProductMessagesWindow, ProductMessagesWindow); },
            ShortWaitMs, "both windows of the product to close");
        return gone ? "" : gone.failure;
    }

    std::string StartMaintenanceSetup() {
        std::string failure = StartSetup();
        if (!failure.empty()) return failure;
        HWND repair = nullptr;
        HWND title = nullptr;
        ui::WaitOutcome shown = ui::WaitUntil(
            [&] {
                repair = ui::ChildById(main_, IDC_REPAIR);
                uninstall_ = ui::ChildById(main_, IDC_UNINSTALL);
                title = ui::FindChild(main_, "Static");
                return repair && uninstall_ && title;
            },
            WindowShownMs, "the maintenance screen (Repair, Uninstall, title)", [&] { return ui::DescribeTree(main_); });
        if (!shown) return shown.failure;
        const struct {
            const char* what;
            HWND hwnd;
            const char* key;
        } texts[] = {
            {"title", title, "SP#exist"},
            {"Repair", repair, "SP#repair"},
            {"Uninstall", uninstall_, "SP#uninstall"},
            {"Cancel", ui::ChildById(main_, IDC_CANCEL), "BT#cancel"},
        };
        for (const auto& text : texts) {
            const std::string seen = ui::WindowText(text.hwnd);
            if (seen != Text(text.key))
                return std::string("the ") + text.what + " reads " + Quoted(seen) + ", expected " + Quoted(Text(text.key));
        }
        return Screenshot("5-maintenance-screen");
    }

    std::string PressUninstall() {
        ui::ClickButton(uninstall_);
        ui::FoundWindow box = ui::WaitForMessageBox(setup_, ShortWaitMs);
        if (!box) return box.failure;
        std::string wrong = CheckBox(ui::ReadMessageBox(box.hwnd), Text("SP#want_to_uninstall"), {IDYES, IDNO});
        if (!wrong.empty()) return wrong;
        ui::AnswerMessageBox(box.hwnd, IDYES);
        ui::WaitOutcome gone = ui::WaitForWindowGone(box.hwnd, ShortWaitMs);
        return gone ? "" : gone.failure;
    }

    std::string ReadRemovalMessage() {
        ui::FoundWindow box = ui::WaitForMessageBox(setup_, RemovalMs);
        if (!box) return box.failure;
        const ui::MessageBoxInfo info = ui::ReadMessageBox(box.hwnd);
        Say("  the setup says: " + Quoted(info.text));
        std::string wrong = CheckBox(info, Text("SP#uninstall_succeed"), {IDOK});
        if (!wrong.empty()) return wrong;
        wrong = Screenshot("6-uninstall-message");
        if (!wrong.empty()) return wrong;
        ui::AnswerMessageBox(box.hwnd, IDOK);
        ui::ExitOutcome ended = setup_.WaitForExit(SetupEndsMs);
        return ended ? "" : "the setup did not end after the message: " + ended.failure;
    }

    std::string CheckTreesGone() {
        for (const char* path : {InstallRoot, DataRoot, InstallRootTempName, DataRootTempName}) {
            if (hbtest::PathPresent(path)) return std::string(path) + " is still there";
        }
        return {};
    }

    const RoadOptions& options_;
    RoadResult result_;
    PublishedRelease release_;
    ServedLanguage chosen_;
    std::string expectedTexts_;
    ui::Process setup_;
    HWND main_ = nullptr;
    HWND combo_ = nullptr;
    HWND install_ = nullptr;
    HWND progressList_ = nullptr;
    HWND box_ = nullptr;
    HWND product_ = nullptr;
    HWND uninstall_ = nullptr;
};

}  // namespace

RoadResult RunSetupRoad(const RoadOptions& options) { return Road(options).Run(); }

}  // namespace road

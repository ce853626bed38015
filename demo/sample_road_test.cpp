// The sample release, published into the test server's tree, installed and
// removed through the setup's own windows: the road a user takes, in each
// language the release offers. The road itself checks every screen, box and
// installed file against the published tree; these cases add what the
// server and the machine saw from outside.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "files/paths.h"
#include "setup_road.h"
#include "setup_under_test.h"
#include "test_support.h"
#include "ui_driver.h"

namespace {

std::string PublishProgram() {
    return hbtest::TestBinPath(HB_BUILD_ROOT_FROM_TEST_BIN "\\hollowbranch-publish.exe");
}

std::string SampleReleaseDir() { return hbtest::TestBinPath(HB_SAMPLE_RELEASE_FROM_TEST_BIN); }

// The server's document root without its trailing backslash.
std::string ServedTree() {
    std::string tree = hbtest::ServedFilePath("");
    while (!tree.empty() && tree.back() == '\\') tree.pop_back();
    return tree;
}

// Pictures of the road beside the test tree's other screenshots.
std::string ScreenshotDir(const std::string& language) {
    char shots[MAX_PATH] = "";
    GetFullPathNameA((hbtest::TestbedDir() + "\\..\\screenshots").c_str(), sizeof shots, shots, nullptr);
    CreateDirectoryA(shots, nullptr);
    const std::string dir = std::string(shots) + "\\sample-road-" + language;
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

void ClearRequestLog() { hbtest::WriteFileBytes(hbtest::TestbedDir() + "\\requests.log", ""); }

std::string Listed(const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& item : items) out += "\n  " + item;
    return out;
}

std::vector<std::string> SortedPaths(const std::vector<road::InstalledFile>& files) {
    std::vector<std::string> paths;
    for (const road::InstalledFile& file : files) paths.push_back(file.path);
    std::sort(paths.begin(), paths.end());
    return paths;
}

class SampleReleaseRoad : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(hbtest::ResetMachine()) << "the machine must start without the product";
        hbtest::ClearServer();
        const std::string command = "\"" + PublishProgram() + "\" publish \"" + SampleReleaseDir() + "\" \"" +
                                    ServedTree() + "\" " + hbtest::ServerUrl("");
        ui::ExitOutcome published = ui::RunToEnd(command, 60000);
        ASSERT_TRUE(published) << published.failure;
        ASSERT_EQ(0u, published.exitCode) << command << " found problems in the sample release";
        // Only the road's own requests are of interest.
        ClearRequestLog();
    }

    void TearDown() override {
        hbtest::ResetMachine();
        hbtest::ClearServer();
    }
};

TEST_F(SampleReleaseRoad, InstallsStartsAndUninstallsInEachLanguage) {
    const struct {
        const char* listname;
        const char* languageFile;
    } cases[] = {
        {"English", "English.lng"},
        {"Deutsch", "German.lng"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.listname);
        ASSERT_TRUE(hbtest::ResetMachine());
        ClearRequestLog();

        road::RoadOptions options;
        options.setupExe = hbsetup::SetupExePath();
        options.publishedTree = ServedTree();
        options.languageListName = c.listname;
        options.screenshotDir = ScreenshotDir(c.listname);
        options.say = [](const std::string& text) { std::printf("road: %s\n", text.c_str()); };
        const road::RoadResult result = road::RunSetupRoad(options);
        ASSERT_TRUE(result.ok) << result.failure;

        // The manifests first, then only the chosen language, then every
        // package in the manifest's order; the maintenance start and the
        // removal ask the server for nothing.
        const std::vector<std::string> expectedRequests = {
            "/general_fileinfo.ini", "/autoupdate_languages.ini", "/new_updates.ini",
            std::string("/lang/") + c.languageFile, "/packages/Hollowbranch.exe", "/packages/readme.txt",
            "/packages/hollowbranch-files-installer.exe"};
        EXPECT_EQ(expectedRequests, hbtest::RequestLog()) << "requests seen:" << Listed(hbtest::RequestLog());

        // At the closing question: the two file packages, what the installer
        // package wrote, the chosen language file and the records; neither
        // the catalogue nor the downloaded installer is left behind.
        const std::string options_dir = std::string(OptionsDir) + "\\";
        std::vector<std::string> expectedFiles = {
            std::string(FilesDir) + "\\sample-files.txt",
            std::string(ProductExe),
            std::string(LangDir) + "\\" + c.languageFile,
            std::string(InstallRoot) + "\\readme.txt",
            options_dir + "general_fileinfo.ini",
            options_dir + "new_updates.ini",
            options_dir + "settings.ini",
            options_dir + "updates.ini",
        };
        std::sort(expectedFiles.begin(), expectedFiles.end());
        EXPECT_EQ(expectedFiles, SortedPaths(result.installed)) << "installed:" << Listed(SortedPaths(result.installed));
    }
}

}  // namespace

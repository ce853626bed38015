#pragma once
// The whole road of the setup against a published release tree, worked
// through its windows the way a person would: choose a language, install,
// answer Yes to start the product, close it, start the setup again, and
// uninstall from the maintenance screen. Every step checks what the windows
// and the machine show against the tree the server serves, and the road
// stops at the first step that does not hold.
#include <functional>
#include <string>
#include <vector>

namespace road {

struct RoadOptions {
    std::string setupExe;       // Windows path of the setup to run
    std::string publishedTree;  // Windows path of the tree the update server serves
    std::string languageListName = "English";  // the language box entry to choose
    std::string screenshotDir;  // Windows path; empty: no pictures
    std::function<void(const std::string&)> say;  // told each step as it begins
};

struct InstalledFile {
    std::string path;
    unsigned long long size = 0;
};

struct RoadResult {
    bool ok = false;
    std::string failure;  // the step that failed and what it saw
    // Every file of both trees while the closing question was on show, when
    // the installation was complete and the setup still ran.
    std::vector<InstalledFile> installed;
    std::vector<std::string> progressLines;  // the progress list at that moment
    std::string desktopShortcut;             // empty when none was made
    std::vector<std::string> screenshots;    // in the order taken
};

RoadResult RunSetupRoad(const RoadOptions& options);

}  // namespace road

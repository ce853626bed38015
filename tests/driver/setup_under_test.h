#pragma once
// The real setup (tests/bin/hollowbranch-setup.exe) as the window and
// end-to-end tests start it, and the smallest server tree that keeps it up.
#include "ui_driver.h"

#include <string>

namespace hbsetup {

// Class name, title and message box caption of the setup.
inline constexpr char SetupWindowName[] = "Hollowbranch - Setup";

inline constexpr char GeneralFileInfoName[] = "general_fileinfo.ini";
inline constexpr char CatalogueName[] = "autoupdate_languages.ini";
inline constexpr char ManifestName[] = "new_updates.ini";

// A catalogue without languages and a manifest without packages.
inline constexpr char EmptyCatalogue[] = "[LIST]\r\n0=0\r\n";
inline constexpr char EmptyManifest[] =
    "[PACKAGE]\r\nversion=1.0\r\ndate=2024-01-01\r\n[LIST]\r\n0=end\r\n";

// Serves general_fileinfo.ini, whose [LIST] names the catalogue ("lang") and
// the manifest ("updates") on the test server, and those two files.
void ServeSetupTree(const std::string& catalogue, const std::string& manifest);
// The same with the empty catalogue and manifest: the setup fetches them and
// stays on its first screen.
void ServeMinimalSetupTree();

std::string SetupExePath();
ui::StartOutcome StartSetup(const ui::StartOptions& options = {});
ui::WindowQuery SetupWindowQuery();
// The main window of that setup process, once shown.
ui::FoundWindow WaitForSetupWindow(const ui::Process& setup, int timeoutMs);

// Where a failing test leaves its picture of the screen: the test bed's
// scratch folder, "<name>.png".
std::string ScreenshotPath(const std::string& name);

}  // namespace hbsetup

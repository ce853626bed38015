#include "setup_under_test.h"

#include "test_support.h"

namespace hbsetup {

void ServeSetupTree(const std::string& catalogue, const std::string& manifest) {
    hbtest::ServeFile(GeneralFileInfoName, "[LIST]\r\nlang=" + hbtest::ServerUrl(CatalogueName) +
                                               "\r\nupdates=" + hbtest::ServerUrl(ManifestName) + "\r\n");
    hbtest::ServeFile(CatalogueName, catalogue);
    hbtest::ServeFile(ManifestName, manifest);
}

void ServeMinimalSetupTree() { ServeSetupTree(EmptyCatalogue, EmptyManifest); }

std::string SetupExePath() { return hbtest::TestBinPath("hollowbranch-setup.exe"); }

ui::StartOutcome StartSetup(const ui::StartOptions& options) { return ui::StartProgram(SetupExePath(), options); }

ui::WindowQuery SetupWindowQuery() { return ui::WindowQuery{SetupWindowName, SetupWindowName, true}; }

ui::FoundWindow WaitForSetupWindow(const ui::Process& setup, int timeoutMs) {
    return ui::WaitForWindow(setup, SetupWindowQuery(), timeoutMs);
}

std::string ScreenshotPath(const std::string& name) { return hbtest::ScratchPath(name + ".png"); }

}  // namespace hbsetup

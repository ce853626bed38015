// Works the setup through its windows along the whole road, against the
// release tree that the local update server serves, and says each step.
//
//   hollowbranch-drive-setup SETUP_EXE PUBLISHED_TREE SCREENSHOT_DIR [LANGUAGE]
//
// Exit status: 0 when every step held, 1 when one did not, 2 bad arguments.
#include <windows.h>

#include <cstdio>
#include <string>

#include "setup_road.h"

namespace {

void Say(const std::string& text) {
    std::printf("[run] %s\n", text.c_str());
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4 && argc != 5) {
        std::fprintf(stderr, "usage: hollowbranch-drive-setup SETUP_EXE PUBLISHED_TREE SCREENSHOT_DIR [LANGUAGE]\n");
        return 2;
    }
    road::RoadOptions options;
    options.setupExe = argv[1];
    options.publishedTree = argv[2];
    options.screenshotDir = argv[3];
    if (argc == 5) options.languageListName = argv[4];
    options.say = Say;
    CreateDirectoryA(options.screenshotDir.c_str(), nullptr);

    const road::RoadResult result = road::RunSetupRoad(options);
    if (!result.ok) {
        Say("FAILED: " + result.failure);
        return 1;
    }
    Say("the road is complete: installed, started, closed and uninstalled");
    return 0;
}

// hollowbranch-publish: makes and checks the tree that the update server
// serves to the setup.
#include <cstdio>
#include <cstring>

#include "publish/publish_release.h"
#include "publish/tree_check.h"

namespace {

int Usage() {
  std::printf(
      "usage: hollowbranch-publish publish RELEASE_DIR OUT_DIR BASE_URL\n"
      "       hollowbranch-publish check OUT_DIR\n"
      "publish writes the server tree for the release described in RELEASE_DIR\\release.ini\n"
      "into the new or empty OUT_DIR, with every address under BASE_URL, then checks it.\n"
      "check prints one line per problem the setup would meet in the tree.\n"
      "Exit status: 0 clean, 1 problems found, 2 bad arguments or files.\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "publish") == 0) return PublishRelease(argv[2], argv[3], argv[4]);
  if (argc == 3 && std::strcmp(argv[1], "check") == 0) return ReportTreeCheck(argv[2]);
  return Usage();
}

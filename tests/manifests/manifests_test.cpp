// The manifest worker against the test bed's update server: what it requests
// and in which order, what it leaves in the options directory, and how a
// failed download ends the setup.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "files/file_primitives.h"
#include "files/paths.h"
#include "install/manifests.h"
#include "setup_window.h"
#include "test_support.h"

using namespace hbtest;
using hbinproc::SetupWindow;
using hbinproc::WorkerResult;

namespace {

using Paths = std::vector<std::string>;

const char kCataloguePath[] = "/manifests/autoupdate_languages.ini";
const char kUpdatesPath[] = "/manifests/new_updates.ini";
const std::string kCatalogue = "[LIST]\r\n0=english\r\n[english]\r\nlistname=English\r\n";
const std::string kUpdates = "[INFO]\r\nversion=2.4\r\n[PACKAGE]\r\n0=end\r\n";

std::string FileInfo(const std::string& lang, const std::string& updates) {
  return "[LIST]\r\nlang=" + lang + "\r\nupdates=" + updates + "\r\n";
}

// The three local files in download order, and what the server serves for each.
struct Manifest {
  const char* localPath;
  const char* urlPath;
};
const Manifest kManifests[] = {
    {GeneralFileInfoIni, "/general_fileinfo.ini"},
    {LanguagesIni, kCataloguePath},
    {NewUpdatesIni, kUpdatesPath},
};

class ManifestFetch : public ::testing::Test {
 protected:
  void SetUp() override { Prepare(); }
  void TearDown() override { ResetMachine(); }

  // A machine with the six directories, a server with all three manifests.
  void Prepare() {
    ASSERT_TRUE(ResetMachine());
    CreateProgramDirectories();
    ClearServer();
    fileInfo_ = FileInfo(ServerUrl(kCataloguePath), ServerUrl(kUpdatesPath));
    ServeFile("general_fileinfo.ini", fileInfo_);
    ServeFile(kCataloguePath, kCatalogue);
    ServeFile(kUpdatesPath, kUpdates);
    requestsAtStatus_.clear();
  }

  std::string Served(int manifest) const {
    return manifest == 0 ? fileInfo_ : manifest == 1 ? kCatalogue : kUpdates;
  }

  // Runs the worker as the fresh-install screen starts it, noting how many
  // requests the server had seen at each status text.
  WorkerResult Fetch(SetupWindow& window) {
    window.OnStatusText([this](const char*) { requestsAtStatus_.push_back(RequestLog().size()); });
    return window.RunWorker([] { FetchManifestsThread(nullptr); });
  }

  std::string fileInfo_;
  std::vector<size_t> requestsAtStatus_;
};

void ExpectOneErrorBoxThenClose(const SetupWindow& window, const WorkerResult& fetch) {
  ASSERT_TRUE(fetch.ended) << "FetchManifestsThread did not return";
  ASSERT_EQ(fetch.boxes.size(), 1u) << "exactly one error box";
  EXPECT_EQ(fetch.boxes[0].text, "An error occurred.");
  EXPECT_EQ(fetch.boxes[0].caption, "Error") << "the system's caption: the box is shown without one";
  EXPECT_EQ(fetch.boxes[0].buttons, std::vector<int>{IDOK}) << "OK only";
  EXPECT_TRUE(fetch.boxes[0].ownedByMain) << "owned by hwndMain";
  EXPECT_EQ(window.CloseRequests(), 1) << "WM_CLOSE to hwndMain after the box";
  EXPECT_EQ(window.Timeline(), (Paths{"status Please wait ...", "box An error occurred.", "WM_CLOSE"}));
}

TEST_F(ManifestFetch, BringsTheThreeManifestsInOrder) {
  struct Case {
    const char* what;
    std::string fileInfo;
  };
  const Case cases[] = {
      {"names as the server writes them", FileInfo(ServerUrl(kCataloguePath), ServerUrl(kUpdatesPath))},
      {"section and key names in other letter cases",
       "[list]\r\nLANG=" + ServerUrl(kCataloguePath) + "\r\nUpdates=" + ServerUrl(kUpdatesPath) + "\r\n"},
  };
  ASSERT_EQ(std::string(ManifestAddress), ServerUrl("general_fileinfo.ini")) << "the build's manifest address";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_NO_FATAL_FAILURE(Prepare());
    fileInfo_ = c.fileInfo;
    ServeFile("general_fileinfo.ini", fileInfo_);
    SetupWindow window;

    const WorkerResult fetch = Fetch(window);

    ASSERT_TRUE(fetch.ended) << "FetchManifestsThread did not return";
    EXPECT_EQ(RequestLog(), (Paths{"/general_fileinfo.ini", kCataloguePath, kUpdatesPath}));
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(ReadFileBytes(kManifests[i].localPath), Served(i)) << kManifests[i].localPath;
    }
    EXPECT_EQ(window.Timeline(), (Paths{"status Please wait ...", "status null"}));
    EXPECT_EQ(requestsAtStatus_, (std::vector<size_t>{0, 3}))
        << "\"Please wait ...\" before the first request, the empty status bar after the last";
    EXPECT_EQ(window.StatusText(), "");
    EXPECT_TRUE(fetch.boxes.empty());
    EXPECT_EQ(window.CloseRequests(), 0);
  }
}

TEST_F(ManifestFetch, AFailedDownloadEndsTheSetupAndStopsTheRun) {
  struct Case {
    const char* what;
    int failing;  // index into kManifests
    const char* rule;
  };
  const Case cases[] = {
      {"general_fileinfo.ini is missing", 0, "404"},
      {"the language catalogue is missing", 1, "404"},
      {"the package manifest is missing", 2, "404"},
      {"the language catalogue is cut short", 1, "cut"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_NO_FATAL_FAILURE(Prepare());
    SetServerRule(kManifests[c.failing].urlPath, c.rule);
    // Copies from an earlier run: the failed one must be gone, later ones untouched.
    for (const Manifest& manifest : kManifests) ASSERT_TRUE(WriteFileBytes(manifest.localPath, "stale"));
    SetupWindow window;

    const WorkerResult fetch = Fetch(window);

    ASSERT_NO_FATAL_FAILURE(ExpectOneErrorBoxThenClose(window, fetch));
    Paths requested;
    for (int i = 0; i <= c.failing; ++i) requested.push_back(kManifests[i].urlPath);
    EXPECT_EQ(RequestLog(), requested) << "nothing is requested after the failed download";
    for (int i = 0; i < 3; ++i) {
      const std::optional<std::string> expected =
          i < c.failing ? std::optional<std::string>(Served(i))
                        : i == c.failing ? std::nullopt : std::optional<std::string>("stale");
      EXPECT_EQ(ReadFileBytes(kManifests[i].localPath), expected) << kManifests[i].localPath;
    }
  }
}

TEST_F(ManifestFetch, ACatalogueAddressThatCannotBeFetchedEndsTheSetup) {
  struct Case {
    const char* what;
    std::string fileInfo;
    Paths requested;
  };
  const Case cases[] = {
      {"no \"lang\" key: the address \"0\" is no address", "[LIST]\r\nupdates=" + ServerUrl(kUpdatesPath) + "\r\n",
       {"/general_fileinfo.ini"}},
      {"no [LIST] section", "[OTHER]\r\nlang=" + ServerUrl(kCataloguePath) + "\r\n", {"/general_fileinfo.ini"}},
      {"an http:// address is refused without a request",
       FileInfo("http://localhost:" + std::to_string(TestPort()) + kCataloguePath, ServerUrl(kUpdatesPath)),
       {"/general_fileinfo.ini"}},
      {"an address the server does not know", FileInfo(ServerUrl("/manifests/gone.ini"), ServerUrl(kUpdatesPath)),
       {"/general_fileinfo.ini", "/manifests/gone.ini"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_NO_FATAL_FAILURE(Prepare());
    ServeFile("general_fileinfo.ini", c.fileInfo);
    ASSERT_TRUE(WriteFileBytes(NewUpdatesIni, "stale"));
    SetupWindow window;

    const WorkerResult fetch = Fetch(window);

    ASSERT_NO_FATAL_FAILURE(ExpectOneErrorBoxThenClose(window, fetch));
    EXPECT_EQ(RequestLog(), c.requested) << "the package manifest is never requested";
    EXPECT_EQ(ReadFileBytes(GeneralFileInfoIni), c.fileInfo);
    EXPECT_FALSE(PathPresent(LanguagesIni));
    EXPECT_EQ(ReadFileBytes(NewUpdatesIni), std::optional<std::string>("stale")) << "the package manifest is untouched";
  }
}

TEST_F(ManifestFetch, ALongCatalogueAddressIsRequestedAsItsFirst499Characters) {
  // The query does not change the served file, and the server logs it whole.
  std::string address = ServerUrl(kCataloguePath) + "?pad=";
  for (int digit = 0; address.size() < 600; ++digit) address += static_cast<char>('0' + digit % 10);
  ASSERT_EQ(address.size(), 600u);
  fileInfo_ = FileInfo(address, ServerUrl(kUpdatesPath));
  ServeFile("general_fileinfo.ini", fileInfo_);
  const std::string origin = ServerUrl("");  // "https://localhost:<port>/"
  SetupWindow window;

  const WorkerResult fetch = Fetch(window);

  ASSERT_TRUE(fetch.ended);
  EXPECT_TRUE(fetch.boxes.empty());
  EXPECT_EQ(RequestLog(), (Paths{"/general_fileinfo.ini", address.substr(origin.size() - 1, 499 - origin.size() + 1),
                                 kUpdatesPath}));
  EXPECT_EQ(ReadFileBytes(LanguagesIni), kCatalogue);
}

TEST_F(ManifestFetch, ALaterRunReplacesTheEarlierFiles) {
  {
    SetupWindow first;
    ASSERT_TRUE(Fetch(first).ended);
    ASSERT_EQ(ReadFileBytes(GeneralFileInfoIni), fileInfo_);
  }

  // The server has moved the catalogue, and the package manifest is new.
  ClearServer();
  fileInfo_ = FileInfo(ServerUrl("/v2/autoupdate_languages.ini"), ServerUrl(kUpdatesPath));
  const std::string catalogue2 = kCatalogue + "[LIST]\r\n; second edition\r\n";
  const std::string updates2 = "[INFO]\r\nversion=2.5\r\n[PACKAGE]\r\n0=end\r\n";
  ServeFile("general_fileinfo.ini", fileInfo_);
  ServeFile("/v2/autoupdate_languages.ini", catalogue2);
  ServeFile(kUpdatesPath, updates2);
  SetupWindow second;

  const WorkerResult fetch = Fetch(second);

  ASSERT_TRUE(fetch.ended);
  EXPECT_TRUE(fetch.boxes.empty());
  EXPECT_EQ(RequestLog(), (Paths{"/general_fileinfo.ini", "/v2/autoupdate_languages.ini", kUpdatesPath}));
  EXPECT_EQ(ReadFileBytes(GeneralFileInfoIni), fileInfo_) << "general_fileinfo.ini of the second run";
  EXPECT_EQ(ReadFileBytes(LanguagesIni), catalogue2);
  EXPECT_EQ(ReadFileBytes(NewUpdatesIni), updates2);
}

}  // namespace

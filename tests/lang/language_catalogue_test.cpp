// Filling the language box from the language catalogue: which languages are
// offered and in which order, what the table rows hold, the selected item,
// and the wait for the manifest worker.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "catalogue_text.h"
#include "files/file_primitives.h"
#include "files/paths.h"
#include "lang/language_catalogue.h"
#include "setup_window.h"
#include "shell/shared_ui.h"
#include "test_support.h"

using namespace hbtest;
using hbinproc::SetupWindow;
using hbinproc::WorkerResult;

namespace {

const CatalogueLanguage kEnglish{"english", "English", "English.lng", "https://localhost/lang/English.lng",
                                 "English (UK)"};
const CatalogueLanguage kGerman{"german", "Deutsch", "Deutsch.lng", "https://localhost/lang/Deutsch.lng", "German"};
const CatalogueLanguage kFrench{"french", "Francais", "Francais.lng", "https://localhost/lang/Francais.lng",
                                "French"};

std::vector<std::string> WithPrompt(std::vector<std::string> names) {
  names.insert(names.begin(), LanguagePrompt);
  return names;
}

WorkerResult RunFill(SetupWindow& window) {
  return window.RunWorker([] { FillLanguageListThread(nullptr); });
}

class LanguageFill : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ResetMachine());
    CreateProgramDirectories();
    hFetchThread = nullptr;
  }
  void TearDown() override { ResetMachine(); }
};

TEST_F(LanguageFill, OffersTheListedLanguagesInKeyOrder) {
  struct Case {
    const char* what;
    std::optional<std::string> catalogue;  // nullopt: no catalogue file
    std::vector<std::string> offered;      // list names after the prompt
    int selected;
  };
  const std::string sections = CatalogueSection(kEnglish) + CatalogueSection(kGerman) + CatalogueSection(kFrench);
  std::string twenty = "[LIST]\r\n";
  std::vector<std::string> firstFourteen;
  for (int i = 0; i < 20; ++i) twenty += std::to_string(i) + "=lang" + std::to_string(i) + "\r\n";
  for (int i = 0; i < 20; ++i) {
    const std::string name = "Language " + std::to_string(i);
    twenty += CatalogueSection({"lang" + std::to_string(i), name, "l.lng", "https://localhost/l.lng", name});
    if (i < 14) firstFourteen.push_back(name);
  }

  const Case cases[] = {
      {"three languages, keys written out of order", "[LIST]\r\n2=french\r\n0=english\r\n1=german\r\n" + sections,
       {"English", "Deutsch", "Francais"}, 0},
      {"a value \"0\" ends the list", "[LIST]\r\n0=english\r\n1=0\r\n2=german\r\n" + sections, {"English"}, 0},
      {"a missing key ends the list", "[LIST]\r\n0=english\r\n2=german\r\n" + sections, {"English"}, 0},
      {"section and key names in other letter cases",
       "[list]\r\n0=English\r\n1=GERMAN\r\n[ENGLISH]\r\nLISTNAME=English\r\n[German]\r\nListName=Deutsch\r\n",
       {"English", "Deutsch"}, 0},
      {"a language section without listname shows \"0\"",
       "[LIST]\r\n0=english\r\n1=german\r\n[english]\r\nfilename=English.lng\r\n" + CatalogueSection(kGerman),
       {"0", "Deutsch"}, 0},
      {"a [LIST] value naming no section offers \"0\"", "[LIST]\r\n0=nowhere\r\n", {"0"}, 0},
      {"twenty languages: the table takes the first fourteen", twenty, firstFourteen, 0},
      {"an empty catalogue offers only the prompt", "", {}, 0},
      {"no catalogue file offers only the prompt", std::nullopt, {}, 0},
      {"a list name that begins with the prompt text (any case) is selected",
       Catalogue({kEnglish, {"other", "please select a LANGUAGE first", "o.lng", "https://localhost/o.lng", "o"}}),
       {"English", "please select a LANGUAGE first"}, 2},
  };

  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.catalogue) {
      ASSERT_TRUE(WriteFileBytes(LanguagesIni, *c.catalogue));
    }
    SetupWindow window;
    SetStatusText("Please wait ...");  // as the manifest worker may leave it

    const WorkerResult fill = RunFill(window);

    ASSERT_TRUE(fill.ended) << "FillLanguageListThread did not return";
    EXPECT_EQ(window.LanguageItems(), WithPrompt(c.offered));
    EXPECT_EQ(languageCount, static_cast<int>(c.offered.size()) + 1) << "languages offered + the terminating row";
    EXPECT_EQ(window.LanguageSelection(), c.selected) << "CB_GETCURSEL after the fill";
    EXPECT_TRUE(SetupWindow::Enabled(hwndLanguageCombo)) << "the language box is enabled at the end of the fill";
    EXPECT_EQ(window.StatusText(), "") << "the fill empties the status bar";
    EXPECT_FALSE(PathPresent(LanguagesIni)) << "the catalogue is deleted once read";
    EXPECT_TRUE(fill.boxes.empty()) << "the fill shows no message box";
  }
}

TEST_F(LanguageFill, RowsHoldTheSectionValuesCutToTheirFields) {
  // Values one longer than the field would hold, and a [LIST] value longer
  // than the section field: the section used is the cut name.
  const std::string longSection = std::string(99, 's') + std::string(21, 'x');
  const std::string longListname = std::string(49, 'L') + "-tail";
  const std::string longFilename = std::string(29, 'f') + ".lng";
  const std::string longNetlink = "https://localhost/" + std::string(981, 'n') + "-tail";
  const std::string longShowname = std::string(49, 'S') + "-tail";
  ASSERT_EQ(longNetlink.size(), 1004u);
  ASSERT_TRUE(WriteFileBytes(LanguagesIni, "[LIST]\r\n0=english\r\n1=" + longSection + "\r\n" +
                                               CatalogueSection(kEnglish) +
                                               CatalogueSection({longSection.substr(0, 99), longListname,
                                                                 longFilename, longNetlink, longShowname})));
  SetupWindow window;

  ASSERT_TRUE(RunFill(window).ended);

  ASSERT_EQ(languageCount, 3);
  struct Row {
    std::string section, listname, showname, netlink, filename, localPath;
  };
  const Row expected[] = {
      {"english", "English", "English (UK)", "https://localhost/lang/English.lng", "English.lng",
       "C:\\Programme\\Hollowbranch\\Lang\\English.lng"},
      {longSection.substr(0, 99), longListname.substr(0, 49), longShowname.substr(0, 49), longNetlink.substr(0, 999),
       longFilename.substr(0, 29), "C:\\Programme\\Hollowbranch\\Lang\\" + longFilename.substr(0, 29)},
      {"0", "0", "0", "0", "0", "C:\\Programme\\Hollowbranch\\Lang\\0"},
  };
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE("row " + std::to_string(i));
    const LanguageEntry& row = languageTable[i];
    EXPECT_EQ(row.section, expected[i].section);
    EXPECT_EQ(row.listname, expected[i].listname);
    EXPECT_EQ(row.showname, expected[i].showname);
    EXPECT_EQ(row.netlink, expected[i].netlink);
    EXPECT_EQ(row.filename, expected[i].filename);
    EXPECT_EQ(row.localPath, expected[i].localPath);
  }
  EXPECT_EQ(window.LanguageItems(), WithPrompt({"English", longListname.substr(0, 49)}));
}

DWORD WINAPI FetchStandIn(LPVOID) {
  // The manifest worker brings the catalogue just before it ends.
  Sleep(800);
  WriteFileBytes(LanguagesIni, Catalogue({kEnglish, kGerman}));
  return 0;
}

TEST_F(LanguageFill, WaitsForTheManifestWorkerBeforeReadingTheCatalogue) {
  hFetchThread = CreateThread(nullptr, 0, FetchStandIn, nullptr, 0, nullptr);
  ASSERT_NE(hFetchThread, nullptr);
  HANDLE fetchWatch = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), hFetchThread, GetCurrentProcess(), &fetchWatch, SYNCHRONIZE,
                              FALSE, 0));
  SetupWindow window;

  window.StartWorker([] { FillLanguageListThread(nullptr); });
  Sleep(300);
  EXPECT_TRUE(window.LanguageItems().empty()) << "the box is filled before the manifest worker has ended";
  EXPECT_FALSE(SetupWindow::Enabled(hwndLanguageCombo)) << "the box is enabled before the manifest worker ended";
  const WorkerResult fill = window.FinishWorker();

  ASSERT_TRUE(fill.ended);
  EXPECT_EQ(WaitForSingleObject(fetchWatch, 0), WAIT_OBJECT_0) << "the fill returned before the manifest worker";
  EXPECT_EQ(hFetchThread, nullptr) << "the fill forgets the manifest worker's handle";
  EXPECT_EQ(window.LanguageItems(), WithPrompt({"English", "Deutsch"}))
      << "the catalogue written as the manifest worker ended was not the one read";
  EXPECT_FALSE(PathPresent(LanguagesIni));
  CloseHandle(fetchWatch);
}

}  // namespace

// Applying the language chosen in the language box at the start of an
// installation run: the download of its file, the load of the texts, the
// remembered choice in settings.ini, and what the user sees on the way.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "catalogue_text.h"
#include "files/file_primitives.h"
#include "files/paths.h"
#include "lang/language_catalogue.h"
#include "lang/language_file.h"
#include "setup_window.h"
#include "shell/shared_ui.h"
#include "test_support.h"

using namespace hbtest;
using hbinproc::SetupWindow;
using hbinproc::WorkerResult;

namespace {

const char* const kSlotKeys[] = {"SP#quit",      "BT#cancel",           "SP#install_succeed",   "SP#repair",
                                 "SP#uninstall", "SP#want_to_uninstall", "SP#uninstall_succeed", "SP#exist"};

// A language file giving every key the text "<word> <key>".
std::string LanguageFileFor(const std::string& word) {
  std::string text;
  for (const char* key : kSlotKeys) text += std::string(key) + "=\"" + word + " " + key + "\"\r\n";
  return text;
}

const std::string kGermanPath = "C:\\Programme\\Hollowbranch\\Lang\\Deutsch.lng";

std::string RememberedLanguage() {
  char value[300] = "";
  GetPrivateProfileStringA("SETTINGS", "sprache", "(none)", value, sizeof value, SettingsIni);
  return value;
}

std::vector<std::string> SlotTexts() {
  std::vector<std::string> texts;
  for (const char* key : kSlotKeys) texts.push_back(SlotText(key));
  return texts;
}

std::vector<std::string> SlotTextsOf(const std::string& word) {
  std::vector<std::string> texts;
  for (const char* key : kSlotKeys) texts.push_back(word + " " + key);
  return texts;
}

std::vector<std::string> SlotKeys() { return std::vector<std::string>(std::begin(kSlotKeys), std::end(kSlotKeys)); }

class LanguageChoice : public ::testing::Test {
 protected:
  void SetUp() override { Prepare(); }
  void TearDown() override {
    ResetMachine();
    RemoveTree(ScratchDir());
  }

  // A machine without the product, the three language files on the server.
  void Prepare() {
    ASSERT_TRUE(ResetMachine());
    CreateProgramDirectories();
    ClearServer();
    hFetchThread = nullptr;
    for (const char* name : {"English", "Deutsch", "Francais"}) {
      ServeFile(std::string("lang/") + name + ".lng", LanguageFileFor(name));
    }
    // Texts from an earlier load, and an earlier choice on record.
    const std::string earlier = ScratchPath("earlier.lng");
    ASSERT_TRUE(WriteFileBytes(earlier, LanguageFileFor("Earlier")));
    LoadLanguageTexts(earlier.c_str());
    WritePrivateProfileStringA("SETTINGS", "sprache", "C:\\Programme\\Hollowbranch\\Lang\\Earlier.lng", SettingsIni);
    requestsAtStatus_.clear();
  }

  // The language box as the fill leaves it, then the user picks item.
  void ShowLanguages(SetupWindow& window, int item) {
    ASSERT_TRUE(WriteFileBytes(LanguagesIni,
                               Catalogue({{"english", "English", "English.lng", ServerUrl("lang/English.lng"), "En"},
                                          {"german", "Deutsch", "Deutsch.lng", ServerUrl("lang/Deutsch.lng"), "De"},
                                          {"french", "Francais", "Francais.lng", ServerUrl("lang/Francais.lng"),
                                           "Fr"}})));
    ASSERT_TRUE(window.RunWorker([] { FillLanguageListThread(nullptr); }).ended);
    ASSERT_EQ(languageCount, 4);
    window.SelectLanguage(item);
    window.EnableControls();
    ASSERT_TRUE(RequestLog().empty()) << "the fill requests nothing";
    window.ClearTimeline();
  }

  // Runs ApplySelectedLanguage as the installation worker does, noting how
  // many requests the server had seen at each status text.
  WorkerResult Apply(SetupWindow& window) {
    window.OnStatusText([this](const char*) { requestsAtStatus_.push_back(RequestLog().size()); });
    return window.RunWorker(ApplySelectedLanguage);
  }

  std::vector<size_t> requestsAtStatus_;
};

TEST_F(LanguageChoice, ChosenLanguageIsDownloadedLoadedAndRemembered) {
  SetupWindow window;
  ASSERT_NO_FATAL_FAILURE(ShowLanguages(window, 2));

  const WorkerResult apply = Apply(window);

  ASSERT_TRUE(apply.ended);
  EXPECT_EQ(RequestLog(), std::vector<std::string>{"/lang/Deutsch.lng"}) << "row 1's netlink, requested once";
  EXPECT_EQ(ReadFileBytes(kGermanPath), LanguageFileFor("Deutsch")) << "row 1's file at row 1's localPath";
  EXPECT_EQ(SlotTexts(), SlotTextsOf("Deutsch")) << "every slot loaded from the chosen file";
  EXPECT_EQ(strLanguageFile, kGermanPath);
  EXPECT_EQ(RememberedLanguage(), kGermanPath) << "[SETTINGS] sprache in settings.ini";
  EXPECT_FALSE(SetupWindow::Enabled(hwndInstallButton)) << "Install stays usable during the run";
  EXPECT_FALSE(SetupWindow::Enabled(hwndCancelButton)) << "Cancel stays usable during the run";
  EXPECT_FALSE(SetupWindow::Enabled(hwndLanguageCombo)) << "the language box stays usable during the run";
  EXPECT_TRUE(apply.boxes.empty()) << "no message box on success";
  EXPECT_EQ(window.Timeline(), (std::vector<std::string>{"status Downloading language files ...", "status null"}));
  EXPECT_EQ(requestsAtStatus_, (std::vector<size_t>{0, 1}))
      << "the download text is shown before the request and replaced after it";
  EXPECT_EQ(window.StatusText(), "");
}

TEST_F(LanguageChoice, FailedDownloadIsReportedOnceAndTheRunGoesOnWithTheKeys) {
  struct Case {
    const char* what;
    const char* rule;
  };
  const Case cases[] = {
      {"the server has no such file", "404"},
      {"the server fails", "500"},
      {"the answer is cut short", "cut"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_NO_FATAL_FAILURE(Prepare());
    // A copy of the chosen file from an earlier run must not be read instead.
    ASSERT_TRUE(WriteFileBytes(kGermanPath, LanguageFileFor("Stale")));
    SetServerRule("lang/Deutsch.lng", c.rule);
    SetupWindow window;
    ASSERT_NO_FATAL_FAILURE(ShowLanguages(window, 2));

    const WorkerResult apply = Apply(window);

    ASSERT_TRUE(apply.ended);
    ASSERT_EQ(apply.boxes.size(), 1u) << "exactly one error box";
    EXPECT_EQ(apply.boxes[0].text, "An error occurred.");
    EXPECT_EQ(apply.boxes[0].caption, "Error") << "the system's caption: the box is shown without one";
    EXPECT_EQ(apply.boxes[0].buttons, std::vector<int>{IDOK}) << "OK only";
    EXPECT_TRUE(apply.boxes[0].ownedByMain) << "owned by hwndMain";
    EXPECT_EQ(window.Timeline(), (std::vector<std::string>{"status Downloading language files ...",
                                                           "box An error occurred.", "status null"}));
    EXPECT_EQ(window.StatusText(), "") << "the status bar ends empty after a failure too";
    EXPECT_EQ(RequestLog(), std::vector<std::string>{"/lang/Deutsch.lng"});
    EXPECT_FALSE(PathPresent(kGermanPath)) << "no copy of the failed file is left at localPath";
    EXPECT_EQ(SlotTexts(), SlotKeys()) << "the load finds no file: every slot holds its key";
    EXPECT_EQ(RememberedLanguage(), kGermanPath) << "sprache names the file whose download failed";
  }
}

TEST_F(LanguageChoice, WithoutALanguageSelectedNothingIsDownloadedOrChanged) {
  struct Case {
    const char* what;
    int item;
  };
  const Case cases[] = {
      {"the prompt is selected", 0},
      {"nothing is selected", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_NO_FATAL_FAILURE(Prepare());
    SetupWindow window;
    ASSERT_NO_FATAL_FAILURE(ShowLanguages(window, c.item));
    ASSERT_EQ(window.LanguageSelection(), c.item);

    const WorkerResult apply = Apply(window);

    ASSERT_TRUE(apply.ended);
    ASSERT_EQ(apply.boxes.size(), 1u) << "exactly one error box";
    EXPECT_EQ(apply.boxes[0].text, "An error occurred.");
    EXPECT_TRUE(RequestLog().empty()) << "nothing may be downloaded";
    EXPECT_EQ(SlotTexts(), SlotTextsOf("Earlier")) << "the texts stay as they were";
    EXPECT_EQ(RememberedLanguage(), "C:\\Programme\\Hollowbranch\\Lang\\Earlier.lng") << "sprache stays as it was";
    EXPECT_EQ(window.Timeline(), std::vector<std::string>{"box An error occurred."});
  }
}

}  // namespace

// The installation run (InstallThread) against the test server: what the
// progress list shows, what lands on disk, what updates.ini records, how an
// installer package is run and waited for, the shortcut script, the closing
// question and the end of the setup.
#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "files/file_primitives.h"
#include "files/paths.h"
#include "install/install_run.h"
#include "install_checks.h"
#include "lang/language_catalogue.h"
#include "setup_window.h"
#include "shell/shared_ui.h"
#include "test_support.h"

namespace hbtest {
namespace {

const char ProfileDir[] = "C:\\hb-profile";
const char DesktopDir[] = "C:\\hb-profile\\Desktop";
const char WorkingDir[] = "C:\\hb-run-cwd";
const char Question[] = "Setup has finished. Start My Hollowbranch now?";
const char ErrorText[] = "An error occurred.";
const DWORD RunBoundMs = 90000;
const DWORD ShortcutPauseMs = 1500;

std::string LanguageFile() {
  return "SP#quit=\"Really quit?\"\r\n"
         "SP#install_succeed=\"" + std::string(Question) + "\"\r\n"
         "SP#exist=\"Hollowbranch is installed.\"\r\n";
}

// "{pkg}" in a manifest stands for the server's package folder.
std::string Expand(std::string text) {
  const std::string pkg = ServerUrl("pkg/");
  for (size_t at = text.find("{pkg}"); at != std::string::npos; at = text.find("{pkg}", at + pkg.size())) {
    text.replace(at, 5, pkg);
  }
  return text;
}

std::vector<std::string> PackageRequests() {
  std::vector<std::string> requests;
  for (const std::string& path : RequestLog()) {
    if (path.rfind("/pkg/", 0) == 0) requests.push_back(path);
  }
  return requests;
}

bool SameText(const std::string& a, const std::string& b) { return lstrcmpiA(a.c_str(), b.c_str()) == 0; }

using hbinproc::ProgressLine;
using hbinproc::SetupWindow;
using hbinproc::ShownBox;

// What one installation run left on the screen.
struct RunRecord {
  bool finished = false;                // the worker ended within the bound
  std::vector<ProgressLine> lines;      // as LB_ADDSTRING reached the list, with the time
  std::vector<std::string> listItems;   // what the progress list holds at the end
  std::vector<ShownBox> boxes;
  int destroyMessages = 0;  // WM_DESTROY received by the main window
  DWORD destroyTick = 0;    // the last of them
  bool installButtonGone = false, cancelButtonGone = false, languageBoxGone = false;
  bool progressListShown = false;
  std::string statusText;  // at the end of the run

  std::vector<std::string> LineTexts() const {
    std::vector<std::string> texts;
    for (const ProgressLine& line : lines) texts.push_back(line.text);
    return texts;
  }
  // The boxes whose caption is the setup's own: the closing question.
  std::vector<ShownBox> BoxesCaptioned(const std::string& caption) const {
    std::vector<ShownBox> matching;
    for (const ShownBox& box : boxes) {
      if (box.caption == caption) matching.push_back(box);
    }
    return matching;
  }
};

// One language and the terminating row, as the language worker leaves them,
// with that language chosen in the language box.
void OfferOnlyEnglish(const std::string& languageFileUrl) {
  LanguageEntry& english = languageTable[0];
  english = LanguageEntry{};
  snprintf(english.section, sizeof english.section, "english");
  snprintf(english.listname, sizeof english.listname, "English");
  snprintf(english.showname, sizeof english.showname, "English");
  snprintf(english.netlink, sizeof english.netlink, "%s", languageFileUrl.c_str());
  snprintf(english.filename, sizeof english.filename, "English.lng");
  snprintf(english.localPath, sizeof english.localPath, "%s\\English.lng", LangDir);
  languageTable[1] = LanguageEntry{};
  snprintf(languageTable[1].section, sizeof languageTable[1].section, "0");
  languageCount = 2;
  SendMessageA(hwndLanguageCombo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(LanguagePrompt));
  SendMessageA(hwndLanguageCombo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("English"));
  SendMessageA(hwndLanguageCombo, CB_SETCURSEL, 1, 0);
}

// Runs InstallThread against a fresh main window and plays the user until it
// ends: the closing question gets questionAnswer (IDYES or IDNO), every other
// box its first button.
RunRecord RunInstallThread(int questionAnswer, DWORD boundMs) {
  SetupWindow window;
  // The user has chosen a language and pressed Install.
  window.EnableControls();
  OfferOnlyEnglish(ServerUrl("lang/English.lng"));
  const hbinproc::WorkerResult result = window.RunWorker([] { InstallThread(nullptr); }, boundMs,
                                                         [questionAnswer](const ShownBox& box) {
                                                           if (box.caption == SetupWindowName) return questionAnswer;
                                                           return box.buttons.empty() ? IDOK : box.buttons.front();
                                                         });
  RunRecord record;
  record.finished = result.ended;
  record.boxes = result.boxes;
  record.lines = window.ProgressLines();
  record.listItems = window.ProgressItems();
  const std::vector<DWORD> destroyTicks = window.DestroyTicks();
  record.destroyMessages = static_cast<int>(destroyTicks.size());
  record.destroyTick = destroyTicks.empty() ? 0 : destroyTicks.back();
  record.installButtonGone = !IsWindow(hwndInstallButton);
  record.cancelButtonGone = !IsWindow(hwndCancelButton);
  record.languageBoxGone = !IsWindow(hwndLanguageCombo);
  record.progressListShown = SetupWindow::Shown(hwndProgressList);
  record.statusText = window.StatusText();
  return record;
}

// Each test starts on a machine without the product, as the fresh-install
// screen leaves it: the six directories made, the manifest fetched.
class InstallRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ResetMachine());
    CreateProgramDirectories();
    ClearServer();
    ClearCaptures();
    RemoveTree(TestbedPath("installer.log"));
    RemoveTree(TestbedPath("product.log"));
    RemoveTree(ProfileDir);
    MakeDirectories(DesktopDir);
    RemoveTree(WorkingDir);
    MakeDirectories(WorkingDir);
    ServeFile("lang/English.lng", LanguageFile());
  }

  void TearDown() override {
    // A product or installer still running would hold files of the next test.
    for (const LogRecord& start : RecordsOfKind(ReadLog(TestbedPath("product.log")), "start")) {
      EndProcessById(start.Number("pid"), 8000);
    }
    for (const LogRecord& start : RecordsOfKind(ReadLog(TestbedPath("installer.log")), "start")) {
      EndProcessById(start.Number("pid"), 8000);
    }
  }

  RunRecord RunInstall(int questionAnswer) {
    char previousDir[MAX_PATH] = "";
    GetCurrentDirectoryA(MAX_PATH, previousDir);
    // Anything the run writes relative to the working directory shows here.
    SetCurrentDirectoryA(WorkingDir);
    const RunRecord record = RunInstallThread(questionAnswer, RunBoundMs);
    SetCurrentDirectoryA(previousDir);
    return record;
  }

  ScopedEnv profile_{"USERPROFILE", ProfileDir};
  ScopedEnv installerStay_{"HB_INSTALLER_MS", "1500"};
  ScopedEnv productLife_{"HB_PRODUCT_OPTS", "lifetime=4000"};
};

// The closing question: the chosen language's text under the setup's caption,
// Yes and No, no icon, owned by the main window.
void ExpectClosingQuestion(const RunRecord& run) {
  const std::vector<ShownBox> questions = run.BoxesCaptioned(SetupWindowName);
  ASSERT_EQ(questions.size(), 1u) << "one closing question captioned \"" << SetupWindowName << "\"";
  const ShownBox& question = questions.front();
  EXPECT_EQ(question.text, Question) << "the text of SP#install_succeed in the chosen language file";
  EXPECT_EQ(question.buttons, (std::vector<int>{IDYES, IDNO})) << "MB_YESNO: Yes and No only";
  EXPECT_FALSE(question.showsIcon) << "the question has no icon";
  EXPECT_TRUE(question.ownedByMain) << "the question is owned by hwndMain";
}

void ExpectErrorBoxes(const RunRecord& run, size_t count) {
  std::vector<ShownBox> errors;
  for (const ShownBox& box : run.boxes) {
    if (box.caption != SetupWindowName) errors.push_back(box);
  }
  ASSERT_EQ(errors.size(), count) << "error boxes during the run";
  for (const ShownBox& box : errors) {
    EXPECT_EQ(box.text, ErrorText);
    EXPECT_EQ(box.buttons, std::vector<int>{IDOK}) << "the error box has OK only";
    EXPECT_TRUE(box.ownedByMain) << "the error box is owned by hwndMain";
  }
}

// The end of every run: the progress screen stays, and the main window has
// received WM_DESTROY once, after the question was answered.
void ExpectEndOfRun(const RunRecord& run) {
  EXPECT_TRUE(run.installButtonGone) << "Install button closed";
  EXPECT_TRUE(run.cancelButtonGone) << "Cancel button closed";
  EXPECT_TRUE(run.languageBoxGone) << "language box closed";
  EXPECT_TRUE(run.progressListShown) << "progress list shown";
  EXPECT_EQ(run.statusText, "") << "status bar emptied";
  EXPECT_EQ(run.destroyMessages, 1) << "WM_DESTROY sent to the main window once";
  const std::vector<ShownBox> questions = run.BoxesCaptioned(SetupWindowName);
  if (!questions.empty()) {
    EXPECT_GE(run.destroyTick, questions.back().tick) << "WM_DESTROY comes after the closing question";
  }
}

const ProgressLine* FindLine(const RunRecord& run, const std::string& text, size_t from = 0) {
  for (size_t i = from; i < run.lines.size(); ++i) {
    if (run.lines[i].text == text) return &run.lines[i];
  }
  return nullptr;
}

// ---------------------------------------------------------------- full run

const char FullManifest[] =
    "[PACKAGE]\r\nversion=2.5.1\r\ndate=2024-05-01\r\n"
    "[LIST]\r\n0=core\r\n1=runtime\r\n2=german\r\n"
    "[core]\r\nname=core\r\ninstall=C:\\Programme\\Hollowbranch\\Hollowbranch.exe\r\n"
    "netlink={pkg}Hollowbranch.exe\r\nshowname=Hollowbranch program\r\ndate=2024-04-30\r\n"
    "[runtime]\r\nname=runtime\r\ninstall=1\r\nnetlink={pkg}runtime-setup.exe\r\n"
    "showname=Runtime libraries\r\ndate=2024-04-29\r\n"
    "[german]\r\nname=german\r\ninstall=C:\\Programme\\Hollowbranch\\Lang\\German.lng\r\n"
    "netlink={pkg}German.lng\r\nshowname=German language\r\ndate=2024-04-28\r\n";

class FullRunTest : public InstallRunTest, public ::testing::WithParamInterface<int> {};

TEST_P(FullRunTest, InstallsEveryPackageThenOffersToStartTheProduct) {
  const bool answerYes = GetParam() == IDYES;
  // Longer than any bound on deleting a single file: the wait for an
  // installer lasts as long as the installer runs.
  const std::string installerStay = std::to_string(RemoveUntilGoneTimeoutMs + 1500);
  ScopedEnv longInstaller("HB_INSTALLER_MS", installerStay.c_str());
  const std::string productBytes = BytesOf(TestBinPath("fake-product.exe"));
  const std::string installerBytes = BytesOf(TestBinPath("fake-installer.exe"));
  ASSERT_FALSE(productBytes.empty()) << "tests/bin/fake-product.exe";
  ASSERT_FALSE(installerBytes.empty()) << "tests/bin/fake-installer.exe";
  const std::string languageBytes = BinaryPayload(5000, 7);
  ServeFile("pkg/Hollowbranch.exe", productBytes);
  ServeFile("pkg/runtime-setup.exe", installerBytes);
  ServeFile("pkg/German.lng", languageBytes);
  ASSERT_TRUE(WriteFileBytes(NewUpdatesIni, Expand(FullManifest)));

  const RunRecord run = RunInstall(GetParam());
  ASSERT_TRUE(run.finished) << "the run did not end within " << RunBoundMs << " ms";

  const std::vector<std::string> expectedLines = {
      "Hollowbranch program", "Downloading...", "Succeed",
      "Runtime libraries",    "Downloading...", "Installing...", "Succeed",
      "German language",      "Downloading...", "Succeed"};
  EXPECT_EQ(Joined(run.listItems), Joined(expectedLines)) << "progress list after the run";
  EXPECT_EQ(Joined(run.LineTexts()), Joined(expectedLines)) << "lines added with LB_ADDSTRING, in order";

  EXPECT_EQ(DescribeIni(UpdatesIni),
            "[INFO]\nversion=2.5.1\n[DATE]\nversion=2024-05-01\ncore=2024-04-30\ngerman=2024-04-28\n")
      << "updates.ini: the set's version and date, one record per file package, none for the installer";
  EXPECT_TRUE(BytesOf(ProductExe) == productBytes) << "the product program at its target, byte for byte";
  EXPECT_TRUE(BytesOf("C:\\Programme\\Hollowbranch\\Lang\\German.lng") == languageBytes)
      << "the language package at its target, byte for byte";

  // The installer: started once, hidden, from the temporary copy, with the
  // single argument INSTALL; the run goes on only after it has ended.
  const std::vector<LogRecord> installer = ReadLog(TestbedPath("installer.log"));
  const std::vector<LogRecord> starts = RecordsOfKind(installer, "start");
  const std::vector<LogRecord> ends = RecordsOfKind(installer, "end");
  ASSERT_EQ(starts.size(), 1u) << "installer runs";
  ASSERT_EQ(ends.size(), 1u) << "installer ends";
  EXPECT_EQ(starts[0].Field("args"), "INSTALL");
  EXPECT_EQ(starts[0].Field("argc"), "1");
  EXPECT_TRUE(SameText(starts[0].Field("exe"), TempInstallerExe)) << "started as " << starts[0].Field("exe");
  EXPECT_EQ(starts[0].Field("show"), "0") << "started with SW_HIDE";
  const ProgressLine* installing = FindLine(run, "Installing...");
  ASSERT_NE(installing, nullptr);
  const size_t afterInstalling = static_cast<size_t>(installing - run.lines.data()) + 1;
  const ProgressLine* installerSucceed = FindLine(run, "Succeed", afterInstalling);
  ASSERT_NE(installerSucceed, nullptr);
  EXPECT_LE(installing->tick, starts[0].Number("tick")) << "\"Installing...\" is shown before the start";
  EXPECT_GE(installerSucceed->tick, ends[0].Number("tick"))
      << "\"Succeed\" of the installer only after the installer ended";
  EXPECT_FALSE(PathPresent(TempInstallerExe)) << "temp_prog_filename.exe removed";

  // The shortcut script, handed to the script host hidden, then removed.
  const std::string scriptPath = std::string(DesktopDir) + "\\createshortcut_temp.vbs";
  const std::vector<CapturedScript> scripts = Captures();
  ASSERT_EQ(scripts.size(), 1u) << "shortcut scripts run";
  EXPECT_TRUE(SameText(scripts[0].sourcePath, scriptPath)) << scripts[0].sourcePath;
  EXPECT_EQ(scripts[0].bytes, ExpectedShortcutScript(std::string(DesktopDir) + "\\Hollowbranch.lnk", ProductExe));
  EXPECT_EQ(scripts[0].info.substr(0, 7), "show=0 ") << "script opened with SW_HIDE: " << scripts[0].info;
  EXPECT_FALSE(PathPresent(scriptPath)) << "the script is removed after the pause";

  ExpectErrorBoxes(run, 0);
  ExpectClosingQuestion(run);
  const std::vector<ShownBox> questions = run.BoxesCaptioned(SetupWindowName);
  if (!questions.empty()) {
    EXPECT_GE(questions[0].tick - run.lines.back().tick, ShortcutPauseMs - 100)
        << "the question comes after the shortcut step and its pause";
  }
  ExpectEndOfRun(run);

  // The product: started on Yes, normally shown and without arguments; not on No.
  const std::string productLog = TestbedPath("product.log");
  if (answerYes) {
    ASSERT_TRUE(WaitUntil([&] { return !RecordsOfKind(ReadLog(productLog), "start").empty(); }, 10000))
        << "the product was not started after Yes";
    Sleep(1500);  // a second start would be on record by now
    const std::vector<LogRecord> productStarts = RecordsOfKind(ReadLog(productLog), "start");
    EXPECT_EQ(productStarts.size(), 1u);
    EXPECT_TRUE(SameText(productStarts[0].Field("exe"), ProductExe)) << productStarts[0].Field("exe");
    EXPECT_EQ(productStarts[0].Field("args"), "") << "the product gets no arguments";
    EXPECT_EQ(productStarts[0].Field("show"), "1") << "started with SW_SHOWNORMAL";
  } else {
    Sleep(2000);
    EXPECT_FALSE(PathPresent(productLog)) << "the product was started although the answer was No";
  }
}

INSTANTIATE_TEST_SUITE_P(Answer, FullRunTest, ::testing::Values(IDYES, IDNO),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return std::string(info.param == IDYES ? "Yes" : "No");
                         });

// ---------------------------------------------------------- [LIST] cases

struct ListCase {
  const char* name;
  std::optional<std::string> manifest;  // nullopt: no new_updates.ini at all
  std::vector<std::pair<std::string, std::string>> rules;   // server path, action
  std::vector<std::pair<std::string, std::string>> before;  // files already on disk
  std::vector<std::string> lines;
  std::string updatesIni;
  size_t errorBoxes;
  std::optional<std::vector<std::string>> requests;  // package downloads, in order
  std::vector<std::string> presentAfter;
  std::vector<std::string> absentAfter;
};

std::string PackageSection(const std::string& id, const std::string& install, const std::string& name = "") {
  std::string text = "[" + id + "]\r\nname=" + (name.empty() ? id : name) + "\r\n";
  if (!install.empty()) text += "install=" + install + "\r\n";
  return text + "netlink={pkg}" + id + ".dat\r\nshowname=Package " + id + "\r\ndate=date-" + id + "\r\n";
}

std::string Target(const std::string& id) { return "C:\\Programme\\Hollowbranch\\Files\\" + id + ".dat"; }

std::string ListManifest(const std::string& list, const std::vector<std::string>& ids) {
  std::string text = "[PACKAGE]\r\nversion=3.0\r\ndate=2024-07-01\r\n[LIST]\r\n" + list;
  for (const std::string& id : ids) text += PackageSection(id, Target(id));
  return text;
}

std::vector<std::string> PackageLines(const std::string& id, const char* outcome = "Succeed") {
  return {"Package " + id, "Downloading...", outcome};
}

std::vector<std::string> Concat(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

const char SetOnlyIni[] = "[INFO]\nversion=3.0\n[DATE]\nversion=2024-07-01\n";
const char ZeroIni[] = "[INFO]\nversion=0\n[DATE]\nversion=0\n";

std::vector<ListCase> ListCases() {
  const std::string abRecords = std::string(SetOnlyIni) + "a=date-a\nb=date-b\n";
  const std::string bRecord = std::string(SetOnlyIni) + "b=date-b\n";
  return {
      {"KeysEndAtTheFirstGap", ListManifest("0=a\r\n1=b\r\n3=c\r\n", {"a", "b", "c"}), {}, {},
       Concat({PackageLines("a"), PackageLines("b")}), abRecords, 0,
       std::vector<std::string>{"/pkg/a.dat", "/pkg/b.dat"}, {Target("a"), Target("b")}, {Target("c")}},
      {"EndInAnyLetterCaseEndsTheList", ListManifest("0=a\r\n1=b\r\n2=End\r\n3=c\r\n", {"a", "b", "c"}), {}, {},
       Concat({PackageLines("a"), PackageLines("b")}), abRecords, 0,
       std::vector<std::string>{"/pkg/a.dat", "/pkg/b.dat"}, {Target("a"), Target("b")}, {Target("c")}},
      {"SectionListedTwiceIsInstalledTwice", ListManifest("0=a\r\n1=b\r\n2=a\r\n", {"a", "b"}), {}, {},
       Concat({PackageLines("a"), PackageLines("b"), PackageLines("a")}), abRecords, 0,
       std::vector<std::string>{"/pkg/a.dat", "/pkg/b.dat", "/pkg/a.dat"}, {Target("a"), Target("b")}, {}},
      {"EmptyManifest", std::string(), {}, {}, {}, ZeroIni, 0, std::vector<std::string>{}, {}, {}},
      {"MissingManifest", std::nullopt, {}, {}, {}, ZeroIni, 0, std::vector<std::string>{}, {}, {}},
      {"PackageNamedVersionReplacesTheSetDate",
       "[PACKAGE]\r\nversion=3.0\r\ndate=2024-07-01\r\n[LIST]\r\n0=a\r\n" + PackageSection("a", Target("a"), "version"),
       {}, {}, PackageLines("a"), "[INFO]\nversion=3.0\n[DATE]\nversion=date-a\n", 0,
       std::vector<std::string>{"/pkg/a.dat"}, {Target("a")}, {}},
      {"FailedFileDownloadIsReportedAndNotRecorded", ListManifest("0=a\r\n1=b\r\n", {"a", "b"}),
       {{"/pkg/a.dat", "404"}}, {{Target("a"), "an older copy"}},
       Concat({PackageLines("a", "Failed"), PackageLines("b")}), bRecord, 1,
       std::vector<std::string>{"/pkg/a.dat", "/pkg/b.dat"}, {Target("b")}, {Target("a")}},
      {"FailedInstallerDownloadStartsNothing",
       "[PACKAGE]\r\nversion=3.0\r\ndate=2024-07-01\r\n[LIST]\r\n0=i\r\n1=b\r\n" + PackageSection("i", "1") +
           PackageSection("b", Target("b")),
       {{"/pkg/i.dat", "500"}}, {}, Concat({PackageLines("i", "Failed"), PackageLines("b")}), bRecord, 1,
       std::vector<std::string>{"/pkg/i.dat", "/pkg/b.dat"}, {Target("b")}, {TempInstallerExe}},
      {"RelativeTargetIsAFailedDownload",
       "[PACKAGE]\r\nversion=3.0\r\ndate=2024-07-01\r\n[LIST]\r\n0=r\r\n1=b\r\n" +
           PackageSection("r", "relative\\r.dat") + PackageSection("b", Target("b")),
       {}, {}, Concat({PackageLines("r", "Failed"), PackageLines("b")}), bRecord, 1, std::nullopt, {Target("b")},
       {}},
      {"MissingTargetDefaultsToZeroAndFails",
       "[PACKAGE]\r\nversion=3.0\r\ndate=2024-07-01\r\n[LIST]\r\n0=z\r\n1=b\r\n" + PackageSection("z", "") +
           PackageSection("b", Target("b")),
       {}, {}, Concat({PackageLines("z", "Failed"), PackageLines("b")}), bRecord, 1, std::nullopt, {Target("b")},
       {}},
  };
}

class ListCaseTest : public InstallRunTest, public ::testing::WithParamInterface<ListCase> {};

TEST_P(ListCaseTest, RunFollowsTheList) {
  const ListCase& c = GetParam();
  for (const char* id : {"a", "b", "c", "i", "r", "z"}) {
    ServeFile(std::string("pkg/") + id + ".dat", std::string("bytes of package ") + id + std::string("\r\n\0\x01", 4));
  }
  for (const auto& rule : c.rules) SetServerRule(rule.first, rule.second);
  for (const auto& file : c.before) ASSERT_TRUE(WriteFileBytes(file.first, file.second)) << file.first;
  if (c.manifest) {
    ASSERT_TRUE(WriteFileBytes(NewUpdatesIni, Expand(*c.manifest)));
  }

  const RunRecord run = RunInstall(IDNO);
  ASSERT_TRUE(run.finished) << "the run did not end within " << RunBoundMs << " ms";

  EXPECT_EQ(Joined(run.listItems), Joined(c.lines)) << "progress list after the run";
  EXPECT_EQ(DescribeIni(UpdatesIni), c.updatesIni) << "updates.ini";
  ExpectErrorBoxes(run, c.errorBoxes);
  if (c.requests) {
    EXPECT_EQ(Joined(PackageRequests()), Joined(*c.requests)) << "package downloads, in order";
  }
  for (const std::string& path : c.presentAfter) EXPECT_TRUE(PathPresent(path)) << path << " installed";
  for (const std::string& path : c.absentAfter) EXPECT_FALSE(PathPresent(path)) << path << " must not exist";
  EXPECT_EQ(Joined(DirectoryEntries(WorkingDir), ", "), "") << "files written relative to the working directory";
  EXPECT_TRUE(RecordsOfKind(ReadLog(TestbedPath("installer.log")), "start").empty()) << "no installer started";

  // Whatever the list holds, the shortcut and the question still come.
  EXPECT_EQ(Captures().size(), 1u) << "shortcut scripts run";
  ExpectClosingQuestion(run);
  ExpectEndOfRun(run);
}

INSTANTIATE_TEST_SUITE_P(List, ListCaseTest, ::testing::ValuesIn(ListCases()),
                         [](const ::testing::TestParamInfo<ListCase>& info) { return std::string(info.param.name); });

// ------------------------------------------------------- no user profile

TEST_F(InstallRunTest, WithoutUserProfileTheShortcutStepIsLeftOut) {
  ScopedEnv noProfile("USERPROFILE", nullptr);
  // A desktop folder that a path built from the missing profile would name.
  MakeDirectories("C:\\Desktop");
  ASSERT_TRUE(WriteFileBytes(NewUpdatesIni, Expand(ListManifest("0=a\r\n", {"a"}))));
  ServeFile("pkg/a.dat", "a");

  const RunRecord run = RunInstall(IDNO);
  ASSERT_TRUE(run.finished) << "the run did not end within " << RunBoundMs << " ms";

  EXPECT_EQ(Joined(run.listItems), Joined(PackageLines("a")));
  Sleep(500);
  EXPECT_EQ(Captures().size(), 0u) << "no shortcut script without a desktop folder";
  EXPECT_EQ(Joined(DirectoryEntries("C:\\Desktop"), ", "), "") << "nothing put into a folder made up without a profile";
  RemoveTree("C:\\Desktop");
  ExpectClosingQuestion(run);
  const std::vector<ShownBox> questions = run.BoxesCaptioned(SetupWindowName);
  if (!questions.empty()) {
    EXPECT_LT(questions[0].tick - run.lines.back().tick, 1000u) << "no shortcut pause before the question";
  }
  ExpectEndOfRun(run);
}

}  // namespace
}  // namespace hbtest

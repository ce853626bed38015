// The sample release: it publishes clean, its language texts are the ANSI
// bytes the setup shows, and its two programs do what the setup expects of
// the product and of an installer.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "files/paths.h"
#include "lang/language_file.h"
#include "publish_fixture.h"
#include "test_support.h"

namespace {

using pubtest::IniRead;
using pubtest::JoinPath;

std::string PublishSample(const char* name) {
  const std::string tree = hbtest::ScratchPath(name);
  hbtest::RemoveTree(tree);
  pubtest::RunResult result =
      pubtest::RunPublish({"publish", pubtest::SampleReleaseDir(), tree, hbtest::ServerUrl("")});
  EXPECT_EQ(0u, result.exitCode) << pubtest::Joined(result.lines);
  EXPECT_EQ(tree + ": no problems", result.lines.empty() ? "" : result.lines.back());
  return tree;
}

TEST(SampleRelease, PublishesCleanWithTheProductAtItsFixedPath) {
  const std::string tree = PublishSample("sample-tree");

  pubtest::RunResult check = pubtest::RunPublish({"check", tree});
  EXPECT_EQ(0u, check.exitCode) << pubtest::Joined(check.lines);
  EXPECT_EQ(std::vector<std::string>{tree + ": no problems"}, check.lines);

  // The shortcut and the start offer point at the product's fixed path.
  const std::string manifest = JoinPath(tree, "new_updates.ini");
  EXPECT_EQ("PRODUCT", IniRead(manifest, "LIST", "0"));
  EXPECT_EQ(ProductExe, IniRead(manifest, "PRODUCT", "install"));
  EXPECT_EQ(hbtest::ServerUrl("packages/Hollowbranch.exe"), IniRead(manifest, "PRODUCT", "netlink"));
  EXPECT_EQ("1", IniRead(manifest, "FILES", "install"));

  // The setup falls back to English.lng when no language was remembered.
  EXPECT_EQ("English.lng", IniRead(JoinPath(tree, "autoupdate_languages.ini"), "ENGLISH", "filename"));
}

TEST(SampleRelease, GermanTextsAreWindows1252) {
  const std::string tree = PublishSample("sample-german");
  SetLanguageFile(JoinPath(tree, "lang\\German.lng"));
  const struct {
    const char* key;
    const char* text;
  } texts[] = {
      {"SP#quit", "M\xF6" "chten Sie die Installation von Hollowbranch wirklich abbrechen?"},
      {"SP#uninstall", "Deinstallieren"},
      {"SP#uninstall_succeed", "Hollowbranch wurde vollst\xE4ndig von diesem Computer entfernt."},
  };
  for (const auto& text : texts) EXPECT_EQ(text.text, GetLanguageText(text.key)) << text.key;
}

// A program started the way the setup starts it; ends with its exit code.
DWORD RunAndWait(const std::string& exe, const char* arguments, DWORD timeoutMs) {
  std::string commandLine = "\"" + exe + "\"";
  if (arguments) commandLine += std::string(" ") + arguments;
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    ADD_FAILURE() << "cannot start " << exe;
    return 0xFFFFFFFF;
  }
  DWORD exitCode = 0xFFFFFFFF;
  if (WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0) {
    GetExitCodeProcess(process.hProcess, &exitCode);
  } else {
    ADD_FAILURE() << exe << " did not end within " << timeoutMs << " ms";
    TerminateProcess(process.hProcess, 1);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return exitCode;
}

class SamplePrograms : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(hbtest::ResetMachine()); }
  void TearDown() override { hbtest::ResetMachine(); }
  static std::string Program(const char* name) { return JoinPath(pubtest::SampleReleaseDir(), name); }
};

TEST_F(SamplePrograms, InstallerWritesItsFileOnlyWhenToldToInstall) {
  const std::string sampleFile = std::string(FilesDir) + "\\sample-files.txt";
  const struct {
    const char* arguments;
    DWORD exitCode;
    bool writes;
  } cases[] = {
      {"INSTALL", 0, true},
      {nullptr, 1, false},
      {"REPAIR", 1, false},
      {"INSTALL NOW", 1, false},
  };
  for (const auto& c : cases) {
    hbtest::ResetMachine();
    const char* shown = c.arguments ? c.arguments : "(none)";
    EXPECT_EQ(c.exitCode, RunAndWait(Program("hollowbranch-files-installer.exe"), c.arguments, 30000)) << shown;
    EXPECT_EQ(c.writes, hbtest::PathPresent(sampleFile)) << shown;
  }
}

TEST_F(SamplePrograms, ProductEndsWhenEitherWindowGetsWmDestroy) {
  const struct {
    const char* className;
    const char* title;
  } windows[] = {
      {"Hollowbranch", "My Hollowbranch"},
      {"Hollowbranch - Messages", "Hollowbranch - Messages"},
  };
  for (const auto& target : windows) {
    SCOPED_TRACE(target.title);
    const std::string exe = Program("Hollowbranch.exe");
    std::vector<char> line(exe.begin(), exe.end());
    line.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessA(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &process));

    HWND mainWindow = nullptr;
    HWND messagesWindow = nullptr;
    for (int tries = 0; tries < 200 && !(mainWindow && messagesWindow); ++tries) {
      Sleep(50);
      mainWindow = FindWindowA("Hollowbranch", "My Hollowbranch");
      messagesWindow = FindWindowA("Hollowbranch - Messages", "Hollowbranch - Messages");
    }
    ASSERT_TRUE(mainWindow != nullptr) << "no \"My Hollowbranch\" window of class \"Hollowbranch\"";
    ASSERT_TRUE(messagesWindow != nullptr) << "no top-level \"Hollowbranch - Messages\" window";
    EXPECT_TRUE(IsWindowVisible(mainWindow));
    EXPECT_FALSE(IsWindowVisible(messagesWindow)) << "the messages window is to stay hidden";

    SendMessageA(FindWindowA(target.className, target.title), WM_DESTROY, 0, 0);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.hProcess, 10000)) << "the product did not end";
    TerminateProcess(process.hProcess, 1);
    WaitForSingleObject(process.hProcess, 5000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
}

}  // namespace

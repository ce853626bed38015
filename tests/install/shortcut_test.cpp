// CreateShortcut: the script it hands to the script host (captured in the
// test prefix by vbs-capture), the paths built from the folder, the pause the
// script host is given, and what it does with folders it cannot use.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "files/paths.h"
#include "install/shortcut.h"
#include "install_checks.h"
#include "test_support.h"

namespace hbtest {
namespace {

const char Base[] = "C:\\hb-shortcut";
const DWORD PauseMs = 1500;

// A folder under Base whose path is exactly `length` characters long.
std::string FolderOfLength(size_t length) {
  std::string folder = Base;
  while (folder.size() < length) {
    const size_t room = length - folder.size() - 1;  // after the separator
    // No component of one character left over at the end.
    const size_t part = room > 120 ? 100 : room;
    folder += "\\" + std::string(part, static_cast<char>('a' + folder.size() % 26));
  }
  return folder;
}

struct ShortcutCase {
  const char* name;
  std::string folder;     // as passed to CreateShortcut
  std::string linkName;
  bool folderExists;
  bool oldScript;         // a createshortcut_temp.vbs is already there
  bool scriptRuns;        // the script host gets a script
  std::string scriptPath; // where the script is written and opened
  std::string linkPath;   // the shortcut the script makes
};

std::vector<ShortcutCase> ShortcutCases() {
  const std::string desktop = std::string(Base) + "\\Desktop";
  const std::string atLimit = FolderOfLength(259 - 24);  // "\createshortcut_temp.vbs" is 24 characters
  const std::string overLimit = FolderOfLength(260 - 24);
  const std::string longName(259 - desktop.size() - 5, 'n');  // "\" + name + ".lnk" fills 259
  return {
      {"PlainFolder", desktop, "Hollowbranch", true, false, true, desktop + "\\createshortcut_temp.vbs",
       desktop + "\\Hollowbranch.lnk"},
      {"TrailingBackslashDoublesTheSeparator", desktop + "\\", "Hollowbranch", true, false, true,
       desktop + "\\\\createshortcut_temp.vbs", desktop + "\\\\Hollowbranch.lnk"},
      {"ExistingScriptIsOverwrittenAndRemoved", desktop, "Hollowbranch", true, true, true,
       desktop + "\\createshortcut_temp.vbs", desktop + "\\Hollowbranch.lnk"},
      {"MissingFolderGivesNoScript", std::string(Base) + "\\NoSuchFolder", "Hollowbranch", false, false, false,
       "", ""},
      {"ScriptPathOf259CharactersIsUsed", atLimit, "Hollowbranch", true, false, true,
       atLimit + "\\createshortcut_temp.vbs", atLimit + "\\Hollowbranch.lnk"},
      {"ScriptPathOf260CharactersIsRefused", overLimit, "Hollowbranch", true, false, false, "", ""},
      {"LinkPathOf259CharactersIsUsed", desktop, longName, true, false, true,
       desktop + "\\createshortcut_temp.vbs", desktop + "\\" + longName + ".lnk"},
      {"LinkPathOf260CharactersIsRefused", desktop, longName + "n", true, false, false, "", ""},
  };
}

class ShortcutTest : public ::testing::TestWithParam<ShortcutCase> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(RemoveTree(Base));
    CreateDirectoryA(Base, nullptr);
    ClearCaptures();
  }
  void TearDown() override { RemoveTree(Base); }
};

TEST_P(ShortcutTest, WritesRunsAndRemovesTheScript) {
  const ShortcutCase& c = GetParam();
  std::string folderOnDisk = c.folder;
  while (!folderOnDisk.empty() && folderOnDisk.back() == '\\') folderOnDisk.pop_back();
  if (c.folderExists) MakeDirectories(folderOnDisk);
  ASSERT_EQ(PathPresent(folderOnDisk), c.folderExists) << folderOnDisk;
  const std::string oldScriptPath = folderOnDisk + "\\createshortcut_temp.vbs";
  if (c.oldScript) {
    ASSERT_TRUE(WriteFileBytes(oldScriptPath, std::string(3000, 'x') + "\r\nold script"));
  }

  FileWatcher script(c.scriptRuns ? c.scriptPath : oldScriptPath);
  const DWORD start = GetTickCount();
  const bool result = CreateShortcut(ProductExe, c.folder, c.linkName);
  const DWORD elapsed = GetTickCount() - start;
  script.Stop();

  EXPECT_TRUE(result) << "CreateShortcut answers true in every case";
  if (c.scriptRuns) {
    const std::string expected = ExpectedShortcutScript(c.linkPath, ProductExe);
    EXPECT_TRUE(script.Seen()) << "no script appeared at " << c.scriptPath;
    EXPECT_EQ(script.LastBytes(), expected) << "the script on disk: six lines, five CR LF, none after link.Save";
    EXPECT_GE(elapsed, PauseMs - 50) << "the script host gets its pause before the script is removed";
    // Wine's shell opens no file whose path is longer than 255 characters;
    // there the script on disk is all this prefix can show.
    if (c.scriptPath.size() <= 255) {
      ASSERT_TRUE(WaitUntil([] { return !Captures().empty(); }, 5000)) << "the script host got no script";
      const std::vector<CapturedScript> scripts = Captures();
      ASSERT_EQ(scripts.size(), 1u) << "scripts opened";
      // The shell hands the file over as the file system names it.
      EXPECT_EQ(scripts[0].sourcePath, CollapsedSeparators(c.scriptPath)) << "the script's path as opened";
      EXPECT_EQ(scripts[0].bytes, expected) << "the script the script host got";
      EXPECT_EQ(scripts[0].info.substr(0, 7), "show=0 ") << "opened with SW_HIDE: " << scripts[0].info;
    }
  } else {
    Sleep(1000);  // a script opened by mistake would be captured by now
    EXPECT_EQ(Captures().size(), 0u) << "no script may be opened";
    EXPECT_LT(elapsed, 1000u) << "no pause without a script";
    EXPECT_FALSE(script.Seen()) << "no script may be written";
  }
  if (c.folderExists) {
    EXPECT_EQ(Joined(DirectoryEntries(folderOnDisk), ", "), "") << "nothing left in the folder";
  } else {
    EXPECT_FALSE(PathPresent(folderOnDisk)) << "a missing folder is not made";
  }
}

INSTANTIATE_TEST_SUITE_P(Folder, ShortcutTest, ::testing::ValuesIn(ShortcutCases()),
                         [](const ::testing::TestParamInfo<ShortcutCase>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace hbtest

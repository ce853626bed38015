// "hollowbranch-publish publish": the server tree it writes for a release,
// and the releases it refuses before writing anything.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "publish_fixture.h"
#include "test_support.h"

namespace {

using pubtest::IniRead;
using pubtest::IniSet;
using pubtest::JoinPath;

TEST(Publish, WritesManifestsAndFilesUnderTheBaseUrl) {
  const std::string release = pubtest::WriteFixtureRelease("publish-layout-release");
  const std::string tree = hbtest::ScratchPath("publish-layout");
  hbtest::RemoveTree(tree);

  pubtest::RunResult result = pubtest::RunPublish({"publish", release, tree, pubtest::FixtureBase});
  ASSERT_EQ(0u, result.exitCode) << pubtest::Joined(result.lines);
  const std::vector<std::string> expectedOutput = {
      "published 2 language(s) and 3 package(s) to " + tree + " for https://updates.example/hb/",
      tree + ": no problems",
  };
  EXPECT_EQ(expectedOutput, result.lines);

  const std::vector<std::string> expectedFiles = {
      "autoupdate_languages.ini", "general_fileinfo.ini", "lang\\English.lng",  "lang\\German.lng",
      "new_updates.ini",          "packages\\Read me.txt", "packages\\product.bin", "packages\\tool.exe",
  };
  EXPECT_EQ(expectedFiles, pubtest::FilesUnder(tree));

  const struct {
    const char* inTree;
    const char* inRelease;
  } copies[] = {
      {"lang\\English.lng", "English.lng"},
      {"lang\\German.lng", "texts\\German.lng"},
      {"packages\\product.bin", "product.bin"},
      {"packages\\Read me.txt", "Read me.txt"},
      {"packages\\tool.exe", "tool.exe"},
  };
  for (const auto& copy : copies) {
    std::optional<std::string> published = hbtest::ReadFileBytes(JoinPath(tree, copy.inTree));
    std::optional<std::string> source = hbtest::ReadFileBytes(JoinPath(release, copy.inRelease));
    ASSERT_TRUE(published.has_value()) << copy.inTree;
    EXPECT_TRUE(published == source) << copy.inTree << " is not a byte-for-byte copy of " << copy.inRelease;
  }

  const std::string general = JoinPath(tree, "general_fileinfo.ini");
  const std::string catalogue = JoinPath(tree, "autoupdate_languages.ini");
  const std::string manifest = JoinPath(tree, "new_updates.ini");
  const struct {
    const std::string& file;
    const char* section;
    const char* key;
    const char* expected;
  } values[] = {
      {general, "LIST", "lang", "https://updates.example/hb/autoupdate_languages.ini"},
      {general, "LIST", "updates", "https://updates.example/hb/new_updates.ini"},
      {catalogue, "LIST", "0", "ENGLISH"},
      {catalogue, "LIST", "1", "GERMAN"},
      {catalogue, "LIST", "2", "0"},
      {catalogue, "ENGLISH", "listname", "English"},
      {catalogue, "ENGLISH", "filename", "English.lng"},
      {catalogue, "ENGLISH", "netlink", "https://updates.example/hb/lang/English.lng"},
      {catalogue, "ENGLISH", "showname", "English"},
      {catalogue, "GERMAN", "listname", "Deutsch"},
      {catalogue, "GERMAN", "filename", "German.lng"},
      {catalogue, "GERMAN", "netlink", "https://updates.example/hb/lang/German.lng"},
      {catalogue, "GERMAN", "showname", "German"},
      {manifest, "PACKAGE", "version", "2.5"},
      {manifest, "PACKAGE", "date", "2024-07-01"},
      {manifest, "LIST", "0", "PRODUCT"},
      {manifest, "LIST", "1", "README"},
      {manifest, "LIST", "2", "TOOL"},
      {manifest, "LIST", "3", "end"},
      {manifest, "PRODUCT", "name", "product"},
      {manifest, "PRODUCT", "install", "C:\\Programme\\Hollowbranch\\Hollowbranch.exe"},
      {manifest, "PRODUCT", "netlink", "https://updates.example/hb/packages/product.bin"},
      {manifest, "PRODUCT", "showname", "Product"},
      {manifest, "PRODUCT", "date", "2024-07-01"},
      {manifest, "README", "install", "C:\\Programme\\Hollowbranch\\Files\\Read me.txt"},
      {manifest, "README", "netlink", "https://updates.example/hb/packages/Read%20me.txt"},
      {manifest, "README", "date", "2024-07-02"},
      {manifest, "TOOL", "name", "tool"},
      {manifest, "TOOL", "install", "1"},
      {manifest, "TOOL", "netlink", "https://updates.example/hb/packages/tool.exe"},
      {manifest, "TOOL", "showname", "Tool"},
      {manifest, "TOOL", "date", "2024-07-03"},
  };
  for (const auto& value : values) {
    EXPECT_EQ(value.expected, IniRead(value.file, value.section, value.key))
        << value.file << " [" << value.section << "] " << value.key;
  }
}

TEST(Publish, BaseUrlGetsOneClosingSlash) {
  const struct {
    const char* base;
    const char* catalogueAddress;
  } cases[] = {
      {"https://updates.example", "https://updates.example/autoupdate_languages.ini"},
      {"https://updates.example:8443/a/b", "https://updates.example:8443/a/b/autoupdate_languages.ini"},
      {"https://updates.example/a/b/", "https://updates.example/a/b/autoupdate_languages.ini"},
  };
  const std::string release = pubtest::WriteFixtureRelease("publish-base-release");
  for (const auto& c : cases) {
    const std::string tree = hbtest::ScratchPath("publish-base");
    hbtest::RemoveTree(tree);
    pubtest::RunResult result = pubtest::RunPublish({"publish", release, tree, c.base});
    EXPECT_EQ(0u, result.exitCode) << c.base << "\n" << pubtest::Joined(result.lines);
    EXPECT_EQ(c.catalogueAddress, IniRead(JoinPath(tree, "general_fileinfo.ini"), "LIST", "lang")) << c.base;
  }
}

TEST(Publish, ValuesTheSetupWouldCutArePublishedAndFailTheCheck) {
  const std::string release = pubtest::WriteFixtureRelease("publish-long-release");
  IniSet(JoinPath(release, "release.ini"), "README", "showname", std::string(60, 'r').c_str());
  const std::string tree = hbtest::ScratchPath("publish-long");
  hbtest::RemoveTree(tree);

  pubtest::RunResult result = pubtest::RunPublish({"publish", release, tree, pubtest::FixtureBase});
  EXPECT_EQ(1u, result.exitCode) << pubtest::Joined(result.lines);
  std::vector<std::string> problems = pubtest::ProblemLines(result);
  ASSERT_FALSE(problems.empty());
  problems.erase(problems.begin());  // the "published ..." line
  EXPECT_EQ(std::vector<std::string>{"new_updates.ini: [README] showname: value is 60 characters; the setup keeps "
                                     "only the first 49"},
            problems);
}

struct BadRelease {
  const char* name;
  std::function<void(const std::string& release)> spoil;
  std::function<std::string(const std::string& release)> expectedLine;
};

void PrintTo(const BadRelease& c, std::ostream* os) { *os << c.name; }

std::string Ini(const std::string& release) { return JoinPath(release, "release.ini"); }
std::function<std::string(const std::string&)> Line(const char* line) {
  return [line](const std::string&) { return std::string(line); };
}

const BadRelease BadReleases[] = {
    {"PackageKeyMissing", [](const std::string& r) { IniSet(Ini(r), "README", "date", nullptr); },
     Line("release.ini: [README] date: key is missing")},
    {"LanguageKeyEmpty", [](const std::string& r) { IniSet(Ini(r), "GERMAN", "listname", ""); },
     Line("release.ini: [GERMAN] listname: value is empty")},
    {"ReleaseVersionMissing", [](const std::string& r) { IniSet(Ini(r), "RELEASE", "version", nullptr); },
     Line("release.ini: [RELEASE] version: key is missing")},
    {"TargetAndInstaller", [](const std::string& r) { IniSet(Ini(r), "PRODUCT", "installer", "1"); },
     Line("release.ini: [PRODUCT]: needs either \"target\" or \"installer=1\"")},
    {"NeitherTargetNorInstaller", [](const std::string& r) { IniSet(Ini(r), "TOOL", "installer", nullptr); },
     Line("release.ini: [TOOL]: needs either \"target\" or \"installer=1\"")},
    {"InstallerNotOne", [](const std::string& r) { IniSet(Ini(r), "TOOL", "installer", "yes"); },
     Line("release.ini: [TOOL] installer: must be 1")},
    {"FileMissing", [](const std::string& r) { DeleteFileA(JoinPath(r, "tool.exe").c_str()); },
     [](const std::string& r) { return "release.ini: [TOOL] file: \"" + JoinPath(r, "tool.exe") + "\" does not exist"; }},
    {"TwoFilesOfOneName", [](const std::string& r) { IniSet(Ini(r), "GERMAN", "file", "texts\\..\\English.lng"); },
     Line("release.ini: [GERMAN] file: another file of the release is also named \"English.lng\"")},
    {"ListWithGap", [](const std::string& r) {
       IniSet(Ini(r), "PACKAGES", "2", nullptr);
       IniSet(Ini(r), "PACKAGES", "3", "TOOL");
     },
     Line("release.ini: [PACKAGES]: keys must be 0, 1, 2, ... without gaps")},
    {"SectionListedTwice", [](const std::string& r) { IniSet(Ini(r), "LANGUAGES", "2", "english"); },
     Line("release.ini: [LANGUAGES] 2: section \"english\" is listed more than once")},
    {"ListedSectionMissing", [](const std::string& r) { IniSet(Ini(r), "PACKAGES", "3", "EXTRA"); },
     Line("release.ini: [PACKAGES] 3: names no section (\"EXTRA\")")},
    {"ReservedSectionName", [](const std::string& r) { IniSet(Ini(r), "LANGUAGES", "2", "List"); },
     Line("release.ini: [LANGUAGES] 2: section name \"List\" is reserved")},
    {"NoPackages", [](const std::string& r) { IniSet(Ini(r), "PACKAGES", nullptr, nullptr); },
     Line("release.ini: [PACKAGES]: lists nothing")},
};

class PublishBadRelease : public testing::TestWithParam<BadRelease> {};

TEST_P(PublishBadRelease, NamesTheFaultAndWritesNothing) {
  const BadRelease& bad = GetParam();
  const std::string release = pubtest::WriteFixtureRelease("publish-bad-release");
  bad.spoil(release);
  const std::string tree = hbtest::ScratchPath("publish-bad");
  hbtest::RemoveTree(tree);

  pubtest::RunResult result = pubtest::RunPublish({"publish", release, tree, pubtest::FixtureBase});
  EXPECT_EQ(1u, result.exitCode) << pubtest::Joined(result.lines);
  const std::string expected = bad.expectedLine(release);
  bool named = false;
  for (const std::string& line : result.lines) named = named || line == expected;
  EXPECT_TRUE(named) << "expected the line\n  " << expected << "\noutput:\n" << pubtest::Joined(result.lines);
  EXPECT_FALSE(hbtest::PathPresent(tree)) << "a refused release must leave no tree";
}

INSTANTIATE_TEST_SUITE_P(Refused, PublishBadRelease, testing::ValuesIn(BadReleases),
                         [](const testing::TestParamInfo<BadRelease>& info) { return info.param.name; });

TEST(Publish, RefusesAnOutputFolderThatIsNotEmpty) {
  // Profile writes would merge the new manifests into old ones.
  const std::string release = pubtest::WriteFixtureRelease("publish-used-release");
  const std::string tree = hbtest::ScratchPath("publish-used");
  hbtest::RemoveTree(tree);
  CreateDirectoryA(tree.c_str(), nullptr);
  ASSERT_TRUE(hbtest::WriteFileBytes(JoinPath(tree, "new_updates.ini"), "[LIST]\r\n7=OLD\r\n"));

  pubtest::RunResult result = pubtest::RunPublish({"publish", release, tree, pubtest::FixtureBase});
  EXPECT_EQ(1u, result.exitCode) << pubtest::Joined(result.lines);
  ASSERT_FALSE(result.lines.empty());
  EXPECT_EQ(tree + ": the output folder must be new or empty", result.lines.front());
  EXPECT_EQ(std::vector<std::string>{"new_updates.ini"}, pubtest::FilesUnder(tree));
  EXPECT_EQ("[LIST]\r\n7=OLD\r\n", hbtest::ReadFileBytes(JoinPath(tree, "new_updates.ini")).value_or(""));
}

TEST(Publish, BadArgumentsEndWithStatusTwo) {
  const std::string release = pubtest::WriteFixtureRelease("publish-args-release");
  const std::string tree = hbtest::ScratchPath("publish-args");
  const std::string noRelease = hbtest::ScratchPath("publish-args-none");
  hbtest::RemoveTree(noRelease);
  const std::vector<std::vector<std::string>> commands = {
      {},
      {"publish", release, tree},
      {"publish", release, tree, "http://updates.example/hb/"},
      {"publish", release, tree, "updates.example/hb/"},
      {"publish", release, tree, "https://"},
      {"publish", noRelease, tree, pubtest::FixtureBase},
      {"check"},
      {"verify", tree},
  };
  for (const std::vector<std::string>& command : commands) {
    hbtest::RemoveTree(tree);
    pubtest::RunResult result = pubtest::RunPublish(command);
    std::string shown;
    for (const std::string& argument : command) shown += " " + argument;
    EXPECT_EQ(2u, result.exitCode) << shown << "\n" << pubtest::Joined(result.lines);
    EXPECT_FALSE(hbtest::PathPresent(tree)) << shown;
  }
}

}  // namespace

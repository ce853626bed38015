// "hollowbranch-publish check" on trees with one fault each: the fault is
// named in exactly one line, with file, section and key, and the exit status
// is 1. Values at the edge of what the setup takes pass, with status 0.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "publish_fixture.h"
#include "test_support.h"

namespace {

using pubtest::IniSet;
using pubtest::JoinPath;
using pubtest::ReplaceInFile;

// The fixture tree: published for https://updates.example/hb/.
struct Tree {
  std::string root;
  std::string general() const { return JoinPath(root, "general_fileinfo.ini"); }
  std::string catalogue() const { return JoinPath(root, "autoupdate_languages.ini"); }
  std::string manifest() const { return JoinPath(root, "new_updates.ini"); }
  std::string file(const char* relative) const { return JoinPath(root, relative); }
};

std::string Address(const std::string& path) { return std::string(pubtest::FixtureBase) + path; }

// Rows 2 to count - 1 are more languages like English.
void AddLanguages(const Tree& tree, int count) {
  for (int row = 2; row < count; ++row) {
    const std::string section = "MORE" + std::to_string(row);
    IniSet(tree.catalogue(), "LIST", std::to_string(row).c_str(), section.c_str());
    IniSet(tree.catalogue(), section.c_str(), "listname", section.c_str());
    IniSet(tree.catalogue(), section.c_str(), "filename", "English.lng");
    IniSet(tree.catalogue(), section.c_str(), "netlink", Address("lang/English.lng").c_str());
    IniSet(tree.catalogue(), section.c_str(), "showname", section.c_str());
  }
  IniSet(tree.catalogue(), "LIST", std::to_string(count).c_str(), "0");
}

struct BrokenTree {
  const char* name;
  std::function<void(const Tree&)> breakIt;
  std::string expectedLine;
};

void PrintTo(const BrokenTree& c, std::ostream* os) { *os << c.name; }

const BrokenTree BrokenTrees[] = {
    {"GeneralFileInfoMissing", [](const Tree& t) { DeleteFileA(t.general().c_str()); },
     "general_fileinfo.ini: the tree lacks this file; the setup fetches it first and stops without it"},
    {"AddressKeyMissing", [](const Tree& t) { IniSet(t.general(), "LIST", "lang", nullptr); },
     "general_fileinfo.ini: [LIST] lang: key is missing; the setup would read \"0\""},
    {"AddressLongerThan499",
     [](const Tree& t) {
       std::string address = Address("");
       address += std::string(500 - address.size() - 4, 'a') + ".ini";
       IniSet(t.general(), "LIST", "updates", address.c_str());
     },
     "general_fileinfo.ini: [LIST] updates: value is 500 characters; the setup keeps only the first 499"},
    {"LanguageValueLongerThanField",
     [](const Tree& t) { IniSet(t.catalogue(), "GERMAN", "listname", std::string(50, 'x').c_str()); },
     "autoupdate_languages.ini: [GERMAN] listname: value is 50 characters; the setup keeps only the first 49"},
    {"PackageDateLongerThanField",
     [](const Tree& t) { IniSet(t.manifest(), "TOOL", "date", "2024-07-03T10:00:00Z"); },
     "new_updates.ini: [TOOL] date: value is 20 characters; the setup keeps only the first 19"},
    {"CatalogueListNamesNoSection", [](const Tree& t) { IniSet(t.catalogue(), "LIST", "1", "DEUTSCH"); },
     "autoupdate_languages.ini: [LIST] 1: names no section (\"DEUTSCH\")"},
    {"ManifestListNamesNoSection", [](const Tree& t) { IniSet(t.manifest(), "LIST", "1", "READ_ME"); },
     "new_updates.ini: [LIST] 1: names no section (\"READ_ME\")"},
    {"ManifestListEntryEmpty", [](const Tree& t) { IniSet(t.manifest(), "LIST", "1", ""); },
     "new_updates.ini: [LIST] 1: names no section (\"\")"},
    {"LanguageKeyMissing", [](const Tree& t) { IniSet(t.catalogue(), "ENGLISH", "netlink", nullptr); },
     "autoupdate_languages.ini: [ENGLISH] netlink: key is missing; the setup would read \"0\""},
    {"PackageKeyMissing", [](const Tree& t) { IniSet(t.manifest(), "README", "showname", nullptr); },
     "new_updates.ini: [README] showname: key is missing; the setup would read \"0\""},
    {"PackageInstallMissing", [](const Tree& t) { IniSet(t.manifest(), "TOOL", "install", nullptr); },
     "new_updates.ini: [TOOL] install: key is missing; the setup would read \"0\""},
    {"PackageSetVersionMissing", [](const Tree& t) { IniSet(t.manifest(), "PACKAGE", "version", nullptr); },
     "new_updates.ini: [PACKAGE] version: key is missing; the setup would read \"0\""},
    {"AddressNotHttps",
     [](const Tree& t) {
       IniSet(t.manifest(), "README", "netlink", "http://updates.example/hb/packages/Read%20me.txt");
     },
     "new_updates.ini: [README] netlink: address \"http://updates.example/hb/packages/Read%20me.txt\" is not https"},
    {"AddressOfFileTheTreeLacks", [](const Tree& t) { DeleteFileA(t.file("packages\\Read me.txt").c_str()); },
     "new_updates.ini: [README] netlink: address \"https://updates.example/hb/packages/Read%20me.txt\" names "
     "packages\\Read me.txt, which the tree lacks"},
    {"LanguageFileTheTreeLacks", [](const Tree& t) { DeleteFileA(t.file("lang\\German.lng").c_str()); },
     "autoupdate_languages.ini: [GERMAN] netlink: address \"https://updates.example/hb/lang/German.lng\" names "
     "lang\\German.lng, which the tree lacks"},
    {"AddressOfAFolder",
     [](const Tree& t) { IniSet(t.manifest(), "TOOL", "netlink", Address("packages").c_str()); },
     "new_updates.ini: [TOOL] netlink: address \"https://updates.example/hb/packages\" names packages, which the "
     "tree lacks"},
    {"AddressOutsideTheBase",
     [](const Tree& t) {
       IniSet(t.manifest(), "PRODUCT", "netlink", "https://cdn.example/hb/packages/product.bin");
     },
     "new_updates.ini: [PRODUCT] netlink: address \"https://cdn.example/hb/packages/product.bin\" is not under the "
     "tree's base URL https://updates.example/hb/"},
    {"AddressClimbingOutOfTheTree",
     [](const Tree& t) { IniSet(t.manifest(), "PRODUCT", "netlink", Address("../hb/packages/product.bin").c_str()); },
     "new_updates.ini: [PRODUCT] netlink: address \"https://updates.example/hb/../hb/packages/product.bin\" names "
     "no file of the tree"},
    {"AddressInOtherLetterCase",
     [](const Tree& t) { IniSet(t.catalogue(), "GERMAN", "netlink", Address("lang/german.lng").c_str()); },
     "autoupdate_languages.ini: [GERMAN] netlink: address \"https://updates.example/hb/lang/german.lng\" names "
     "lang\\german.lng, but the tree spells it lang\\German.lng (the server may match names letter for letter)"},
    {"TargetPathRelative",
     [](const Tree& t) { IniSet(t.manifest(), "README", "install", "Programme\\Hollowbranch\\readme.txt"); },
     "new_updates.ini: [README] install: target path \"Programme\\Hollowbranch\\readme.txt\" is not absolute (a "
     "drive letter and \":\\\", or \"\\\\server\\share\\\")"},
    {"TargetPathDriveRelative", [](const Tree& t) { IniSet(t.manifest(), "README", "install", "C:readme.txt"); },
     "new_updates.ini: [README] install: target path \"C:readme.txt\" is not absolute (a drive letter and \":\\\", "
     "or \"\\\\server\\share\\\")"},
    {"TargetPathZero", [](const Tree& t) { IniSet(t.manifest(), "README", "install", "0"); },
     "new_updates.ini: [README] install: target path \"0\" is not absolute (a drive letter and \":\\\", or "
     "\"\\\\server\\share\\\")"},
    {"TargetInFolderTheSetupDoesNotMake",
     [](const Tree& t) { IniSet(t.manifest(), "README", "install", "C:\\Programme\\Hollowbranch\\Docs\\readme.txt"); },
     "new_updates.ini: [README] install: target path \"C:\\Programme\\Hollowbranch\\Docs\\readme.txt\" is in a "
     "folder the setup does not make (C:\\Programme\\Hollowbranch\\Docs)"},
    {"TargetOnTheSetupsOwnFile",
     [](const Tree& t) {
       IniSet(t.manifest(), "README", "install", "C:\\ProgramData\\Hollowbranch\\Options\\updates.ini");
     },
     "new_updates.ini: [README] install: target path \"C:\\ProgramData\\Hollowbranch\\Options\\updates.ini\" is "
     "one of the setup's own working files"},
    {"FifteenLanguages", [](const Tree& t) { AddLanguages(t, 15); },
     "autoupdate_languages.ini: [LIST]: 15 languages; the setup offers at most 14"},
    {"LanguageFileWithoutKey",
     [](const Tree& t) { ReplaceInFile(t.file("lang\\German.lng"), "SP#exist = \"Bereits installiert.\"\n", ""); },
     "lang\\German.lng: SP#exist: no text for this key; the setup would show \"SP#exist\""},
    {"LanguageTextEmpty", [](const Tree& t) { ReplaceInFile(t.file("lang\\German.lng"), "\"Reparieren\"", "\"\""); },
     "lang\\German.lng: SP#repair: no text for this key; the setup would show \"SP#repair\""},
    {"LanguageTextLongerThanSlot",
     [](const Tree& t) { ReplaceInFile(t.file("lang\\German.lng"), "\"Reparieren\"", "\"Reparieren lassen!!!\""); },
     "lang\\German.lng: SP#repair: text is 20 characters; its slot holds 19"},
    {"LongerKeysLineFirst",
     [](const Tree& t) {
       ReplaceInFile(t.file("lang\\English.lng"), "SP#uninstall = \"Uninstall\"\r\n", "");
       ReplaceInFile(t.file("lang\\English.lng"), "SP#exist", "SP#uninstall = \"Uninstall\"\r\nSP#exist");
     },
     "lang\\English.lng: SP#uninstall: the first line that contains this key is line 6 (\"SP#uninstall_succeed\"); "
     "the setup would show that line's text"},
    {"LanguageTextInUtf8",
     [](const Tree& t) { ReplaceInFile(t.file("lang\\German.lng"), "M\xF6" "chten", "M\xC3\xB6" "chten"); },
     "lang\\German.lng: SP#want_to_uninstall: text is UTF-8; the setup shows its bytes as ANSI (Windows-1252) "
     "characters"},
    {"PackageNameUsedTwice", [](const Tree& t) { IniSet(t.manifest(), "TOOL", "name", "Readme"); },
     "new_updates.ini: [TOOL] name: \"Readme\" is also the name of [README]; updates.ini keeps one date per name"},
    {"FilePackageNamedVersion", [](const Tree& t) { IniSet(t.manifest(), "README", "name", "version"); },
     "new_updates.ini: [README] name: \"version\" would replace the package set's date in updates.ini"},
    {"ManifestListKeyAfterTheEnd", [](const Tree& t) { IniSet(t.manifest(), "LIST", "5", "TOOL"); },
     "new_updates.ini: [LIST] 5: never read: the setup's list ends at 3"},
    {"CatalogueListGap", [](const Tree& t) { IniSet(t.catalogue(), "LIST", "1", nullptr); },
     "autoupdate_languages.ini: [LIST] 2: never read: the setup's list ends at 1"},
    {"NoPackages",
     [](const Tree& t) {
       IniSet(t.manifest(), "LIST", "0", "END");
       for (const char* key : {"1", "2", "3"}) IniSet(t.manifest(), "LIST", key, nullptr);
     },
     "new_updates.ini: [LIST]: no packages; the setup would install nothing"},
    {"ListNameBeginsWithThePrompt",
     [](const Tree& t) { IniSet(t.catalogue(), "GERMAN", "listname", "Please select a language: Deutsch"); },
     "autoupdate_languages.ini: [GERMAN] listname: \"Please select a language: Deutsch\" begins with \"Please "
     "select a language\"; the language box would select it in place of the prompt"},
    {"LanguageFileNameWithFolder",
     [](const Tree& t) { IniSet(t.catalogue(), "GERMAN", "filename", "..\\German.lng"); },
     "autoupdate_languages.ini: [GERMAN] filename: \"..\\German.lng\" is not a plain file name; the file is stored "
     "in the language folder"},
};

class CheckBrokenTree : public testing::TestWithParam<BrokenTree> {};

TEST_P(CheckBrokenTree, NamesTheFaultInOneLineAndFails) {
  const BrokenTree& broken = GetParam();
  Tree tree{pubtest::PublishFixtureTree("check-broken")};
  broken.breakIt(tree);

  pubtest::RunResult result = pubtest::RunPublish({"check", tree.root});
  EXPECT_EQ(1u, result.exitCode) << "output:\n" << pubtest::Joined(result.lines);
  EXPECT_EQ(std::vector<std::string>{broken.expectedLine}, pubtest::ProblemLines(result))
      << "output:\n" << pubtest::Joined(result.lines);
  ASSERT_FALSE(result.lines.empty());
  EXPECT_EQ(tree.root + ": 1 problem(s)", result.lines.back());
}

INSTANTIATE_TEST_SUITE_P(Faults, CheckBrokenTree, testing::ValuesIn(BrokenTrees),
                         [](const testing::TestParamInfo<BrokenTree>& info) { return info.param.name; });

struct EdgeTree {
  const char* name;
  std::function<void(const Tree&)> change;
};

void PrintTo(const EdgeTree& c, std::ostream* os) { *os << c.name; }

const EdgeTree EdgeTrees[] = {
    {"Unchanged", [](const Tree&) {}},
    {"ValueOfExactlyCapacityMinusOne",
     [](const Tree& t) { IniSet(t.catalogue(), "GERMAN", "listname", std::string(49, 'x').c_str()); }},
    {"TextOfExactlySlotCapacityMinusOne",
     [](const Tree& t) {
       ReplaceInFile(t.file("lang\\German.lng"), "\"Deinstallieren\"", "\"Deinstallieren, sofort!\"");
     }},
    {"QuotesInsideAText",
     [](const Tree& t) { ReplaceInFile(t.file("lang\\English.lng"), "\"Removed.\"", "\"\"Removed\" it.\""); }},
    {"FourteenLanguages", [](const Tree& t) { AddLanguages(t, 14); }},
    {"UncTarget", [](const Tree& t) { IniSet(t.manifest(), "README", "install", "\\\\server\\share\\readme.txt"); }},
    {"TargetOutsideTheSetupsTrees", [](const Tree& t) { IniSet(t.manifest(), "README", "install", "D:\\readme.txt"); }},
    {"TargetInASetupFolderInOtherLetterCase",
     [](const Tree& t) { IniSet(t.manifest(), "README", "install", "C:\\programme\\hollowbranch\\icons\\a.ico"); }},
    {"HostAndSchemeInOtherLetterCase",
     [](const Tree& t) { IniSet(t.manifest(), "TOOL", "netlink", "HTTPS://UPDATES.example/hb/packages/tool.exe"); }},
    {"SectionAndKeyNamesInOtherLetterCase",
     [](const Tree& t) {
       ReplaceInFile(t.manifest(), "[README]", "[readme]");
       ReplaceInFile(t.catalogue(), "netlink=", "NETLINK=");
     }},
    {"ExplicitListEndInOtherLetterCase", [](const Tree& t) { IniSet(t.manifest(), "LIST", "3", "End"); }},
};

class CheckEdgeTree : public testing::TestWithParam<EdgeTree> {};

TEST_P(CheckEdgeTree, PassesWithStatusZero) {
  Tree tree{pubtest::PublishFixtureTree("check-edge")};
  GetParam().change(tree);

  pubtest::RunResult result = pubtest::RunPublish({"check", tree.root});
  EXPECT_EQ(0u, result.exitCode) << "output:\n" << pubtest::Joined(result.lines);
  EXPECT_EQ(std::vector<std::string>{tree.root + ": no problems"}, result.lines);
}

INSTANTIATE_TEST_SUITE_P(Accepted, CheckEdgeTree, testing::ValuesIn(EdgeTrees),
                         [](const testing::TestParamInfo<EdgeTree>& info) { return info.param.name; });

TEST(Check, ReportsEveryFaultOfATreeInFileOrder) {
  Tree tree{pubtest::PublishFixtureTree("check-several")};
  IniSet(tree.manifest(), "README", "showname", nullptr);
  IniSet(tree.manifest(), "TOOL", "name", "product");
  DeleteFileA(tree.file("lang\\English.lng").c_str());

  pubtest::RunResult result = pubtest::RunPublish({"check", tree.root});
  EXPECT_EQ(1u, result.exitCode);
  const std::vector<std::string> expected = {
      "autoupdate_languages.ini: [ENGLISH] netlink: address \"https://updates.example/hb/lang/English.lng\" names "
      "lang\\English.lng, which the tree lacks",
      "new_updates.ini: [README] showname: key is missing; the setup would read \"0\"",
      "new_updates.ini: [TOOL] name: \"product\" is also the name of [PRODUCT]; updates.ini keeps one date per name",
  };
  EXPECT_EQ(expected, pubtest::ProblemLines(result)) << pubtest::Joined(result.lines);
  ASSERT_FALSE(result.lines.empty());
  EXPECT_EQ(tree.root + ": 3 problem(s)", result.lines.back());
}

TEST(Check, FolderThatIsNoTreeFails) {
  const std::string missing = hbtest::ScratchPath("check-no-such-tree");
  hbtest::RemoveTree(missing);
  pubtest::RunResult result = pubtest::RunPublish({"check", missing});
  EXPECT_EQ(1u, result.exitCode) << pubtest::Joined(result.lines);
  EXPECT_EQ(std::vector<std::string>{missing + ": no such folder"}, pubtest::ProblemLines(result));
}

}  // namespace

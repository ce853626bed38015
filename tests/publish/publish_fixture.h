#pragma once
// Runs hollowbranch-publish and builds the small release and trees the
// tests feed it.
#include <string>
#include <vector>

namespace pubtest {

struct RunResult {
  unsigned long exitCode = 0;
  std::vector<std::string> lines;  // stdout and stderr, without line ends
};

RunResult RunProgram(const std::string& exe, const std::vector<std::string>& args);
RunResult RunPublish(const std::vector<std::string>& args);

std::string PublishExe();
std::string SampleReleaseDir();

// Every line but the closing summary of a check ("...: 2 problem(s)").
std::vector<std::string> ProblemLines(const RunResult& result);
std::string Joined(const std::vector<std::string>& lines);

// The base URL the fixture tree is published for: a folder, not the root.
inline constexpr char FixtureBase[] = "https://updates.example/hb/";

// A fresh release folder with a small clean release: English and German,
// a product file, a readme with a space in its name and an installer.
std::string WriteFixtureRelease(const std::string& name);

// A published fixture tree in a fresh folder; the test fails if the publish
// did not come out clean.
std::string PublishFixtureTree(const std::string& name);

std::string JoinPath(const std::string& folder, const std::string& name);
std::string IniRead(const std::string& file, const char* section, const char* key);
// value nullptr deletes the key; the file is written to disk at once.
void IniSet(const std::string& file, const char* section, const char* key, const char* value);
// Replaces the first occurrence of from in the file; fails the test when absent.
void ReplaceInFile(const std::string& file, const std::string& from, const std::string& to);

// Every file under root, as sorted "\"-separated relative paths.
std::vector<std::string> FilesUnder(const std::string& root);

// The eight keys and short texts of an English language file.
std::string EnglishLanguageFile();

}  // namespace pubtest

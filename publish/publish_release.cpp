#include "publish/publish_release.h"

#include <cctype>
#include <cstdio>
#include <set>
#include <vector>

#include "publish/addresses.h"
#include "publish/ini_access.h"
#include "publish/release_description.h"
#include "publish/tree_check.h"
#include "publish/tree_files.h"

namespace {

// Where the files lie in the tree, and so under the base URL.
const char LanguageFolder[] = "lang";
const char PackageFolder[] = "packages";

struct TreeFile {
  std::string source;    // full path in the release
  std::string folder;    // LanguageFolder or PackageFolder
  std::string name;      // file name in that folder
};

std::string Address(const std::string& base, const std::string& folder, const std::string& name) {
  std::string address = base;
  if (!folder.empty()) address += folder + "/";
  return address + PercentEncoded(name);
}

std::string ReleaseFilePath(const std::string& releaseFolder, const std::string& file) {
  bool full = (file.size() > 2 && file[1] == ':') || (file.size() > 1 && file[0] == '\\' && file[1] == '\\');
  return FullPath(full ? file : JoinPath(releaseFolder, file));
}

// Collects one file for the tree; two files that would share a name in one
// folder are a problem, whatever the letter case.
TreeFile PlanFile(const std::string& releaseFolder, const std::string& section, const std::string& file,
                  const char* folder, std::set<std::string>& names, ProblemList& problems) {
  TreeFile planned{ReleaseFilePath(releaseFolder, file), folder, BaseName(file)};
  if (!file.empty() && !IsFile(planned.source)) {
    AddProblem(problems, ReleaseDescriptionName, section, "file", Quoted(planned.source) + " does not exist");
  }
  std::string key = std::string(folder) + "/" + planned.name;
  for (char& c : key) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  if (!planned.name.empty() && !names.insert(key).second) {
    AddProblem(problems, ReleaseDescriptionName, section, "file",
               "another file of the release is also named " + Quoted(planned.name));
  }
  return planned;
}

bool CopyIntoTree(const std::string& outFolder, const TreeFile& file) {
  std::string folder = JoinPath(outFolder, file.folder);
  if (!MakeFolders(folder)) return false;
  return CopyFileNew(file.source, JoinPath(folder, file.name));
}

void WriteGeneralFileInfo(const std::string& outFolder, const std::string& base) {
  const std::string path = JoinPath(outFolder, GeneralFileInfoName);
  IniWrite(path, "LIST", "lang", Address(base, "", CatalogueName));
  IniWrite(path, "LIST", "updates", Address(base, "", PackageManifestName));
  IniFlush(path);
}

void WriteCatalogue(const std::string& outFolder, const std::string& base, const Release& release) {
  const std::string path = JoinPath(outFolder, CatalogueName);
  size_t row = 0;
  for (const ReleaseLanguage& language : release.languages) {
    IniWrite(path, "LIST", std::to_string(row++), language.section);
  }
  IniWrite(path, "LIST", std::to_string(row), "0");
  for (const ReleaseLanguage& language : release.languages) {
    IniWrite(path, language.section, "listname", language.listname);
    IniWrite(path, language.section, "filename", BaseName(language.file));
    IniWrite(path, language.section, "netlink", Address(base, LanguageFolder, BaseName(language.file)));
    IniWrite(path, language.section, "showname", language.showname);
  }
  IniFlush(path);
}

void WritePackageManifest(const std::string& outFolder, const std::string& base, const Release& release) {
  const std::string path = JoinPath(outFolder, PackageManifestName);
  IniWrite(path, "PACKAGE", "version", release.version);
  IniWrite(path, "PACKAGE", "date", release.date);
  size_t position = 0;
  for (const ReleasePackage& package : release.packages) {
    IniWrite(path, "LIST", std::to_string(position++), package.section);
  }
  IniWrite(path, "LIST", std::to_string(position), "end");
  for (const ReleasePackage& package : release.packages) {
    IniWrite(path, package.section, "name", package.name);
    IniWrite(path, package.section, "install", package.installer ? "1" : package.target);
    IniWrite(path, package.section, "netlink", Address(base, PackageFolder, BaseName(package.file)));
    IniWrite(path, package.section, "showname", package.showname);
    IniWrite(path, package.section, "date", package.date);
  }
  IniFlush(path);
}

}  // namespace

int PublishRelease(const std::string& releaseFolder, const std::string& outFolder, const std::string& baseUrl) {
  if (!IsHttpsAddress(baseUrl) || baseUrl.find_first_of("?#") != std::string::npos) {
    std::printf("base URL %s is not an https address of a folder\n", Quoted(baseUrl).c_str());
    return 2;
  }
  const std::string base = BaseWithSlash(baseUrl);
  const std::string release = FullPath(releaseFolder);
  const std::string out = FullPath(outFolder);
  const std::string description = JoinPath(release, ReleaseDescriptionName);
  if (!IsFile(description)) {
    std::printf("%s: no such file\n", description.c_str());
    return 2;
  }

  Release contents;
  ProblemList problems;
  ReadReleaseDescription(description, contents, problems);
  std::set<std::string> names;
  std::vector<TreeFile> files;
  for (const ReleaseLanguage& language : contents.languages) {
    files.push_back(PlanFile(release, language.section, language.file, LanguageFolder, names, problems));
  }
  for (const ReleasePackage& package : contents.packages) {
    files.push_back(PlanFile(release, package.section, package.file, PackageFolder, names, problems));
  }
  // Profile writes would merge into manifests left from an earlier release.
  if (!IsMissingOrEmptyFolder(out)) {
    AddProblem(problems, out, "", "", "the output folder must be new or empty");
  }
  if (!problems.empty()) {
    PrintProblems(problems);
    std::printf("%s: %u problem(s); nothing published\n", description.c_str(),
                static_cast<unsigned>(problems.size()));
    return 1;
  }

  if (!MakeFolders(out)) {
    std::printf("%s: cannot make this folder\n", out.c_str());
    return 2;
  }
  for (const TreeFile& file : files) {
    if (!CopyIntoTree(out, file)) {
      std::printf("%s: cannot copy into %s\n", file.source.c_str(), JoinPath(out, file.folder).c_str());
      return 2;
    }
  }
  WriteCatalogue(out, base, contents);
  WritePackageManifest(out, base, contents);
  WriteGeneralFileInfo(out, base);
  std::printf("published %u language(s) and %u package(s) to %s for %s\n",
              static_cast<unsigned>(contents.languages.size()), static_cast<unsigned>(contents.packages.size()),
              out.c_str(), base.c_str());
  return ReportTreeCheck(out);
}

#include "publish/tree_check.h"

#include <cstdio>

#include "install/manifests.h"
#include "publish/addresses.h"
#include "publish/check_context.h"
#include "publish/ini_access.h"
#include "publish/tree_files.h"

namespace {

std::string DecimalText(int n) {
  char text[16];
  std::snprintf(text, sizeof text, "%d", n);
  return text;
}

// The addresses of the catalogue and of the package manifest; the catalogue's
// folder is the tree's base URL.
void CheckGeneralFileInfo(TreeCheck& check) {
  const std::string path = JoinPath(check.root, GeneralFileInfoName);
  if (!IsFile(path)) {
    AddProblem(check.problems, GeneralFileInfoName, "", "",
               "the tree lacks this file; the setup fetches it first and stops without it");
    return;
  }
  const std::size_t capacity = ManifestAddressCapacity;
  SetupValue lang = ReadAsSetup(check, path, GeneralFileInfoName, "LIST", "lang", capacity);
  SetupValue updates = ReadAsSetup(check, path, GeneralFileInfoName, "LIST", "updates", capacity);

  if (lang.present && !lang.cut && IsHttpsAddress(lang.value)) {
    check.baseUrl = AddressFolder(lang.value);
  } else if (updates.present && !updates.cut && IsHttpsAddress(updates.value)) {
    check.baseUrl = AddressFolder(updates.value);
  }

  if (lang.present && !lang.cut) {
    std::string label;
    std::string catalogue = CheckAddress(check, GeneralFileInfoName, "LIST", "lang", lang.value, &label);
    if (!catalogue.empty()) CheckCatalogue(check, catalogue, label);
  }
  if (updates.present && !updates.cut) {
    std::string label;
    std::string manifest = CheckAddress(check, GeneralFileInfoName, "LIST", "updates", updates.value, &label);
    if (!manifest.empty()) CheckPackageManifest(check, manifest, label);
  }
}

}  // namespace

SetupValue ReadAsSetup(TreeCheck& check, const std::string& iniPath, const std::string& label,
                       const std::string& section, const std::string& key, std::size_t capacity,
                       const char* defaultValue) {
  SetupValue read;
  read.present = IniHasKey(iniPath, section, key);
  if (!read.present) {
    AddProblem(check.problems, label, section, key,
               std::string("key is missing; the setup would read ") + Quoted(defaultValue));
    read.value = defaultValue;
    return read;
  }
  read.value = IniValue(iniPath, section, key);
  if (read.value.size() > capacity - 1) {
    AddProblem(check.problems, label, section, key,
               "value is " + std::to_string(read.value.size()) + " characters; the setup keeps only the first " +
                   std::to_string(capacity - 1));
    read.value.resize(capacity - 1);
    read.cut = true;
  }
  return read;
}

std::string CheckAddress(TreeCheck& check, const std::string& label, const std::string& section,
                         const std::string& key, const std::string& address, std::string* treeLabel) {
  const std::string quoted = "address " + Quoted(address);
  if (!IsHttpsAddress(address)) {
    AddProblem(check.problems, label, section, key, quoted + " is not https");
    return std::string();
  }
  // Without a base (already reported at general_fileinfo.ini) no address can
  // be matched to a file.
  if (check.baseUrl.empty()) return std::string();
  if (!IsUnderBase(address, check.baseUrl)) {
    AddProblem(check.problems, label, section, key, quoted + " is not under the tree's base URL " + check.baseUrl);
    return std::string();
  }
  std::string treePath;
  if (!AddressToTreePath(address, check.baseUrl, treePath)) {
    AddProblem(check.problems, label, section, key, quoted + " names no file of the tree");
    return std::string();
  }
  TreeLookup lookup = LookUpInTree(check.root, treePath);
  if (lookup.spelledOtherwise) {
    AddProblem(check.problems, label, section, key,
               quoted + " names " + treePath + ", but the tree spells it " + lookup.actualPath +
                   " (the server may match names letter for letter)");
    return std::string();
  }
  if (!lookup.found) {
    AddProblem(check.problems, label, section, key, quoted + " names " + treePath + ", which the tree lacks");
    return std::string();
  }
  if (treeLabel) *treeLabel = lookup.actualPath;
  return lookup.fullPath;
}

void ReportUnreadListKeys(TreeCheck& check, const std::string& iniPath, const std::string& label,
                          int endPosition) {
  for (const std::string& key : IniKeyNames(iniPath, "LIST")) {
    bool read = false;
    for (int position = 0; position <= endPosition && !read; ++position) {
      read = key == DecimalText(position);
    }
    if (!read) {
      AddProblem(check.problems, label, "LIST", key,
                 "never read: the setup's list ends at " + DecimalText(endPosition));
    }
  }
}

ProblemList CheckTree(const std::string& root) {
  TreeCheck check;
  check.root = FullPath(root);
  if (!IsFolder(check.root)) {
    AddProblem(check.problems, check.root, "", "", "no such folder");
    return check.problems;
  }
  CheckGeneralFileInfo(check);
  return check.problems;
}

int ReportTreeCheck(const std::string& root) {
  ProblemList problems = CheckTree(root);
  PrintProblems(problems);
  if (problems.empty()) {
    std::printf("%s: no problems\n", FullPath(root).c_str());
  } else {
    std::printf("%s: %u problem(s)\n", FullPath(root).c_str(), static_cast<unsigned>(problems.size()));
  }
  std::fflush(stdout);
  return problems.empty() ? 0 : 1;
}

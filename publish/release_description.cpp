#include "publish/release_description.h"

#include <cctype>
#include <cstdlib>
#include <set>

#include "publish/ini_access.h"

namespace {

const char* const Label = ReleaseDescriptionName;

// Sections that are release.ini's own or that the server's manifests use
// themselves, and the values that end a manifest's list.
const char* const ReservedSections[] = {"RELEASE", "LANGUAGES", "PACKAGES", "LIST", "PACKAGE", "0", "end"};

std::string Required(const std::string& path, const std::string& section, const std::string& key,
                     ProblemList& problems) {
  if (!IniHasKey(path, section, key)) {
    AddProblem(problems, Label, section, key, "key is missing");
    return std::string();
  }
  std::string value = IniValue(path, section, key);
  if (value.empty()) AddProblem(problems, Label, section, key, "value is empty");
  return value;
}

bool IsDecimalText(const std::string& key) {
  if (key.empty() || key.size() > 6 || (key.size() > 1 && key[0] == '0')) return false;
  for (char c : key) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// The values of a list section, in key order.
std::vector<std::string> ReadList(const std::string& path, const std::string& section, ProblemList& problems) {
  std::vector<std::string> keys = IniKeyNames(path, section);
  std::vector<std::string> values(keys.size());
  std::vector<bool> seen(keys.size(), false);
  bool ordered = true;
  for (const std::string& key : keys) {
    size_t position = IsDecimalText(key) ? static_cast<size_t>(std::atoi(key.c_str())) : keys.size();
    if (position >= keys.size() || seen[position]) {
      ordered = false;
      continue;
    }
    seen[position] = true;
    values[position] = IniValue(path, section, key);
  }
  if (!ordered) {
    AddProblem(problems, Label, section, "", "keys must be 0, 1, 2, ... without gaps");
    return std::vector<std::string>();
  }
  if (values.empty()) AddProblem(problems, Label, section, "", "lists nothing");
  return values;
}

void CheckSectionName(const std::string& path, const std::string& list, size_t position,
                      const std::string& section, std::set<std::string>& used, ProblemList& problems) {
  const std::string key = std::to_string(position);
  for (const char* reserved : ReservedSections) {
    if (EqualsIgnoringCase(section, reserved)) {
      AddProblem(problems, Label, list, key, "section name " + Quoted(section) + " is reserved");
      return;
    }
  }
  std::string upper = section;
  for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  if (!used.insert(upper).second) {
    AddProblem(problems, Label, list, key, "section " + Quoted(section) + " is listed more than once");
  }
  if (!IniHasSection(path, section)) AddProblem(problems, Label, list, key, "names no section (" + Quoted(section) + ")");
}

}  // namespace

void ReadReleaseDescription(const std::string& path, Release& release, ProblemList& problems) {
  release.version = Required(path, "RELEASE", "version", problems);
  release.date = Required(path, "RELEASE", "date", problems);

  // Languages and packages share release.ini, so their names must differ.
  std::set<std::string> used;
  std::vector<std::string> languages = ReadList(path, "LANGUAGES", problems);
  for (size_t i = 0; i < languages.size(); ++i) {
    CheckSectionName(path, "LANGUAGES", i, languages[i], used, problems);
    ReleaseLanguage language;
    language.section = languages[i];
    language.listname = Required(path, language.section, "listname", problems);
    language.showname = Required(path, language.section, "showname", problems);
    language.file = Required(path, language.section, "file", problems);
    release.languages.push_back(language);
  }

  std::vector<std::string> packages = ReadList(path, "PACKAGES", problems);
  for (size_t i = 0; i < packages.size(); ++i) {
    CheckSectionName(path, "PACKAGES", i, packages[i], used, problems);
    ReleasePackage package;
    package.section = packages[i];
    package.name = Required(path, package.section, "name", problems);
    package.showname = Required(path, package.section, "showname", problems);
    package.date = Required(path, package.section, "date", problems);
    package.file = Required(path, package.section, "file", problems);

    const bool hasTarget = IniHasKey(path, package.section, "target");
    const bool hasInstaller = IniHasKey(path, package.section, "installer");
    if (hasTarget == hasInstaller) {
      AddProblem(problems, Label, package.section, "", "needs either \"target\" or \"installer=1\"");
    } else if (hasInstaller) {
      package.installer = IniValue(path, package.section, "installer") == "1";
      if (!package.installer) AddProblem(problems, Label, package.section, "installer", "must be 1");
    } else {
      package.target = Required(path, package.section, "target", problems);
    }
    release.packages.push_back(package);
  }
}

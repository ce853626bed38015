// The package manifest as the setup's installation run reads it.
#include <cstddef>
#include <map>
#include <string>

#include "install/install_run.h"
#include "publish/check_context.h"
#include "publish/ini_access.h"
#include "publish/target_paths.h"

namespace {

const std::size_t SectionCapacity = sizeof(PackageEntry::section);
const std::size_t NameCapacity = sizeof(PackageEntry::name);
const std::size_t ShowNameCapacity = sizeof(PackageEntry::showname);
const std::size_t NetlinkCapacity = sizeof(PackageEntry::netlink);
const std::size_t InstallCapacity = sizeof(PackageEntry::install);
const std::size_t DateCapacity = sizeof(PackageEntry::date);

const char ListEnd[] = "end";
const char InstallerMarker[] = "1";

std::string Upper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

void CheckTargetPath(TreeCheck& check, const std::string& label, const std::string& section,
                     const std::string& target) {
  if (!IsAbsoluteTargetPath(target)) {
    AddProblem(check.problems, label, section, "install",
               "target path " + Quoted(target) + " is not absolute (a drive letter and \":\\\", or \"\\\\server\\share\\\")");
  } else if (target.back() == '\\') {
    AddProblem(check.problems, label, section, "install", "target path " + Quoted(target) + " names a folder, not a file");
  } else if (IsSetupWorkingFile(target)) {
    AddProblem(check.problems, label, section, "install",
               "target path " + Quoted(target) + " is one of the setup's own working files");
  } else if (IsInSetupTrees(target) && !IsSetupFolder(ParentFolder(target))) {
    // A download into a folder that does not exist reports success and
    // leaves nothing behind.
    AddProblem(check.problems, label, section, "install",
               "target path " + Quoted(target) + " is in a folder the setup does not make (" +
                   ParentFolder(target) + ")");
  }
}

}  // namespace

void CheckPackageManifest(TreeCheck& check, const std::string& path, const std::string& label) {
  ReadAsSetup(check, path, label, "PACKAGE", "version", PackageSetTextCapacity);
  ReadAsSetup(check, path, label, "PACKAGE", "date", PackageSetTextCapacity);

  // updates.ini keys match in any letter case, so names do too.
  std::map<std::string, std::string> sectionOfName;
  int packages = 0;
  int position = 0;
  for (;; ++position) {
    const std::string key = std::to_string(position);
    if (!IniHasKey(path, "LIST", key)) break;
    SetupValue row = ReadAsSetup(check, path, label, "LIST", key, SectionCapacity, ListEnd);
    if (EqualsIgnoringCase(row.value, ListEnd)) break;
    ++packages;
    const std::string& section = row.value;
    if (!IniHasSection(path, section)) {
      AddProblem(check.problems, label, "LIST", key, "names no section (" + Quoted(section) + ")");
      continue;
    }

    SetupValue name = ReadAsSetup(check, path, label, section, "name", NameCapacity);
    SetupValue install = ReadAsSetup(check, path, label, section, "install", InstallCapacity);
    SetupValue netlink = ReadAsSetup(check, path, label, section, "netlink", NetlinkCapacity);
    ReadAsSetup(check, path, label, section, "showname", ShowNameCapacity);
    ReadAsSetup(check, path, label, section, "date", DateCapacity);

    const bool installer = install.value == InstallerMarker;
    if (install.present && !install.cut && !installer) CheckTargetPath(check, label, section, install.value);
    if (netlink.present && !netlink.cut) CheckAddress(check, label, section, "netlink", netlink.value, nullptr);

    if (name.present) {
      auto earlier = sectionOfName.find(Upper(name.value));
      if (earlier != sectionOfName.end()) {
        AddProblem(check.problems, label, section, "name",
                   Quoted(name.value) + " is also the name of [" + earlier->second +
                       "]; updates.ini keeps one date per name");
      } else {
        sectionOfName[Upper(name.value)] = section;
      }
      if (!installer && EqualsIgnoringCase(name.value, "version")) {
        AddProblem(check.problems, label, section, "name",
                   "\"version\" would replace the package set's date in updates.ini");
      }
    }
  }
  ReportUnreadListKeys(check, path, label, position);
  if (packages == 0) AddProblem(check.problems, label, "LIST", "", "no packages; the setup would install nothing");
}

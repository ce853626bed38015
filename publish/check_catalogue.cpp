// The language catalogue as the setup's language box reads it.
#include <string.h>

#include <cstddef>
#include <string>

#include "lang/language_catalogue.h"
#include "publish/check_context.h"
#include "publish/ini_access.h"
#include "publish/target_paths.h"

namespace {

const std::size_t SectionCapacity = sizeof(LanguageEntry::section);
const std::size_t ListNameCapacity = sizeof(LanguageEntry::listname);
const std::size_t ShowNameCapacity = sizeof(LanguageEntry::showname);
const std::size_t NetlinkCapacity = sizeof(LanguageEntry::netlink);
const std::size_t FileNameCapacity = sizeof(LanguageEntry::filename);
// The table's last row ends the list.
const int MostLanguages = LanguageTableRows - 1;

void CheckLanguageSection(TreeCheck& check, const std::string& path, const std::string& label,
                          const std::string& section) {
  SetupValue listname = ReadAsSetup(check, path, label, section, "listname", ListNameCapacity);
  SetupValue filename = ReadAsSetup(check, path, label, section, "filename", FileNameCapacity);
  SetupValue netlink = ReadAsSetup(check, path, label, section, "netlink", NetlinkCapacity);
  ReadAsSetup(check, path, label, section, "showname", ShowNameCapacity);

  // The box selects the first item that begins with the prompt, so such a
  // language would stand selected in place of the prompt.
  const std::string prompt = LanguagePrompt;
  if (listname.present && _strnicmp(listname.value.c_str(), prompt.c_str(), prompt.size()) == 0) {
    AddProblem(check.problems, label, section, "listname",
               Quoted(listname.value) + " begins with " + Quoted(prompt) +
                   "; the language box would select it in place of the prompt");
  }
  if (filename.present && !IsPlainFileName(filename.value)) {
    AddProblem(check.problems, label, section, "filename",
               Quoted(filename.value) + " is not a plain file name; the file is stored in the language folder");
  }
  if (netlink.present && !netlink.cut) {
    std::string languageLabel;
    std::string languageFile = CheckAddress(check, label, section, "netlink", netlink.value, &languageLabel);
    if (!languageFile.empty()) CheckLanguageFile(check, languageFile, languageLabel);
  }
}

}  // namespace

void CheckCatalogue(TreeCheck& check, const std::string& path, const std::string& label) {
  int languages = 0;
  int position = 0;
  for (;; ++position) {
    const std::string key = std::to_string(position);
    if (!IniHasKey(path, "LIST", key)) break;
    SetupValue row = ReadAsSetup(check, path, label, "LIST", key, SectionCapacity);
    if (EqualsIgnoringCase(row.value, "0")) break;
    ++languages;
    if (!IniHasSection(path, row.value)) {
      AddProblem(check.problems, label, "LIST", key, "names no section (" + Quoted(row.value) + ")");
      continue;
    }
    CheckLanguageSection(check, path, label, row.value);
  }
  ReportUnreadListKeys(check, path, label, position);

  if (languages == 0) {
    AddProblem(check.problems, label, "LIST", "", "no languages; the setup could not install");
  } else if (languages > MostLanguages) {
    AddProblem(check.problems, label, "LIST", "",
               std::to_string(languages) + " languages; the setup offers at most " + std::to_string(MostLanguages));
  }
}

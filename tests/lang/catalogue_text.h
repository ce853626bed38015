#pragma once
// Language catalogues as the update server writes them, for the tests that
// fill the language box from one.
#include <string>
#include <vector>

namespace hbtest {

struct CatalogueLanguage {
  std::string section;
  std::string listname;
  std::string filename;
  std::string netlink;
  std::string showname;
};

// One language section, CR LF line ends.
inline std::string CatalogueSection(const CatalogueLanguage& language) {
  return "[" + language.section + "]\r\nlistname=" + language.listname + "\r\nfilename=" + language.filename +
         "\r\nnetlink=" + language.netlink + "\r\nshowname=" + language.showname + "\r\n";
}

// [LIST] with keys 0, 1, ... naming the sections, then the sections.
inline std::string Catalogue(const std::vector<CatalogueLanguage>& languages) {
  std::string text = "[LIST]\r\n";
  for (size_t i = 0; i < languages.size(); ++i) text += std::to_string(i) + "=" + languages[i].section + "\r\n";
  for (const CatalogueLanguage& language : languages) text += CatalogueSection(language);
  return text;
}

}  // namespace hbtest

#pragma once
// What the checks of one server tree share.
#include <cstddef>
#include <string>

#include "publish/problems.h"

struct TreeCheck {
  std::string root;     // full path of the tree's folder
  std::string baseUrl;  // with its "/"; empty when general_fileinfo.ini gives none
  ProblemList problems;
};

// One value as the setup's fixed buffer of this capacity will hold it. A
// missing key is reported and reads as defaultValue; a value longer than
// capacity - 1 is reported and cut.
struct SetupValue {
  bool present = false;
  bool cut = false;
  std::string value;
};
SetupValue ReadAsSetup(TreeCheck& check, const std::string& iniPath, const std::string& label,
                       const std::string& section, const std::string& key, std::size_t capacity,
                       const char* defaultValue = "0");

// Reports an address the setup could not fetch from this tree. Returns the
// full path of the tree file it names, or "" when there is none to look at.
std::string CheckAddress(TreeCheck& check, const std::string& label, const std::string& section,
                         const std::string& key, const std::string& address, std::string* treeLabel);

// The entries of a [LIST] that ends at endPosition: every other key is never
// read by the setup.
void ReportUnreadListKeys(TreeCheck& check, const std::string& iniPath, const std::string& label,
                          int endPosition);

void CheckCatalogue(TreeCheck& check, const std::string& path, const std::string& label);
void CheckLanguageFile(TreeCheck& check, const std::string& path, const std::string& label);
void CheckPackageManifest(TreeCheck& check, const std::string& path, const std::string& label);

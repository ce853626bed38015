#pragma once
// The release description: release.ini in the release folder.
//
//   [RELEASE]
//   version=1.0.0            the package set's version and date
//   date=2024-06-01
//
//   [LANGUAGES]              sections of the languages, in the order offered
//   0=ENGLISH
//   1=GERMAN
//
//   [ENGLISH]                also the section's name in the language catalogue
//   listname=English         shown in the language box
//   showname=English
//   file=English.lng         the language file; its name is kept on the server
//                            and on the user's machine
//
//   [PACKAGES]               sections of the packages, in installation order
//   0=PRODUCT
//   1=FILES
//
//   [PRODUCT]                also the section's name in the package manifest
//   name=product             key of the package's date in updates.ini
//   showname=Hollowbranch    line shown while it is installed
//   date=2024-06-01
//   target=C:\Programme\Hollowbranch\Hollowbranch.exe
//   file=Hollowbranch.exe
//
//   [FILES]
//   name=files
//   showname=Sample files
//   date=2024-06-01
//   installer=1              run with "INSTALL" instead of being placed
//   file=files-installer.exe
//
// A package has either "target" or "installer=1". A "file" is relative to the
// release folder unless it is a full path. List keys are 0, 1, 2, ... without
// gaps.
#include <string>
#include <vector>

#include "publish/problems.h"

inline constexpr char ReleaseDescriptionName[] = "release.ini";

struct ReleaseLanguage {
  std::string section;
  std::string listname;
  std::string showname;
  std::string file;  // as written in release.ini
};

struct ReleasePackage {
  std::string section;
  std::string name;
  std::string showname;
  std::string date;
  bool installer = false;
  std::string target;  // empty for an installer
  std::string file;
};

struct Release {
  std::string version;
  std::string date;
  std::vector<ReleaseLanguage> languages;
  std::vector<ReleasePackage> packages;
};

// Reads path into release; every fault goes to problems (none: a release that
// can be published).
void ReadReleaseDescription(const std::string& path, Release& release, ProblemList& problems);

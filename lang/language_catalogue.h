#pragma once
// The language catalogue offered in the language box, and the user's choice.
#include <windows.h>

struct LanguageEntry {
  char section[100];
  char listname[50];
  char showname[50];
  char netlink[1000];
  char filename[30];
  char localPath[260];
};

// At most 14 languages and the terminating row.
inline constexpr int LanguageTableRows = 15;
extern LanguageEntry languageTable[LanguageTableRows];
extern int languageCount;  // rows read by the last fill, terminating row included

inline constexpr char LanguagePrompt[] = "Please select a language";

DWORD WINAPI FillLanguageListThread(LPVOID);

// First step of the installation run: downloads, loads and remembers the
// language selected in the language box.
void ApplySelectedLanguage();

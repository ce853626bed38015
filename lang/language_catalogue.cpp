#include "lang/language_catalogue.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "files/file_primitives.h"
#include "files/paths.h"
#include "lang/language_file.h"
#include "shell/shared_ui.h"

LanguageEntry languageTable[LanguageTableRows];
int languageCount = 0;

namespace {

void ReadLanguageRow(LanguageEntry& row, const char* chRowKey, bool bTableFull) {
  // A full table takes its last row as the terminating row, whatever the
  // catalogue lists after it.
  if (bTableFull) {
    snprintf(row.section, sizeof row.section, "0");
  } else {
    GetPrivateProfileStringA("LIST", chRowKey, "0", row.section, sizeof row.section, LanguagesIni);
  }
  GetPrivateProfileStringA(row.section, "listname", "0", row.listname, sizeof row.listname, LanguagesIni);
  GetPrivateProfileStringA(row.section, "filename", "0", row.filename, sizeof row.filename, LanguagesIni);
  GetPrivateProfileStringA(row.section, "netlink", "0", row.netlink, sizeof row.netlink, LanguagesIni);
  GetPrivateProfileStringA(row.section, "showname", "0", row.showname, sizeof row.showname, LanguagesIni);
  snprintf(row.localPath, sizeof row.localPath, "%s\\%s", LangDir, row.filename);
}

}  // namespace

DWORD WINAPI FillLanguageListThread(LPVOID) {
  // The catalogue is on disk only once the manifest worker has ended.
  if (hFetchThread != NULL) {
    WaitForSingleObject(hFetchThread, INFINITE);
    CloseHandle(hFetchThread);
    hFetchThread = NULL;
  }

  languageCount = 0;
  for (;;) {
    char chRowKey[10];
    _itoa_s(languageCount, chRowKey, sizeof chRowKey, 10);
    LanguageEntry& row = languageTable[languageCount];
    ReadLanguageRow(row, chRowKey, languageCount == LanguageTableRows - 1);
    ++languageCount;
    if (_stricmp(row.section, "0") == 0) break;
  }

  RemoveUntilGone(LanguagesIni);
  SetStatusText(NULL);

  SendMessageA(hwndLanguageCombo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(LanguagePrompt));
  for (int i = 1; i < languageCount; ++i) {
    SendMessageA(hwndLanguageCombo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(languageTable[i - 1].listname));
  }
  SendMessageA(hwndLanguageCombo, CB_SELECTSTRING, 0, reinterpret_cast<LPARAM>(LanguagePrompt));
  EnableWindow(hwndLanguageCombo, TRUE);
  return 0;
}

void ApplySelectedLanguage() {
  EnableWindow(hwndInstallButton, FALSE);
  EnableWindow(hwndCancelButton, FALSE);
  EnableWindow(hwndLanguageCombo, FALSE);

  const int row = static_cast<int>(SendMessageA(hwndLanguageCombo, CB_GETCURSEL, 0, 0)) - 1;
  // The prompt (or no selection) is no language: the terminating row is not
  // one either. Keep the language and its record as they are.
  if (row < 0 || row >= languageCount - 1) {
    ShowErrorBox();
    return;
  }
  const LanguageEntry& language = languageTable[row];

  SetStatusText("Downloading language files ...");
  if (!DownloadFile(language.netlink, language.localPath)) ShowErrorBox();
  SetStatusText(NULL);

  LoadLanguageTexts(language.localPath);
  WritePrivateProfileStringA("SETTINGS", "sprache", language.localPath, SettingsIni);
}

#include "install_screen.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>

#include "files/paths.h"
#include "install/install_run.h"
#include "lang/language_catalogue.h"
#include "shell/shared_ui.h"

namespace hbtest {

namespace {

const char MainClassName[] = "HbTestInstallMain";

// One screen at a time; its window procedures record into these.
RunRecord* recording = nullptr;
WNDPROC listBoxProc = nullptr;

LRESULT CALLBACK MainProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_DESTROY) {
    if (recording != nullptr) {
      ++recording->destroyMessages;
      recording->destroyTick = GetTickCount();
    }
    return 0;
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

// Sees every line the worker adds, when it adds it.
LRESULT CALLBACK ProgressListProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == LB_ADDSTRING && recording != nullptr) {
    recording->lines.push_back({reinterpret_cast<const char*>(lParam), GetTickCount()});
  }
  return CallWindowProcA(listBoxProc, hwnd, msg, wParam, lParam);
}

HWND MakeChild(const char* className, const char* text, DWORD style, int id) {
  return CreateWindowExA(0, className, text, WS_CHILD | style, 10, 10 + 30 * (id % 8), 200, 25, hwndMain,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr), nullptr);
}

std::string WindowText(HWND hwnd) {
  char text[2048] = "";
  GetWindowTextA(hwnd, text, sizeof text);
  return text;
}

bool IsShown(HWND hwnd) { return hwnd != nullptr && (GetWindowLongA(hwnd, GWL_STYLE) & WS_VISIBLE) != 0; }

SeenBox ReadBox(HWND box) {
  SeenBox seen;
  seen.tick = GetTickCount();
  seen.caption = WindowText(box);
  char text[2048] = "";
  GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
  seen.text = text;
  for (int id : {IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO}) {
    if (IsShown(GetDlgItem(box, id))) seen.buttons.push_back(id);
  }
  seen.ownedByMain = GetWindow(box, GW_OWNER) == hwndMain;
  // The icon's static: 0x14 on Windows, 0x440 in Wine.
  for (int iconId : {0x14, 0x440}) {
    HWND icon = GetDlgItem(box, iconId);
    if (IsShown(icon) && SendMessageA(icon, STM_GETICON, 0, 0) != 0) seen.showsIcon = true;
  }
  return seen;
}

struct BoxSearch {
  std::vector<HWND> found;
};

BOOL CALLBACK CollectBox(HWND hwnd, LPARAM lParam) {
  char className[32] = "";
  GetClassNameA(hwnd, className, sizeof className);
  if (lstrcmpA(className, "#32770") == 0 && IsWindowVisible(hwnd)) {
    reinterpret_cast<BoxSearch*>(lParam)->found.push_back(hwnd);
  }
  return TRUE;
}

void AnswerBox(HWND box, int id) {
  PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, id)));
}

}  // namespace

std::vector<std::string> RunRecord::LineTexts() const {
  std::vector<std::string> texts;
  for (const SeenLine& line : lines) texts.push_back(line.text);
  return texts;
}

std::vector<SeenBox> RunRecord::BoxesCaptioned(const std::string& caption) const {
  std::vector<SeenBox> matching;
  for (const SeenBox& box : boxes) {
    if (box.caption == caption) matching.push_back(box);
  }
  return matching;
}

InstallScreen::InstallScreen(const std::string& languageFileUrl) {
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);

  WNDCLASSA wc = {};
  wc.lpfnWndProc = MainProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = MainClassName;
  RegisterClassA(&wc);
  hwndMain = CreateWindowExA(0, MainClassName, SetupWindowName, WS_CAPTION, 0, 0, 450, 290, nullptr, nullptr,
                             wc.hInstance, nullptr);

  hwndStatusBar = CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, hwndMain, nullptr,
                                  wc.hInstance, nullptr);
  hwndInstallButton = MakeChild("Button", "Install", WS_VISIBLE | BS_PUSHBUTTON, IDC_INSTALL);
  hwndCancelButton = MakeChild("Button", "Cancel", WS_VISIBLE | BS_PUSHBUTTON, IDC_CANCEL);
  hwndLanguageCombo = MakeChild("ComboBox", "", WS_VISIBLE | CBS_DROPDOWNLIST | WS_VSCROLL, IDC_LANGUAGE);
  hwndProgressList = MakeChild("ListBox", "", WS_VSCROLL, 40);
  listBoxProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(hwndProgressList, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ProgressListProc)));

  // One language and the terminating row, as the language worker leaves them.
  LanguageEntry& english = languageTable[0];
  english = LanguageEntry{};
  snprintf(english.section, sizeof english.section, "english");
  snprintf(english.listname, sizeof english.listname, "English");
  snprintf(english.showname, sizeof english.showname, "English");
  snprintf(english.netlink, sizeof english.netlink, "%s", languageFileUrl.c_str());
  snprintf(english.filename, sizeof english.filename, "English.lng");
  snprintf(english.localPath, sizeof english.localPath, "%s\\English.lng", LangDir);
  languageTable[1] = LanguageEntry{};
  snprintf(languageTable[1].section, sizeof languageTable[1].section, "0");
  languageCount = 2;
  SendMessageA(hwndLanguageCombo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(LanguagePrompt));
  SendMessageA(hwndLanguageCombo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("English"));
  SendMessageA(hwndLanguageCombo, CB_SETCURSEL, 1, 0);
}

InstallScreen::~InstallScreen() {
  recording = nullptr;
  DestroyWindow(hwndMain);
  for (HWND* handle : {&hwndMain, &hwndStatusBar, &hwndInstallButton, &hwndCancelButton, &hwndLanguageCombo,
                       &hwndProgressList}) {
    *handle = nullptr;
  }
  if (hInstallThread != nullptr) CloseHandle(hInstallThread);
  hInstallThread = nullptr;
}

RunRecord InstallScreen::Run(int questionAnswer, DWORD boundMs) {
  RunRecord record;
  recording = &record;
  record.startTick = GetTickCount();
  DWORD workerId = 0;
  hInstallThread = CreateThread(nullptr, 0, InstallThread, nullptr, 0, &workerId);

  std::vector<HWND> answered;
  for (;;) {
    const DWORD wait = MsgWaitForMultipleObjects(1, &hInstallThread, FALSE, 20, QS_ALLINPUT);
    if (wait == WAIT_OBJECT_0) {
      record.finished = true;
      break;
    }
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    BoxSearch search;
    EnumThreadWindows(workerId, CollectBox, reinterpret_cast<LPARAM>(&search));
    for (HWND box : search.found) {
      if (std::find(answered.begin(), answered.end(), box) != answered.end()) continue;
      answered.push_back(box);
      SeenBox seen = ReadBox(box);
      const bool isQuestion = seen.caption == SetupWindowName;
      record.boxes.push_back(seen);
      AnswerBox(box, isQuestion ? questionAnswer : (seen.buttons.empty() ? IDOK : seen.buttons.front()));
    }
    if (GetTickCount() - record.startTick >= boundMs) {
      // A worker that hangs would spoil every later test in this process.
      TerminateThread(hInstallThread, 1);
      WaitForSingleObject(hInstallThread, 5000);
      break;
    }
  }
  record.endTick = GetTickCount();
  record.installButtonGone = !IsWindow(hwndInstallButton);
  record.cancelButtonGone = !IsWindow(hwndCancelButton);
  record.languageBoxGone = !IsWindow(hwndLanguageCombo);
  record.progressListShown = IsShown(hwndProgressList);
  const LRESULT count = SendMessageA(hwndProgressList, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    char item[512] = "";
    if (SendMessageA(hwndProgressList, LB_GETTEXTLEN, i, 0) < static_cast<LRESULT>(sizeof item)) {
      SendMessageA(hwndProgressList, LB_GETTEXT, i, reinterpret_cast<LPARAM>(item));
    }
    record.listItems.push_back(item);
  }
  char status[512] = "";
  SendMessageA(hwndStatusBar, SB_GETTEXTA, 0, reinterpret_cast<LPARAM>(status));
  record.statusText = status;
  recording = nullptr;
  return record;
}

}  // namespace hbtest

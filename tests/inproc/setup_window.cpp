#include "setup_window.h"

#include <commctrl.h>

#include <algorithm>
#include <mutex>

#include "shell/shared_ui.h"

namespace hbinproc {

namespace {

const char MainClassName[] = "HbInprocSetupMain";
const UINT WM_FIXTURE_END = WM_APP + 1;
const int ProgressListId = 40;

// The window procedures run on the user-interface thread, the box watcher on
// the test's thread: both record here.
std::mutex recordLock;
std::vector<std::string> timeline;
int closeRequests = 0;
std::vector<DWORD> destroyTicks;
std::vector<ProgressLine> progressLines;
std::function<void(const char*)> statusObserver;
bool ending = false;
WNDPROC statusBarProc = nullptr;
WNDPROC progressListProc = nullptr;

void Record(const std::string& event) {
  std::lock_guard<std::mutex> hold(recordLock);
  timeline.push_back(event);
}

void SeeStatusText(const char* text) {
  std::function<void(const char*)> observer;
  {
    std::lock_guard<std::mutex> hold(recordLock);
    observer = statusObserver;
  }
  if (observer) observer(text);
  Record(text == nullptr ? std::string("status null") : "status " + std::string(text));
}

std::string Narrow(const wchar_t* text) {
  char buffer[1024] = "";
  WideCharToMultiByte(CP_ACP, 0, text, -1, buffer, sizeof buffer, nullptr, nullptr);
  return buffer;
}

LRESULT CALLBACK StatusBarProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  // The low byte of wParam is the part; the setup only writes part 0.
  if ((msg == SB_SETTEXTA || msg == SB_SETTEXTW) && LOBYTE(LOWORD(wParam)) == 0) {
    if (lParam == 0) {
      SeeStatusText(nullptr);
    } else if (msg == SB_SETTEXTA) {
      SeeStatusText(reinterpret_cast<const char*>(lParam));
    } else {
      SeeStatusText(Narrow(reinterpret_cast<const wchar_t*>(lParam)).c_str());
    }
  }
  return CallWindowProcA(statusBarProc, hwnd, msg, wParam, lParam);
}

// Sees every line a worker adds, when it adds it.
LRESULT CALLBACK ProgressListProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == LB_ADDSTRING && lParam != 0) {
    std::lock_guard<std::mutex> hold(recordLock);
    progressLines.push_back({reinterpret_cast<const char*>(lParam), GetTickCount()});
  }
  return CallWindowProcA(progressListProc, hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK MainProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_CLOSE: {
      std::lock_guard<std::mutex> hold(recordLock);
      ++closeRequests;
      timeline.push_back("WM_CLOSE");
      return 0;
    }
    case WM_DESTROY:
      if (!ending) {
        std::lock_guard<std::mutex> hold(recordLock);
        destroyTicks.push_back(GetTickCount());
        timeline.push_back("WM_DESTROY");
      }
      return 0;
    case WM_FIXTURE_END:
      ending = true;
      DestroyWindow(hwnd);
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(hwnd, msg, wParam, lParam);
  }
}

HWND MakeChild(const char* className, const char* text, DWORD style, int id, int y) {
  return CreateWindowExA(0, className, text, WS_CHILD | style, 20, y, 200, id == IDC_LANGUAGE ? 200 : 26, hwndMain,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr), nullptr);
}

std::string WindowText(HWND hwnd) {
  char text[1024] = "";
  GetWindowTextA(hwnd, text, sizeof text);
  return text;
}

bool IsShown(HWND hwnd) { return hwnd != nullptr && (GetWindowLongPtrA(hwnd, GWL_STYLE) & WS_VISIBLE) != 0; }

ShownBox ReadBox(HWND box) {
  ShownBox seen;
  seen.tick = GetTickCount();
  seen.caption = WindowText(box);
  char text[2048] = "";
  GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
  seen.text = text;
  for (int id : {IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO}) {
    if (IsShown(GetDlgItem(box, id))) seen.buttons.push_back(id);
  }
  seen.ownedByMain = hwndMain != nullptr && GetWindow(box, GW_OWNER) == hwndMain;
  // The icon's static: 0x14 on Windows, 0x440 in Wine.
  for (int iconId : {0x14, 0x440}) {
    HWND icon = GetDlgItem(box, iconId);
    if (IsShown(icon) && SendMessageA(icon, STM_GETICON, 0, 0) != 0) seen.showsIcon = true;
  }
  return seen;
}

BOOL CALLBACK CollectBox(HWND hwnd, LPARAM found) {
  char className[32] = "";
  GetClassNameA(hwnd, className, sizeof className);
  if (lstrcmpA(className, "#32770") == 0 && IsWindowVisible(hwnd)) {
    reinterpret_cast<std::vector<HWND>*>(found)->push_back(hwnd);
  }
  return TRUE;
}

}  // namespace

SetupWindow::SetupWindow() {
  {
    std::lock_guard<std::mutex> hold(recordLock);
    timeline.clear();
    closeRequests = 0;
    destroyTicks.clear();
    progressLines.clear();
    statusObserver = nullptr;
    ending = false;
  }
  ready_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  uiThread_ = CreateThread(nullptr, 0, UiThread, this, 0, nullptr);
  HANDLE waitFor[] = {ready_, uiThread_};
  WaitForMultipleObjects(2, waitFor, FALSE, INFINITE);
  main_ = hwndMain;
}

SetupWindow::~SetupWindow() {
  if (worker_ != nullptr) FinishWorker(10000);
  PostMessageA(main_, WM_FIXTURE_END, 0, 0);
  WaitForSingleObject(uiThread_, 10000);
  CloseHandle(uiThread_);
  CloseHandle(ready_);
  for (HWND* handle : {&hwndMain, &hwndStatusBar, &hwndInstallButton, &hwndCancelButton, &hwndLanguageCombo,
                       &hwndProgressList}) {
    *handle = nullptr;
  }
  std::lock_guard<std::mutex> hold(recordLock);
  statusObserver = nullptr;
}

DWORD WINAPI SetupWindow::UiThread(LPVOID self) {
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);

  WNDCLASSA wc = {};
  wc.lpfnWndProc = MainProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = MainClassName;
  RegisterClassA(&wc);  // fails harmlessly for every fixture after the first

  hwndMain = CreateWindowExA(0, MainClassName, SetupWindowName, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, 0, 0, 450,
                             290, nullptr, nullptr, wc.hInstance, nullptr);
  hwndStatusBar = CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, hwndMain, nullptr,
                                  wc.hInstance, nullptr);
  statusBarProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(hwndStatusBar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(StatusBarProc)));
  hwndLanguageCombo = MakeChild("ComboBox", "", WS_VISIBLE | WS_VSCROLL | CBS_DROPDOWNLIST | WS_DISABLED,
                                IDC_LANGUAGE, 20);
  hwndInstallButton = MakeChild("Button", "Install", WS_VISIBLE | BS_PUSHBUTTON | WS_DISABLED, IDC_INSTALL, 60);
  hwndCancelButton = MakeChild("Button", "Cancel", WS_VISIBLE | BS_PUSHBUTTON, IDC_CANCEL, 100);
  hwndProgressList = MakeChild("ListBox", "", WS_VSCROLL, ProgressListId, 140);
  progressListProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(hwndProgressList, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ProgressListProc)));
  SetEvent(static_cast<SetupWindow*>(self)->ready_);

  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return 0;
}

DWORD WINAPI SetupWindow::WorkerThread(LPVOID self) {
  static_cast<SetupWindow*>(self)->work_();
  return 0;
}

WorkerResult SetupWindow::RunWorker(const std::function<void()>& work, DWORD boundMs, BoxAnswer answer) {
  StartWorker(work);
  return FinishWorker(boundMs, answer);
}

void SetupWindow::StartWorker(const std::function<void()>& work) {
  work_ = work;
  answered_.clear();
  worker_ = CreateThread(nullptr, 0, WorkerThread, this, 0, &workerId_);
}

void SetupWindow::AnswerNewBoxes(const BoxAnswer& answer, WorkerResult& result) {
  // A box stays visible for a moment after its answer is posted: answer
  // each one once (handles of closed boxes are forgotten, they may recur).
  answered_.erase(std::remove_if(answered_.begin(), answered_.end(), [](HWND box) { return !IsWindow(box); }),
                  answered_.end());
  std::vector<HWND> found;
  EnumThreadWindows(workerId_, CollectBox, reinterpret_cast<LPARAM>(&found));
  for (HWND box : found) {
    if (std::find(answered_.begin(), answered_.end(), box) != answered_.end()) continue;
    answered_.push_back(box);
    const ShownBox seen = ReadBox(box);
    result.boxes.push_back(seen);
    Record("box " + seen.text);
    int id = answer ? answer(seen) : (seen.buttons.empty() ? IDOK : seen.buttons.front());
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, id)));
  }
}

WorkerResult SetupWindow::FinishWorker(DWORD boundMs, BoxAnswer answer) {
  WorkerResult result;
  if (worker_ == nullptr) return result;
  const DWORD start = GetTickCount();
  for (;;) {
    if (WaitForSingleObject(worker_, 20) == WAIT_OBJECT_0) {
      result.ended = true;
      break;
    }
    AnswerNewBoxes(answer, result);
    if (GetTickCount() - start >= boundMs) {
      // A hung worker would spoil every later test of the process.
      TerminateThread(worker_, 1);
      WaitForSingleObject(worker_, 5000);
      break;
    }
  }
  CloseHandle(worker_);
  worker_ = nullptr;
  return result;
}

std::vector<std::string> SetupWindow::Timeline() const {
  std::lock_guard<std::mutex> hold(recordLock);
  return timeline;
}

void SetupWindow::ClearTimeline() {
  std::lock_guard<std::mutex> hold(recordLock);
  timeline.clear();
}

int SetupWindow::CloseRequests() const {
  std::lock_guard<std::mutex> hold(recordLock);
  return closeRequests;
}

std::vector<DWORD> SetupWindow::DestroyTicks() const {
  std::lock_guard<std::mutex> hold(recordLock);
  return destroyTicks;
}

std::vector<ProgressLine> SetupWindow::ProgressLines() const {
  std::lock_guard<std::mutex> hold(recordLock);
  return progressLines;
}

void SetupWindow::OnStatusText(std::function<void(const char*)> observer) {
  std::lock_guard<std::mutex> hold(recordLock);
  statusObserver = std::move(observer);
}

std::string SetupWindow::StatusText() const {
  const LRESULT length = LOWORD(SendMessageA(hwndStatusBar, SB_GETTEXTLENGTHA, 0, 0));
  std::string text(static_cast<size_t>(length) + 1, '\0');
  SendMessageA(hwndStatusBar, SB_GETTEXTA, 0, reinterpret_cast<LPARAM>(&text[0]));
  text.resize(static_cast<size_t>(length));
  return text;
}

std::vector<std::string> SetupWindow::LanguageItems() const {
  std::vector<std::string> items;
  const LRESULT count = SendMessageA(hwndLanguageCombo, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    const LRESULT length = SendMessageA(hwndLanguageCombo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
    std::string item(static_cast<size_t>(length < 0 ? 0 : length) + 1, '\0');
    SendMessageA(hwndLanguageCombo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item[0]));
    item.resize(static_cast<size_t>(length < 0 ? 0 : length));
    items.push_back(item);
  }
  return items;
}

int SetupWindow::LanguageSelection() const {
  return static_cast<int>(SendMessageA(hwndLanguageCombo, CB_GETCURSEL, 0, 0));
}

void SetupWindow::SelectLanguage(int index) {
  SendMessageA(hwndLanguageCombo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

std::vector<std::string> SetupWindow::ProgressItems() const {
  std::vector<std::string> items;
  const LRESULT count = SendMessageA(hwndProgressList, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    const LRESULT length = SendMessageA(hwndProgressList, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
    std::string item(static_cast<size_t>(length < 0 ? 0 : length) + 1, '\0');
    if (length >= 0) {
      SendMessageA(hwndProgressList, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item[0]));
    }
    item.resize(static_cast<size_t>(length < 0 ? 0 : length));
    items.push_back(item);
  }
  return items;
}

bool SetupWindow::Enabled(HWND control) { return IsWindowEnabled(control) != FALSE; }

bool SetupWindow::Shown(HWND control) { return IsShown(control); }

void SetupWindow::EnableControls() {
  for (HWND control : {hwndInstallButton, hwndCancelButton, hwndLanguageCombo}) EnableWindow(control, TRUE);
}

}  // namespace hbinproc

#pragma once
// The setup's main window, made inside the test program so that the setup's
// workers can run in-process against it.
//
// A user-interface thread of the fixture's own creates the main window (hidden)
// with a status bar, the Install and Cancel buttons, the language box (a
// drop-down list, not sorted) and a hidden progress list, assigns the shared
// handles of shell/shared_ui.h and runs a message loop until the fixture ends.
// The controls start as the fresh-install screen makes them: Install and the
// language box disabled, Cancel enabled.
//
// A worker started through the fixture runs on a thread of its own; the
// test's thread waits for it and answers every message box it shows.
//
// What the window sees is recorded in order: part 0 of the status bar being
// set, WM_CLOSE and WM_DESTROY sent to the main window (recorded, not acted
// on: the window stays so the test can still read its controls), and the
// message boxes of workers. Apart from that, every line added to the progress
// list (LB_ADDSTRING) is kept with the time it arrived. Messages to the child
// controls take their normal course: WM_CLOSE destroys a button or the
// language box. One fixture at a time per process.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace hbinproc {

struct ShownBox {
  std::string caption;
  std::string text;
  std::vector<int> buttons;  // the shown ones among IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO
  bool ownedByMain = false;  // its owner is hwndMain
  bool showsIcon = false;    // its icon static holds an icon
  DWORD tick = 0;            // GetTickCount when the box was first seen
};

struct ProgressLine {
  std::string text;
  DWORD tick;  // GetTickCount when LB_ADDSTRING reached the list
};

struct WorkerResult {
  bool ended = false;  // returned within the bound (otherwise it was terminated)
  std::vector<ShownBox> boxes;  // in the order they appeared
};

// Picks the button that answers a box; the default presses the first shown.
using BoxAnswer = std::function<int(const ShownBox&)>;

class SetupWindow {
 public:
  SetupWindow();
  ~SetupWindow();
  SetupWindow(const SetupWindow&) = delete;
  SetupWindow& operator=(const SetupWindow&) = delete;

  // Runs work on a new thread until it returns or boundMs has passed.
  WorkerResult RunWorker(const std::function<void()>& work, DWORD boundMs = 60000, BoxAnswer answer = {});
  // The same in two steps, for tests that act while the worker runs.
  void StartWorker(const std::function<void()>& work);
  WorkerResult FinishWorker(DWORD boundMs = 60000, BoxAnswer answer = {});

  // Everything recorded so far, in order: "status <text>", "status null",
  // "box <text>", "WM_CLOSE", "WM_DESTROY".
  std::vector<std::string> Timeline() const;
  void ClearTimeline();
  int CloseRequests() const;
  // When each WM_DESTROY reached the main window, in order.
  std::vector<DWORD> DestroyTicks() const;
  // The lines added to the progress list since the fixture was made.
  std::vector<ProgressLine> ProgressLines() const;
  // Called on the user-interface thread whenever part 0 of the status bar is
  // set (nullptr for a null text), before the status bar shows it.
  void OnStatusText(std::function<void(const char*)> observer);

  // The controls as they are now.
  std::string StatusText() const;
  std::vector<std::string> LanguageItems() const;
  int LanguageSelection() const;  // CB_GETCURSEL: -1 for none
  void SelectLanguage(int index);  // CB_SETCURSEL
  std::vector<std::string> ProgressItems() const;  // what the progress list holds
  static bool Enabled(HWND control);
  // WS_VISIBLE in its own style: the main window stays hidden, so
  // IsWindowVisible would say no for every control.
  static bool Shown(HWND control);
  void EnableControls();  // Install, Cancel and the language box

 private:
  static DWORD WINAPI UiThread(LPVOID self);
  static DWORD WINAPI WorkerThread(LPVOID self);
  void AnswerNewBoxes(const BoxAnswer& answer, WorkerResult& result);

  HWND main_ = nullptr;
  HANDLE uiThread_ = nullptr;
  HANDLE ready_ = nullptr;
  HANDLE worker_ = nullptr;
  DWORD workerId_ = 0;
  std::function<void()> work_;
  std::vector<HWND> answered_;
};

}  // namespace hbinproc

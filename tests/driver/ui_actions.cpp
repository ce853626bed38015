// Acting on another process's windows as a user would.
#include "ui_driver.h"

namespace ui {

void ClickButton(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }

void SelectComboItem(HWND combo, int index) {
    SendMsg(combo, CB_SETCURSEL, static_cast<WPARAM>(index));
    PostCommand(GetParent(combo), ControlId(combo), CBN_SELCHANGE, combo);
}

void ShowComboDropDown(HWND combo, bool show) { PostMessageW(combo, CB_SHOWDROPDOWN, show ? TRUE : FALSE, 0); }

void PostMsg(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) { PostMessageW(hwnd, msg, wParam, lParam); }

bool SendMsg(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, int timeoutMs, LRESULT* result) {
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutW(hwnd, msg, wParam, lParam, SMTO_NORMAL, static_cast<UINT>(timeoutMs), &answer))
        return false;
    if (result) *result = static_cast<LRESULT>(answer);
    return true;
}

void PostCommand(HWND hwnd, int id, int notification, HWND control) {
    PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(id, notification), reinterpret_cast<LPARAM>(control));
}

}  // namespace ui

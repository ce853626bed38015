// Message boxes of another process: finding, reading, answering, and telling
// their icon from the pixels on the screen.
#include "ui_driver.h"

#include <cstdlib>

namespace ui {
namespace {

constexpr int MessageTextId = 0xFFFF;  // the static that holds a message box's text
constexpr int ChannelTolerance = 24;   // summed over R, G and B
constexpr double RequiredMatch = 0.9;  // share of the icon's opaque pixels

HWND FindIconStatic(HWND box) {
    for (HWND child : Children(box)) {
        if (ClassName(child) != "Static" || !IsVisible(child)) continue;
        if ((Style(child) & SS_TYPEMASK) == SS_ICON) return child;
    }
    return nullptr;
}

// 32-bit top-down pixels of a DC-compatible bitmap.
class Pixels {
public:
    Pixels(int width, int height) : width_(width), height_(height) {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0);
        old_ = SelectObject(dc_, bitmap_);
    }
    ~Pixels() {
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    Pixels(const Pixels&) = delete;
    Pixels& operator=(const Pixels&) = delete;

    bool Valid() const { return bits_ != nullptr; }
    HDC Dc() const { return dc_; }
    DWORD At(int i) const { return bits_[i] & 0x00FFFFFF; }
    int Count() const { return width_ * height_; }

    void Fill(COLORREF color) {
        HBRUSH brush = CreateSolidBrush(color);
        RECT all = {0, 0, width_, height_};
        FillRect(dc_, &all, brush);
        DeleteObject(brush);
        GdiFlush();
    }

private:
    int width_, height_;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ old_ = nullptr;
    DWORD* bits_ = nullptr;
};

int ColorDistance(DWORD a, DWORD b) {
    int distance = 0;
    for (int shift = 0; shift < 24; shift += 8)
        distance += std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF));
    return distance;
}

// Share of the icon's fully opaque pixels (those that come out the same over
// black and over white) that the screen shows in the icon's colour.
double MatchShare(const Pixels& screen, HICON icon, int width, int height) {
    Pixels overBlack(width, height), overWhite(width, height);
    if (!overBlack.Valid() || !overWhite.Valid()) return 0;
    overBlack.Fill(RGB(0, 0, 0));
    overWhite.Fill(RGB(255, 255, 255));
    DrawIconEx(overBlack.Dc(), 0, 0, icon, width, height, 0, nullptr, DI_NORMAL);
    DrawIconEx(overWhite.Dc(), 0, 0, icon, width, height, 0, nullptr, DI_NORMAL);
    GdiFlush();
    int opaque = 0, matching = 0;
    for (int i = 0; i < screen.Count(); ++i) {
        if (overBlack.At(i) != overWhite.At(i)) continue;
        ++opaque;
        if (ColorDistance(overBlack.At(i), screen.At(i)) <= ChannelTolerance) ++matching;
    }
    return opaque == 0 ? 0 : static_cast<double>(matching) / opaque;
}

BoxIcon BestMatch(HWND iconStatic) {
    RECT r = WindowRect(iconStatic);
    const int width = Width(r), height = Height(r);
    if (width <= 0 || height <= 0) return BoxIcon::Unknown;
    Pixels screen(width, height);
    if (!screen.Valid()) return BoxIcon::Unknown;
    HDC screenDc = GetDC(nullptr);
    BitBlt(screen.Dc(), 0, 0, width, height, screenDc, r.left, r.top, SRCCOPY);
    ReleaseDC(nullptr, screenDc);
    GdiFlush();

    struct Candidate {
        BoxIcon kind;
        LPCSTR resource;
    };
    const Candidate candidates[] = {
        {BoxIcon::Warning, IDI_WARNING},
        {BoxIcon::Error, IDI_ERROR},
        {BoxIcon::Question, IDI_QUESTION},
        {BoxIcon::Information, IDI_INFORMATION},
    };
    BoxIcon best = BoxIcon::Unknown;
    double bestShare = RequiredMatch;
    for (const Candidate& candidate : candidates) {
        double share = MatchShare(screen, LoadIconA(nullptr, candidate.resource), width, height);
        if (share >= bestShare) {
            best = candidate.kind;
            bestShare = share;
        }
    }
    return best;
}

}  // namespace

const char* IconName(BoxIcon icon) {
    switch (icon) {
    case BoxIcon::None: return "none";
    case BoxIcon::Warning: return "warning";
    case BoxIcon::Error: return "error";
    case BoxIcon::Question: return "question";
    case BoxIcon::Information: return "information";
    case BoxIcon::Unknown: break;
    }
    return "unknown";
}

std::vector<int> MessageBoxInfo::ButtonIds() const {
    std::vector<int> ids;
    for (const BoxButton& button : buttons) ids.push_back(button.id);
    return ids;
}

FoundWindow WaitForMessageBox(const Process& process, int timeoutMs) {
    return WaitForWindow(process, WindowQuery{"#32770", "", true}, timeoutMs);
}

MessageBoxInfo ReadMessageBox(HWND box) {
    MessageBoxInfo info;
    info.hwnd = box;
    info.caption = WindowText(box);
    info.text = WindowText(GetDlgItem(box, MessageTextId));
    info.owner = Owner(box);
    for (HWND child : Children(box)) {
        // Some message box templates carry every button and hide the unused ones.
        if (ClassName(child) != "Button" || !IsVisible(child)) continue;
        info.buttons.push_back(BoxButton{ControlId(child), WindowText(child), child});
    }
    return info;
}

bool AnswerMessageBox(HWND box, int buttonId) {
    for (const BoxButton& button : ReadMessageBox(box).buttons) {
        if (button.id != buttonId) continue;
        ClickButton(button.hwnd);
        return true;
    }
    return false;
}

BoxIcon IdentifyIcon(HWND box, int timeoutMs) {
    // A box without an icon may still have the icon static, holding none.
    HWND iconStatic = FindIconStatic(box);
    LRESULT icon = 0;
    if (!iconStatic || !SendMsg(iconStatic, STM_GETICON, 0, 0, timeoutMs, &icon) || icon == 0) return BoxIcon::None;
    // The box may not have been painted yet; look again until it matches.
    BoxIcon seen = BoxIcon::Unknown;
    WaitUntil(
        [&] {
            seen = BestMatch(iconStatic);
            return seen != BoxIcon::Unknown;
        },
        timeoutMs, "the icon to be painted");
    return seen;
}

}  // namespace ui

// The progress window on Windows: a small window of its own class, created
// and pumped by a thread of its own, so that the caller may block in the
// task it watches. The caller's reports reach the window through atomics and
// a posted refresh message; the window's Cancel reaches the caller through
// `on_cancel`, run on the window's thread.
#include <atomic>
#include <cstdint>
#include <string>

#include "platform/threads.h"
#include "platform/ui.h"
#include "platform/win32/win32.h"

// commctrl.h after the Windows headers: the progress bar class and messages.
#include <commctrl.h>

namespace platform {

namespace {

constexpr wchar_t kClassName[] = L"VesklarProgressWindow";
// The program's icon group in the resources (resources/vesklar.rc.in).
constexpr WORD kProgramIconId = 1;

// Layout of the client area, in pixels at 96 dots per inch, scaled to the
// system's DPI.
constexpr int kClientWidth = 420;
constexpr int kClientHeight = 124;
constexpr int kMargin = 12;
constexpr int kIconSize = 32;
constexpr int kTextLeft = kMargin + kIconSize + kMargin;
constexpr int kTextHeight = 36;
constexpr int kBarTop = 56;
constexpr int kBarHeight = 18;
constexpr int kButtonWidth = 96;
constexpr int kButtonHeight = 26;
constexpr int kButtonTop = kClientHeight - kMargin - kButtonHeight;
constexpr int kBaseDpi = 96;
// The bar counts in steps of 0.1 %, well inside its 32-bit range.
constexpr int kBarSteps = 1000;
// How long closing waits for the window's thread to end.
constexpr std::uint32_t kCloseWaitMs = 5000;

constexpr UINT kRefreshMessage = WM_APP + 1;
constexpr UINT kCloseMessage = WM_APP + 2;
constexpr int kBarId = 100;
constexpr int kMarqueeId = 101;

}  // namespace

struct ProgressWindow::Impl {
  std::u16string caption, text, cancel_label;
  std::function<void()> on_cancel;
  std::atomic<HWND> window{nullptr};
  std::atomic<bool> closing{false};
  std::atomic<bool> cancelled{false};
  std::atomic<bool> refresh_posted{false};
  std::atomic<std::uint64_t> done{0}, total{0};
  HWND bar = nullptr, marquee = nullptr, button = nullptr;
  HFONT font = nullptr;
  int dpi = kBaseDpi;
  Thread thread;

  int px(int v) const { return ::MulDiv(v, dpi, kBaseDpi); }

  HWND child(HWND parent, const wchar_t* cls, const wchar_t* title, DWORD style, int x, int y, int w, int h,
             int id) {
    HWND c = ::CreateWindowExW(0, cls, title, WS_CHILD | WS_VISIBLE | style, px(x), px(y), px(w), px(h), parent,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleW(nullptr),
                               nullptr);
    if (c && font) ::SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return c;
  }

  void cancel() {
    if (cancelled.exchange(true)) return;
    if (button) ::EnableWindow(button, FALSE);
    if (on_cancel) on_cancel();
  }

  void refresh() {
    refresh_posted = false;
    const std::uint64_t t = total, d = done;
    const bool known = t != 0;
    ::ShowWindow(bar, known ? SW_SHOW : SW_HIDE);
    ::ShowWindow(marquee, known ? SW_HIDE : SW_SHOW);
    ::SendMessageW(marquee, PBM_SETMARQUEE, known ? FALSE : TRUE, 0);
    if (known) {
      std::uint64_t step = kBarSteps;
      if (d < t) step = t <= UINT64_MAX / kBarSteps ? d * kBarSteps / t : d / (t / kBarSteps);
      ::SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(step < kBarSteps ? step : kBarSteps), 0);
    }
  }

  static LRESULT CALLBACK procedure(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
      auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
      ::SetWindowLongPtrW(w, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    auto* self = reinterpret_cast<Impl*>(::GetWindowLongPtrW(w, GWLP_USERDATA));
    switch (msg) {
      case WM_COMMAND:
        if (LOWORD(wp) == IDCANCEL && self) self->cancel();
        return 0;
      case WM_CLOSE:  // the user closed it: a cancel; the owner destroys it
        if (self) self->cancel();
        return 0;
      case kRefreshMessage:
        if (self) self->refresh();
        return 0;
      case kCloseMessage:
        ::DestroyWindow(w);
        return 0;
      case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
      default:
        return ::DefWindowProcW(w, msg, wp, lp);
    }
  }

  bool create() {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&controls);
    const HINSTANCE module = ::GetModuleHandleW(nullptr);
    // Shared: the system owns it, and it is never destroyed here.
    const HICON icon = static_cast<HICON>(::LoadImageW(module, MAKEINTRESOURCEW(kProgramIconId), IMAGE_ICON, 0, 0,
                                                       LR_DEFAULTSIZE | LR_SHARED));
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = procedure;
    wc.hInstance = module;
    wc.hIcon = icon;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    wc.lpszClassName = kClassName;
    // A second window in the same process finds the class registered.
    if (!::RegisterClassExW(&wc) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;

    HDC screen = ::GetDC(nullptr);
    if (screen) {
      dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
      ::ReleaseDC(nullptr, screen);
    }
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
      font = ::CreateFontIndirectW(&metrics.lfMessageFont);

    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    const DWORD ex_style = WS_EX_DLGMODALFRAME;
    RECT r{0, 0, px(kClientWidth), px(kClientHeight)};
    ::AdjustWindowRectEx(&r, style, FALSE, ex_style);
    const int w = r.right - r.left, h = r.bottom - r.top;
    const int x = (::GetSystemMetrics(SM_CXSCREEN) - w) / 2, y = (::GetSystemMetrics(SM_CYSCREEN) - h) / 2;
    HWND win = ::CreateWindowExW(ex_style, kClassName, win32::wide(caption), style, x, y, w, h, nullptr, nullptr,
                                 module, this);
    if (!win) return false;
    HWND picture = child(win, L"STATIC", nullptr, SS_ICON, kMargin, kMargin, kIconSize, kIconSize, -1);
    if (picture && icon) ::SendMessageW(picture, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
    child(win, L"STATIC", win32::wide(text), SS_LEFT | SS_NOPREFIX, kTextLeft, kMargin,
          kClientWidth - kTextLeft - kMargin, kTextHeight, -1);
    bar = child(win, PROGRESS_CLASSW, nullptr, PBS_SMOOTH, kMargin, kBarTop, kClientWidth - 2 * kMargin,
                kBarHeight, kBarId);
    marquee = child(win, PROGRESS_CLASSW, nullptr, PBS_MARQUEE, kMargin, kBarTop, kClientWidth - 2 * kMargin,
                    kBarHeight, kMarqueeId);
    ::SendMessageW(bar, PBM_SETRANGE32, 0, kBarSteps);
    button = child(win, L"BUTTON", win32::wide(cancel_label), BS_DEFPUSHBUTTON | WS_TABSTOP,
                   kClientWidth - kMargin - kButtonWidth, kButtonTop, kButtonWidth, kButtonHeight, IDCANCEL);
    refresh();
    ::ShowWindow(win, SW_SHOWNORMAL);
    ::UpdateWindow(win);
    ::SetFocus(button);
    // Published before `closing` is read, as the destructor sets `closing`
    // before it reads `window`: one of the two always sees the other.
    window = win;
    if (closing) ::DestroyWindow(win);
    return true;
  }

  void run() {
    if (create()) {
      MSG msg;
      while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        // Escape and Enter on the button, as in a dialog box.
        HWND w = window;
        if (w && ::IsDialogMessageW(w, &msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
      }
    }
    window = nullptr;
    if (font) ::DeleteObject(font);
  }
};

ProgressWindow::ProgressWindow(std::u16string_view caption, std::u16string_view text,
                               std::u16string_view cancel_label, std::function<void()> on_cancel)
    : impl_(std::make_unique<Impl>()) {
  impl_->caption = win32::terminated(caption);
  impl_->text = win32::terminated(text);
  impl_->cancel_label = win32::terminated(cancel_label);
  impl_->on_cancel = std::move(on_cancel);
  impl_->thread = start_thread([](void* p) { static_cast<Impl*>(p)->run(); }, impl_.get());
}

ProgressWindow::~ProgressWindow() {
  impl_->closing = true;
  if (HWND w = impl_->window) ::PostMessageW(w, kCloseMessage, 0, 0);
  // A thread that does not end in time is left to the process's end, with
  // the window state it uses kept alive with it.
  if (impl_->thread.valid() && !impl_->thread.wait(kCloseWaitMs)) impl_.release();
}

void ProgressWindow::set_progress(std::uint64_t done, std::uint64_t total) {
  impl_->done = done;
  impl_->total = total;
  HWND w = impl_->window;
  // One refresh waiting in the queue is enough: it reads the latest values.
  if (w && !impl_->refresh_posted.exchange(true)) ::PostMessageW(w, kRefreshMessage, 0, 0);
}

}  // namespace platform

// The window's children: the four EDIT boxes of the design and the tooltips.
#include <windows.h>
// commctrl.h needs windows.h before it.
#include <commctrl.h>

#include <utility>

#include "panel/dpi_geometry.h"
#include "platform/windows/wide_text.h"
#include "window/win32/gdi_painter.h"
#include "window/win32/main_window.h"

namespace tovanik::win32 {

using windows::utf16;
using windows::utf8;

namespace {

// Child window identifiers: the box's place in the design, above the dialog codes
// (IDOK, IDCANCEL) that IsDialogMessage sends for Enter and Escape.
constexpr int kFirstBoxId = 100;

std::wstring windowText(HWND window) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

}  // namespace

HWND MainWindow::box(Ctl which) const { return boxes_[static_cast<std::size_t>(index(which))]; }

void MainWindow::createTextBoxes(std::initializer_list<Ctl> boxes) {
  // Placed by placeChildren; Tab moves through child windows in the order they were
  // made, which the caller puts in the design's (kTextBoxTabOrder).
  for (Ctl which : boxes) {
    const ControlDesign& s = design(which);
    const DWORD style = WS_CHILD | WS_TABSTOP | ES_AUTOHSCROLL | (s.visible ? WS_VISIBLE : 0) |
                        (which == Ctl::txtPort ? ES_RIGHT : ES_LEFT);
    HWND edit =
        CreateWindowExW(0, L"EDIT", L"", style, 0, 0, 0, 0, hwnd_,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstBoxId + index(which))),
                        instance_, nullptr);
    SendMessageW(edit, EM_SETLIMITTEXT, 0, 0);  // no length limit
    boxes_[static_cast<std::size_t>(index(which))] = edit;
    if (which == Ctl::txtPort) {
      // Subclassed by hand (the common controls' SetWindowSubclass would load comctl32);
      // the window first, so the procedure never runs without it.
      SetWindowLongPtrW(edit, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
      portBoxEdit_ = reinterpret_cast<WNDPROC>(
          SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(portBoxProc)));
    }
  }
}

LRESULT CALLBACK MainWindow::portBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* window = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(box, GWLP_USERDATA));
  switch (message) {
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      window->relayToTooltips(box, message, wParam, lParam);
      window->keyboard_.pointerPressed();
      window->panel_.txtPortPress();
      window->sync();
      break;
    case WM_MOUSEMOVE:
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
      window->relayToTooltips(box, message, wParam, lParam);
      break;
    case WM_KEYDOWN:
      // Ctrl+A selects the whole text, as the common controls' edit box does; the
      // system's own does nothing.
      if (wParam == 'A' && GetKeyState(VK_CONTROL) < 0 && GetKeyState(VK_MENU) >= 0) {
        SendMessageW(box, EM_SETSEL, 0, -1);
        return 0;
      }
      break;
    case WM_CHAR:
      if (wParam == 1) return 0;  // the character Ctrl+A makes: nothing to type
      break;
    default:
      break;
  }
  switch (message) {
    case WM_KEYDOWN:  // Delete edits without a character
    case WM_CHAR:
    case WM_PASTE:
    case WM_CUT:
    case WM_CLEAR:
      window->noteKeySelection(box);
      break;
    default:
      break;
  }
  return CallWindowProcW(window->portBoxEdit_, box, message, wParam, lParam);
}

void MainWindow::noteKeySelection(HWND edit) {
  // The selection before the key edits the text: a refused key gets it back.
  DWORD start = 0, end = 0;
  SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  const std::string text = utf8(windowText(edit));
  const int from = utf8Bytes(text, static_cast<int>(start));
  keySelection_ = PortSelection{from, utf8Bytes(text, static_cast<int>(end)) - from};
}

void MainWindow::portTextChanged() {
  if (syncingBoxes_) return;
  panel_.setPortText(utf8(windowText(box(Ctl::txtPort))), std::exchange(keySelection_, std::nullopt));
  sync();
}

void MainWindow::syncBox(Ctl which) {
  HWND edit = box(which);
  const ControlState& c = panel_[which];
  const std::wstring text = utf16(c.caption);
  std::optional<std::wstring>& known = boxTexts_[static_cast<std::size_t>(index(which))];
  if (known != text) {
    if (windowText(edit) != text) {
      syncingBoxes_ = true;
      SetWindowTextW(edit, text.c_str());
      syncingBoxes_ = false;
    }
    known = text;
  }
  if (static_cast<bool>(IsWindowEnabled(edit)) != c.enabled) EnableWindow(edit, c.enabled);
  if (which != Ctl::txtPort) return;
  fitPortFont();
  if (!portBrush_ || c.background != portBrushColour_) {
    if (portBrush_) DeleteObject(portBrush_);
    portBrush_ = CreateSolidBrush(colorRef(c.background));
    portBrushColour_ = c.background;
    InvalidateRect(edit, nullptr, TRUE);
  }
  if (auto selection = panel_.takePortSelection())
    SendMessageW(edit, EM_SETSEL, static_cast<WPARAM>(utf16Units(c.caption, selection->start)),
                 static_cast<LPARAM>(utf16Units(c.caption, selection->start + selection->length)));
}

void MainWindow::fitPortFont() {
  // The edit box scrolls rather than cut its text, and a scrolled box hides its first
  // digits: the font is fitted so that none scrolls.
  const std::optional<std::string> text = portFont_.refitFor(panel_[Ctl::txtPort].caption);
  if (!text) return;
  const PixelBox b = deviceBox(design(Ctl::txtPort), dpi_);
  // The caret takes a pixel beyond the text.
  const int room = b.right - b.left - 2;
  HDC dc = GetDC(box(Ctl::txtPort));
  HFONT font = fonts_.captionFont(dc, design(Ctl::txtPort).font, false, utf16(*text), room);
  ReleaseDC(box(Ctl::txtPort), dc);
  SendMessageW(box(Ctl::txtPort), WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  // No margins: the port's digits end at the box's right edge, in line with the
  // right-aligned address and web folder above them, and the fit's room is the whole box.
  // Set after every change of font, which puts back margins of the font's own.
  SendMessageW(box(Ctl::txtPort), EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, 0);
}

LRESULT MainWindow::boxColours(HDC dc, HWND) {
  SetTextColor(dc, colorRef(colour::kButtonFace));
  SetBkColor(dc, colorRef(panel_[Ctl::txtPort].background));
  return reinterpret_cast<LRESULT>(portBrush_);
}

void MainWindow::forgetBoxText(HWND edit) {
  for (std::size_t i = 0; i < boxes_.size(); ++i)
    if (boxes_[i] == edit) boxTexts_[i].reset();
}

void MainWindow::relayToTooltips(HWND over, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!tooltipsTried_ && message == WM_MOUSEMOVE) {
    tooltipsTried_ = true;
    createTooltips();
    if (tooltip_) placeTooltips();
  }
  if (!tooltip_) return;
  MSG motion{over, message, wParam, lParam, static_cast<DWORD>(GetMessageTime()), {}};
  const DWORD screen = GetMessagePos();
  motion.pt = POINT{static_cast<short>(LOWORD(screen)), static_cast<short>(HIWORD(screen))};
  SendMessageW(tooltip_, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&motion));
}

void MainWindow::createTooltips() {
  tooltip_ = commonControls_.create(WS_EX_TOPMOST, TOOLTIPS_CLASSW,
                                    WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, hwnd_);
  if (!tooltip_) return;  // the panel works on without its tips
  // A reason why the server did not start can be a long line: wrapped, it stays on screen.
  SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, 480);
  // One tool per label, in drawing order so the topmost label wins where two overlap, as
  // labelAt decides; their rectangles follow the DPI (fitToDpi). The texts are asked for
  // when a tip is about to show, so they follow the Panel (TTN_GETDISPINFO).
  // The version 2 size works with common controls 5 and 6 alike.
  TTTOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  tool.uFlags = 0;  // the window relays its pointer messages (relayToTooltips)
  tool.hwnd = hwnd_;
  tool.lpszText = LPSTR_TEXTCALLBACKW;
  for (int i = 0; i < kControlCount; ++i) {
    if (kLayout[i].kind != Kind::Label) continue;
    tool.uId = static_cast<UINT_PTR>(i);
    SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  }
  tool.uFlags = TTF_IDISHWND;
  tool.uId = reinterpret_cast<UINT_PTR>(box(Ctl::txtPort));
  SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

LRESULT MainWindow::tooltipText(LPARAM info) {
  auto* request = reinterpret_cast<NMTTDISPINFOW*>(info);
  std::optional<Ctl> which;
  if (request->uFlags & TTF_IDISHWND)
    which = Ctl::txtPort;
  else if (request->hdr.idFrom < static_cast<UINT_PTR>(kControlCount))
    which = static_cast<Ctl>(request->hdr.idFrom);
  // An empty text shows no tip.
  tooltipText_ = which ? utf16(panel_[*which].tooltip) : std::wstring();
  request->lpszText = tooltipText_.data();
  // The tip's window carries its text as its name, for assistive tools and for anything
  // that reads the screen by window (the display test does): its pixels alone do not say it.
  SetWindowTextW(tooltip_, tooltipText_.c_str());
  return 0;
}

}  // namespace tovanik::win32

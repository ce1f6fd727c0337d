// tarnwell: the window Form1 with its controls, and the events it hands to
// the tester's actions.
#include <windows.h>

#include <memory>

#include "korvane_binding.h"
#include "resources.h"
#include "tester.h"

namespace tarnwell {
namespace {

constexpr int kTwipsPerInch = 1440;
constexpr int kClientWidth = 6225;  // twips
constexpr int kClientHeight = 4080;
constexpr int kFrameLeft = 3180;  // the option buttons and PDText stand inside the frame
constexpr int kFrameTop = 90;

enum ControlId : int {
  // Above IDOK and IDCANCEL, which the keyboard handling sends for Enter and Escape.
  kGet = 100,
  kClear,
  kClose,
  kList,
  kFrame,
  kProductIdText,
  kOption0 = 110,  // kOption0 + index
};

struct ControlSpec {
  const wchar_t* className;
  const wchar_t* text;
  DWORD exStyle;
  DWORD style;
  int id;
  int left, top, width, height;  // twips; inside the frame when inFrame
  bool inFrame;
};

// In tab order, which is also the order of creation. The frame comes last,
// though it is drawn first: each control clips the siblings created before
// it, so a frame created before the controls inside it would hide them.
const ControlSpec kControls[] = {
    {L"BUTTON", L"Get", 0, BS_PUSHBUTTON | WS_TABSTOP, kGet, 240, 240, 1335, 375, false},
    {L"BUTTON", L"Clear", 0, BS_PUSHBUTTON | WS_TABSTOP, kClear, 1800, 240, 1215, 375, false},
    {L"BUTTON", L"Close", 0, BS_PUSHBUTTON | WS_TABSTOP, kClose, 5280, 240, 855, 375, false},
    {L"LISTBOX", L"", WS_EX_CLIENTEDGE, LBS_NOINTEGRALHEIGHT | LBS_NOTIFY | WS_VSCROLL | WS_TABSTOP, kList, 120,
     1410, 6015, 2400, false},
    // The four option buttons and the text box form one radio group.
    {L"BUTTON", L"Model-C300 USB", 0, BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP, kOption0 + 0, 180, 240, 1575, 195,
     true},
    {L"BUTTON", L"Model-B200/B210", 0, BS_AUTORADIOBUTTON | WS_TABSTOP, kOption0 + 1, 180, 450, 1725, 195, true},
    {L"BUTTON", L"Model-A100", 0, BS_AUTORADIOBUTTON | WS_TABSTOP, kOption0 + 2, 180, 660, 1575, 195, true},
    {L"EDIT", L"", WS_EX_CLIENTEDGE, ES_AUTOHSCROLL | WS_TABSTOP, kProductIdText, 450, 870, 735, 270, true},
    {L"BUTTON", L"", 0, BS_AUTORADIOBUTTON | WS_TABSTOP, kOption0 + 3, 180, 900, 1575, 195, true},
    {L"BUTTON", L"Device", 0, BS_GROUPBOX, kFrame, 0, 0, 1995, 1245, true},
};

int ToPixels(int twips, int dpi) { return MulDiv(twips, dpi, kTwipsPerInch); }

int ScreenDpi() {
  const HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  return dpi;
}

class WindowView : public TesterView {
 public:
  explicit WindowView(HWND window) : window_(window) {}

  WString ProductIdText() const override {
    const HWND edit = GetDlgItem(window_, kProductIdText);
    WString text(static_cast<std::size_t>(GetWindowTextLengthW(edit)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(edit, &text[0], static_cast<int>(text.size()))));
    return text;
  }
  void FocusProductIdText() override { SetFocus(GetDlgItem(window_, kProductIdText)); }
  void ClearList() override { SendDlgItemMessageW(window_, kList, LB_RESETCONTENT, 0, 0); }
  void AppendLines(const std::vector<WString>& lines) override {
    const HWND list = GetDlgItem(window_, kList);
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    for (const auto& line : lines) SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
  }
  void ShowMessage(const WString& text) override { MessageBoxW(window_, text.c_str(), L"tarnwell", MB_OK); }
  void Close() override { DestroyWindow(window_); }

 private:
  HWND window_;
};

// Everything the window owns; it lives as long as the window.
struct Form {
  explicit Form(HWND window) : view(window), tester(view, library) {}
  KorvaneBinding library;
  WindowView view;
  Tester tester;
};

void CreateControls(HWND window, HINSTANCE instance) {
  const int dpi = ScreenDpi();
  const auto font = reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT));
  for (const auto& layout : kControls) {
    const int left = layout.left + (layout.inFrame ? kFrameLeft : 0);
    const int top = layout.top + (layout.inFrame ? kFrameTop : 0);
    const HWND control = CreateWindowExW(
        layout.exStyle, layout.className, layout.text, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | layout.style, ToPixels(left, dpi), ToPixels(top, dpi),
        ToPixels(layout.width, dpi), ToPixels(layout.height, dpi), window,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(layout.id)), instance, nullptr);
    SendMessageW(control, WM_SETFONT, font, FALSE);
  }
  SendDlgItemMessageW(window, kProductIdText, EM_SETLIMITTEXT, 4, 0);
  CheckRadioButton(window, kOption0, kOption0 + 3, kOption0);
}

void OnCommand(Form& form, int id, int code) {
  if (code != BN_CLICKED) return;
  switch (id) {
    case kGet: form.tester.OnGet(); break;
    case kClear: form.tester.OnClear(); break;
    case kClose: form.tester.OnClose(); break;
    default:
      if (id >= kOption0 && id <= kOption0 + 3) form.tester.OnOption(static_cast<std::int16_t>(id - kOption0));
      break;
  }
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* form = reinterpret_cast<Form*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  switch (message) {
    case WM_COMMAND:
      if (form != nullptr && lParam != 0) OnCommand(*form, LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

HWND CreateForm(HINSTANCE instance) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_TARNWELL));
  windowClass.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_TARNWELL), IMAGE_ICON,
                                                      GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
  windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = L"tarnwell.Form1";
  if (RegisterClassExW(&windowClass) == 0) return nullptr;
  const int dpi = ScreenDpi();
  RECT frame{0, 0, ToPixels(kClientWidth, dpi), ToPixels(kClientHeight, dpi)};
  AdjustWindowRectEx(&frame, WS_OVERLAPPEDWINDOW, FALSE, 0);
  return CreateWindowExW(0, windowClass.lpszClassName, L"Form1", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                         frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, instance, nullptr);
}

}  // namespace
}  // namespace tarnwell

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  using namespace tarnwell;
  const HWND window = CreateForm(instance);
  if (window == nullptr) return 1;
  CreateControls(window, instance);
  auto form = std::make_unique<Form>(window);
  SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form.get()));
  form->tester.OnLoad();  // before the window is first shown
  ShowWindow(window, showCommand);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    // Tab and the arrow keys move between the controls as in a dialog.
    if (!IsDialogMessageW(window, &message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  return static_cast<int>(message.wParam);
}

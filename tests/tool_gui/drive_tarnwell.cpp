// Drives tarnwell.exe's window "Form1" the way an operator would: clicks its
// buttons and option buttons, types into PDText, reads List1, reads and
// answers its message boxes, and checks what each action shows.
//
//   drive_tarnwell.exe [--fake DIR] [--no-entry DIR] [--no-library DIR] [--shots DIR]
//
// The tarnwell.exe beside this program runs against the real KORVANE.dll and
// the registry devices.reg sets up. Each DIR holds another copy of
// tarnwell.exe: beside the fake library (fake_korvane.cpp), beside a
// KORVANE.dll without the entry, and alone. With --shots, screenshots are
// asked for by writing DIR\NAME.png.request (the area to keep, as
// WIDTHxHEIGHT+X+Y); whoever watches the folder takes the picture, writes
// DIR\NAME.png and deletes the request (run_gui_tests.sh does).
//
// Ends with the line "N passed, N failed"; exit status 1 when a check failed.
#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "check.h"
#include "common/handles.h"
#include "common/utf.h"

namespace {

using std::wstring;

constexpr DWORD kStartTimeoutMs = 30000;  // the first window in a fresh prefix is slow
constexpr DWORD kBoxTimeoutMs = 15000;
constexpr UINT kSendTimeoutMs = 5000;  // a click that opens no box returns at once
constexpr DWORD kGoneTimeoutMs = 10000;
constexpr DWORD kShotTimeoutMs = 30000;

// "入力不足です", the warning for a typed product id that is not 4 characters.
const wchar_t kInputTooShort[] = L"\u5165\u529b\u4e0d\u8db3\u3067\u3059";

std::string Utf8(const wstring& text) { return common::Utf16ToUtf8(std::wstring_view(text)); }

std::string Quoted(const wstring& text) {
  // Long texts (a 1024-letter name) are shortened in messages, not in checks.
  if (text.size() > 80) return "\"" + Utf8(text.substr(0, 40)) + "...\" (" + std::to_string(text.size()) + " chars)";
  return "\"" + Utf8(text) + "\"";
}

std::string Quoted(const std::vector<wstring>& lines) {
  std::string out = "{";
  for (std::size_t i = 0; i < lines.size(); ++i) out += (i == 0 ? "" : ", ") + Quoted(lines[i]);
  return out + "}";
}

double SecondsSince(ULONGLONG started) { return static_cast<double>(GetTickCount64() - started) / 1000.0; }

void Note(const std::string& text) {
  std::printf("  note: %s\n", text.c_str());
  std::fflush(stdout);
}

// ---- Talking to another process's windows.

// Sends with a time limit; false when the window did not answer in time
// (its thread is held, e.g. by a message box a click opened).
bool Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result = nullptr) {
  DWORD_PTR answer = 0;
  const LRESULT ok = SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, kSendTimeoutMs, &answer);
  if (result != nullptr) *result = static_cast<LRESULT>(answer);
  return ok != 0;
}

wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

// WM_GETTEXT works across processes, also on edits, where GetWindowTextW
// returns "" as it does on Windows.
wstring TextOf(HWND window) {
  LRESULT length = 0;
  if (window == nullptr || !Send(window, WM_GETTEXTLENGTH, 0, 0, &length) || length < 0) return wstring();
  wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  LRESULT copied = 0;
  Send(window, WM_GETTEXT, static_cast<WPARAM>(text.size()), reinterpret_cast<LPARAM>(&text[0]), &copied);
  text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
  return text;
}

template <typename Done>
bool WaitUntil(DWORD timeoutMs, Done done) {
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  for (;;) {
    if (done()) return true;
    if (GetTickCount64() >= end) return false;
    Sleep(20);
  }
}

struct BoxSearch {
  DWORD processId;
  HWND found;
};

BOOL CALLBACK FindBoxProc(HWND window, LPARAM lParam) {
  auto* search = reinterpret_cast<BoxSearch*>(lParam);
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  if (processId == search->processId && IsWindowVisible(window) && ClassOf(window) == L"#32770") {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

// What a click must bring up: nothing, or a message box with this text.
struct Expected {
  const wchar_t* text = nullptr;  // nullptr: no message box
  bool whole = true;              // false: the box's text contains it
};

Expected NoBox() { return Expected{}; }
Expected Box(const wchar_t* text) { return Expected{text, true}; }
Expected BoxMentioning(const wchar_t* text) { return Expected{text, false}; }

// ---- One run of tarnwell.exe and its window.

class Tarnwell {
 public:
  Tarnwell(wstring folder, wstring shots) : folder_(std::move(folder)), shots_(std::move(shots)) {}
  Tarnwell(const Tarnwell&) = delete;
  Tarnwell& operator=(const Tarnwell&) = delete;
  ~Tarnwell() {
    if (process_ && alive()) TerminateProcess(process_.get(), 99);
  }

  // Starts tarnwell.exe in its own folder, which is also its current folder
  // (so that KORVANE.dll is found there or nowhere), and finds its window
  // and controls.
  bool Start() {
    const wstring exe = folder_ + L"\\tarnwell.exe";
    wstring commandLine = L"\"" + exe + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    const bool created = CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                                        folder_.c_str(), &startup, &started);
    process_.reset(started.hProcess);
    thread_.reset(started.hThread);
    processId_ = started.dwProcessId;
    if (!created) {
      return CHECK_THAT(false, "CreateProcess " + Utf8(exe) + " failed, error " + std::to_string(GetLastError()));
    }
    WaitForInputIdle(process_.get(), kStartTimeoutMs);
    const bool found = WaitUntil(kStartTimeoutMs, [this] {
      for (HWND window = nullptr; (window = FindWindowExW(nullptr, window, nullptr, L"Form1")) != nullptr;) {
        DWORD processId = 0;
        GetWindowThreadProcessId(window, &processId);
        if (processId == processId_ && IsWindowVisible(window)) {
          form_ = window;
          return true;
        }
      }
      return !alive();
    });
    if (!CHECK_THAT(found && form_ != nullptr, "a visible window \"Form1\" of tarnwell's process")) return false;
    threadId_ = GetWindowThreadProcessId(form_, nullptr);
    for (const NamedControl& control : kNamedControls) {
      this->*control.handle = FindWindowExW(form_, nullptr, control.className, control.title);
    }
    // The option buttons, in the order of the form's children (its tab order).
    options_.clear();
    for (HWND child = GetWindow(form_, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
      const auto type = static_cast<DWORD>(GetWindowLongW(child, GWL_STYLE)) & BS_TYPEMASK;
      if (ClassOf(child) == L"Button" && (type == BS_AUTORADIOBUTTON || type == BS_RADIOBUTTON)) {
        options_.push_back(child);
      }
    }
    bool ok = CHECK_THAT(get_ && clear_ && close_ && list_ && edit_ && frame_,
                         "Form1 has Get, Clear, Close, List1, PDText and the frame \"Device\"");
    ok = CHECK_THAT(options_.size() == 4,
                    "the frame holds 4 option buttons (found " + std::to_string(options_.size()) + ")") &&
         ok;
    return ok;
  }

  bool alive() const { return WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }
  HWND form() const { return form_; }
  HWND get() const { return get_; }
  HWND clear() const { return clear_; }
  HWND close() const { return close_; }
  HWND list() const { return list_; }
  HWND edit() const { return edit_; }
  HWND option(int index) const {
    return index >= 0 && static_cast<std::size_t>(index) < options_.size() ? options_[static_cast<std::size_t>(index)]
                                                                           : nullptr;
  }

  std::string NameOf(HWND control) const {
    if (control == nullptr) return "(none)";
    if (control == form_) return "Form1";
    for (const NamedControl& named : kNamedControls) {
      if (control == this->*named.handle) return named.name;
    }
    for (std::size_t i = 0; i < options_.size(); ++i) {
      if (options_[i] == control) return "option " + std::to_string(i);
    }
    return Utf8(ClassOf(control)) + " " + Quoted(TextOf(control));
  }

  // A visible message box of tarnwell's process, or nullptr.
  HWND FindBox() const {
    BoxSearch search{processId_, nullptr};
    EnumWindows(FindBoxProc, reinterpret_cast<LPARAM>(&search));
    return search.found;
  }

  static wstring BoxText(HWND box) {
    HWND text = GetDlgItem(box, 0xFFFF);
    if (text == nullptr) text = GetDlgItem(box, -1);
    return TextOf(text);
  }

  // Presses the box's OK and waits until it is gone.
  bool PressOk(HWND box) {
    const HWND ok = GetDlgItem(box, IDOK);
    if (!CHECK_THAT(ok != nullptr, "the message box has an OK button")) return false;
    Send(ok, BM_CLICK, 0, 0);
    return CHECK_THAT(WaitUntil(kGoneTimeoutMs, [box] { return !IsWindow(box) || !IsWindowVisible(box); }),
                      "the message box closes on OK");
  }

  // Clicks a button as a mouse click would, and checks the message box it
  // brings up, if any; takes a screenshot while the box shows when asked.
  void Click(HWND button, const Expected& expected, const char* shot = nullptr) {
    const std::string name = NameOf(button);
    if (expected.text == nullptr) {
      // A sent click returns when the click is handled; one that opens a box
      // would wait for the box, hence the time limit.
      const bool answered = Send(button, BM_CLICK, 0, 0);
      const HWND box = answered ? FindBox() : WaitBox(2000);
      if (box != nullptr) {
        CHECK_THAT(false, "clicking " + name + " shows no message box, but it shows " + Quoted(BoxText(box)));
        PressOk(box);
      } else {
        CHECK_THAT(answered, "clicking " + name + " returns");
      }
      return;
    }
    // A click that opens a modal box is posted: sending it would wait until
    // the box were closed.
    PostMessageW(button, BM_CLICK, 0, 0);
    const HWND box = WaitBox(kBoxTimeoutMs);
    if (!CHECK_THAT(box != nullptr, "clicking " + name + " shows a message box saying " + Quoted(expected.text))) {
      return;
    }
    const wstring text = BoxText(box);
    CHECK_THAT(expected.whole ? text == expected.text : text.find(expected.text) != wstring::npos,
               "clicking " + name + " shows " + Quoted(text) + ", expected " + (expected.whole ? "" : "a text with ") +
                   Quoted(expected.text));
    CHECK_THAT(TextOf(box) == L"tarnwell",
               "the message box's caption is " + Quoted(TextOf(box)) + ", expected \"tarnwell\"");
    if (shot != nullptr) Shoot(shot, box);
    PressOk(box);
  }

  // Replaces PDText's text by typing: select all, backspace, one WM_CHAR per
  // character, so that the edit's own limit applies as to a keyboard.
  void Type(const wchar_t* text) {
    Send(edit_, EM_SETSEL, 0, -1);
    Send(edit_, WM_CHAR, VK_BACK, 1);
    for (const wchar_t* c = text; *c != L'\0'; ++c) Send(edit_, WM_CHAR, static_cast<WPARAM>(*c), 1);
  }

  std::vector<wstring> Lines() const {
    std::vector<wstring> lines;
    LRESULT count = 0;
    if (!Send(list_, LB_GETCOUNT, 0, 0, &count)) return lines;
    for (LRESULT i = 0; i < count; ++i) lines.push_back(Line(static_cast<WPARAM>(i)));
    return lines;
  }

  wstring Line(WPARAM index) const {
    LRESULT length = 0;
    if (!Send(list_, LB_GETTEXTLEN, index, 0, &length) || length < 0) return L"(no such line)";
    wstring line(static_cast<std::size_t>(length) + 1, L'\0');
    LRESULT copied = 0;
    Send(list_, LB_GETTEXT, index, reinterpret_cast<LPARAM>(&line[0]), &copied);
    line.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return line;
  }

  // Indexes of the checked option buttons.
  std::vector<int> Checked() const {
    std::vector<int> checked;
    for (std::size_t i = 0; i < options_.size(); ++i) {
      LRESULT state = 0;
      if (Send(options_[i], BM_GETCHECK, 0, 0, &state) && state == BST_CHECKED) checked.push_back(static_cast<int>(i));
    }
    return checked;
  }

  // The control that has the keyboard focus in tarnwell's thread.
  HWND Focus() const {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(threadId_, &info) ? info.hwndFocus : nullptr;
  }

  // Presses a key where the focus is, as the keyboard would; tarnwell's
  // message loop hands it to IsDialogMessage. Returns the control focused next.
  HWND PressKey(WPARAM key) {
    const HWND from = Focus();
    const HWND target = from != nullptr ? from : form_;
    const auto scan = static_cast<LPARAM>(MapVirtualKeyW(static_cast<UINT>(key), MAPVK_VK_TO_VSC)) << 16;
    PostMessageW(target, WM_KEYDOWN, key, scan | 1);
    PostMessageW(target, WM_KEYUP, key, scan | static_cast<LPARAM>(0xC0000001u));
    Send(form_, WM_NULL, 0, 0);  // let the posted keys through
    WaitUntil(1000, [&] { return Focus() != from; });
    return Focus();
  }

  // Asks for a screenshot of Form1 (and the box, if given) and waits for it.
  // Of the window's client area alone when asked: what is the same on
  // Windows and here, without the frame that Wine draws its own way.
  void Shoot(const char* name, HWND box = nullptr, bool clientArea = false) {
    if (shots_.empty()) return;
    // Let the window finish painting what the last action changed.
    Send(form_, WM_NULL, 0, 0);
    Sleep(300);
    RECT area;
    if (clientArea) {
      GetClientRect(form_, &area);
      MapWindowPoints(form_, nullptr, reinterpret_cast<POINT*>(&area), 2);
    } else {
      GetWindowRect(form_, &area);
      if (box != nullptr) {
        RECT boxArea;
        GetWindowRect(box, &boxArea);
        UnionRect(&area, &area, &boxArea);
      }
      InflateRect(&area, 12, 12);
    }
    RECT screen;
    GetWindowRect(GetDesktopWindow(), &screen);
    IntersectRect(&area, &area, &screen);
    const wstring wideName(name, name + std::char_traits<char>::length(name));
    const wstring png = shots_ + L"\\" + wideName + L".png";
    const wstring request = png + L".request";
    const wstring partial = request + L".part";
    DeleteFileW(png.c_str());
    const std::string geometry = std::to_string(area.right - area.left) + "x" + std::to_string(area.bottom - area.top) +
                                 "+" + std::to_string(area.left) + "+" + std::to_string(area.top) + "\n";
    bool ok = false;
    {
      const HANDLE created = CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
      const common::UniqueKernelHandle file(created != INVALID_HANDLE_VALUE ? created : nullptr);
      DWORD written = 0;
      ok = file && WriteFile(file.get(), geometry.data(), static_cast<DWORD>(geometry.size()), &written, nullptr);
    }
    // Renamed into place whole, so the watcher never reads half a request.
    if (!CHECK_THAT(ok && MoveFileExW(partial.c_str(), request.c_str(), MOVEFILE_REPLACE_EXISTING),
                    "writing the screenshot request " + Utf8(request))) {
      return;
    }
    const bool taken =
        WaitUntil(kShotTimeoutMs, [&] { return GetFileAttributesW(request.c_str()) == INVALID_FILE_ATTRIBUTES; });
    CHECK_THAT(taken && GetFileAttributesW(png.c_str()) != INVALID_FILE_ATTRIBUTES,
               "screenshot " + Utf8(png) + " taken");
    if (taken) std::printf("  screenshot: %s\n", Utf8(png).c_str());
  }

  // Clicks Close; the program must end by itself, with exit status 0.
  void Close() {
    Click(close_, NoBox());
    const bool ended = WaitForSingleObject(process_.get(), kGoneTimeoutMs) == WAIT_OBJECT_0;
    DWORD status = 0;
    GetExitCodeProcess(process_.get(), &status);
    CHECK_THAT(ended, "Close ends the program");
    if (ended) CHECK_THAT(status == 0, "tarnwell's exit status is " + std::to_string(status) + ", expected 0");
  }

 private:
  // Form1's controls that have a name of their own, found by class and title.
  struct NamedControl {
    HWND Tarnwell::*handle;
    const wchar_t* className;
    const wchar_t* title;  // nullptr: the only one of its class
    const char* name;      // in messages
  };

  HWND WaitBox(DWORD timeoutMs) const {
    HWND box = nullptr;
    WaitUntil(timeoutMs, [&] {
      box = FindBox();
      return box != nullptr || !alive();
    });
    return box;
  }

  wstring folder_;
  wstring shots_;
  common::UniqueKernelHandle process_;
  common::UniqueKernelHandle thread_;
  DWORD processId_ = 0;
  DWORD threadId_ = 0;
  HWND form_ = nullptr, get_ = nullptr, clear_ = nullptr, close_ = nullptr, list_ = nullptr, edit_ = nullptr,
       frame_ = nullptr;
  std::vector<HWND> options_;

  static constexpr NamedControl kNamedControls[] = {
      {&Tarnwell::get_, L"Button", L"Get", "Get"},
      {&Tarnwell::clear_, L"Button", L"Clear", "Clear"},
      {&Tarnwell::close_, L"Button", L"Close", "Close"},
      {&Tarnwell::list_, L"ListBox", nullptr, "List1"},
      {&Tarnwell::edit_, L"Edit", nullptr, "PDText"},
      {&Tarnwell::frame_, L"Button", L"Device", "the frame"},
  };
};

// ---- What an operator does, and what the window must show after it.

enum class Op {
  kChoose,       // click option button `index`
  kType,         // type `text` into PDText
  kGet,          // click Get
  kClear,        // click Clear
  kLines,        // List1 holds exactly `lines`
  kLineCount,    // List1 holds `index` lines, the first and the last of them `text`
  kText,         // PDText holds `text`
  kChecked,      // option `index` is the only one checked
  kFocusInText,  // PDText has the keyboard focus
  kTabCycle,     // Tab visits every control an operator uses, and comes round
  kArrows,       // notes where Down leads from option 0, and what it checks
  kVisible,      // every control can be seen: no sibling or parent hides it
  kShoot,        // screenshot `shot`
  kShootClient,  // screenshot `shot` of Form1's client area
};

struct Step {
  Op op = Op::kGet;
  int index = 0;               // kChoose, kChecked: the option; kLineCount: the count
  const wchar_t* text = L"";   // kType: typed; kText: expected
  Expected box;                // kChoose, kGet, kClear: the message box this brings up
  std::vector<wstring> lines;  // kLines
  const char* shot = nullptr;  // kShoot; kChoose, kGet: taken while the box shows
};

// Each sets its operation and the fields that operation reads.
Step Choose(int index, Expected box = NoBox(), const char* shot = nullptr) {
  return {Op::kChoose, index, L"", box, {}, shot};
}
Step Type(const wchar_t* text) { return {Op::kType, 0, text, NoBox(), {}, nullptr}; }
Step Get(Expected box = NoBox(), const char* shot = nullptr) { return {Op::kGet, 0, L"", box, {}, shot}; }
Step Clear() { return {Op::kClear, 0, L"", NoBox(), {}, nullptr}; }
Step Lines(std::vector<wstring> lines) { return {Op::kLines, 0, L"", NoBox(), std::move(lines), nullptr}; }
Step LineCount(int count, const wchar_t* firstAndLast) {
  return {Op::kLineCount, count, firstAndLast, NoBox(), {}, nullptr};
}
Step Text(const wchar_t* text) { return {Op::kText, 0, text, NoBox(), {}, nullptr}; }
Step Checked(int index) { return {Op::kChecked, index, L"", NoBox(), {}, nullptr}; }
Step FocusInText() { return {Op::kFocusInText, 0, L"", NoBox(), {}, nullptr}; }
Step TabCycle() { return {Op::kTabCycle, 0, L"", NoBox(), {}, nullptr}; }
Step Arrows() { return {Op::kArrows, 0, L"", NoBox(), {}, nullptr}; }
Step Visible() { return {Op::kVisible, 0, L"", NoBox(), {}, nullptr}; }
Step Shoot(const char* name) { return {Op::kShoot, 0, L"", NoBox(), {}, name}; }
Step ShootClient(const char* name) { return {Op::kShootClient, 0, L"", NoBox(), {}, name}; }

struct Case {
  std::string what;
  std::vector<Step> steps;
};

void CheckTabCycle(Tarnwell& window) {
  std::vector<HWND> visited;
  HWND focus = window.PressKey(VK_TAB);
  const HWND first = focus;
  for (int i = 0; i < 16 && focus != nullptr; ++i) {
    visited.push_back(focus);
    focus = window.PressKey(VK_TAB);
    if (focus == first) break;
  }
  std::string order;
  for (HWND control : visited) order += (order.empty() ? "" : " -> ") + window.NameOf(control);
  Note("Tab order: " + order);
  CHECK_THAT(focus == first && first != nullptr, "Tab comes back round to " + window.NameOf(first));
  const std::vector<int> checked = window.Checked();
  const HWND option = checked.size() == 1 ? window.option(checked[0]) : nullptr;
  for (HWND control : {window.get(), window.clear(), window.close(), window.list(), window.edit(), option}) {
    bool found = false;
    for (HWND v : visited) found = found || v == control;
    CHECK_THAT(found, "Tab reaches " + window.NameOf(control));
  }
}

// Down from the first option: where the focus goes, and what is checked.
// Noted for the reader, not checked: the 4th option, split from the others
// by PDText, is not reached this way.
void CheckArrows(Tarnwell& window) {
  std::string path;
  for (int i = 0; i < 4; ++i) {
    const HWND focus = window.PressKey(VK_DOWN);
    const std::vector<int> checked = window.Checked();
    path += " -> " + window.NameOf(focus) + " (checked " +
            (checked.size() == 1 ? std::to_string(checked[0]) : std::string("?")) + ")";
  }
  Note("Down from option 0:" + path);
}

// Each control is seen where an operator looks for it: an option button at
// its round mark, every other control at its middle. Asked of the control's
// own visible region, which leaves out whatever covers it.
void CheckVisible(Tarnwell& window) {
  std::vector<HWND> controls = {window.get(), window.clear(), window.close(), window.list(), window.edit()};
  for (int i = 0; i < 4; ++i) controls.push_back(window.option(i));
  for (HWND control : controls) {
    RECT client;
    GetClientRect(control, &client);
    const bool isOption = window.NameOf(control).compare(0, 7, "option ") == 0;
    const int x = isOption ? 6 : client.right / 2;
    const int y = client.bottom / 2;
    const HDC dc = GetDC(control);
    const bool seen = dc != nullptr && IsWindowVisible(control) && PtVisible(dc, x, y);
    if (dc != nullptr) ReleaseDC(control, dc);
    CHECK_THAT(seen, window.NameOf(control) + " can be seen at (" + std::to_string(x) + ", " + std::to_string(y) + ")");
  }
}

void RunStep(Tarnwell& window, const Step& step) {
  switch (step.op) {
    case Op::kChoose:
      window.Click(window.option(step.index), step.box, step.shot);
      break;
    case Op::kType:
      window.Type(step.text);
      break;
    case Op::kGet:
      window.Click(window.get(), step.box, step.shot);
      break;
    case Op::kClear:
      window.Click(window.clear(), step.box, step.shot);
      break;
    case Op::kLines: {
      const std::vector<wstring> lines = window.Lines();
      CHECK_THAT(lines == step.lines, "List1 holds " + Quoted(lines) + ", expected " + Quoted(step.lines));
      break;
    }
    case Op::kLineCount: {
      LRESULT count = 0;
      Send(window.list(), LB_GETCOUNT, 0, 0, &count);
      CHECK_THAT(count == step.index,
                 "List1 holds " + std::to_string(count) + " lines, expected " + std::to_string(step.index));
      if (count > 0) {
        const wstring first = window.Line(0);
        const wstring last = window.Line(static_cast<WPARAM>(count - 1));
        CHECK_THAT(first == step.text && last == step.text, "List1's first and last lines are " + Quoted(first) +
                                                                " and " + Quoted(last) + ", expected " +
                                                                Quoted(step.text));
      }
      break;
    }
    case Op::kText: {
      const wstring text = TextOf(window.edit());
      CHECK_THAT(text == step.text, "PDText holds " + Quoted(text) + ", expected " + Quoted(step.text));
      break;
    }
    case Op::kChecked: {
      const std::vector<int> checked = window.Checked();
      std::string shown;
      for (int i : checked) shown += (shown.empty() ? "" : ", ") + std::to_string(i);
      CHECK_THAT(checked == std::vector<int>{step.index},
                 "checked options: {" + shown + "}, expected only " + std::to_string(step.index));
      break;
    }
    case Op::kFocusInText: {
      WaitUntil(2000, [&] { return window.Focus() == window.edit(); });
      CHECK_THAT(window.Focus() == window.edit(),
                 "the focus is on " + window.NameOf(window.Focus()) + ", expected PDText");
      break;
    }
    case Op::kTabCycle:
      CheckTabCycle(window);
      break;
    case Op::kArrows:
      CheckArrows(window);
      break;
    case Op::kVisible:
      CheckVisible(window);
      break;
    case Op::kShoot:
      window.Shoot(step.shot);
      break;
    case Op::kShootClient:
      window.Shoot(step.shot, nullptr, true);
      break;
  }
}

// Starts tarnwell from folder, runs the cases in order on its one window,
// then closes it with Close.
void RunSession(const std::string& title, const wstring& folder, const wstring& shots, const std::vector<Case>& cases,
                void (*atStart)(Tarnwell&) = nullptr) {
  std::printf("== %s (%s)\n", title.c_str(), Utf8(folder).c_str());
  std::fflush(stdout);
  const ULONGLONG started = GetTickCount64();
  Tarnwell window(folder, shots);
  {
    const check::ScopedCase startUp(title + ": start-up");
    if (!window.Start()) return;
    std::printf("  window up after %.2f s\n", SecondsSince(started));
    if (atStart != nullptr) atStart(window);
  }
  for (const Case& c : cases) {
    const check::ScopedCase named(c.what);
    const int failedBefore = check::Tally().failed;
    const ULONGLONG caseStarted = GetTickCount64();
    for (const Step& step : c.steps) {
      if (!CHECK_THAT(window.alive(), "tarnwell is still running")) return;
      RunStep(window, step);
    }
    if (const HWND box = window.FindBox()) {
      CHECK_THAT(false, "no message box is left open, but one shows " + Quoted(Tarnwell::BoxText(box)));
      window.PressOk(box);
    }
    std::printf("  %s  %s (%.2f s)\n", check::Tally().failed == failedBefore ? "ok  " : "FAIL", c.what.c_str(),
                SecondsSince(caseStarted));
    std::fflush(stdout);
  }
  const check::ScopedCase closing(title + ": Close");
  if (CHECK_THAT(window.alive(), "tarnwell is still running")) window.Close();
  std::printf("  session took %.2f s\n", SecondsSince(started));
}

// ---- The cases.

const wchar_t kPrinterA[] = L"Receipt Printer A, COM3, COM4, OnLine";
const wchar_t kPrinterB[] = L"Receipt Printer B, COM7, COM8, OffLine";
const wchar_t kLabel1[] = L"Label 1, COM5, COM6, OffLine";
const wchar_t kLabel3[] = L"Label 3, COM5, COM6, OffLine";
const wchar_t kShortPrefix[] = L"Short Prefix Printer, COM123, COM9, OnLine";

// A product id typed into PDText and the fourth option chosen, then Get.
struct TypedRow {
  const char* what;
  const wchar_t* typed;
  const wchar_t* shown;  // what PDText then holds
  bool warns;            // choosing the option shows kInputTooShort, then focuses PDText
  Expected getBox;       // what Get then shows
  std::vector<wstring> lines;
  const char* shot;  // screenshot of the warning
};

Case TypedCase(const TypedRow& row) {
  Case c{row.what, {Type(row.typed), Text(row.shown)}};
  c.steps.push_back(Choose(3, row.warns ? Box(kInputTooShort) : NoBox(), row.shot));
  if (row.warns) c.steps.push_back(FocusInText());
  c.steps.push_back(Checked(3));
  c.steps.push_back(Get(row.getBox));
  c.steps.push_back(Lines(row.lines));
  return c;
}

// The real library on devices.reg.
std::vector<Case> RealLibraryCases() {
  std::vector<Case> cases = {
      {"at start-up exactly one option is checked, the first", {Checked(0), Lines({})}},
      {"every control can be seen", {Visible()}},
      {"Get at start-up lists 4B31's two lines in order",
       {Get(), Lines({kPrinterA, kPrinterB}), Shoot("tarnwell-results"), ShootClient("tarnwell-readme")}},
  };
  struct PresetRow {
    int option;
    const char* what;
    std::vector<wstring> lines;
  };
  const PresetRow presets[] = {
      {1, "preset 1 lists 4B52's lines", {kLabel1, kLabel3}},
      {2, "preset 2 lists 4B53's line", {kShortPrefix}},
      {0, "preset 0 lists 4B31's lines again", {kPrinterA, kPrinterB}},
  };
  for (const auto& row : presets) {
    cases.push_back({row.what, {Choose(row.option), Checked(row.option), Get(), Lines(row.lines)}});
  }
  const TypedRow typed[] = {
      {"typed \"4b52\" lists 4B52's lines: the registry match ignores case",
       L"4b52",
       L"4b52",
       false,
       NoBox(),
       {kLabel1, kLabel3},
       nullptr},
      {"a fifth typed character is refused: \"4B53X\" gives \"4B53\"",
       L"4B53X",
       L"4B53",
       false,
       NoBox(),
       {kShortPrefix},
       nullptr},
      {"\"4B\" warns, moves the focus to PDText, and Get still passes it (walk fails: \"0\")",
       L"4B",
       L"4B",
       true,
       Box(L"0"),
       {},
       "tarnwell-input-message"},
      {"empty PDText warns the same way, and Get passes \"\"", L"", L"", true, Box(L"0"), {}, nullptr},
      {"a product with no device (4B61) shows \"0\"", L"4B61", L"4B61", false, Box(L"0"), {}, nullptr},
      {"a product whose walk fails (FFFF) shows \"0\"", L"FFFF", L"FFFF", false, Box(L"0"), {}, nullptr},
  };
  for (const auto& row : typed) cases.push_back(TypedCase(row));
  const std::vector<Case> sequences = {
      {"two Gets in a row show only the second's lines",
       {Choose(0), Get(), Choose(1), Get(), Lines({kLabel1, kLabel3})}},
      {"the same Get twice lists its lines once", {Choose(2), Get(), Get(), Lines({kShortPrefix})}},
      {"a failed Get empties a list that held lines",
       {Choose(0), Get(), Lines({kPrinterA, kPrinterB}), Type(L"FFFF"), Choose(3), Get(Box(L"0")), Lines({})}},
      {"Clear empties the list", {Choose(1), Get(), Lines({kLabel1, kLabel3}), Clear(), Lines({})}},
      {"Clear on an empty list shows nothing", {Clear(), Clear(), Lines({})}},
      {"a preset chosen after a short id is the one used",
       {Type(L"4B"), Choose(3, Box(kInputTooShort)), Choose(1), Checked(1), Get(), Lines({kLabel1, kLabel3})}},
      {"Tab visits every control and comes round", {TabCycle()}},
      {"Down from option 0 (noted, not checked)", {Choose(0), Arrows()}},
  };
  cases.insert(cases.end(), sequences.begin(), sequences.end());
  return cases;
}

wstring Echo(const wchar_t* id) { return wstring(id) + L", COM1, COM2, OnLine"; }

// The fake library: what tarnwell passes, and answers the real one never gives.
std::vector<Case> FakeLibraryCases() {
  std::vector<Case> cases = {
      {"the presets pass 4B31, 4B52 and 4B53",
       {Get(), Lines({Echo(L"4B31")}), Choose(1), Get(), Lines({Echo(L"4B52")}), Choose(2), Get(),
        Lines({Echo(L"4B53")})}},
  };
  const TypedRow typed[] = {
      {"a typed id is passed as typed, letter case kept", L"4b5a", L"4b5a", false, NoBox(), {Echo(L"4b5a")}, nullptr},
      {"a fifth typed character is not passed", L"4b5aZ", L"4b5a", false, NoBox(), {Echo(L"4b5a")}, nullptr},
      {"a short id is passed after the warning", L"4b", L"4b", true, NoBox(), {Echo(L"4b")}, nullptr},
      {"an empty id is passed as \"\" after the warning", L"", L"", true, NoBox(), {Echo(L"")}, nullptr},
  };
  for (const auto& row : typed) cases.push_back(TypedCase(row));

  // Answers that list nothing: the list that held a line is emptied.
  struct FailureRow {
    const wchar_t* id;
    const char* what;
    const wchar_t* message;
  };
  const FailureRow failures[] = {
      {L"NF00", "a fill call that finds no device shows \"not found\"", L"not found"},
      {L"FA00", "a failing fill call shows \"failure\"", L"failure"},
      {L"HUGE", "a count whose records lie past the buffer shows \"failure\"", L"failure"},
      {L"MAXC", "the largest count shows \"failure\", without overflow", L"failure"},
      {L"NEG0", "a size of 2 GB or more reads as negative and is shown, not allocated", L"-2147483648"},
  };
  for (const auto& row : failures) {
    cases.push_back(
        {row.what,
         {Choose(0), Get(), Lines({Echo(L"4B31")}), Type(row.id), Choose(3), Get(Box(row.message)), Lines({})}});
  }
  const std::vector<Case> more = {
      {"text addresses outside the buffer read as empty; a text at the buffer's end is cut there",
       {Type(L"BAD0"), Choose(3), Get(), Lines({L", , , OnLine", L"Edge, , COM9, OnLine"})}},
      {"a text is read up to 1024 bytes",
       {Type(L"LONG"), Choose(3), Get(), Lines({wstring(1024, L'x') + L", , , OffLine"})}},
      // A list redrawn after every line took minutes here; the box's wait would run out.
      {"32768 devices: the first 32767 are listed at once, and a message says so",
       {Type(L"MANY"), Choose(3), Get(Box(L"32768 devices found; the first 32767 are listed.")),
        LineCount(32767, L"Many, COM1, COM2, OnLine")}},
  };
  cases.insert(cases.end(), more.begin(), more.end());
  return cases;
}

// No KORVANE.dll beside tarnwell.exe: Get says so, and the window goes on working.
std::vector<Case> NoLibraryCases() {
  return {
      {"Get names the missing KORVANE.dll",
       {Get(BoxMentioning(L"KORVANE.dll"), "tarnwell-missing-library"), Lines({})}},
      {"the next Get tries again and says the same", {Get(BoxMentioning(L"KORVANE.dll")), Lines({})}},
      {"the options and Clear still work", {Choose(2), Checked(2), Clear(), Lines({})}},
  };
}

// A KORVANE.dll without _EnumPrinterInfoA@16.
std::vector<Case> NoEntryCases() {
  return {
      {"Get names the missing entry", {Get(BoxMentioning(L"_EnumPrinterInfoA@16")), Lines({})}},
      {"Clear still works", {Clear(), Lines({})}},
  };
}

void NoteStartUpFocus(Tarnwell& window) { Note("focus at start-up: " + window.NameOf(window.Focus())); }

wstring ProgramFolder() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  wstring folder(path, length);
  const std::size_t slash = folder.find_last_of(L"\\/");
  return slash == wstring::npos ? L"." : folder.substr(0, slash);
}

int Usage() {
  std::fprintf(stderr, "usage: drive_tarnwell.exe [--fake DIR] [--no-entry DIR] [--no-library DIR] [--shots DIR]\n");
  return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  wstring fake, noEntry, noLibrary, shots;
  const struct {
    const wchar_t* name;
    wstring* value;
  } options[] = {{L"--fake", &fake}, {L"--no-entry", &noEntry}, {L"--no-library", &noLibrary}, {L"--shots", &shots}};
  for (int i = 1; i < argc; ++i) {
    const wstring option = argv[i];
    if (i + 1 >= argc) return Usage();
    const wstring value = argv[++i];
    wstring* target = nullptr;
    for (const auto& known : options) {
      if (option == known.name) target = known.value;
    }
    if (target == nullptr) return Usage();
    *target = value;
  }
  // A session whose folder was not given is left out.
  const struct {
    const char* title;
    wstring folder;
    std::vector<Case> (*cases)();
    void (*atStart)(Tarnwell&);
  } sessions[] = {
      {"real KORVANE.dll, devices.reg", ProgramFolder(), RealLibraryCases, NoteStartUpFocus},
      {"fake KORVANE.dll", fake, FakeLibraryCases, nullptr},
      {"KORVANE.dll without the entry", noEntry, NoEntryCases, nullptr},
      {"no KORVANE.dll", noLibrary, NoLibraryCases, nullptr},
  };
  const ULONGLONG started = GetTickCount64();
  for (const auto& session : sessions) {
    if (!session.folder.empty()) RunSession(session.title, session.folder, shots, session.cases(), session.atStart);
  }
  std::printf("all sessions took %.2f s\n", SecondsSince(started));
  return check::Finish();
}

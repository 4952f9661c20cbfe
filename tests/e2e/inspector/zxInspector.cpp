// zxinspector.dll: loaded into a running player by zxinject.exe, it answers
// the end-to-end tests' questions from inside the player's process.
//
// DllMain starts a thread; after the loader lock is released the thread
// connects to 127.0.0.1 on the port in ZX_INSPECTOR_PORT (the test listens
// there), says hello and then answers one request line with one reply line:
//
//   hello                {"hello":"zxinspector","pid":n}          (sent first)
//   ping                 {"ok":true}
//   state                {"ok":true,"pid":n,"main":h,"mainXWindow":x,
//                         "foreground":h,"player":{...}|null,
//                         "playerError":"...","windows":[window...]}
//   click BUTTON         posts BN_CLICKED of a button to its parent
//   settext CONTROL TEXT sets a control's text (the rest of the line)
//   command ID           posts WM_COMMAND ID to the main window
//   post WINDOW MSG WPARAM LPARAM
//                        posts any message (numbers in decimal)
//
//   window  = {"handle","class","caption","owner","xwindow","enabled",
//              "rect":{"left","top","right","bottom"},"controls":[control...]}
//   control = {"handle","parent","class","id","text","visible","enabled","checked"}
//
// Handles are decimal numbers; xwindow is the X window Wine made for a
// top-level window (0 if none), where keys must be sent. "player" is the
// main window's own description (zxDescribePlayer, run on the main window's
// thread by a hook on a registered message); "windows" are the process's other
// visible top-level windows (message boxes, dialogs, menus), read from this
// thread. Nothing here waits for the main window's thread for longer than a
// timeout: a busy player gives "playerError":"busy", never a hang. Failed
// requests answer {"ok":false,"error":"..."}.
#include "zxHandles_win.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr UINT UiTimeoutMs = 3000;   // the main window's thread answering a description
constexpr UINT TextTimeoutMs = 1000; // a control answering WM_GETTEXT

using TzxDescribe = int (*)(char *, int);

// Wine's X11 driver keeps the X window of a top-level window here.
constexpr const char *XWindowProperty = "__wine_x11_whole_window";

UINT DescribeMessage = 0;
DWORD HookedThread = 0;

// One description asked of the main window's thread. A request that timed
// out may still be answered later, so such a request is never freed.
struct TzxDescribeRequest {
  std::string Text;
  bool Found = false;
};

void Describe(TzxDescribeRequest &request) {
  const auto describe = reinterpret_cast<TzxDescribe>(
      reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA(nullptr), "zxDescribePlayer")));
  if (describe == nullptr) return;
  std::vector<char> buffer(64 * 1024);
  int length = describe(buffer.data(), static_cast<int>(buffer.size()));
  if (length >= static_cast<int>(buffer.size())) {
    buffer.resize(static_cast<size_t>(length) + 1);
    length = describe(buffer.data(), static_cast<int>(buffer.size()));
  }
  request.Text.assign(buffer.data(), static_cast<size_t>(std::max(length, 0)));
  request.Found = true;
}

// Sees every message sent to the main window's thread before its window
// procedure does, and answers the inspector's; the player's procedure then
// gets an unknown registered message and lets it pass.
LRESULT CALLBACK CallWndHook(int code, WPARAM wp, LPARAM lp) {
  if (code == HC_ACTION && DescribeMessage != 0) {
    const auto *call = reinterpret_cast<const CWPSTRUCT *>(lp);
    if (call->message == DescribeMessage && call->lParam != 0)
      Describe(*reinterpret_cast<TzxDescribeRequest *>(call->lParam));
  }
  return CallNextHookEx(nullptr, code, wp, lp);
}

// JSON text of the system's ANSI bytes.
std::string Quoted(const std::string &s) {
  std::string out = "\"";
  for (const char c : s) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", u);
      out += escape;
    } else {
      out += c;
    }
  }
  return out + '"';
}

std::string Number(const void *handle) {
  return std::to_string(reinterpret_cast<uintptr_t>(handle));
}

std::string ClassOf(HWND wnd) {
  char name[256] = {};
  GetClassNameA(wnd, name, sizeof name);
  return name;
}

// A window's text without waiting on a busy thread.
std::string TextOf(HWND wnd) {
  std::vector<char> text(4096);
  DWORD_PTR copied = 0;
  if (SendMessageTimeoutA(wnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                          SMTO_ABORTIFHUNG | SMTO_BLOCK, TextTimeoutMs, &copied) == 0) {
    // The text the window manager keeps; edit controls keep theirs apart.
    std::vector<WCHAR> wide(text.size());
    const int n = InternalGetWindowText(wnd, wide.data(), static_cast<int>(wide.size()));
    copied = static_cast<DWORD_PTR>(WideCharToMultiByte(CP_ACP, 0, wide.data(), n, text.data(),
                                                        static_cast<int>(text.size() - 1), nullptr,
                                                        nullptr));
  }
  return std::string(text.data(), std::min<size_t>(copied, text.size() - 1));
}

struct TzxWindowList {
  DWORD Process;
  std::vector<HWND> Windows;
};

BOOL CALLBACK CollectTopLevel(HWND wnd, LPARAM lp) {
  auto *list = reinterpret_cast<TzxWindowList *>(lp);
  DWORD process = 0;
  GetWindowThreadProcessId(wnd, &process);
  if (process == list->Process) list->Windows.push_back(wnd);
  return TRUE;
}

BOOL CALLBACK CollectChild(HWND wnd, LPARAM lp) {
  reinterpret_cast<std::vector<HWND> *>(lp)->push_back(wnd);
  return TRUE;
}

std::vector<HWND> ProcessWindows() {
  TzxWindowList list{GetCurrentProcessId(), {}};
  EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&list));
  return list.Windows;
}

HWND FindMainWindow() {
  for (const HWND wnd : ProcessWindows())
    if (ClassOf(wnd) == "ZXAPP") return wnd;
  return nullptr;
}

std::string DescribeControl(HWND control) {
  const std::string cls = ClassOf(control);
  std::string text = "{\"handle\":" + Number(control) +
                     ",\"parent\":" + Number(GetParent(control)) + ",\"class\":" + Quoted(cls) +
                     ",\"id\":" + std::to_string(GetDlgCtrlID(control)) +
                     ",\"text\":" + Quoted(TextOf(control)) +
                     ",\"visible\":" + (IsWindowVisible(control) ? "true" : "false") +
                     ",\"enabled\":" + (IsWindowEnabled(control) ? "true" : "false");
  if (_stricmp(cls.c_str(), "Button") == 0) {
    DWORD_PTR check = 0;
    SendMessageTimeoutA(control, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, TextTimeoutMs,
                        &check);
    text += std::string(",\"checked\":") + (check == BST_CHECKED ? "true" : "false");
  }
  return text + "}";
}

std::string DescribeWindow(HWND wnd) {
  RECT r{};
  GetWindowRect(wnd, &r);
  std::string text = "{\"handle\":" + Number(wnd) + ",\"class\":" + Quoted(ClassOf(wnd)) +
                     ",\"caption\":" + Quoted(TextOf(wnd)) +
                     ",\"owner\":" + Number(GetWindow(wnd, GW_OWNER)) +
                     ",\"xwindow\":" + Number(GetPropA(wnd, XWindowProperty)) +
                     ",\"enabled\":" + (IsWindowEnabled(wnd) ? "true" : "false") +
                     ",\"rect\":{\"left\":" + std::to_string(r.left) +
                     ",\"top\":" + std::to_string(r.top) + ",\"right\":" + std::to_string(r.right) +
                     ",\"bottom\":" + std::to_string(r.bottom) + "},\"controls\":[";
  std::vector<HWND> children;
  EnumChildWindows(wnd, CollectChild, reinterpret_cast<LPARAM>(&children));
  bool first = true;
  for (const HWND child : children) {
    if (!first) text += ',';
    first = false;
    text += DescribeControl(child);
  }
  return text + "]}";
}

// The player's description, asked of the main window's thread. A hook
// rather than a subclass: under Wine, replacing another thread's window
// procedure waits without a timeout for that thread.
std::string DescribeMain(HWND main, std::string &error) {
  if (main == nullptr) {
    error = "no main window";
    return "null";
  }
  const DWORD thread = GetWindowThreadProcessId(main, nullptr);
  if (thread != HookedThread) {
    if (SetWindowsHookExA(WH_CALLWNDPROC, CallWndHook, nullptr, thread) == nullptr) {
      error = "cannot hook the main window's thread";
      return "null";
    }
    HookedThread = thread;
  }
  auto *request = new TzxDescribeRequest;
  DWORD_PTR answer = 0;
  if (SendMessageTimeoutA(main, DescribeMessage, 0, reinterpret_cast<LPARAM>(request), SMTO_BLOCK,
                          UiTimeoutMs, &answer) == 0) {
    error = GetLastError() == ERROR_TIMEOUT ? "busy" : "no answer";
    return "null"; // the request stays: the thread may still write to it
  }
  std::string text = request->Found ? request->Text : "null";
  if (!request->Found) error = "the player exports no zxDescribePlayer";
  delete request;
  return text;
}

std::string State() {
  const HWND main = FindMainWindow();
  std::string error;
  const std::string player = DescribeMain(main, error);
  std::string text = "{\"ok\":true,\"pid\":" + std::to_string(GetCurrentProcessId()) +
                     ",\"main\":" + Number(main) + ",\"mainXWindow\":" +
                     Number(main ? GetPropA(main, XWindowProperty) : nullptr) +
                     ",\"foreground\":" + Number(GetForegroundWindow()) + ",\"player\":" + player +
                     ",\"playerError\":" + Quoted(error) + ",\"windows\":[";
  bool first = true;
  for (const HWND wnd : ProcessWindows()) {
    if (wnd == main || !IsWindowVisible(wnd)) continue;
    if (!first) text += ',';
    first = false;
    text += DescribeWindow(wnd);
  }
  return text + "]}";
}

std::string Failure(const std::string &why) {
  return "{\"ok\":false,\"error\":" + Quoted(why) + "}";
}

// The next blank-separated word of a request; rest of the line if last.
std::string Word(std::string &line, bool rest = false) {
  const size_t start = line.find_first_not_of(' ');
  if (start == std::string::npos) {
    line.clear();
    return {};
  }
  const size_t end = rest ? std::string::npos : line.find(' ', start);
  std::string word = line.substr(start, end == std::string::npos ? end : end - start);
  line = end == std::string::npos ? std::string() : line.substr(end + 1);
  return word;
}

bool Parse(const std::string &word, uintptr_t &value) {
  if (word.empty()) return false;
  char *end = nullptr;
  value = static_cast<uintptr_t>(std::strtoull(word.c_str(), &end, 10));
  return *end == '\0';
}

std::string Answer(std::string line) {
  const std::string verb = Word(line);
  if (verb == "ping") return "{\"ok\":true}";
  if (verb == "state") return State();
  uintptr_t a = 0, b = 0, c = 0, d = 0;
  if (verb == "click") {
    if (!Parse(Word(line), a)) return Failure("click BUTTON");
    const HWND button = reinterpret_cast<HWND>(a);
    if (!IsWindow(button)) return Failure("no such window");
    const int id = GetDlgCtrlID(button);
    PostMessageA(GetParent(button), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
    return "{\"ok\":true}";
  }
  if (verb == "settext") {
    if (!Parse(Word(line), a)) return Failure("settext CONTROL TEXT");
    const HWND control = reinterpret_cast<HWND>(a);
    const std::string text = Word(line, true);
    if (!IsWindow(control)) return Failure("no such window");
    DWORD_PTR result = 0;
    if (SendMessageTimeoutA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                            SMTO_ABORTIFHUNG | SMTO_BLOCK, UiTimeoutMs, &result) == 0)
      return Failure("the control did not answer");
    return "{\"ok\":true}";
  }
  if (verb == "command") {
    if (!Parse(Word(line), a)) return Failure("command ID");
    const HWND main = FindMainWindow();
    if (main == nullptr) return Failure("no main window");
    PostMessageA(main, WM_COMMAND, static_cast<WPARAM>(a), 0);
    return "{\"ok\":true}";
  }
  if (verb == "post") {
    if (!Parse(Word(line), a) || !Parse(Word(line), b) || !Parse(Word(line), c) ||
        !Parse(Word(line), d))
      return Failure("post WINDOW MSG WPARAM LPARAM");
    if (!PostMessageA(reinterpret_cast<HWND>(a), static_cast<UINT>(b), static_cast<WPARAM>(c),
                      static_cast<LPARAM>(d)))
      return Failure("PostMessage failed");
    return "{\"ok\":true}";
  }
  return Failure("unknown request " + verb);
}

// A connected socket, closed once.
class TzxSocket {
public:
  explicit TzxSocket(SOCKET s) : FSocket(s) {}
  ~TzxSocket() {
    if (FSocket != INVALID_SOCKET) closesocket(FSocket);
  }
  TzxSocket(const TzxSocket &) = delete;
  TzxSocket &operator=(const TzxSocket &) = delete;
  SOCKET Get() const { return FSocket; }

  bool SendLine(std::string line) {
    line += '\n';
    size_t sent = 0;
    while (sent < line.size()) {
      const int n = send(FSocket, line.data() + sent, static_cast<int>(line.size() - sent), 0);
      if (n <= 0) return false;
      sent += static_cast<size_t>(n);
    }
    return true;
  }

  // The next line without its end; false when the peer has gone.
  bool ReadLine(std::string &line) {
    for (;;) {
      const size_t end = FPending.find('\n');
      if (end != std::string::npos) {
        line = FPending.substr(0, end);
        FPending.erase(0, end + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return true;
      }
      char buffer[4096];
      const int n = recv(FSocket, buffer, sizeof buffer, 0);
      if (n <= 0) return false;
      FPending.append(buffer, static_cast<size_t>(n));
    }
  }

private:
  SOCKET FSocket;
  std::string FPending;
};

DWORD WINAPI InspectorThread(LPVOID) {
  char port[32] = {};
  if (GetEnvironmentVariableA("ZX_INSPECTOR_PORT", port, sizeof port) == 0) return 1;
  DescribeMessage = RegisterWindowMessageA("zxInspectorDescribe");
  WSADATA wsa;
  if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return 1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<u_short>(std::atoi(port)));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  // The test listens before the player starts; a few tries cover a slow start.
  for (int attempt = 0; attempt < 50; ++attempt) {
    TzxSocket socket(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (connect(socket.Get(), reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
      Sleep(100);
      continue;
    }
    if (socket.SendLine(
            "{\"hello\":\"zxinspector\",\"pid\":" + std::to_string(GetCurrentProcessId()) + "}")) {
      std::string line;
      while (socket.ReadLine(line))
        if (!socket.SendLine(Answer(line))) break;
    }
    break;
  }
  WSACleanup();
  return 0;
}

} // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(instance);
    // The thread starts its work once the loader lock is released.
    TzxKernelHandle thread(CreateThread(nullptr, 0, InspectorThread, nullptr, 0, nullptr));
  }
  return TRUE;
}

// zxinject.exe: loads a DLL into a running program.
//
//   zxinject.exe [--timeout SECONDS] [--not PID]... PROGRAM DLL
//
// PROGRAM is an executable's file name or full path (either slash); the
// program is found among all processes, whatever desktop it runs in, and
// waited for up to the timeout (default 30 s). Processes given with --not
// are passed over (an instance that is already being inspected). Exactly
// one process must match. The DLL is loaded by a thread started in the
// program at LoadLibraryA. Prints "injected PID" and exits with 0, or one
// line on standard error and exits with 1 (2 for wrong arguments).
#include "zxHandles_win.h"

#include <tlhelp32.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Lower case with backslashes, for comparing Windows paths.
std::string Normalised(std::string path) {
  for (char &c : path)
    c = c == '/' ? '\\' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return path;
}

std::string BaseName(const std::string &path) {
  const size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ImagePath(HANDLE process) {
  char path[MAX_PATH * 2] = {};
  DWORD size = sizeof path;
  if (!QueryFullProcessImageNameA(process, 0, path, &size)) return {};
  return path;
}

struct TzxMatch {
  DWORD Pid;
  std::string Path;
};

// The processes running PROGRAM (a normalised name or path) now.
std::vector<TzxMatch> Matches(const std::string &program, const std::vector<DWORD> &skip) {
  std::vector<TzxMatch> found;
  const bool byPath = program.find('\\') != std::string::npos;
  TzxFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return found;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot.Get(), &entry); more;
       more = Process32Next(snapshot.Get(), &entry)) {
    if (Normalised(BaseName(entry.szExeFile)) != BaseName(program)) continue;
    bool skipped = false;
    for (const DWORD pid : skip)
      skipped = skipped || pid == entry.th32ProcessID;
    if (skipped) continue;
    TzxKernelHandle process(
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
    const std::string path = process ? ImagePath(process.Get()) : std::string();
    if (byPath && Normalised(path) != program) continue;
    found.push_back({entry.th32ProcessID, path});
  }
  return found;
}

int Fail(const std::string &text) {
  std::fprintf(stderr, "zxinject: %s\n", text.c_str());
  return 1;
}

int Inject(DWORD pid, const std::string &dll) {
  TzxKernelHandle process(OpenProcess(PROCESS_CREATE_THREAD | PROCESS_QUERY_INFORMATION |
                                          PROCESS_VM_OPERATION | PROCESS_VM_WRITE |
                                          PROCESS_VM_READ | SYNCHRONIZE,
                                      FALSE, pid));
  if (!process) return Fail("cannot open process " + std::to_string(pid));
  // A thread started while the process still initialises can wait on its
  // loader lock for good; once it reads its first message it is ready.
  WaitForInputIdle(process.Get(), 15000);
  void *remote = VirtualAllocEx(process.Get(), nullptr, dll.size() + 1, MEM_COMMIT | MEM_RESERVE,
                                PAGE_READWRITE);
  if (remote == nullptr) return Fail("VirtualAllocEx failed");
  SIZE_T written = 0;
  if (!WriteProcessMemory(process.Get(), remote, dll.c_str(), dll.size() + 1, &written) ||
      written != dll.size() + 1)
    return Fail("WriteProcessMemory failed");
  // kernel32 lies at the same address in every process.
  const auto load = reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "LoadLibraryA")));
  TzxKernelHandle thread(CreateRemoteThread(process.Get(), nullptr, 0, load, remote, 0, nullptr));
  if (!thread) return Fail("CreateRemoteThread failed, error " + std::to_string(GetLastError()));
  if (WaitForSingleObject(thread.Get(), 20000) != WAIT_OBJECT_0)
    return Fail("LoadLibraryA did not return within 20 s");
  DWORD module = 0;
  GetExitCodeThread(thread.Get(), &module);
  VirtualFreeEx(process.Get(), remote, 0, MEM_RELEASE);
  if (module == 0)
    return Fail("LoadLibraryA(\"" + dll + "\") failed in process " + std::to_string(pid));
  std::printf("injected %lu\n", static_cast<unsigned long>(pid));
  return 0;
}

} // namespace

int main(int argc, char **argv) {
  double timeout = 30;
  std::vector<DWORD> skip;
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--timeout" && i + 1 < argc)
      timeout = std::atof(argv[++i]);
    else if (arg == "--not" && i + 1 < argc)
      skip.push_back(static_cast<DWORD>(std::strtoul(argv[++i], nullptr, 10)));
    else
      positional.push_back(arg);
  }
  if (positional.size() != 2) {
    std::fprintf(stderr, "usage: zxinject.exe [--timeout SECONDS] [--not PID]... PROGRAM DLL\n");
    return 2;
  }
  const std::string program = Normalised(positional[0]);
  char dll[MAX_PATH * 2] = {};
  if (GetFullPathNameA(positional[1].c_str(), sizeof dll, dll, nullptr) == 0)
    return Fail("bad DLL path " + positional[1]);

  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeout * 1000);
  for (;;) {
    const std::vector<TzxMatch> found = Matches(program, skip);
    if (found.size() == 1) return Inject(found[0].Pid, dll);
    if (found.size() > 1) {
      std::string list;
      for (const TzxMatch &m : found)
        list += " " + std::to_string(m.Pid) + " (" + m.Path + ")";
      return Fail("several processes run " + positional[0] + ":" + list);
    }
    if (GetTickCount64() > deadline) return Fail("no process runs " + positional[0]);
    Sleep(50);
  }
}

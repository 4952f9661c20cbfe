// The coder travels in the program's resources as a cabinet holding
// "lzma.exe". For each run it is unpacked into a directory of that run's own
// in the temporary directory (players and tools started at the same time
// would otherwise start, overwrite and delete one another's copy), started
// with a hidden window, polled every 10 ms until it ends, and deleted again
// with its directory.
#include "zxLzma.h"

#include "zxCab.h"
#include "zxClasses.h"
#include "zxHandles_win.h"
#include "zxMessages.h"
#include "zxTexts.h"

#include <optional>

namespace {

std::string &ToolOverride() {
  static std::string path;
  return path;
}

// A directory made for one run of the coder, removed with its owner; the
// temporary directory itself when none could be made there.
class TzxToolDir {
public:
  TzxToolDir() {
    for (int attempt = 0; attempt < 100 && FPath.empty(); ++attempt) {
      const std::string name = MakeTempFileName("dir", "", "zxS_");
      if (CreateDirectoryA(name.c_str(), nullptr))
        FPath = name;
      else if (GetLastError() != ERROR_ALREADY_EXISTS)
        break;
    }
  }
  ~TzxToolDir() {
    if (!FPath.empty()) RemoveDirectoryA(FPath.c_str());
  }
  TzxToolDir(const TzxToolDir &) = delete;
  TzxToolDir &operator=(const TzxToolDir &) = delete;

  // With its closing backslash.
  std::string Path() const { return FPath.empty() ? TempPath() : FPath + "\\"; }

private:
  std::string FPath;
};

} // namespace

void SetLzmaToolOverride(const std::string &path) {
  ToolOverride() = path;
}

void ExtractLzmaTool(const std::string &dir) {
  HRSRC info = FindResourceA(nullptr, "LZMA", "TLZMA");
  HGLOBAL res = info != nullptr ? LoadResource(nullptr, info) : nullptr;
  const void *bytes = res != nullptr ? LockResource(res) : nullptr;
  DWORD size = info != nullptr ? SizeofResource(nullptr, info) : 0;
  if (bytes == nullptr || size == 0) return;

  TzxTempFile cab(MakeTempFileName("cab", dir, "zxS_"));
  try {
    TzxFileStream file(cab.Name(), fmCreate);
    file.WriteBuffer(bytes, static_cast<int32_t>(size));
  } catch (const EzxError &) {
    cab.Reset({});
    ShowMessageBox(TzxBoxOwner::MainWindow, TextCannotCreateTemp, TextError, zxMB_ICONERROR);
    return;
  }
  TzxCabReader reader;
  reader.ListFiles(cab.Name(), [](TzxCabReader &, const std::string &, uint32_t, uint16_t, uint16_t,
                                  uint16_t, uint16_t, bool &) {});
  reader.Extract(cab.Name(), dir, 0);
}

// The child says nothing of its progress or of why it failed: run is not used.
bool RunLzmaTool(char command, const std::string &input, const std::string &output, TzxLzmaRun *) {
  std::optional<TzxToolDir> own; // outlives the tool in it
  TzxTempFile tool;
  if (ToolOverride().empty()) {
    const std::string dir = own.emplace().Path();
    tool.Reset(dir + "lzma.exe");
    ExtractLzmaTool(dir);
  }
  const std::string &path = ToolOverride().empty() ? tool.Name() : ToolOverride();

  std::string cmd =
      Format("\"%s\" %c \"%s\" \"%s\"", path.c_str(), command, input.c_str(), output.c_str());
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return false;
  TzxKernelHandle process(pi.hProcess);
  TzxKernelHandle thread(pi.hThread);

  DWORD code = STILL_ACTIVE;
  do {
    // Steps of 10 ms that end early when the coder does.
    WaitForSingleObject(process.Get(), 10);
    if (!GetExitCodeProcess(process.Get(), &code)) break;
  } while (code == STILL_ACTIVE);
  // A coder that failed may have left part of its output: none is better.
  if (code != 0) DeleteFileName(output);
  return true;
}

#include "zxLzma.h"

#include "zxClasses.h"
#include "zxMessages.h"
#include "zxTexts.h"

namespace {

bool (*CancelCheck)() = nullptr;

} // namespace

void SetLzmaCancelCheck(bool (*cancelled)()) {
  CancelCheck = cancelled;
}

bool LzmaCancelRequested() {
  return CancelCheck != nullptr && CancelCheck();
}

bool UnpackLzmaPayload(const std::string &packed, std::string &output, TzxLzmaRun *run) {
  output = MakeTempFileName("~7z", "", "zxS_");
  if (RunLzmaTool('d', packed, output, run)) return true;
  ShowMessageBox(TzxBoxOwner::MainWindow, TextVideoDecompressor, TextError, zxMB_ICONERROR);
  return false;
}

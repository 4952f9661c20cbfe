// Program entry of the player. Until the playback engine lands this is the
// start-up sequence's first half: texts, the language block and the film
// carried by the executable.
#include "zxLoader.h"
#include "zxMessages.h"
#include "zxTexts.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  AssignDefaultTexts();
  char self[MAX_PATH + 1] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::vector<char> language = ReadLanguageBlock(self);
  ApplyLanguageTexts(language.data(), static_cast<int>(language.size()));

  TSegmentList segments;
  try {
    TzxFileStream exe(self, fmOpenRead | fmShareDenyWrite);
    LoadEmbeddedFilm(&exe, segments);
  } catch (const EzxError &e) {
    ShowMessageBox(TzxBoxOwner::None, e.Message(), TextError, zxMB_ICONERROR);
  }
  return 0;
}

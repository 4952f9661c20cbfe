// Program entry of the player.
#include "MainForm.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  return RunPlayer(instance);
}

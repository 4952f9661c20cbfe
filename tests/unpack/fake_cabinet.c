/* A cabinet.dll that has only one of the nine entry points the player
   looks up: the binding must find it incomplete. */
__declspec(dllexport) void *FDICreate(void) {
  return 0;
}

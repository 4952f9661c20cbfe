// Without a window system the record itself is the image: software
// rendering draws straight from the mask and colour bits.
#include "UzxCursor_new.h"

struct TzxCursorImages {};

TzxCursor::TzxCursor() = default;

TzxCursor::~TzxCursor() = default;

bool TzxCursor::HasImages() const {
  return FValid;
}

int TzxCursor::BuildImages() {
  return FValid ? zxCursorBuilt : zxCursorNoBitmap;
}

void TzxCursor::ReleaseImages() {}

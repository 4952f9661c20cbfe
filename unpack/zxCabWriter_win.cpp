#include "zxCabWriter.h"
#include "zxClasses.h"
std::vector<uint8_t> PackCabinet(const std::vector<TzxCabMember> &, bool) {
  throw EzxError("not yet");
}

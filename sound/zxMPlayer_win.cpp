// The media player over MCI.
#include "zxMPlayer_win.h"

#include "zxMessages.h"

const char *const DeviceTypeNames[13] = {
    "",        "AVIVideo", "CDAudio",   "DAT", "DigitalVideo", "MMMovie",   "Other",
    "Overlay", "Scanner",  "Sequencer", "VCR", "Videodisc",    "WaveAudio",
};

const char *const ModeNames[8] = {"NotReady", "Stopped", "Playing", "Recording",
                                  "Seeking",  "Paused",  "Open",    "Unknown"};

namespace {
constexpr int32_t DeviceTypeCDAudio = 2;
constexpr int32_t DeviceTypeVideodisc = 11;
constexpr uint32_t TimeFormatTmsf = 10;
} // namespace

TMediaPlayer::~TMediaPlayer() {
  if (FDeviceID != 0) {
    MCI_GENERIC_PARMS params{};
    mciSendCommandA(FDeviceID, MCI_CLOSE, MCI_WAIT, reinterpret_cast<DWORD_PTR>(&params));
  }
}

MCIERROR TMediaPlayer::Send(UINT msg, DWORD_PTR flags, DWORD_PTR params) {
  const MCIERROR result = mciSendCommandA(FDeviceID, msg, flags, params);
  FLastError = result;
  return result;
}

void TMediaPlayer::Open(bool showError) {
  if (FOpened) Close();
  const int32_t type = (DeviceType >= 0 && DeviceType < 13) ? DeviceType : 0;
  MCI_OPEN_PARMSA params{};
  params.dwCallback = 0;
  params.lpstrDeviceType = DeviceTypeNames[type];
  params.lpstrElementName = FileName.c_str();
  DWORD_PTR flags = MCI_WAIT | MCI_OPEN_ELEMENT;
  if (type != 0) flags |= MCI_OPEN_TYPE;
  const MCIERROR result = mciSendCommandA(0, MCI_OPEN, flags, reinterpret_cast<DWORD_PTR>(&params));
  FLastError = result;
  if (result != 0) {
    if (showError) ShowMessageBox(TzxBoxOwner::None, GetErrorMessage(), "Error", zxMB_OK);
    return;
  }
  FDeviceID = params.wDeviceID;
  FOpened = true;
  if (type == DeviceTypeCDAudio || type == DeviceTypeVideodisc) SetTimeFormat(TimeFormatTmsf);
}

void TMediaPlayer::Close() {
  if (FDeviceID == 0) return;
  MCI_GENERIC_PARMS params{};
  if (Send(MCI_CLOSE, MCI_WAIT, reinterpret_cast<DWORD_PTR>(&params)) == 0) {
    FOpened = false;
    FDeviceID = 0;
  }
}

void TMediaPlayer::Play() {
  MCI_PLAY_PARMS params{};
  Send(MCI_PLAY, MCI_NOTIFY, reinterpret_cast<DWORD_PTR>(&params));
}

void TMediaPlayer::Stop() {
  MCI_GENERIC_PARMS params{};
  Send(MCI_STOP, MCI_WAIT, reinterpret_cast<DWORD_PTR>(&params));
}

void TMediaPlayer::Pause() {
  MCI_GENERIC_PARMS params{};
  Send(MCI_PAUSE, MCI_WAIT, reinterpret_cast<DWORD_PTR>(&params));
}

void TMediaPlayer::Seek(uint32_t to) {
  MCI_SEEK_PARMS params{};
  params.dwTo = to;
  Send(MCI_SEEK, MCI_WAIT | MCI_TO, reinterpret_cast<DWORD_PTR>(&params));
}

void TMediaPlayer::SetTimeFormat(uint32_t format) {
  MCI_SET_PARMS params{};
  params.dwTimeFormat = format;
  Send(MCI_SET, MCI_NOTIFY | MCI_SET_TIME_FORMAT, reinterpret_cast<DWORD_PTR>(&params));
}

uint32_t TMediaPlayer::GetLength() {
  MCI_STATUS_PARMS params{};
  params.dwItem = MCI_STATUS_LENGTH;
  Send(MCI_STATUS, MCI_WAIT | MCI_STATUS_ITEM, reinterpret_cast<DWORD_PTR>(&params));
  return static_cast<uint32_t>(params.dwReturn);
}

int32_t TMediaPlayer::GetMode() {
  MCI_STATUS_PARMS params{};
  params.dwItem = MCI_STATUS_MODE;
  if (Send(MCI_STATUS, MCI_WAIT | MCI_STATUS_ITEM, reinterpret_cast<DWORD_PTR>(&params)) != 0)
    return mpUnknown;
  const int64_t mode = static_cast<int64_t>(params.dwReturn) - MCI_MODE_NOT_READY;
  if (mode < mpNotReady || mode > mpOpen) return mpUnknown;
  return static_cast<int32_t>(mode);
}

std::string TMediaPlayer::GetErrorMessage() const {
  char text[4096] = {};
  if (mciGetErrorStringA(FLastError, text, sizeof text) && text[0] != '\0') return text;
  char fallback[256] = {};
  if (LoadStringA(GetModuleHandleA(nullptr), IdsMciUnknownError, fallback, sizeof fallback) > 0)
    return fallback;
  return "Unknown error code";
}

TMediaPlayer &MediaPlayer() {
  static TMediaPlayer player;
  return player;
}

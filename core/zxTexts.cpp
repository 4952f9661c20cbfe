#include "zxTexts.h"

#include "zxClasses.h"

std::string TextError;
std::string TextLoading;
std::string TextInvalidVersion;
std::string TextWarning;
std::string TextAlreadyRunning;
std::string TextSegmentCount;
std::string TextFilmProperties;
std::string TextHelpCaption;
std::string TextHelpMessage;
std::string TextWrongDisplay;
std::string TextCannotOpenFile;
std::string TextCannotCreateTemp;
std::string TextVideoDecompressor;
std::string TextLlseekError;
std::string TextSegmentsTitle;

void AssignDefaultTexts() {
  TextError = "Error";
  TextLoading = "Loading ...";
  TextInvalidVersion = "Segment %d need reDiridi of other version to play\r";
  TextWarning = "Warning";
  TextAlreadyRunning = "reDiridi already started";
  TextSegmentCount = "Segments count: %d";
  TextFilmProperties = "Film properties";
  TextHelpCaption = "Help";
  TextHelpMessage = "Documentation is available on author's web site\r"
                    "https://redidiri.invalid/";
  TextWrongDisplay = "Wrong display settings (16 bit color)";
  TextCannotOpenFile = "Cannot open file %s";
  TextCannotCreateTemp = "Cannot create temporary file";
  TextVideoDecompressor = "Video decompressor error";
  TextLlseekError = "_llseek error";
  TextSegmentsTitle = "Segments";
}

namespace {

// Texts are in place before anything can show one.
struct TDefaults {
  TDefaults() { AssignDefaultTexts(); }
} Defaults;

} // namespace

void ApplyLanguageTexts(const char *block, int length) {
  if (block == nullptr || length <= 0) return;
  TzxStringList lines;
  lines.SetText(block, length);
  struct {
    const char *Key;
    std::string *Text;
  } const keyed[] = {
      {"Error", &TextError},
      {"Loading", &TextLoading},
      {"InvalidVersionFormat", &TextInvalidVersion},
      {"Warning", &TextWarning},
      {"AlreadyRunning", &TextAlreadyRunning},
      {"SegmentCountFmt", &TextSegmentCount},
      {"WrongDisplaySettings", &TextWrongDisplay},
      {"CannotOpenFileFmt", &TextCannotOpenFile},
      {"CannotCreateTempFile", &TextCannotCreateTemp},
      {"VideoDecompressorError", &TextVideoDecompressor},
      {"Segments", &TextSegmentsTitle},
  };
  for (const auto &k : keyed) {
    std::string value = lines.Values(k.Key);
    if (!value.empty()) *k.Text = value;
  }
}

namespace {

std::string Fill(const std::string &text, char kind, const std::string &value) {
  std::string out;
  bool filled = false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 1 < text.size()) {
      char next = text[i + 1];
      if (next == '%') {
        out += '%';
        ++i;
        continue;
      }
      if (next == kind && !filled) {
        out += value;
        filled = true;
        ++i;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

} // namespace

std::string FormatText(const std::string &text, long long value) {
  return Fill(text, 'd', std::to_string(value));
}

std::string FormatText(const std::string &text, const std::string &value) {
  return Fill(text, 's', value);
}

// The user-visible texts that a language block may translate. Each is read
// at the moment it is shown.
#pragma once

#include <string>

extern std::string TextError;
extern std::string TextLoading;
extern std::string TextInvalidVersion;
extern std::string TextWarning;
extern std::string TextAlreadyRunning;
extern std::string TextSegmentCount;
extern std::string TextFilmProperties;
extern std::string TextHelpCaption;
extern std::string TextHelpMessage;
extern std::string TextWrongDisplay;
extern std::string TextCannotOpenFile;
extern std::string TextCannotCreateTemp;
extern std::string TextVideoDecompressor;
extern std::string TextLlseekError;
extern std::string TextSegmentsTitle;

// Puts the default text into every variable.
void AssignDefaultTexts();

// Replaces the texts that have keys from a language block (name=value
// lines); keys that are absent or empty leave the text as it is.
void ApplyLanguageTexts(const char *block, int length);

// Fills a text's single "%d" (or "%s") with a value. The texts may come from
// a language block, so they are never used as printf formats: any other
// "%" sequence stays as it stands, and "%%" gives "%".
std::string FormatText(const std::string &text, long long value);
std::string FormatText(const std::string &text, const std::string &value);

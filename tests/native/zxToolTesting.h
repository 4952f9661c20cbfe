// Running the built zxtool from tests.
#pragma once

#include "zxTesting.h"

#include <string>

struct TzxRun {
  int Code;
  std::string Out;
};

// Runs zxtool with the arguments; its standard error goes to err.txt in dir.
TzxRun RunZxtool(const std::string &args, const TzxTestDir &dir);
// What the last run wrote to standard error.
std::string ErrorText(const TzxTestDir &dir);

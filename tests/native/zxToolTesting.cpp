#include "zxToolTesting.h"

#include <cstdio>
#include <sys/wait.h>

TzxRun RunZxtool(const std::string &args, const TzxTestDir &dir) {
  std::string cmd = std::string(ZXTOOL) + " " + args + " 2>" + dir.File("err.txt");
  FILE *p = popen(cmd.c_str(), "r");
  std::string out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0)
    out.append(buf, n);
  int status = pclose(p);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

std::string ErrorText(const TzxTestDir &dir) {
  TzxBytes b = ReadWholeFile(dir.File("err.txt"));
  return std::string(b.begin(), b.end());
}

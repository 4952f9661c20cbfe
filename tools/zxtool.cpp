// zxtool: films on any operating system. Subcommands:
//   info FILE [--json]    what a film or a self-playing executable holds
//   sample OUT.zxf        a small generated film
//   pack, extract         self-playing executables
//   export FILM OUT       frames as PNG files or a video; --hash: checksums
//   make ... -o OUT.zxf   a film from pictures or a video
//   bench FILM            loading and decoding speed
#include "zxtool.h"

#include "zxLoader.h"
#include "zxMessages.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <map>
#include <new>
#include <stdexcept>

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: zxtool info FILE [--json]\n"
               "       zxtool sample OUT.zxf\n"
               "       zxtool pack PLAYER.exe FILM [--lang FILE] -o OUT.exe\n"
               "       zxtool extract EXE -o FILM.zxf [--lang FILE]\n"
               "       zxtool export FILM OUT|--hash [--segment N] [--from A] [--to B]\n"
               "                     [--scale F|WxH] [--no-cursor]\n"
               "       zxtool make [OPTIONS] --input SRC [OPTIONS]... -o OUT.zxf\n"
               "       zxtool bench FILM [--segment N] [--min-time SECONDS] [--passes N]\n");
  return 2;
}

const std::map<std::string, int (*)(const std::vector<std::string> &)> &Commands() {
  static const std::map<std::string, int (*)(const std::vector<std::string> &)> commands = {
      {"info", CommandInfo},       {"sample", CommandSample}, {"pack", CommandPack},
      {"extract", CommandExtract}, {"export", CommandExport}, {"make", CommandMake},
      {"bench", CommandBench},
  };
  return commands;
}

volatile std::sig_atomic_t Interrupted = 0;

void OnInterrupt(int) {
  Interrupted = 1;
}

// Ctrl-C and termination requests end a command through its usual error
// path (CheckInterrupted), so that it removes what it has written.
void CatchInterrupts() {
  struct sigaction sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sa_handler = OnInterrupt;
  sigemptyset(&sa.sa_mask);
  ::sigaction(SIGINT, &sa, nullptr);
  ::sigaction(SIGTERM, &sa, nullptr);
}

} // namespace

void CheckInterrupted() {
  if (Interrupted) throw EzxError("Interrupted");
}

int main(int argc, char **argv) {
  if (argc < 2) return Usage();
  auto it = Commands().find(argv[1]);
  if (it == Commands().end()) {
    std::fprintf(stderr, "zxtool: unknown command %s\n", argv[1]);
    return Usage();
  }
  std::vector<std::string> args(argv + 2, argv + argc);
  CatchInterrupts();
  try {
    return it->second(args);
  } catch (const EzxError &e) {
    std::fprintf(stderr, "zxtool: %s\n", e.what());
  } catch (const std::bad_alloc &) {
    std::fprintf(stderr, "zxtool: %s: not enough memory\n", argv[1]);
  } catch (const std::length_error &) {
    // A size beyond what a container can hold: the input asks for too much.
    std::fprintf(stderr, "zxtool: %s: not enough memory for a size the input asks for\n", argv[1]);
  } catch (const std::exception &e) {
    std::fprintf(stderr, "zxtool: %s\n", e.what());
  }
  return 1;
}

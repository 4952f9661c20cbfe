// zxtool: films on any operating system. Subcommands:
//   info FILE [--json]    what a film or a self-playing executable holds
//   sample OUT.zxf        a small generated film
//   pack, extract         self-playing executables
//   export FILM OUT       frames as PNG files or a video; --hash: checksums
//   make ... -o OUT.zxf   a film from pictures or a video
//   bench FILM            loading and decoding speed
// Exit codes: 0 done, 1 failed, 2 a command line it does not take, 128 +
// the signal when interrupted (SIGINT, SIGTERM).
#include "zxtool.h"

#include "zxLoader.h"
#include "zxMessages.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <stdexcept>

namespace {

struct TCommand {
  const char *Name;
  const char *Synopsis; // what follows the name
  const char *Summary;
  int (*Run)(const std::vector<std::string> &);
};

const TCommand Commands[] = {
    {"info", "FILE [--json]", "what a film or a self-playing executable holds", CommandInfo},
    {"sample", "OUT.zxf", "a small generated film", CommandSample},
    {"pack", "[PLAYER.exe] FILM [--lang FILE] -o OUT.exe", "a self-playing executable",
     CommandPack},
    {"extract", "EXE -o FILM.zxf [--lang FILE]", "the film (and language block) of one",
     CommandExtract},
    {"export", "FILM OUT|--hash [OPTIONS]",
     "frames as the player shows them: PNG files, a video, raw RGB or checksums", CommandExport},
    {"make", "[OPTIONS] --input SRC [OPTIONS]... -o OUT.zxf", "a film from pictures or a video",
     CommandMake},
    {"bench", "FILM [OPTIONS]", "loading and decoding speed", CommandBench},
};

const TCommand *FindCommand(const std::string &name) {
  for (const auto &c : Commands)
    if (name == c.Name) return &c;
  return nullptr;
}

void PrintOverview() {
  std::printf("zxtool %s: films of the player on any operating system\n\n"
              "usage: zxtool COMMAND [ARGUMENTS]\n",
              ZX_VERSION);
  for (const auto &c : Commands)
    std::printf("  zxtool %s %s\n      %s\n", c.Name, c.Synopsis, c.Summary);
  std::printf("\n'zxtool help COMMAND' or 'zxtool COMMAND --help' lists every option of a "
              "command.\n%s\n%s\n"
              "Exit codes: 0 done, 1 failed, 2 a wrong command line, 130 or 143 interrupted "
              "(SIGINT, SIGTERM).\n",
              SegmentNumbering, TimeSyntax);
}

} // namespace

int main(int argc, char **argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const std::string first = args.empty() ? "" : args[0];
  if (args.empty() || first == "-h" || first == "--help" || (first == "help" && args.size() == 1)) {
    PrintOverview();
    return 0;
  }
  if (first == "--version") {
    std::printf("zxtool %s\n", ZX_VERSION);
    return 0;
  }
  // "zxtool help CMD" is "zxtool CMD --help".
  const bool help = first == "help";
  const std::string name = help ? args[1] : first;
  const TCommand *command = FindCommand(name);
  if (command == nullptr) {
    std::fprintf(stderr, "zxtool: unknown %s %s; see zxtool --help\n",
                 name[0] == '-' ? "option" : "command", name.c_str());
    return 2;
  }
  if (help && args.size() > 2) {
    std::fprintf(stderr, "zxtool help: unexpected argument %s; see zxtool --help\n",
                 args[2].c_str());
    return 2;
  }
  const std::vector<std::string> rest =
      help ? std::vector<std::string>{"--help"}
           : std::vector<std::string>(args.begin() + 1, args.end());
  CatchInterrupts();
  std::string failure;
  int code = 1;
  try {
    return command->Run(rest);
  } catch (const EzxOutputRefused &e) {
    // -n: the output exists, and that is all there is to it.
    if (e.Quiet() && !InterruptSignal()) return 1;
    failure = Format("zxtool: %s", e.what());
  } catch (const EzxUsageError &e) {
    failure = Format("zxtool %s: %s; see zxtool %s --help", command->Name, e.what(), command->Name);
    code = 2;
  } catch (const EzxError &e) {
    failure = Format("zxtool: %s", e.what());
  } catch (const std::bad_alloc &) {
    failure = Format("zxtool: %s: not enough memory", command->Name);
  } catch (const std::length_error &) {
    // A size beyond what a container can hold: the input asks for too much.
    failure = Format("zxtool: %s: not enough memory for a size the input asks for", command->Name);
  } catch (const std::exception &e) {
    failure = Format("zxtool: %s", e.what());
  }
  // Whatever failed after an interruption failed because of it.
  if (InterruptSignal()) {
    failure = "zxtool: interrupted";
    code = 128 + InterruptSignal();
  }
  std::fprintf(stderr, "%s\n", failure.c_str());
  return code;
}

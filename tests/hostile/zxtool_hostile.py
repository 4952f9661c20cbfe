#!/usr/bin/env python3
"""Every hostile film of zxhostile.py through zxtool:

    zxtool info FILM
    zxtool export FILM --hash
    zxtool export FILM OUT.mp4            (FFmpeg)
    zxtool export FILM --hash --no-cursor (films of legal shapes: compared
                                           with the frames they were made of)

each in a directory of its own: the current directory one empty folder,
TMPDIR another, the output a third, the film in a fourth. Each run has a
time limit and an address-space limit (not under AddressSanitizer, which
reserves terabytes; there its own allocation limit stands in) and its peak
resident memory, that of the processes it started included, is bounded.
A run passes when

- it ended by itself with exit code 0 or 1: no signal, no sanitizer report;
- standard error is at most one line, and exactly one "zxtool: ..." line
  when it failed, naming no C++ internals (std::, bad_alloc, vector, ...);
- neither standard error nor what info prints names a temporary file
  (zxS_, zxM_, ~7z or the private TMPDIR): the user can do nothing with it;
- the current directory and TMPDIR are empty again, the film's folder
  holds the film alone, the output folder OUT.mp4 alone after a success
  and nothing after a failure; no cabinet member escaped anywhere;
- a film of legal shape succeeded in every run and gave the frames it was
  made of.

    zxtool_hostile.py --zxtool build/native/zxtool [--sanitized] [--all] [NAME...]

Faults known and not mended yet are listed in KNOWN_FAULTS: those films
must still fail (and are reported); once one passes, the list must shrink.
Films marked slow (minutes each) run only with --all or
ZX_HOSTILE_ALL=1.
"""
import argparse
import concurrent.futures
import hashlib
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import zxhostile  # noqa: E402

TIME_LIMIT = 120.0  # seconds a run; only stops a hang
ADDRESS_LIMIT = 4 << 30  # bytes of address space, plain builds
PEAK_MEMORY = 1 << 30  # bytes resident at most, the run's processes included
PEAK_MEMORY_SANITIZED = 2 << 30
FILE_LIMIT = 2 << 30  # the largest file a run may write

# Faults of the film loader that zxtool shares with the player, being mended
# beside this: case -> what is wrong. A case listed here must still fail in
# some run; once none of its runs fails it must come off the list.
TEMPORARY_ONLY = "the message names only a temporary file"
KNOWN_FAULTS = {}

FORBIDDEN = ("std::", "vector", "bad_alloc", "max_size", "basic_string", "terminate called",
             "Segmentation", "core dumped", "Aborted")
SANITIZER = ("AddressSanitizer", "LeakSanitizer", "UndefinedBehaviorSanitizer",
             "runtime error:", "==ERROR")
TEMPORARY = re.compile(r"zxS_|zxM_|zxW_|~7z|zxtool_\d")
ESCAPED = "zxhostile-escaped"


class Run:
    def __init__(self, case, command, args):
        self.case, self.command, self.args = case, command, args
        self.problems = []
        self.code = self.signal = None
        self.seconds = 0.0
        self.peak = 0
        self.stdout = self.stderr = ""

    @property
    def key(self):
        return (self.case.name, self.command)

    def line(self):
        said = self.stderr.strip().splitlines()
        return "%-36s %-9s exit %-4s %6.2f s %6.0f MB  %s" % (
            self.case.name, self.command,
            self.code if self.signal is None else "sig%d" % self.signal, self.seconds,
            self.peak / 2 ** 20, said[0] if said else "")


TIME = "/usr/bin/time"


def limited(args, sanitized, peak_file):
    """The command under prlimit: no core files, files up to FILE_LIMIT and,
    unless sanitized, ADDRESS_LIMIT of address space; and under GNU time,
    which writes its peak memory to peak_file. (A process started from this
    interpreter counts the interpreter's memory in its own peak, as exec
    keeps the peak of the image it replaces; time's child starts small.)"""
    limits = ["--core=0", "--fsize=%d" % FILE_LIMIT]
    if not sanitized:
        limits.append("--as=%d" % ADDRESS_LIMIT)
    command = ["prlimit"] + limits + ["--"] + args
    if os.path.exists(TIME):
        command = [TIME, "-q", "-f", "%M", "-o", peak_file] + command
    return command


def listing(directory):
    out = []
    for root, dirs, files in os.walk(directory):
        for n in dirs + files:
            out.append(os.path.relpath(os.path.join(root, n), directory))
    return sorted(out)


def execute(run, work, film, sanitized, zxtool):
    """Runs one command in its own directories and checks what it left."""
    base = tempfile.mkdtemp(prefix="%s.%s." % (run.case.name, run.command), dir=work)
    cwd, tmp, out = (os.path.join(base, d) for d in ("cwd", "tmp", "out"))
    for d in (cwd, tmp, out):
        os.mkdir(d)
    films = os.path.join(base, "film")
    os.mkdir(films)
    path = os.path.join(films, os.path.basename(film))
    shutil.copyfile(film, path)
    args = [zxtool] + [a.replace("{FILM}", path).replace("{OUT}", out) for a in run.args]
    env = dict(os.environ, TMPDIR=tmp, LC_ALL="C")
    env.pop("TERM", None)
    if sanitized:
        # Allocations beyond a gigabyte are reported instead of made.
        env["ASAN_OPTIONS"] = ":".join(
            filter(None, [os.environ.get("ASAN_OPTIONS", ""), "max_allocation_size_mb=1024",
                          "allocator_may_return_null=0"]))
    with open(os.path.join(base, "stdout"), "wb") as so, \
            open(os.path.join(base, "stderr"), "wb") as se:
        started = time.monotonic()
        peak_file = os.path.join(base, "peak")
        p = subprocess.Popen(limited(args, sanitized, peak_file), cwd=cwd, env=env,
                             stdin=subprocess.DEVNULL, stdout=so, stderr=se,
                             start_new_session=True)
        status = usage = None
        while status is None:
            pid, st, ru = os.wait4(p.pid, os.WNOHANG)
            if pid == p.pid:
                status, usage = st, ru
                break
            if time.monotonic() - started > TIME_LIMIT:
                run.problems.append("did not end within %g s" % TIME_LIMIT)
                os.killpg(p.pid, signal.SIGKILL)
                _, status, usage = os.wait4(p.pid, 0)
                break
            time.sleep(0.01)
        p.returncode = 0  # reaped above
        run.seconds = time.monotonic() - started
    # Whatever the command started ends with it.
    try:
        os.killpg(p.pid, signal.SIGKILL)
    except OSError:
        pass
    run.peak = usage.ru_maxrss * 1024  # an upper bound: this interpreter's peak included
    try:
        with open(peak_file) as f:
            run.peak = int(f.read().split()[-1]) * 1024
    except (OSError, ValueError, IndexError):
        pass
    with open(os.path.join(base, "stdout"), "rb") as f:
        run.stdout = f.read().decode(errors="replace")
    with open(os.path.join(base, "stderr"), "rb") as f:
        run.stderr = f.read().decode(errors="replace")
    if os.WIFSIGNALED(status):
        run.signal = os.WTERMSIG(status)
    elif os.WEXITSTATUS(status) > 128 and os.path.exists(TIME):
        run.signal = os.WEXITSTATUS(status) - 128  # how time passes on a signal
    else:
        run.code = os.WEXITSTATUS(status)
    check(run, sanitized, tmp, cwd, out, films, path)
    return base


def check(run, sanitized, tmp, cwd, out, films, path):
    p = run.problems
    if run.signal is not None:
        p.append("ended by signal %d" % run.signal)
    elif run.code not in (0, 1):
        p.append("exit code %d" % run.code)
    if any(s in run.stderr for s in SANITIZER):
        p.append("sanitizer report: %s" % next(l for l in run.stderr.splitlines()
                                               if any(s in l for s in SANITIZER)))
    lines = [l for l in run.stderr.splitlines() if l.strip()]
    if len(lines) > 1:
        p.append("%d lines on standard error" % len(lines))
    if run.code == 1 and (len(lines) != 1 or not lines[0].startswith("zxtool: ")):
        p.append("failed without one line of its own on standard error")
    for text, where in ((run.stderr, "standard error"), (run.stdout, "standard output")):
        bad = [s for s in FORBIDDEN if s in text]
        if bad:
            p.append("%s names %s" % (where, ", ".join(bad)))
        if TEMPORARY.search(text) or tmp in text:
            p.append("%s names a temporary file" % where)
    peak = PEAK_MEMORY_SANITIZED if sanitized else PEAK_MEMORY
    if run.peak > peak:
        p.append("peak memory %.0f MB, more than %.0f MB" % (run.peak / 2 ** 20, peak / 2 ** 20))
    for d, what in ((cwd, "the current directory"), (tmp, "TMPDIR")):
        left = listing(d)
        if left:
            p.append("left in %s: %s" % (what, left[:5]))
    left = listing(films)
    if left != [os.path.basename(path)]:
        p.append("beside the film: %s" % [n for n in left if n != os.path.basename(path)][:5])
    made = listing(out)
    wanted = ["out.mp4"] if run.command == "mp4" and run.code == 0 else []
    if made != wanted:
        p.append("in the output folder: %s (expected %s)" % (made[:5], wanted))
    if run.command == "mp4" and run.code == 0 and os.path.getsize(os.path.join(out, "out.mp4")) == 0:
        p.append("an empty out.mp4")


def check_valid(run, case):
    """Films of legal shapes: every run succeeds, and the frames are those made."""
    if run.code != 0:
        run.problems.append("a film of legal shape failed")
    if run.command == "frames" and run.code == 0 and case.expected is not None:
        got = [l.split()[2] for l in run.stdout.splitlines() if l.strip()]
        want = [hashlib.sha256(f).hexdigest() for f in case.expected]
        if got != want:
            wrong = [k for k in range(max(len(got), len(want)))
                     if k >= len(got) or k >= len(want) or got[k] != want[k]]
            run.problems.append("%d frames, %d expected; frames %s differ from the film's" %
                                (len(got), len(want), wrong[:8]))


COMMANDS = (
    ("info", ["info", "{FILM}"]),
    ("hash", ["export", "{FILM}", "--hash"]),
    ("mp4", ["export", "{FILM}", "{OUT}/out.mp4"]),
)


def escaped(work):
    """Paths where a cabinet member that got out would have landed."""
    found = [os.path.join(r, n) for r, ds, fs in os.walk(work) for n in ds + fs
             if ESCAPED in n]
    for d in ("/", "/tmp", os.path.dirname(work)):
        with os.scandir(d) as it:
            found += [e.path for e in it if ESCAPED in e.name]
    return found


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--zxtool", default=os.path.join(HERE, "..", "..", "build", "native",
                                                         "zxtool"))
    parser.add_argument("--sanitized", action="store_true",
                        help="zxtool is built with AddressSanitizer: no address-space limit")
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--keep", action="store_true", help="keep the working directory")
    parser.add_argument("--all", action="store_true", default=bool(os.environ.get(
        "ZX_HOSTILE_ALL")), help="the slow films too")
    parser.add_argument("names", nargs="*")
    a = parser.parse_args(argv)
    zxtool = os.path.abspath(a.zxtool)
    if not os.path.exists(zxtool) or shutil.which("prlimit") is None:
        print("zxtool_hostile: no %s or no prlimit" % zxtool, file=sys.stderr)
        return 77
    work = tempfile.mkdtemp(prefix="zxhostile_")
    started = time.monotonic()
    before = escaped(work)
    try:
        cases = zxhostile.by_name(a.names)
        if not a.names and not a.all:
            cases = [c for c in cases if not c.slow]
        written = zxhostile.write(os.path.join(work, "films"), cases)
        runs = []
        for case, path in written:
            commands = list(COMMANDS)
            if case.valid:
                commands.append(("frames", ["export", "{FILM}", "--hash", "--no-cursor"]))
            for name, args in commands:
                runs.append((Run(case, name, args), path))
        with concurrent.futures.ThreadPoolExecutor(max(1, a.jobs)) as pool:
            done = list(pool.map(lambda rp: (rp[0], execute(rp[0], work, rp[1], a.sanitized,
                                                            zxtool)), runs))
        failures, expected = [], []
        failed_cases = set()
        for run, _ in done:
            if run.case.valid:
                check_valid(run, run.case)
            print(run.line())
            if run.problems:
                failed_cases.add(run.case.name)
                (expected if run.case.name in KNOWN_FAULTS else failures).append(run)
        mended = [c for c in cases if c.name in KNOWN_FAULTS and c.name not in failed_cases]
        out = [p for p in escaped(work) if p not in before]
        print("\n%d runs of %d films in %.0f s" % (len(done), len(cases),
                                                    time.monotonic() - started))
        for run in expected:
            print("known fault  %s %s: %s" % (run.case.name, run.command,
                                             "; ".join(run.problems)))
        for case in mended:
            print("MENDED       %s passes now; take it off KNOWN_FAULTS (%s)" %
                  (case.name, KNOWN_FAULTS[case.name]))
        for run in failures:
            print("FAILED       %s %s (%s): %s\n             zxtool %s\n             stderr: %s" %
                  (run.case.name, run.command, run.case.what, "; ".join(run.problems),
                   " ".join(run.args), run.stderr.strip()[:400]))
        if out:
            print("FAILED       cabinet members got out: %s" % out)
        return 1 if failures or mended or out else 0
    finally:
        if a.keep:
            print("kept", work)
        else:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())

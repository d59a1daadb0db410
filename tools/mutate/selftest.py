#!/usr/bin/env python3
"""A check of the mutation runner itself, on a project of three small files made for it:
  python3 tools/mutate/selftest.py      (about a minute and a half; not part of make test)

- a mutant a test notices is caught, one it does not survives, one on a line no test runs is
  reported as such, and one that does not compile is not counted;
- the schema and the one-by-one builds agree;
- a mark naming a kind skips only that kind; bad arguments are refused with a message;
- Ctrl-C restores the file at once (twice, in a build: no compiler left), so does the watchdog after a kill -9 of the run's group; with
  the watchdog killed too the next run restores it first, and a leftover without a journal stops it.
"""

import csv
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))

CALC = """\
#include <algorithm>
#include <string>

// Checked exactly by the test.
int add(int a, int b) { return a + b; }

// Called by the test, its result never looked at.
int larger(int a, int b) { return std::max(a, b); }

// Never called.
int unused(int a) {
  if (a > 3) return a * 2;
  return a;
}

// The test looks only at the length; '+' on strings has no '-'.
std::string greet(const std::string& name) { return "hi " + name; }

int triple(int a) { return a * 3; }  // mutate: skip constant (only the operator is judged)
"""

CHECK = """\
#include <cstdio>
#include <string>
#include <unistd.h>
int add(int, int);
int larger(int, int);
std::string greet(const std::string&);
int main() {
  usleep(300000);  // long enough to be interrupted
  larger(1, 2);
  if (add(2, 3) != 5 || add(-1, 1) != 0) return 1;
  if (greet("x").size() != 4) return 1;
  std::puts("ok");
  return 0;
}
"""

# Compiles after SLOW_BUILD seconds, so that a run can be stopped in the middle of a build.
SLOW = """\
#!/bin/sh
sleep "${SLOW_BUILD:-0}"
exec "$@"
"""

CMAKE = """\
cmake_minimum_required(VERSION 3.18)
project(selftest CXX)
set(CMAKE_CXX_COMPILER_LAUNCHER ${CMAKE_SOURCE_DIR}/slow.sh)
add_library(calc STATIC src/calc.cpp)
add_executable(check tests/check.cpp)
target_link_libraries(check PRIVATE calc)
enable_testing()
add_test(NAME check COMMAND check)
# A test whose command the build does not make (a shell running the program).
add_test(NAME check_through_sh COMMAND sh -c "$<TARGET_FILE:check>")
"""


def project():
    root = tempfile.mkdtemp(prefix="mutate-selftest-")
    os.makedirs(os.path.join(root, "src"))
    os.makedirs(os.path.join(root, "tests"))
    for rel, text in (("src/calc.cpp", CALC), ("tests/check.cpp", CHECK), ("CMakeLists.txt", CMAKE),
                      ("slow.sh", SLOW)):
        with open(os.path.join(root, rel), "w") as f:
            f.write(text)
    os.chmod(os.path.join(root, "slow.sh"), 0o755)
    subprocess.run(["git", "init", "-q", root], check=True)
    subprocess.run(["git", "-C", root, "add", "."], check=True)
    return root


def mutate(root, *extra, files="src/calc.cpp", **kw):
    return subprocess.Popen([sys.executable, os.path.join(HERE, "mutate.py"), "--files", files,
                             "--jobs", "2", *extra], cwd=root, stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, text=True, **kw)


# Arguments refused before anything is built: (files, other arguments, what the message says).
REFUSED = [
    ("src/none.cpp", [], "no file matches src/none.cpp"),
    ("tests/check.cpp", [], "tests/check.cpp is not under src/"),
    ("src/calc.h", [], "src/calc.h is a header"),
    ("src", [], "src is a folder"),
    ("src/calc.cpp", ["--mutants", "0"], "MUTANTS must be a whole number of 1 or more, not '0'"),
    ("src/calc.cpp", ["--mutants", "x"], "MUTANTS must be a whole number of 1 or more, not 'x'"),
    ("src/calc.cpp", ["--jobs", "0"], "JOBS must be a whole number of 1 or more, not '0'"),
    ("src/calc.cpp", ["--lines", "a"], "LINES takes line numbers"),
    ("src/calc.cpp", ["--layer", "engine"], "give FILES or LAYER, not both"),
    ("", ["--layer", "nolayer"], "no layer nolayer; the layers are engine"),
]


def left_running(root):
    """Processes still at work in the project (a compiler a build started)."""
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            cmd = open(f"/proc/{pid}/cmdline", "rb").read().decode(errors="replace")
        except OSError:
            continue
        if root in cmd and "mutate.py" not in cmd:
            found.append(cmd.replace("\0", " "))
    return found


def outcomes(root):
    with open(os.path.join(root, "build-mutate", "mutants.tsv")) as f:
        return {(r["line"], r["change"]): r["outcome"] for r in csv.DictReader(f, delimiter="\t")}


def expect(cond, what):
    if not cond:
        raise SystemExit(f"selftest: FAILED: {what}")
    print(f"selftest: ok: {what}")


def main():
    root = project()
    try:
        calc = os.path.join(root, "src", "calc.cpp")
        p = mutate(root)
        out, _ = p.communicate(timeout=900)
        expect(p.returncode == 0, "a run finishes\n" + out[-2000:])
        expect(open(calc).read() == CALC, "the file is as it was")
        got = outcomes(root)
        expect(got.get(("5", "+ -> -")) == "caught", "a fault the test sees is caught")
        expect(got.get(("8", "std::max -> std::min")) == "survived", "a fault it does not see survives")
        expect(got.get(("12", "> -> >=")) == "uncovered", "a line no test runs is reported as such")
        expect(got.get(("17", "+ -> -")) == "uncompiled", "a mutant that does not compile is not counted")
        with open(os.path.join(root, "build-mutate", "report.md")) as f:
            report = f.read()
        expect("`src/calc.cpp:8` minmax: std::max -> std::min" in report, "the report names the survivor")

        p = mutate(root, "--no-schema")
        out, _ = p.communicate(timeout=900)
        expect(outcomes(root) == got, "one-by-one builds agree with the schema")

        p = mutate(root, "--list")
        out, _ = p.communicate(timeout=120)
        expect("src/calc.cpp:19: arithmetic: * -> /" in out and "src/calc.cpp:19: constant" not in out,
               "a mark that names a kind skips only that kind")
        open(os.path.join(root, "src", "calc.h"), "w").close()
        for files, extra, message in REFUSED:
            p = mutate(root, *extra, files=files)
            out, _ = p.communicate(timeout=60)
            expect(p.returncode == 1 and f"mutate: {message}" in out and "Traceback" not in out,
                   f"refused: {message}\n{out[-500:]}")

        # Ctrl-C while a mutant is in the file.
        p = mutate(root, "--no-schema", start_new_session=True)
        line = ""
        while "[   1/" not in line:
            line = p.stdout.readline()
            if not line:
                break
        time.sleep(0.1)
        os.killpg(p.pid, signal.SIGINT)
        out, _ = p.communicate(timeout=120)
        expect(p.returncode == 130 and "the file is restored" in out, "Ctrl-C stops the run")
        expect(open(calc).read() == CALC, "after Ctrl-C the file is as it was")

        # Ctrl-C, twice, while a mutant is being compiled: the build ends with its compiler.
        p = mutate(root, "--no-schema", "--no-coverage", start_new_session=True,
                   env=dict(os.environ, SLOW_BUILD="3"))
        while "[   1/" not in p.stdout.readline():
            pass
        time.sleep(1)
        os.killpg(p.pid, signal.SIGINT)
        time.sleep(0.01)
        os.killpg(p.pid, signal.SIGINT)
        out, _ = p.communicate(timeout=120)
        expect(p.returncode == 130 and "the file is restored" in out and "Traceback" not in out,
               "Ctrl-C twice in a build stops the run\n" + out[-2000:])
        expect(open(calc).read() == CALC and not left_running(root),
               f"and leaves the file as it was and no compiler running {left_running(root)}")

        # kill -9 of the run's whole group while the schema is in the file: the watchdog puts
        # the original back at once.
        def killed_while_mutated(also_watchdog):
            p = mutate(root, start_new_session=True)
            while True:
                line = p.stdout.readline()
                if not line or "from one build" in line:
                    break
            if also_watchdog:
                with open(os.path.join(root, "build-mutate", "state", "watchdog.pid")) as f:
                    os.kill(int(f.read()), signal.SIGKILL)
            os.killpg(p.pid, signal.SIGKILL)
            p.wait()
            for _ in range(100):
                if open(calc).read() == CALC:
                    break
                time.sleep(0.1)

        killed_while_mutated(False)
        expect(open(calc).read() == CALC, "after a kill -9 of the run the watchdog restores the file")
        time.sleep(1)  # the watchdog lets go of the lock as it ends

        # Watchdog and run both killed: the next run puts the original back first.
        killed_while_mutated(True)
        expect(open(calc).read() != CALC, "a run killed with its watchdog leaves the file changed")
        p = mutate(root, "--list")
        out, _ = p.communicate(timeout=120)
        expect("restored it from the saved copy" in out and open(calc).read() == CALC,
               "the next run restores it first")

        # A schema left without a journal (its state deleted): the run refuses to start.
        killed_while_mutated(True)
        shutil.rmtree(os.path.join(root, "build-mutate", "state"))
        p = mutate(root, "--list")
        out, _ = p.communicate(timeout=120)
        expect(p.returncode != 0 and "left by an interrupted run" in out, "a leftover without a journal stops the run")
        subprocess.run(["git", "-C", root, "checkout", "-q", "src/calc.cpp"], check=True)
    finally:
        shutil.rmtree(root, ignore_errors=True)
    print("selftest: all passed")


if __name__ == "__main__":
    main()

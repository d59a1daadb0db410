#!/usr/bin/env python3
"""make mutate: puts small faults into the product's sources, one at a time, and reports the
ones no test notices.

  make mutate FILES="src/editor/mouse.cpp src/engine/design.cpp"
  make mutate LAYER=engine [MUTANTS=N SEED=S] [JOBS=J] [SUITE=1]

Each mutant is judged by the tests of its file's programs (tests.txt) that execute its line:
a coverage run of the whole suite (build-mutate/cov, made again whenever sources or tests
change) says which; a mutant on a line none of them executes survives without being built.
The file is changed in place and always restored. Where the mutants of a file can sit in
run-time switches (schema.py), one build in build-mutate/obj serves them all and they run
`jobs` at a time; the others are built one by one, only what changed. Tests run quickest first,
until one fails; a mutant that does not compile is not counted, one that makes a test time out
is caught.
"""

import argparse
import fnmatch
import glob
import os
import platform
import random
import re
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import coverage  # noqa: E402
import guard as guard_mod  # noqa: E402
import mutants as mutants_mod  # noqa: E402
import report  # noqa: E402
import runner  # noqa: E402
import suite  # noqa: E402

# A test may take this many times its normal run before the mutant counts as caught by a
# timeout, and never less than TIMEOUT_MIN seconds (the machine is shared and runs us niced).
TIMEOUT_FACTOR = 4.0
TIMEOUT_MIN = 10.0


def say(text):
    print(text, flush=True)


def read_layers(path):
    layers, name = {}, None
    for raw in open(path):
        line = raw.split("#", 1)[0].rstrip()
        if not line.strip():
            continue
        if not raw[0].isspace():
            name, *globs = line.split()
            layers[name] = globs
        elif name:
            layers[name] += line.split()
    return layers


def read_programs(path):
    """[(file pattern, {program: test name pattern or None})] in the order of the file; a
    program written `name:REGEX` is narrowed to its tests whose ctest names match REGEX."""
    rules = []
    for raw in open(path):
        line = raw.split("#", 1)[0].split()
        if line:
            programs = {}
            for p in line[1:]:
                name, _, pattern = p.partition(":")
                programs[name] = re.compile(pattern) if pattern else None
            rules.append((line[0], programs))
    return rules


def expand(root, globs, strict=True):
    files = []
    for g in globs:
        found = sorted(glob.glob(os.path.join(root, g)))
        if not found and strict:
            raise SystemExit(f"mutate: no file matches {g}")
        files += [os.path.relpath(f, root) for f in found]
    return list(dict.fromkeys(files))


def source_files(root, patterns):
    """The files FILES names: C++ sources of the product, under src/; anything else refused."""
    src = os.path.join(os.path.realpath(root), "src") + os.sep
    files = expand(root, patterns)
    for f in files:
        full = os.path.realpath(os.path.join(root, f))
        if os.path.isdir(full):
            raise SystemExit(f"mutate: {f} is a folder; name its files (src/engine/*.cpp) or a LAYER")
        if not full.startswith(src):
            raise SystemExit(f"mutate: {f} is not under src/; only the product's sources are mutated")
        if full.endswith(".h"):
            raise SystemExit(f"mutate: {f} is a header; no build names it, so no test would judge its "
                             "mutants: name the .cpp files that use it")
        if not full.endswith(".cpp"):
            raise SystemExit(f"mutate: {f} is not a C++ source (.cpp)")
    return files


def count(value, name):
    """A make variable that must hold a whole number of 1 or more; None when empty."""
    if not value.strip():
        return None
    if not value.strip().isdigit() or int(value) < 1:
        raise SystemExit(f"mutate: {name} must be a whole number of 1 or more, not '{value}'")
    return int(value)


def wanted_lines(value):
    """LINES="17,19" (every file) or "src/x.cpp:17" (one): [(path or "", line)]."""
    wanted = []
    for item in value.replace(",", " ").split():
        path, _, no = item.rpartition(":")
        if not no.isdigit():
            raise SystemExit(f"mutate: LINES takes line numbers (17,19) or file:line (src/x.cpp:17), not '{item}'")
        wanted.append((path, int(no)))
    return wanted


def parse_args(argv):
    p = argparse.ArgumentParser(prog="make mutate", description=__doc__.split("\n\n")[0])
    p.add_argument("--files", default="", help="source files to mutate")
    p.add_argument("--layer", default="", help="a layer of tools/mutate/layers.txt, or core for all")
    p.add_argument("--mutants", default="", help="at most this many mutants per file, a seeded sample")
    p.add_argument("--seed", default="", help="the sample's seed (default 1)")
    p.add_argument("--jobs", default="", help="compile jobs and tests run at once")
    p.add_argument("--out", default="build-mutate", help="the tool's own build folder")
    p.add_argument("--suite", default="", help="1: judge every file by the whole suite, not its programs")
    p.add_argument("--no-coverage", action="store_true",
                   help="run every test of the file's programs, not only those that execute the line")
    p.add_argument("--no-schema", action="store_true",
                   help="build every mutant on its own (slow; a check of the schemata)")
    p.add_argument("--lines", default="",
                   help="only the mutants on these lines: 17,19 (of every file) or src/x.cpp:17 (of one); survivors judged again")
    p.add_argument("--list", action="store_true", help="only list the mutants")
    return p.parse_args(argv)


def main(argv):
    args = parse_args(argv)
    root = subprocess.run(["git", "rev-parse", "--show-toplevel"], check=True,
                          capture_output=True, text=True).stdout.strip()
    out = os.path.join(root, args.out)
    if os.path.realpath(out) == os.path.realpath(os.path.join(root, "build")):
        raise SystemExit("mutate: build/ is the user's build folder; use another")
    jobs = count(args.jobs, "JOBS") or os.cpu_count() or 1
    seed = args.seed or "1"
    per_file = count(args.mutants, "MUTANTS")
    lines = wanted_lines(args.lines)
    layers = read_layers(os.path.join(HERE, "layers.txt"))
    if args.files.strip() and args.layer.strip():
        raise SystemExit("mutate: give FILES or LAYER, not both")
    if args.files.strip():
        files = source_files(root, args.files.split())
    elif args.layer.strip():
        names = list(layers) if args.layer.strip() == "core" else args.layer.split()
        for n in names:
            if n not in layers:
                raise SystemExit(f"mutate: no layer {n}; the layers are {', '.join(layers)} (or core)")
        files = expand(root, [g for n in names for g in layers[n]])
    else:
        raise SystemExit("mutate: say what to mutate: FILES=\"src/...cpp ...\" or LAYER=" + "|".join(layers) + "|core")

    guard = guard_mod.Guard(root, os.path.join(out, "state"))
    if guard.lock(required=not args.list):  # a listing beside a run leaves its files alone
        guard.install_signals()
        message = guard.recover()
        if message:
            say(message)
        guard.refuse_leftovers(subprocess.run(["git", "-C", root, "ls-files", "src"], check=True,
                                              capture_output=True, text=True).stdout.split())

    layer_files = {f: n for n, gs in layers.items() for f in expand(root, gs, strict=False)}

    def layer_of(f):
        return layer_files.get(f, "other")

    # The mutants, sampled per file with a seed of their own so that one file's sample does not
    # depend on which other files are measured.
    texts, planned, notes = {}, [], []
    for f in files:
        text = open(os.path.join(root, f)).read()
        texts[f] = text
        for line in mutants_mod.unmarked_reasons(text):
            notes.append(f"{f}:{line}: a skip mark without a reason in parentheses")
        ms = mutants_mod.generate(f, text)
        if lines:  # "17,19" for every file, "src/x.cpp:17" for one
            wanted = {no for path, no in lines if path in ("", f)}
            ms = [m for m in ms if m.line in wanted]
        total = len(ms)
        if per_file is not None and total > per_file:
            ms = sorted(random.Random(f"{seed}:{f}").sample(ms, per_file), key=lambda m: m.start)
        planned.append((f, total, ms))
    if args.list:
        for f, total, ms in planned:
            for m in ms:
                say(f"{f}:{m.line}: {m.kind}: {m.change}")
        return 0

    guard.start_watchdog()
    suite.watcher = guard
    code = git_describe(root)  # the mutants are of the sources as they are now
    wall_start = time.monotonic()
    cov = None
    if not args.no_coverage:
        cov = coverage.ensure(root, os.path.join(out, "cov"), jobs, say)

    objdir = os.path.join(out, "obj")
    os.makedirs(objdir, exist_ok=True)
    logdir = os.path.join(out, "logs")
    os.makedirs(logdir, exist_ok=True)
    scratch = os.path.join(out, "scratch")
    os.makedirs(scratch, exist_ok=True)
    if not os.path.exists(os.path.join(objdir, "build.ninja")):
        suite.configure(root, objdir, ["-DCMAKE_BUILD_TYPE=Release", "-DQUILLMAR_BENCH=OFF"],
                        os.path.join(logdir, "configure.log"))
    ok, _ = suite.build(objdir, ["all"], jobs, None, os.path.join(logdir, "build.log"))
    if not ok:
        raise SystemExit(f"mutate: the unmutated code does not build; see {logdir}/build.log")
    tests = suite.load_tests(objdir)
    by_name = {t.name: t for t in tests}

    # The programs that judge each file (tests.txt), narrowed to those built from it.
    rules = read_programs(os.path.join(HERE, "tests.txt"))
    whole_suite = args.suite.strip() not in ("", "0")
    reach = {}
    for target in sorted({t.target for t in tests}):
        inputs = suite.target_inputs(objdir, target)
        for f in files:
            if inputs is None or os.path.join(root, f) in inputs:
                reach.setdefault(f, set()).add(target)
    for f in files:
        if f not in reach:
            notes.append(f"{f}: no test program is built from it here; its mutants count as not executed")
            say("mutate: " + notes[-1])
    judges = {}
    for f in files:
        programs = None if whole_suite else next((p for pat, p in rules if fnmatch.fnmatch(f, pat)), None)
        allowed = reach.get(f, set()) if programs is None else reach.get(f, set()) & set(programs)
        judges[f] = {t.name for t in tests if t.target in allowed
                     and (programs is None or programs[t.target] is None or programs[t.target].search(t.name))}

    def candidates(m):
        pool = judges[m.path]
        if cov is not None:
            found = cov.tests_for(m.path, m.span_lines)
            if found is not None:
                return found & pool
        return pool

    plan = [(f, m, candidates(m)) for f, _, ms in planned for m in ms]
    needed = sorted(set().union(*[c for _, _, c in plan]) if plan else set())

    # The unmutated code passes every test it will be judged by, and each test's normal time
    # sets its time limit. A test that fails here is left out (it would catch everything).
    say(f"mutate: {len(plan)} mutants in {len(files)} files; timing {len(needed)} tests on the unmutated code")
    durations, excluded = {}, []
    for name in needed:
        status, secs = suite.run_test(by_name[name], 600, scratch)
        if status != "pass":
            status, secs = suite.run_test(by_name[name], 600, scratch,
                                          log=os.path.join(logdir, "baseline-failure.log"))
        if status != "pass":
            excluded.append(name)
        else:
            durations[name] = secs
    if excluded:
        notes.append("left out, failing on the unmutated code: " + ", ".join(excluded))
        say("mutate: " + notes[-1])
    timeouts = {n: max(TIMEOUT_MIN, TIMEOUT_FACTOR * d) for n, d in durations.items()}
    with open(os.path.join(logdir, "durations.tsv"), "w") as fh:
        for n, d in sorted(durations.items(), key=lambda x: -x[1]):
            fh.write(f"{d:.3f}\t{n}\n")

    run = runner.Runner(root, objdir, logdir, scratch, guard, jobs, by_name, durations, timeouts, say)
    run.total = len(plan)
    run.use_schema = not args.no_schema
    interrupted = None
    loop_start = time.monotonic()
    try:
        for f, _, ms in planned:
            run.run_file(f, texts[f], ms, [candidates(m) for m in ms])
    except guard_mod.Interrupted as e:
        interrupted = str(e)
        say(f"mutate: stopped by {interrupted}; the file is restored")
    finally:
        run.stop.set()
        suite.kill_all()
        guard.restore()
        shutil.rmtree(scratch, ignore_errors=True)
    results = run.results

    loop = time.monotonic() - loop_start
    header = [
        f"- Run: {report.stamp()} on {platform.node()} ({os.cpu_count()} cores), JOBS={jobs}",
        "- Command: `make mutate " + (f'FILES="{args.files.strip()}"' if args.files.strip() else
                                      f'LAYER="{args.layer.strip()}"' if " " in args.layer.strip() else f"LAYER={args.layer.strip()}")
        + (f" MUTANTS={per_file} SEED={seed}" if per_file is not None else "")
        + (f" LINES={args.lines.strip()}" if args.lines.strip() else "")
        + (" SUITE=1" if whole_suite else "") + (" NO_COVERAGE=1" if args.no_coverage else "") + "`",
        "- Sampled: " + ("every mutant" if per_file is None else
                         f"at most {per_file} mutants per file, seed {seed} (of "
                         + ", ".join(f"{total} in {os.path.basename(f)}" for f, total, _ in planned) + ")"),
        f"- Code: {code}",
        "- Judged by: " + ("the whole suite" if whole_suite else "each file's test programs (tools/mutate/tests.txt)")
        + (", only the tests that execute the mutated line" if cov else ", every test of them"),
    ]
    if interrupted:
        notes.insert(0, f"Stopped by {interrupted} after {len(results)} of {len(plan)} mutants: the figures are partial.")
    n = max(1, len(results))
    timing = [f"{len(results)} mutants in {loop:.0f} s: {loop / n:.1f} s per mutant",
              f"{run.built} tested, {sum(r['outcome'] == 'uncovered' for r in results)} not executed by their tests; "
              f"{run.build_secs:.0f} s of the time went to building",
              f"whole run with preparation (coverage, build, timing the tests): {time.monotonic() - wall_start:.0f} s"]
    path = report.write(out, "\n".join(header).split("\n"), files, layer_of, results, timing, notes)
    t = report.tally(results)
    say(f"mutate: {t['killed']} of {t['made']} mutants caught ({report._score(t['killed'], t['made'])}); "
        f"report in {os.path.relpath(path, root)}")
    return 130 if interrupted else 0


def git_describe(root):
    head = subprocess.run(["git", "-C", root, "rev-parse", "--short", "HEAD"], capture_output=True, text=True).stdout.strip()
    dirty = subprocess.run(["git", "-C", root, "status", "--porcelain", "--", "src"], capture_output=True, text=True).stdout.strip()
    return f"commit {head}" + (" with uncommitted changes in src/" if dirty else "")


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv[1:]))
    except guard_mod.Interrupted as e:  # while preparing: no source was changed yet
        suite.kill_all()
        say(f"mutate: stopped by {e} while preparing (coverage, build or timing); no mutant was tested")
        sys.exit(130)

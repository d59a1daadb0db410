"""Which tests execute which lines: the suite run once, one test at a time, under gcov.

A build with --coverage at -O0 in its own folder; every test writes its counters under a
folder of its own (GCOV_PREFIX), and gcov turns them into the lines it executed. The result is
kept in a file with a digest of the sources and tests it was made from, and made again when
they change.

Lines gcov knows nothing about (a constant's declaration, a function evaluated only while
compiling) have no entry: a mutant there is tested by every test that can reach its file.
"""

import gzip
import hashlib
import json
import os
import shutil
import subprocess
import time
from concurrent.futures import ThreadPoolExecutor

import suite

FLAGS = "-O0 --coverage -fprofile-update=atomic"
# Every test is given this long under coverage (it runs slower than in the mutant build).
COVERAGE_TEST_TIMEOUT = 900


def source_digest(root):
    """A digest of everything a test result depends on: sources, tests, tools, resources."""
    out = subprocess.run(["git", "-C", root, "ls-files", "-co", "--exclude-standard", "--",
                          "src", "tests", "tools", "resources", "CMakeLists.txt"],
                         check=True, capture_output=True, text=True).stdout.split()
    h = hashlib.sha256()
    for rel in sorted(out):
        if rel.startswith("tools/mutate/"):
            continue
        path = os.path.join(root, rel)
        if os.path.isfile(path):
            h.update(rel.encode() + b"\0")
            with open(path, "rb") as f:
                h.update(hashlib.sha256(f.read()).digest())
    return h.hexdigest()


class Coverage:
    """lines[file][line] = indices into tests of the tests that executed it; executable[file]
    = every line gcov can count."""

    def __init__(self, tests, lines, executable, failed):
        self.tests = tests
        self.lines = lines
        self.executable = executable
        self.failed = failed

    def tests_for(self, path, span_lines):
        """Names of the tests that execute any of the lines; None where gcov knows none of them."""
        exe = self.executable.get(path, set())
        known = [l for l in span_lines if l in exe]
        if not known:
            return None
        hits = self.lines.get(path, {})
        found = set()
        for l in known:
            found.update(hits.get(l, ()))
        return {self.tests[i] for i in found}


def _gcov_lines(gcda_files, cwd, sources):
    """{source: {line: count}} for the sources of interest, from gcov's JSON."""
    result = {}
    for i in range(0, len(gcda_files), 40):
        out = subprocess.run(["gcov", "-j", "-t"] + gcda_files[i:i + 40], cwd=cwd,
                             capture_output=True, text=True).stdout
        for line in out.splitlines():
            if not line.startswith("{"):
                continue
            for f in json.loads(line).get("files", []):
                path = os.path.normpath(f["file"])
                if path not in sources:
                    continue
                counts = result.setdefault(path, {})
                for l in f["lines"]:
                    n = l["line_number"]
                    counts[n] = counts.get(n, 0) + l["count"]
    return result


def _objects(covdir):
    """Every .gcno of the coverage build."""
    found = []
    for base, _dirs, files in os.walk(covdir):
        if os.path.join(covdir, "data") in base:
            continue
        found += [os.path.join(base, f) for f in files if f.endswith(".gcno")]
    return found


def ensure(root, covdir, jobs, say):
    """The coverage of the current sources, made if the kept one is stale."""
    cache = os.path.join(covdir, "coverage.json.gz")
    key = source_digest(root)
    if os.path.exists(cache):
        with gzip.open(cache, "rt") as f:
            kept = json.load(f)
        if kept.get("key") == key:
            return _load(kept, root)
    start = time.monotonic()
    say("mutate: measuring which tests execute which lines (a coverage build and one run of the suite)")
    log = os.path.join(covdir, "build.log")
    os.makedirs(covdir, exist_ok=True)
    suite.configure(root, covdir, [
        "-DCMAKE_BUILD_TYPE=None", f"-DCMAKE_CXX_FLAGS={FLAGS}", f"-DCMAKE_C_FLAGS={FLAGS}",
        "-DCMAKE_EXE_LINKER_FLAGS=--coverage", "-DCMAKE_SHARED_LINKER_FLAGS=--coverage",
        "-DCMAKE_MODULE_LINKER_FLAGS=--coverage", "-DQUILLMAR_BENCH=OFF"], log)
    ok, _ = suite.build(covdir, ["all"], jobs, None, log)
    if not ok:
        raise SystemExit(f"mutate: the coverage build failed; see {log}")
    tests = suite.load_tests(covdir)
    data = os.path.join(covdir, "data")
    shutil.rmtree(data, ignore_errors=True)
    os.makedirs(data)
    scratch = os.path.join(covdir, "scratch")
    os.makedirs(scratch, exist_ok=True)
    sources = {os.path.normpath(os.path.join(root, p)) for p in subprocess.run(
        ["git", "-C", root, "ls-files", "-co", "--exclude-standard", "--", "src"],
        check=True, capture_output=True, text=True).stdout.split()}
    gcno = _objects(covdir)

    # Every line gcov can count, from the notes files alone.
    executable = {}
    for path, counts in _gcov_lines(gcno, scratch, sources).items():
        executable[os.path.relpath(path, root)] = sorted(counts)

    lines, failed = {}, []

    def one(index):
        t = tests[index]
        prefix = os.path.join(data, str(index))
        status, _ = suite.run_test(t, COVERAGE_TEST_TIMEOUT, scratch,
                                   {"GCOV_PREFIX": prefix, "GCOV_PREFIX_STRIP": "0"})
        gcda = []
        for base, _dirs, files in os.walk(prefix):
            for f in files:
                if f.endswith(".gcda"):
                    p = os.path.join(base, f)
                    note = p[len(prefix):][:-len(".gcda")] + ".gcno"
                    if os.path.exists(note):
                        os.link(note, p[:-len(".gcda")] + ".gcno")
                        gcda.append(p)
        work = os.path.join(prefix, "gcov")
        os.makedirs(work, exist_ok=True)
        counted = _gcov_lines(gcda, work, sources)
        shutil.rmtree(prefix, ignore_errors=True)
        return index, status, counted

    done = 0
    with ThreadPoolExecutor(max_workers=max(1, jobs)) as pool:
        for index, status, counted in pool.map(one, range(len(tests))):
            done += 1
            if status != "pass":
                failed.append(tests[index].name)
            for path, counts in counted.items():
                rel = os.path.relpath(path, root)
                per_line = lines.setdefault(rel, {})
                for n, c in counts.items():
                    if c > 0:
                        per_line.setdefault(str(n), []).append(index)
            if done % 25 == 0 or done == len(tests):
                say(f"mutate: coverage {done}/{len(tests)} tests")
    kept = {"key": key, "tests": [t.name for t in tests], "lines": lines,
            "executable": executable, "failed": failed,
            "seconds": round(time.monotonic() - start, 1)}
    with gzip.open(cache, "wt") as f:
        json.dump(kept, f)
    if failed:
        say(f"mutate: under coverage these tests failed (their lines still count): {', '.join(failed)}")
    return _load(kept, root)


def _load(kept, root):
    lines = {p: {int(n): v for n, v in per.items()} for p, per in kept["lines"].items()}
    executable = {p: set(v) for p, v in kept["executable"].items()}
    return Coverage(kept["tests"], lines, executable, kept.get("failed", []))

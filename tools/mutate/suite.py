"""The test suite as ctest knows it, built with ninja and run one test per process.

Each test runs the way ctest runs it (its command, environment and working folder), in a
process group of its own so that a timeout or an interruption ends everything it started, with
a fresh settings folder of its own.
"""

import json
import os
import shutil
import signal
import subprocess
import tempfile
import time
from dataclasses import dataclass, field

# Processes still running, so that an interruption can end them.
_live = set()
# Told of every process group we start and end (the guard's watchdog), or None.
watcher = None


@dataclass
class Test:
    name: str
    command: list
    env: dict = field(default_factory=dict)
    cwd: str = ""
    program: str = ""  # the file name of the test's program when the build makes it

    @property
    def target(self):
        """The build target of the test's program (its file name), or all for a test that runs
        something the build does not make (a script, a shell): it may use any of its outputs."""
        return self.program or "all"


def kill_all():
    for proc in list(_live):
        _kill(proc)


def _exited(proc):
    """Whether the process has ended, without reaping it: while it is a zombie its process
    group id cannot be given to anyone else, so killing the group stays safe."""
    try:
        return os.waitid(os.P_PID, proc.pid, os.WEXITED | os.WNOHANG | os.WNOWAIT) is not None
    except ChildProcessError:
        return True


# A process still running is asked to end before it is killed: ninja then ends its compilers,
# which sit in process groups of their own and would outlive a SIGKILL of its group.
GRACE = 5.0


def signal_group(pgid, sig):
    try:
        os.killpg(pgid, sig)
    except (ProcessLookupError, PermissionError):
        pass


def _kill(proc):
    """Ends the process's whole group (what it started too), then reaps it."""
    if not _exited(proc):
        signal_group(proc.pid, signal.SIGTERM)
        deadline = time.monotonic() + GRACE
        while not _exited(proc) and time.monotonic() < deadline:
            time.sleep(0.01)
    signal_group(proc.pid, signal.SIGKILL)
    try:
        proc.wait(timeout=10)
    except subprocess.TimeoutExpired:
        pass
    if proc in _live and watcher:
        watcher.ended_group(proc.pid)
    _live.discard(proc)


def _start(cmd, cwd=None, env=None, out=subprocess.DEVNULL):
    proc = subprocess.Popen(cmd, cwd=cwd, env=env, stdout=out, stderr=subprocess.STDOUT,
                            stdin=subprocess.DEVNULL, start_new_session=True)
    _live.add(proc)
    if watcher:
        watcher.started_group(proc.pid)
    return proc


def run(cmd, cwd=None, env=None, timeout=None, log=None):
    """Runs a command in its own process group; (return code or None on timeout, seconds)."""
    start = time.monotonic()
    deadline = start + timeout if timeout else None
    out = open(log, "wb") if log else subprocess.DEVNULL
    try:
        proc = _start(cmd, cwd, env, out)
        timed_out = False
        try:
            while not _exited(proc):
                if deadline and time.monotonic() > deadline:
                    timed_out = True
                    break
                time.sleep(0.01)
        finally:
            _kill(proc)
    finally:
        if log:
            out.close()
    return (None if timed_out else proc.returncode), time.monotonic() - start


def configure(source, build, flags, log):
    cmd = ["cmake", "-S", source, "-B", build, "-G", "Ninja"] + flags
    rc, _ = run(cmd, log=log)
    if rc != 0:
        raise SystemExit(f"mutate: configuring {build} failed; see {log}")


def build(build_dir, targets, jobs, timeout, log):
    """Builds the targets; (succeeded, seconds)."""
    rc, secs = run(["ninja", "-C", build_dir, "-j", str(jobs)] + sorted(targets), timeout=timeout, log=log)
    return rc == 0, secs


def load_tests(build_dir):
    """The tests ctest would run in this build, in its order."""
    out = subprocess.run(["ctest", "--test-dir", build_dir, "--show-only=json-v1"],
                         check=True, capture_output=True, text=True).stdout
    tests = []
    for t in json.loads(out)["tests"]:
        if "command" not in t:
            continue
        env, cwd = {}, build_dir
        for p in t.get("properties", []):
            if p["name"] == "ENVIRONMENT":
                for kv in p["value"]:
                    k, _, v = kv.partition("=")
                    env[k] = v
            elif p["name"] == "WORKING_DIRECTORY":
                cwd = p["value"]
        made = os.path.realpath(t["command"][0]).startswith(os.path.realpath(build_dir) + os.sep)
        tests.append(Test(t["name"], t["command"], env, cwd, os.path.basename(t["command"][0]) if made else ""))
    return tests


def target_inputs(build_dir, target):
    """Every file the target is built from, its programs' dependencies included."""
    out = subprocess.run(["ninja", "-C", build_dir, "-t", "inputs", target],
                         capture_output=True, text=True)
    if out.returncode != 0:
        return None
    return {os.path.normpath(os.path.join(build_dir, p)) for p in out.stdout.split()}


def fresh_env(test, scratch):
    """The test's environment with a settings folder of its own; (environment, folder)."""
    env = dict(os.environ)
    env.update(test.env)
    config = tempfile.mkdtemp(prefix="cfg-", dir=scratch)
    env["QUILLMAR_CONFIG_DIR"] = config
    env["XDG_CONFIG_HOME"] = config
    return env, config


def run_test(test, timeout, scratch, extra_env=None, log=None):
    """('pass' | 'fail' | 'timeout', seconds)."""
    env, config = fresh_env(test, scratch)
    env.update(extra_env or {})
    try:
        rc, secs = run(test.command, cwd=test.cwd or None, env=env, timeout=timeout, log=log)
    finally:
        shutil.rmtree(config, ignore_errors=True)
    if rc is None:
        return "timeout", secs
    return ("pass" if rc == 0 else "fail"), secs


def gtest_name(test):
    """The test's name when it is one test of a GoogleTest program, else None."""
    for arg in test.command[1:]:
        if arg.startswith("--gtest_filter="):
            return arg[len("--gtest_filter="):]
    return None


@dataclass
class Item:
    """Tests run in one process: one test, or several of one GoogleTest program together."""
    tests: list

    @property
    def target(self):
        return self.tests[0].target

    def command(self):
        t = self.tests[0]
        if len(self.tests) == 1:
            return t.command
        names = ":".join(gtest_name(x) for x in self.tests)
        rest = [a for a in t.command[1:] if not a.startswith("--gtest_filter=")]
        return [t.command[0], "--gtest_filter=" + names, "--gtest_fail_fast"] + rest


def group(tests, solo):
    """Items in the order of the tests' programs as first named: the GoogleTest tests of one
    program together, except those in `solo` (they fail alongside others), every other test
    alone."""
    items, together = [], {}
    for t in tests:
        name = gtest_name(t)
        if name is None or t.name in solo:
            items.append(Item([t]))
            continue
        key = (t.command[0], tuple(sorted(t.env.items())), t.cwd)
        if key not in together:
            together[key] = Item([])
            items.append(together[key])
        together[key].tests.append(t)
    return items


def _blamed(log_path, item):
    """(the test a shared GoogleTest process failed in, names of the tests it passed): the
    first FAILED, else the last test started (a crash or a hang)."""
    started, failed, passed = None, None, set()
    try:
        with open(log_path, errors="replace") as f:
            for line in f:
                if line.startswith("[ RUN      ] "):
                    started = line[13:].strip()
                elif line.startswith("[       OK ] "):
                    passed.add(line[13:].split(" (")[0].strip())
                elif line.startswith("[  FAILED  ] ") and failed is None:
                    failed = line[13:].split(" (")[0].strip()
    except OSError:
        pass
    name = failed or started
    culprit = next((t for t in item.tests if gtest_name(t) == name), None)
    return culprit, passed


# In a shared GoogleTest process, the most the process may take before its first test, between
# two tests and after the last.
GAP_LIMIT = 10.0


class _Clock:
    """When a running process has taken too long: one test, its time limit; several sharing a
    process, the time limit of the test it is in, from when that test started (its output is
    followed as it is written)."""

    def __init__(self, item, timeouts, log):
        self.timeouts = timeouts
        now = time.monotonic()
        if len(item.tests) == 1:
            self.deadline, self.out = now + timeouts[item.tests[0].name], None
            return
        self.names = {gtest_name(t): t.name for t in item.tests}
        self.deadline, self.out, self.rest = now + GAP_LIMIT, open(log, "rb"), b""

    def expired(self):
        if self.out is not None:
            self.rest += self.out.read()
            *lines, self.rest = self.rest.split(b"\n")
            for raw in lines:
                line = raw.decode(errors="replace")
                if line.startswith("[ RUN      ] "):
                    name = self.names.get(line[13:].strip())
                    self.deadline = time.monotonic() + (self.timeouts[name] if name else GAP_LIMIT)
                elif line.startswith(("[       OK ] ", "[  FAILED  ] ", "[  SKIPPED ] ")):
                    self.deadline = time.monotonic() + GAP_LIMIT
        return time.monotonic() > self.deadline

    def close(self):
        if self.out is not None:
            self.out.close()


def run_tests(tests, timeouts, jobs, scratch, ensure_built, solo, extra_env=None, stop=None):
    """Runs the tests, `jobs` processes at a time, in the order given (one process per program
    where the tests can share one), and stops at the first failure.

    A test that fails in a shared process is run again alone, as ctest runs it: only a failure
    there counts; otherwise it joins `solo` and the tests the shared process did not finish run
    alone. Programs are built as they are first needed (ensure_built(target) -> False when the
    build fails).

    Returns (outcome, test name or None, seconds): 'fail' or 'timeout' with the test that
    noticed, 'pass' when all passed, 'unbuilt' when a build failed, 'stopped' when `stop` (an
    event) was set meanwhile.
    """
    start = time.monotonic()
    pending = group(tests, solo)
    running = {}
    outcome, by = "pass", None
    try:
        while (pending or running) and outcome == "pass":
            if stop is not None and stop.is_set():
                outcome = "stopped"
                break
            while pending and len(running) < jobs and outcome == "pass":
                item = pending.pop(0)
                if not ensure_built(item.target):
                    outcome = "unbuilt"
                    break
                env, config = fresh_env(item.tests[0], scratch)
                env.update(extra_env or {})
                log = os.path.join(config, "output.log")
                out = open(log, "wb")
                proc = _start(item.command(), item.tests[0].cwd or None, env, out)
                out.close()
                running[proc] = (item, _Clock(item, timeouts, log), config, log)
            if outcome != "pass":
                break
            time.sleep(0.01)
            for proc, (item, clock, config, log) in list(running.items()):
                done = _exited(proc)
                if not done and not clock.expired():
                    continue
                _kill(proc)
                clock.close()
                del running[proc]
                failed = not done or proc.returncode != 0
                if failed and len(item.tests) == 1:
                    outcome, by = ("timeout" if not done else "fail"), item.tests[0].name
                elif failed:
                    culprit, passed = _blamed(log, item)
                    rest = [t for t in item.tests if gtest_name(t) not in passed]
                    if culprit is not None:
                        status, _ = run_test(culprit, timeouts[culprit.name], scratch, extra_env)
                        if status != "pass":
                            outcome, by = ("timeout" if status == "timeout" else "fail"), culprit.name
                        else:
                            solo.add(culprit.name)
                            rest.remove(culprit)
                    if outcome == "pass":
                        pending[:0] = [Item([t]) for t in rest]
                shutil.rmtree(config, ignore_errors=True)
                if outcome != "pass":
                    break
    finally:
        for proc, (_, clock, config, _) in running.items():
            _kill(proc)
            clock.close()
            shutil.rmtree(config, ignore_errors=True)
    return outcome, by, time.monotonic() - start

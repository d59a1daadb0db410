"""Puts a mutant into a source file and always puts the original back.

Before a mutant is written, the original is saved beside a journal that names the file and
the digests of the original and of the mutant. Restoring writes the saved copy back. A run
that was killed outright (SIGKILL, a power cut) leaves the journal, and the next run restores
the file before anything else, unless someone has edited it since: then it stops and says so.

Signals (Ctrl-C, SIGTERM, SIGHUP, the end of the make that started us) become an Interrupted
exception, deferred while a file is being written, so that no file is ever left half written.

What no handler sees (a SIGKILL of the run or of its whole process group) a watchdog handles: a
small process in a session of its own, holding the read end of a pipe only the run can write.
When the run ends in any way the pipe reaches its end, and the watchdog ends the process groups
the run had started (builds, tests) and restores the file from the journal.
"""

import ctypes
import fcntl
import hashlib
import json
import os
import signal
import sys
import tempfile
import time

import suite

# Written into every schema build of a file; a source that holds it is a mutant left behind.
MARKER = "quillmar_mutant_id_"


class Interrupted(Exception):
    pass


def digest(data):
    return hashlib.sha256(data).hexdigest()


def write_atomic(path, data, mode=None):
    """Writes the file under a temporary name beside it and renames it into place."""
    folder = os.path.dirname(path) or "."
    fd, tmp = tempfile.mkstemp(prefix=".mutate-", dir=folder)
    try:
        with os.fdopen(fd, "wb") as f:
            f.write(data)
            f.flush()
            os.fsync(f.fileno())
        if mode is not None:
            os.chmod(tmp, mode)
        os.replace(tmp, path)
    except BaseException:
        if os.path.exists(tmp):
            os.unlink(tmp)
        raise


def _alive(pgid):
    """Whether the group has a member left (its number is not reused while it has)."""
    try:
        os.killpg(pgid, 0)
        return True
    except OSError:
        return False


class Guard:
    def __init__(self, root, state_dir):
        self.root = root
        self.state_dir = state_dir
        self.journal = os.path.join(state_dir, "journal.json")
        self.saved = os.path.join(state_dir, "original")
        self._critical = 0
        self._pending = None
        self._stopping = False
        self.active = None  # (path, original bytes, mode)
        self._watch = None  # the write end of the watchdog's pipe
        self._lock = None

    # One run at a time ---------------------------------------------------------------------

    def lock(self, required=True):
        """Refuses to start while another run uses this checkout; False when not required and
        another run holds it (its files must then be left alone)."""
        os.makedirs(self.state_dir, exist_ok=True)
        self._lock = open(os.path.join(self.state_dir, "lock"), "w")
        try:
            fcntl.flock(self._lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
        except BlockingIOError:
            if not required:
                return False
            raise SystemExit("mutate: another run is under way in this checkout; wait for it or stop it")
        return True

    # The watchdog --------------------------------------------------------------------------

    def start_watchdog(self):
        """Starts the watchdog; call before any thread exists (it forks)."""
        r, w = os.pipe()  # not inherited by the builds and tests we start
        pid = os.fork()
        if pid == 0:
            code = 0
            try:
                os.close(w)
                os.setsid()
                for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP, signal.SIGQUIT, signal.SIGPIPE):
                    signal.signal(sig, signal.SIG_IGN)
                groups, buf = set(), b""
                while True:
                    chunk = os.read(r, 4096)
                    if not chunk:
                        break
                    buf += chunk
                    *lines, buf = buf.split(b"\n")
                    for ln in lines:
                        (groups.add if ln[:1] == b"+" else groups.discard)(int(ln[1:]))
                groups = {g for g in groups if self._ours(g)}
                for g in groups:
                    suite.signal_group(g, signal.SIGTERM)
                deadline = time.monotonic() + suite.GRACE
                while groups and time.monotonic() < deadline:
                    time.sleep(0.05)
                    groups = {g for g in groups if _alive(g)}
                for g in groups:
                    suite.signal_group(g, signal.SIGKILL)
                message = self.recover()
                if message:
                    print(message.replace("an earlier run", "a run that was killed"), file=sys.stderr, flush=True)
            except BaseException as e:  # noqa: BLE001 - a watchdog must never raise
                print(f"mutate: watchdog: {e}", file=sys.stderr, flush=True)
                code = 1
            os._exit(code)
        os.close(r)
        self._watch = w
        with open(os.path.join(self.state_dir, "watchdog.pid"), "w") as f:
            f.write(f"{pid}\n")

    def _ours(self, pid):
        """Whether the group's leader is still one of ours (a build or test of this checkout),
        not a process that has since been given the same number."""
        try:
            cmd = open(f"/proc/{pid}/cmdline", "rb").read().decode(errors="replace")
            cwd = os.readlink(f"/proc/{pid}/cwd")
        except OSError:
            return False
        return self.root in cmd or cwd.startswith(self.root)

    def started_group(self, pgid):
        self._tell(f"+{pgid}\n")

    def ended_group(self, pgid):
        self._tell(f"-{pgid}\n")

    def _tell(self, line):
        if self._watch is not None:
            try:
                os.write(self._watch, line.encode())
            except OSError:
                pass

    # Signals -------------------------------------------------------------------------------

    def install_signals(self):
        for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP, signal.SIGQUIT):
            signal.signal(sig, self._on_signal)
        # When the make that started us is killed, we are told with SIGTERM.
        try:
            libc = ctypes.CDLL(None, use_errno=True)
            PR_SET_PDEATHSIG = 1
            libc.prctl(PR_SET_PDEATHSIG, signal.SIGTERM)
        except (OSError, AttributeError):
            pass

    def _on_signal(self, signum, _frame):
        # The run ends at the first signal; a second Ctrl-C must not cut short the clean-up that
        # restores the file and ends the builds and tests (it takes a few seconds at most).
        if self._stopping:
            return
        self._stopping = True
        name = signal.Signals(signum).name
        if self._critical:
            self._pending = name
        else:
            raise Interrupted(name)

    def _enter(self):
        self._critical += 1

    def _leave(self):
        self._critical -= 1
        if not self._critical and self._pending:
            name, self._pending = self._pending, None
            raise Interrupted(name)

    # Mutants -------------------------------------------------------------------------------

    def refuse_leftovers(self, paths):
        """Stops when a source still holds a schema, left by a run this guard knows nothing of."""
        for rel in paths:
            try:
                text = open(os.path.join(self.root, rel), errors="replace").read()
            except OSError:
                continue
            if MARKER in text:
                raise SystemExit(f"mutate: {rel} holds mutants left by an interrupted run ({MARKER}); "
                                 f"restore it (git checkout {rel}, or your own copy) and run again")

    def recover(self):
        """Restores a file an earlier run left mutated. Returns a message, or None."""
        if not os.path.exists(self.journal):
            return None
        with open(self.journal) as f:
            j = json.load(f)
        path = os.path.join(self.root, j["path"])
        with open(self.saved, "rb") as f:
            original = f.read()
        if digest(original) != j["original"]:
            raise SystemExit(f"mutate: the saved copy of {j['path']} in {self.saved} does not match "
                             "its journal; check the file by hand (git diff) and delete the journal")
        current = open(path, "rb").read() if os.path.exists(path) else None
        if current is not None and digest(current) == j["original"]:
            os.unlink(self.journal)
            return None
        if current is not None and digest(current) != j.get("mutant"):
            raise SystemExit(f"mutate: an earlier run was stopped while {j['path']} held a mutant, "
                             f"and the file has been edited since. Its original is in {self.saved}; "
                             f"compare, keep what you want, then delete {self.journal}.")
        write_atomic(path, original, j.get("mode"))
        os.unlink(self.journal)
        return f"mutate: {j['path']} was left mutated by an earlier run; restored it from the saved copy"

    def put(self, relpath, mutated_text):
        """Writes a mutant into the file, the original saved first."""
        path = os.path.join(self.root, relpath)
        self._enter()
        try:
            if self.active is None:
                original = open(path, "rb").read()
                mode = os.stat(path).st_mode & 0o7777
                os.makedirs(self.state_dir, exist_ok=True)
                write_atomic(self.saved, original)
                self.active = (relpath, original, mode)
            relpath0, original, mode = self.active
            assert relpath0 == relpath, "one mutated file at a time"
            data = mutated_text.encode()
            write_atomic(self.journal, json.dumps({
                "path": relpath, "original": digest(original), "mutant": digest(data),
                "mode": mode}).encode())
            write_atomic(path, data, mode)
        finally:
            self._leave()

    def restore(self):
        """Writes the original back (a fresh modification time, so every build recompiles it)."""
        if self.active is None:
            return
        self._enter()
        try:
            relpath, original, mode = self.active
            path = os.path.join(self.root, relpath)
            write_atomic(path, original, mode)
            if digest(open(path, "rb").read()) != digest(original):
                raise SystemExit(f"mutate: could not restore {relpath}; its original is in {self.saved}")
            os.unlink(self.journal)
            self.active = None
        finally:
            self._leave()

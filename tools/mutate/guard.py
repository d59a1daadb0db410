"""Puts a mutant into a source file and always puts the original back.

Before a mutant is written, the original is saved beside a journal that names the file and
the digests of the original and of the mutant. Restoring writes the saved copy back. A run
that was killed outright (SIGKILL, a power cut) leaves the journal, and the next run restores
the file before anything else, unless someone has edited it since: then it stops and says so.

Signals (Ctrl-C, SIGTERM, SIGHUP, the end of the make that started us) become an Interrupted
exception, deferred while a file is being written, so that no file is ever left half written.
"""

import ctypes
import hashlib
import json
import os
import signal
import tempfile


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


class Guard:
    def __init__(self, root, state_dir):
        self.root = root
        self.state_dir = state_dir
        self.journal = os.path.join(state_dir, "journal.json")
        self.saved = os.path.join(state_dir, "original")
        self._critical = 0
        self._pending = None
        self.active = None  # (path, original bytes, mode)

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

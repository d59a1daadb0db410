"""Runs the mutants of one file: first all those a schema can hold, from one build, several at
a time; then the rest one by one, each built on its own."""

import os
import threading
import time
from concurrent.futures import FIRST_COMPLETED, ThreadPoolExecutor, wait

import schema as schema_mod
import suite

BUILD_TIMEOUT = 600
SCHEMA_ROUNDS = 6  # builds of a schema, each leaving out the mutants the compiler refused


class Runner:
    def __init__(self, root, objdir, logdir, scratch, guard, jobs, by_name, durations, timeouts, say):
        self.root, self.objdir, self.logdir, self.scratch = root, objdir, logdir, scratch
        self.guard, self.jobs, self.say = guard, jobs, say
        self.by_name, self.durations, self.timeouts = by_name, durations, timeouts
        self.kills, self.solo = {}, set()
        self.results = []
        self.total = 0
        self.build_secs = 0.0
        self.built = 0
        self.stop = threading.Event()
        self.use_schema = True

    # Helpers -----------------------------------------------------------------------------

    def _order(self, f, m, names):
        """Tests that caught mutants on this line before go first; then the quickest, a test's
        time divided by one more than the mutants it caught in this file."""
        run = [self.by_name[n] for n in names if n in self.durations]
        run.sort(key=lambda t: (-self.kills.get((f, m.line, t.name), 0),
                                self.durations[t.name] / (1 + self.kills.get((f, t.name), 0))))
        return run

    def _build(self, targets, log_name="mutant-build.log"):
        log = os.path.join(self.logdir, log_name)
        ok, secs = suite.build(self.objdir, targets, self.jobs, BUILD_TIMEOUT, log)
        self.build_secs += secs
        return ok, log

    def _record(self, f, m, text, outcome, by, seconds, how):
        src = text.split("\n")[m.line - 1].strip()
        src = src if len(src) <= 100 else src[:97] + "..."
        r = {"file": f, "line": m.line, "kind": m.kind, "change": m.change, "source": src,
             "by": by, "outcome": outcome, "seconds": seconds}
        if by:
            self.kills[(f, m.line, by)] = self.kills.get((f, m.line, by), 0) + 1
            self.kills[(f, by)] = self.kills.get((f, by), 0) + 1
        self.results.append(r)
        tail = {"caught": f"caught by {by}", "timeout": f"caught: {by} timed out",
                "survived": "SURVIVED", "uncovered": "SURVIVED (none of its tests executes it)",
                "uncompiled": "did not compile"}[outcome]
        self.say(f"[{len(self.results):>4}/{self.total}] {f}:{m.line} {m.kind}: {m.change} ... {tail} "
                 f"({seconds:.1f} s{how})")

    # A file ------------------------------------------------------------------------------

    def run_file(self, f, text, mutants, candidates):
        """candidates[i]: the names of the tests that judge mutants[i]."""
        pending = []
        for i, m in enumerate(mutants):
            if not self._order(f, m, candidates[i]):
                self._record(f, m, text, "uncovered", None, 0.0, "")
            else:
                pending.append(i)
        if not pending:
            return
        alone = self._run_schema(f, text, mutants, candidates, pending) if self.use_schema else pending
        for i in alone:
            self._run_alone(f, text, mutants[i], candidates[i])

    def _run_schema(self, f, text, mutants, candidates, pending):
        """Runs the mutants the schema holds; returns the indices left to build alone."""
        chosen = [mutants[i] for i in pending]
        excluded, broken = set(), set()
        path = os.path.join(self.root, f)
        targets = {t.target for i in pending for t in self._order(f, mutants[i], candidates[i])}
        sch = None
        start = time.monotonic()
        try:
            for _ in range(SCHEMA_ROUNDS):
                sch = schema_mod.build(text, chosen, frozenset(excluded))
                if sch is None:
                    break
                self.guard.put(f, sch.text)
                ok, log = self._build(targets, "schema-build.log")
                if ok:
                    break
                with open(log, errors="replace") as fh:
                    blame = sch.blame(fh.read(), path)
                if blame is None or not (blame[0] or blame[1]):
                    sch = None
                    break
                index = {v: k for k, v in sch.ids.items()}
                broken |= {index[k] for k in blame[0]}
                excluded |= {index[k] for k in blame[0] | blame[1]}
            else:
                sch = None
            build_time = time.monotonic() - start
            if sch is None:
                # Nothing held (or the compiler never agreed): every mutant is built alone.
                return pending
            for j in sorted(broken):
                self._record(f, chosen[j], text, "uncompiled", None, 0.0, ", refused in the schema")
            held = [pending[j] for j in sorted(sch.ids)]
            self.say(f"mutate: {f}: {len(held)} mutants from one build ({build_time:.1f} s)")
            self._run_parallel(f, text, mutants, candidates, held, {pending[j]: k for j, k in sch.ids.items()})
            done = set(held) | {pending[j] for j in broken}
            return [i for i in pending if i not in done]
        finally:
            self.guard.restore()

    def _run_parallel(self, f, text, mutants, candidates, held, ids):
        """The schema's mutants, `jobs` at a time, each choosing its mutant by its number."""
        self.stop.clear()

        def one(i):
            m = mutants[i]
            t0 = time.monotonic()
            outcome, by, _ = suite.run_tests(self._order(f, m, candidates[i]), self.timeouts, 1,
                                             self.scratch, lambda _t: True, self.solo,
                                             {"QUILLMAR_MUTANT": str(ids[i])}, self.stop)
            return i, outcome, by, time.monotonic() - t0

        pool = ThreadPoolExecutor(max_workers=self.jobs)
        pending = list(held)
        running = set()
        try:
            while pending or running:
                while pending and len(running) < self.jobs:
                    running.add(pool.submit(one, pending.pop(0)))
                finished, running = wait(running, timeout=0.5, return_when=FIRST_COMPLETED)
                for fut in finished:
                    i, outcome, by, secs = fut.result()
                    if outcome == "stopped":
                        continue
                    self.built += 1
                    self._record(f, mutants[i], text, _OUTCOME[outcome], by, secs, "")
        finally:
            self.stop.set()
            suite.kill_all()
            pool.shutdown(wait=True, cancel_futures=True)

    def _run_alone(self, f, text, m, names):
        """One mutant written into the file, built for the programs its tests need as they are
        reached, and tested."""
        t0 = time.monotonic()
        run = self._order(f, m, names)
        built = {}

        def ensure_built(target):
            if target not in built:
                built[target] = self._build([target])[0]
            return built[target]

        try:
            self.guard.put(f, m.apply(text))
            outcome, by, _ = suite.run_tests(run, self.timeouts, self.jobs, self.scratch,
                                             ensure_built, self.solo)
        finally:
            self.guard.restore()
        if outcome == "unbuilt":
            self._record(f, m, text, "uncompiled", None, time.monotonic() - t0, ", built alone")
            return
        self.built += 1
        self._record(f, m, text, _OUTCOME[outcome], by, time.monotonic() - t0, ", built alone")


_OUTCOME = {"fail": "caught", "timeout": "timeout", "pass": "survived"}

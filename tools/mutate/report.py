"""The run's report (build-mutate/report.md) and every mutant's outcome (mutants.tsv)."""

import os
import time

CAUGHT = ("caught", "timeout")
COUNTED = ("caught", "timeout", "survived", "uncovered")


def _score(caught, made):
    return f"{100.0 * caught / made:.1f} %" if made else "-"


def tally(results):
    t = {"made": 0, "caught": 0, "timeout": 0, "survived": 0, "uncovered": 0, "uncompiled": 0}
    for r in results:
        t[r["outcome"]] += 1
        if r["outcome"] in COUNTED:
            t["made"] += 1
    t["killed"] = t["caught"] + t["timeout"]
    return t


def write(out_dir, header, files, layer_of, results, timing, notes):
    by_file = {f: [] for f in files}
    for r in results:
        by_file.setdefault(r["file"], []).append(r)
    lines = ["# Mutation report", ""]
    lines += header + [""]
    if notes:
        lines += [f"- {n}" for n in notes] + [""]

    lines += ["## Per layer", "",
              "| layer | files | mutants | caught | survived | of them not executed | score |",
              "|---|---:|---:|---:|---:|---:|---:|"]
    layers = {}
    for f in files:
        layers.setdefault(layer_of(f), []).append(f)
    for layer, fs in layers.items():
        t = tally([r for f in fs for r in by_file[f]])
        lines.append(f"| {layer} | {len(fs)} | {t['made']} | {t['killed']} | "
                     f"{t['survived'] + t['uncovered']} | {t['uncovered']} | {_score(t['killed'], t['made'])} |")
    t = tally(results)
    lines.append(f"| **all** | {len(files)} | {t['made']} | {t['killed']} | "
                 f"{t['survived'] + t['uncovered']} | {t['uncovered']} | {_score(t['killed'], t['made'])} |")

    lines += ["", "## Per file", "",
              "Made: mutants that compiled. Caught includes timeouts. Not executed: survivors on lines "
              "that none of the file's tests executes (not built). Did not compile: not counted.", "",
              "| file | made | caught | of them timed out | survived | not executed | did not compile | score |",
              "|---|---:|---:|---:|---:|---:|---:|---:|"]
    for f in files:
        t = tally(by_file[f])
        lines.append(f"| {f} | {t['made']} | {t['killed']} | {t['timeout']} | {t['survived']} | "
                     f"{t['uncovered']} | {t['uncompiled']} | {_score(t['killed'], t['made'])} |")

    lines += ["", "## Survivors", "",
              "Each is a fault no test notices: the file and line, the change, and the line as it was.", ""]
    for f in files:
        surv = [r for r in by_file[f] if r["outcome"] in ("survived", "uncovered")]
        if not surv:
            continue
        lines += [f"### {f}", ""]
        for r in surv:
            note = " (none of its tests executes this line; not built)" if r["outcome"] == "uncovered" else ""
            lines.append(f"- `{r['file']}:{r['line']}` {r['kind']}: {r['change']}{note}  \n"
                         f"  `{r['source']}`")
        lines.append("")

    lines += ["## Timing", ""] + [f"- {t}" for t in timing] + [""]
    path = os.path.join(out_dir, "report.md")
    with open(path, "w") as fh:
        fh.write("\n".join(lines))

    with open(os.path.join(out_dir, "mutants.tsv"), "w") as fh:
        fh.write("file\tline\tkind\tchange\toutcome\tby\tseconds\n")
        for r in results:
            fh.write(f"{r['file']}\t{r['line']}\t{r['kind']}\t{r['change']}\t{r['outcome']}\t"
                     f"{r.get('by') or ''}\t{r['seconds']:.2f}\n")
    return path


def stamp():
    return time.strftime("%Y-%m-%d %H:%M")

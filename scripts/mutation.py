#!/usr/bin/env python3
"""Small mutation run: how many realistic faults do the tests catch?

One fault at a time is applied to a scratch copy of the tree, at sites drawn at random (fixed
seed) among the code's source files; the folder's test program is rebuilt and run; a fault is
caught when the test program fails or times out. Faults that do not compile are drawn again and
not counted. The report lists the score and every fault that survived.
"""
import argparse
import difflib
import json
import random
import resource
import re
import shutil
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
CODE_FOLDERS = ["sqlite", "xml", "support", "store", "library", "app"]
SKIP_FOLDERS = {"app/dialog"}  # Qt widgets: checked by their own wiring tests, slow to rebuild

# Each operator: (name, regex, replacement or callable). Applied to one match on one line.
OPERATORS = [
    ("flip ==", re.compile(r"(?<=[\w)\] ])==(?=[ \w(!-])"), "!="),
    ("flip !=", re.compile(r"(?<=[\w)\] ])!=(?=[ \w(!-])"), "=="),
    ("boundary <", re.compile(r" < (?=[\w(-])"), " <= "),
    ("boundary <=", re.compile(r" <= "), " < "),
    ("boundary >", re.compile(r" > (?=[\w(-])"), " >= "),
    ("boundary >=", re.compile(r" >= "), " > "),
    ("and -> or", re.compile(r" && "), " || "),
    ("or -> and", re.compile(r" \|\| "), " && "),
    ("off by one +", re.compile(r"(?<=[\w)\]] )\+ 1\b"), "+ 2"),
    ("off by one -", re.compile(r"(?<=[\w)\]] )- 1\b"), "- 2"),
    ("off by one +=", re.compile(r"\+= 1;"), "+= 2;"),
    ("return true->false", re.compile(r"\breturn true;"), "return false;"),
    ("return false->true", re.compile(r"\breturn false;"), "return true;"),
    ("return 0->1", re.compile(r"\breturn 0;"), "return 1;"),
    ("return 1->0", re.compile(r"\breturn 1;"), "return 0;"),
    ("return -1->0", re.compile(r"\breturn -1;"), "return 0;"),
]

CALL_STATEMENT = re.compile(r"^(\s*)(?!return\b|if\b|while\b|for\b|switch\b|case\b|delete\b|throw\b)"
                            r"[A-Za-z_][\w:]*(?:(?:\.|->)[A-Za-z_]\w*)*\(.*\);\s*$")
IF_OPEN = re.compile(r"\b(if|while) \(")


def code_files():
    for folder in CODE_FOLDERS:
        for path in sorted((ROOT / folder).rglob("*.cpp")):
            rel = path.relative_to(ROOT).as_posix()
            if any(rel.startswith(skip + "/") for skip in SKIP_FOLDERS):
                continue
            yield rel


def is_code_line(line):
    stripped = line.strip()
    return bool(stripped) and not stripped.startswith(("//", "/*", "*", "#", "static_assert"))


def negate_condition(line):
    """Wraps the condition of the first if/while whose parentheses close on this line."""
    match = IF_OPEN.search(line)
    if not match:
        return None
    start = match.end() - 1
    depth = 0
    for index in range(start, len(line)):
        if line[index] == "(":
            depth += 1
        elif line[index] == ")":
            depth -= 1
            if depth == 0:
                inner = line[start + 1:index]
                return line[:start + 1] + "!(" + inner + ")" + line[index:]
    return None


def sites():
    """Every (file, line number, operator, occurrence) where a fault can be applied."""
    found = []
    for rel in code_files():
        lines = (ROOT / rel).read_text(encoding="utf-8").split("\n")
        for number, line in enumerate(lines):
            if not is_code_line(line):
                continue
            for name, pattern, _ in OPERATORS:
                for occurrence, _match in enumerate(pattern.finditer(line)):
                    found.append((rel, number, name, occurrence))
            if negate_condition(line) is not None:
                found.append((rel, number, "negate condition", 0))
            if CALL_STATEMENT.match(line):
                found.append((rel, number, "drop call", 0))
    return found


def apply(line, name, occurrence):
    if name == "negate condition":
        return negate_condition(line)
    if name == "drop call":
        return CALL_STATEMENT.match(line).group(1) + ";"
    for op_name, pattern, replacement in OPERATORS:
        if op_name == name:
            matches = list(pattern.finditer(line))
            match = matches[occurrence]
            return line[:match.start()] + replacement + line[match.end():]
    raise ValueError(name)


def replay_sites(report):
    """The faults of an earlier run, found again by their line's text (nearest to the old line number)."""
    found = []
    for entry in json.loads(Path(report).read_text(encoding="utf-8")):
        lines = (ROOT / entry["file"]).read_text(encoding="utf-8").split("\n")
        matches = [n for n, line in enumerate(lines) if line == entry["original"]]
        if not matches:
            # A lightly edited line (a renamed argument, say) still carries the same fault.
            # The lines around it (when recorded) tell apart lines that read alike.
            def similarity(n):
                score = difflib.SequenceMatcher(None, lines[n], entry["original"]).ratio()
                for offset, key in ((-1, "before"), (1, "after")):
                    if key in entry and 0 <= n + offset < len(lines):
                        score += 0.25 * difflib.SequenceMatcher(None, lines[n + offset], entry[key]).ratio()
                return score
            scored = [(difflib.SequenceMatcher(None, line, entry["original"]).ratio(), similarity(n), n)
                      for n, line in enumerate(lines)
                      if is_code_line(line) and apply_or_none(line, entry["op"], entry["occurrence"]) is not None]
            best = max(scored, key=lambda row: row[1], default=(0, 0, -1))
            best = (best[0], best[2])
            if best[0] < 0.85:
                print("mutation: line gone, fault not replayed: %s:%d %s" % (entry["file"], entry["line"], entry["original"].strip()))
                continue
            print("mutation: replayed on an edited line: %s:%d %s" % (entry["file"], best[1] + 1, lines[best[1]].strip()))
            matches = [best[1]]
        number = min(matches, key=lambda n: abs(n - (entry["line"] - 1)))
        found.append((entry["file"], number, entry["op"], entry["occurrence"]))
    return found


# Folders whose tests live in a suite named after another folder.
SUITE_OF = {"app/importer": "test_front", "app/startup": "test_front", "app/console": "test_app"}


def apply_or_none(line, name, occurrence):
    try:
        return apply(line, name, occurrence)
    except (IndexError, AttributeError):
        return None


def test_target(rel):
    for folder, suite in SUITE_OF.items():
        if rel.startswith(folder + "/"):
            return suite
    return "test_" + rel.split("/")[0]


def limit_memory():
    # A fault can turn a loop endless and growing: the test program fails at 4 GiB instead of
    # taking the machine's memory.
    resource.setrlimit(resource.RLIMIT_AS, (4 << 30, 4 << 30))


def run(command, cwd, timeout=None):
    try:
        done = subprocess.run(command, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                              timeout=timeout, text=True, errors="replace",
                              preexec_fn=limit_memory if timeout else None)
        return done.returncode, done.stdout
    except subprocess.TimeoutExpired:
        return None, "timeout"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seed", type=int, default=2026)
    parser.add_argument("--count", type=int, default=100, help="faults that compile, to apply")
    parser.add_argument("--timeout", type=int, default=300, help="seconds per test run")
    parser.add_argument("--work", default=str(ROOT / "out" / "mutation"))
    parser.add_argument("--report", default=None, help="file for the report (default: stdout only)")
    parser.add_argument("--list", action="store_true", help="only list the chosen sites")
    parser.add_argument("--replay", default=None,
                        help="apply the faults of an earlier report (its .json) instead of drawing new ones, "
                             "so that two suites are scored on the same faults even when lines moved")
    args = parser.parse_args()

    if args.replay:
        all_sites = replay_sites(args.replay)
        args.count = len(all_sites)
    else:
        all_sites = sites()
        random.Random(args.seed).shuffle(all_sites)
    print(f"mutation: {len(all_sites)} sites in the code; seed {args.seed}; {args.count} faults", flush=True)
    if args.list:
        for site in all_sites[:args.count]:
            print("  %s:%d %s #%d" % (site[0], site[1] + 1, site[2], site[3]))
        return 0

    work = Path(args.work)
    source = work / "src"
    build = work / "build"
    if source.exists():
        shutil.rmtree(source)
    tracked = subprocess.run(["git", "ls-files", "-co", "--exclude-standard"], cwd=ROOT, check=True,
                             stdout=subprocess.PIPE, text=True).stdout.split("\n")
    for rel in filter(None, tracked):
        if (ROOT / rel).is_file():
            (source / rel).parent.mkdir(parents=True, exist_ok=True)
            # A fresh time stamp: a build folder kept from an earlier run must not keep the object
            # of that run's last fault, which is newer than the file's original time stamp.
            shutil.copy(ROOT / rel, source / rel)
    run(["cmake", "-S", str(source), "-B", str(build), "-DCMAKE_BUILD_TYPE=Debug"], ROOT)

    targets = sorted({test_target(site[0]) for site in all_sites})
    print("mutation: building and running the unchanged suite", flush=True)
    code, output = run(["cmake", "--build", str(build), "-j2"], ROOT)
    if code != 0:
        print(output[-4000:])
        return 2
    for target in targets:
        binary = build / "tests" / target
        if not binary.exists():
            continue
        code, output = run([str(binary), "--gtest_brief=1"], build, args.timeout)
        if code != 0:
            print(f"mutation: {target} fails without any fault; fix the suite first\n{output[-4000:]}")
            return 2

    caught, survived, invalid, applied = [], [], 0, []
    started = time.time()
    for rel, number, name, occurrence in all_sites:
        if len(caught) + len(survived) >= args.count:
            break
        path = source / rel
        original = path.read_text(encoding="utf-8")
        lines = original.split("\n")
        mutated_line = apply(lines[number], name, occurrence)
        if mutated_line is None or mutated_line == lines[number]:
            continue
        lines[number] = mutated_line
        path.write_text("\n".join(lines), encoding="utf-8")
        try:
            target = test_target(rel)
            extra = ["--target", "tavtool"] if target == "test_app" else []
            code, output = run(["cmake", "--build", str(build), "-j2", "--target", target] + extra, ROOT)
            if code != 0:
                invalid += 1
                continue
            code, output = run([str(build / "tests" / target), "--gtest_brief=1", "--gtest_fail_fast"], build,
                               args.timeout)
            fault = "%s:%d %s: %s" % (rel, number + 1, name, mutated_line.strip())
            applied.append({"file": rel, "line": number + 1, "op": name, "occurrence": occurrence,
                            "original": original.split("\n")[number], "mutated": mutated_line,
                            "before": original.split("\n")[number - 1] if number > 0 else "",
                            "after": (original.split("\n") + [""])[number + 1],
                            "caught": code != 0})
            if code == 0:
                survived.append(fault)
                verdict = "SURVIVED"
            else:
                caught.append(fault)
                verdict = "caught" if code is not None else "caught (timeout)"
            done = len(caught) + len(survived)
            print(f"[{done}/{args.count}] {verdict}: {fault}", flush=True)
        finally:
            path.write_text(original, encoding="utf-8")
            # Give the restored file a new time stamp so the next build recompiles it.
            path.touch()

    total = len(caught) + len(survived)
    lines = [
        f"seed {args.seed}: {len(caught)} of {total} faults caught "
        f"({100.0 * len(caught) / max(total, 1):.1f} %); {invalid} faults did not compile and were drawn again; "
        f"{time.time() - started:.0f} s",
        "survivors:",
    ] + ["  " + fault for fault in survived]
    print("\n".join(lines))
    if args.report:
        Path(args.report).write_text("\n".join(lines) + "\n", encoding="utf-8")
        Path(args.report + ".json").write_text(json.dumps(applied, ensure_ascii=False, indent=1), encoding="utf-8")
    return 0


if __name__ == "__main__":
    sys.exit(main())

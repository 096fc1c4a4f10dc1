#!/usr/bin/env python3
"""Where CTavDB::Init spends its time, from a `perf record --call-graph dwarf` run of a benchmark:

    perf record -F 400 --call-graph dwarf,16384 -o init.data \
        out/build/bench/bench_import --benchmark_filter=ImportInit/v1
    perf script -i init.data -F pid,comm,ip,sym,dso > init.script
    scripts/perf-buckets.py init.script [other.script]

Every sample taken inside CTavDB::Init is put in one bucket by its innermost frame (for the
kernel: by the system call that led there). With two files the buckets are shown side by side
(before / after), in seconds of samples per Init run (--hz and --runs)."""
import argparse
import collections
import re

FRAME = re.compile(r"^\s*[0-9a-f]+ (.*) \((.*)\)$")
SYSCALLS = (("pread", "page reads (pread)"), ("pwrite", "page writes (pwrite)"), ("ftruncate", "page writes (pwrite)"),
            ("fdatasync", "syncs"), ("fsync", "syncs"), ("stat", "file status (stat/access)"),
            ("access", "file status (stat/access)"), ("getpid", "getpid"), ("fcntl", "file locks (fcntl)"),
            ("unlink", "open/create/remove files"), ("open", "open/create/remove files"),
            ("close", "open/create/remove files"), ("mkdir", "open/create/remove files"),
            ("rename", "open/create/remove files"), ("copy_file_range", "file copies"), ("sendfile", "file copies"),
            ("read", "page reads (pread)"), ("write", "page writes (pwrite)"))


def samples(path):
    block = []
    with open(path, errors="replace") as lines:
        for line in lines:
            if line.strip():
                block.append(line.rstrip("\n"))
            elif block:
                yield block
                block = []
    if block:
        yield block


def frames(block):
    out = [list(m.groups()) for m in map(FRAME.match, block[1:]) if m]
    # An inlined frame belongs to the object of the frame it was inlined into (the next one).
    for i in range(len(out) - 2, -1, -1):
        if out[i][1] == "inlined":
            out[i][1] = out[i + 1][1]
    return out


def bucket(chain):
    symbol, obj = chain[0]
    if any("PKCS5_PBKDF2" in s for s, _ in chain):
        return "key derivation (per keyed open)"
    if "kernel" in obj or obj == "[unknown]":
        caller = next((s.lower() for s, o in chain if "kernel" not in o and o != "[unknown]"), "")
        return "kernel: " + next((name for key, name in SYSCALLS if key in caller), "other")
    if "libcrypto" in obj:
        return "page encryption (libcrypto)"
    if "libsqlcipher" in obj:
        return "SQLite"
    if "libc.so" in obj:
        s = symbol.lower()
        if any(k in s for k in ("malloc", "free", "_int_", "realloc")):
            return "C library: malloc/free"
        if "mem" in s or "str" in s:
            return "C library: memmove/memcpy/strings"
        if "mutex" in s or "lock" in s:
            return "C library: mutex lock/unlock"
        return "C library: other"
    return "our code and libstdc++"


def count(path):
    buckets = collections.Counter()
    for block in samples(path):
        chain = frames(block)
        if chain and any("CTavDB::Init" in s for s, _ in chain):
            buckets[bucket(chain)] += 1
    return buckets


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("scripts", nargs="+")
    parser.add_argument("--hz", type=float, default=400.0)
    parser.add_argument("--runs", type=int, default=2)
    args = parser.parse_args()
    counts = [count(path) for path in args.scripts]
    per_run = args.hz * args.runs
    print("| where | " + " | ".join("s, %" for _ in counts) + " |")
    print("|---|" + "---|" * len(counts))
    for name in sorted(set().union(*counts), key=lambda k: -counts[0][k]):
        cells = [f"{c[name] / per_run:.2f} ({100.0 * c[name] / max(1, sum(c.values())):.1f} %)" for c in counts]
        print(f"| {name} | " + " | ".join(cells) + " |")
    print("| all of Init | " + " | ".join(f"{sum(c.values()) / per_run:.2f}" for c in counts) + " |")


main()

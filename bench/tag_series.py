#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Times kbbench on one game whose tags grow by doubling: N tags of names
# no field takes, in descending order, the worst order for a list kept
# sorted by name. Per size and subcommand: the medians over RUNS runs of
# the process's cpu seconds (user + system; steady on a busy machine) and of
# kbbench's own "seconds" line, and the cpu ratio to the size before (about
# 2 when the work grows linearly, 4 when it grows with the square).
#   bench/tag_series.py KBBENCH [SIZES...]
# Environment: RUNS (default 3), COMMANDS (default
# "pgn-load pgn-export db-import eco print-pdf").
import os, resource, statistics, subprocess, sys, tempfile

kbbench = sys.argv[1]
sizes = [int(s) for s in sys.argv[2:]] or [10000, 20000, 40000, 80000]
runs = int(os.environ.get("RUNS", "3"))
commands = os.environ.get("COMMANDS", "pgn-load pgn-export db-import eco print-pdf").split()


def write_game(path, n):
    with open(path, "w", encoding="ascii", newline="\n") as f:
        f.write('[Event "Tags"]\n[Site "Bay"]\n[Date "2026.12.08"]\n[Round "1"]\n'
                '[White "Alpha"]\n[Black "Beta"]\n[Result "1-0"]\n')
        for i in range(n, 0, -1):
            f.write('[Tag%07d "v%d"]\n' % (i, i))
        f.write("\n1. e4 e5 2. Nf3 Nc6 1-0\n")


def cpu_now():
    r = resource.getrusage(resource.RUSAGE_CHILDREN)
    return r.ru_utime + r.ru_stime


def seconds(argv):
    """(cpu seconds, kbbench's seconds) of one run."""
    before = cpu_now()
    p = subprocess.run(argv, capture_output=True, text=True)
    cpu = cpu_now() - before
    last = p.stdout.strip().splitlines()[-1:] or [""]
    if p.returncode != 0 or not last[0].startswith("seconds\t"):
        sys.exit("failed: %s\n%s" % (" ".join(argv), p.stderr[-400:]))
    return cpu, float(last[0].split("\t")[1])


with tempfile.TemporaryDirectory() as tmp:
    game = os.path.join(tmp, "g.pgn")
    before = {}
    for n in sizes:
        write_game(game, n)
        for cmd in commands:
            times = []
            for _ in range(runs):
                if cmd == "db-import":
                    kbf = os.path.join(tmp, "g.kbf")
                    for suffix in ("", "idx", "tmp"):
                        if os.path.exists(kbf + suffix):
                            os.remove(kbf + suffix)
                    argv = [kbbench, cmd, game, kbf]
                elif cmd == "print-pdf":
                    argv = [kbbench, cmd, os.path.join(tmp, "g.pdf"), game]
                else:
                    argv = [kbbench, cmd, game]
                times.append(seconds(argv))
            cpu = statistics.median(t[0] for t in times)
            wall = statistics.median(t[1] for t in times)
            ratio = "%.2f" % (cpu / before[cmd]) if cmd in before and before[cmd] > 0 else "-"
            before[cmd] = cpu
            print("%s\t%d tags\tcpu %.3f s\tx%s\tkbbench %.3f s" % (cmd, n, cpu, ratio, wall),
                  flush=True)

#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a command RUNS times and prints the medians of its cpu seconds (user +
# system, from the kernel's accounting of the finished child) and its wall
# seconds: "cpu X s  wall Y s".
#   bench/median_times.py RUNS COMMAND [ARG...]
import resource, statistics, subprocess, sys, time

runs = int(sys.argv[1])
command = sys.argv[2:]
cpu, wall = [], []
for _ in range(runs):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.monotonic()
    subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
    wall.append(time.monotonic() - start)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu.append(after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime)
print("cpu %.3f s  wall %.3f s" % (statistics.median(cpu), statistics.median(wall)))

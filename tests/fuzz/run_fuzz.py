#!/usr/bin/env python3
"""Runs the fuzz program for a given time and reports, per target, the inputs
tried, the crashes, the hangs and the distinct faults:

    run_fuzz.py WINE_RUN TEST_FUZZ MINUTES [SEED]

Each round runs every target for a slice of the time (at least two rounds
fit, slices of 5 to 60 s) with a new base seed.
A crash or hang ends that process; the fault is recorded with the seed that
makes it again (test_fuzz.exe --target NAME --replay SEED), and the round goes
on with the next target.  Exits 1 when any crash, hang or mismatch was seen.
"""
import re
import subprocess
import sys
import time

def main():
    wine_run, program, minutes = sys.argv[1], sys.argv[2], float(sys.argv[3])
    seed = int(sys.argv[4]) if len(sys.argv) > 4 else int(time.time())
    listing = subprocess.run([wine_run, program, "--seconds", "0.01"], capture_output=True, text=True).stdout
    targets = re.findall(r"^fuzz ([\w-]+): inputs", listing, re.M)
    if not targets:
        print("fuzz: the program listed no targets:\n" + listing)
        return 1
    slice_seconds = max(5, min(60, minutes * 60 / len(targets) / 2))
    stats = {t: {"inputs": 0, "crashes": 0, "hangs": 0, "mismatches": 0, "faults": set()} for t in targets}
    deadline = time.monotonic() + minutes * 60
    while time.monotonic() < deadline:
        for target in targets:
            if time.monotonic() >= deadline:
                break
            seed += 1
            run = subprocess.run([wine_run, program, "--target", target, "--seconds", str(slice_seconds),
                                  "--seed", str(seed), "--limit-ms", "10000"], capture_output=True, text=True)
            s = stats[target]
            for line in run.stdout.splitlines():
                done = re.match(r"fuzz [\w-]+: inputs (\d+), refused \d+, mismatches (\d+)", line)
                if done:
                    s["inputs"] += int(done.group(1))
                    s["mismatches"] += int(done.group(2))
                fault = re.match(r"fuzz: (crash|hang|mismatch) in [\w-]+, input seed (\d+): (.*)", line)
                if fault:
                    kind, where = fault.group(1), re.sub(r"input seed \d+", "", fault.group(3))
                    if kind != "mismatch":
                        s[kind + "es" if kind == "crash" else kind + "s"] += 1
                        s["inputs"] += 1
                    s["faults"].add((kind, where))
                    print(line, flush=True)
    failed = False
    for target, s in stats.items():
        print(f"fuzz {target}: inputs {s['inputs']}, crashes {s['crashes']}, hangs {s['hangs']}, "
              f"mismatches {s['mismatches']}, distinct faults {len(s['faults'])}")
        failed = failed or s["crashes"] or s["hangs"] or s["mismatches"]
    print(f"fuzz total: inputs {sum(s['inputs'] for s in stats.values())} in {minutes:g} minutes")
    return 1 if failed else 0

if __name__ == "__main__":
    sys.exit(main())

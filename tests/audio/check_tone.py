#!/usr/bin/env python3
"""Checks that a recording (raw 16-bit little-endian stereo, 44.1 kHz) holds a
sine of the given frequency and amplitude on both channels.

    check_tone.py RECORDING --frequency HZ --amplitude A [--part SECONDS]

The recording is cut into 50 ms windows; those inside the tone with no
dropout in them (every 5 ms of them loud) are measured: the frequency by
counting zero crossings, the amplitude as sqrt(2) * RMS.  Dropouts are
counted and reported: on a loaded machine Wine's sound path can starve
(a program writing one 3 s buffer shows them too), so they do not fail the
check unless they take more than half of the tone.  Exits 1 on a mismatch
(more than 2 % off in frequency or 10 % in amplitude) or when no tone came.

With --part the tone is only part of the recording (a station playing other
songs before and after it): each whole window is measured on its own, and
the check passes when the matching windows add up to SECONDS on both channels.
"""
import argparse
import array
import math
import sys

RATE = 44100
WINDOW = RATE // 20   # 50 ms
PART = WINDOW // 10   # 5 ms
LOUD = 3000


def window_tone(chan, w):
    """Frequency and amplitude of one window."""
    part = [x / 32768.0 for x in chan[w * WINDOW:(w + 1) * WINDOW]]
    crossings = sum(1 for a, b in zip(part, part[1:]) if (a < 0) != (b < 0))
    energy = sum(x * x for x in part)
    return crossings / 2 / (WINDOW / RATE), math.sqrt(2 * energy / WINDOW)


def matches(freq, amp, args):
    return abs(freq - args.frequency) <= 0.02 * args.frequency and \
        abs(amp - args.amplitude) <= 0.1 * args.amplitude


def check_part(samples, args):
    """The tone somewhere in the recording, for at least args.part seconds."""
    windows = len(samples) // 2 // WINDOW
    ok = True
    for channel, name in ((0, "left"), (1, "right")):
        chan = samples[channel::2]
        found = sum(1 for w in range(windows) if matches(*window_tone(chan, w), args))
        seconds = found * WINDOW / RATE
        good = seconds >= args.part
        print("check_tone: %s %.2f s of %.1f Hz at %.3f in %.2f s of recording (want %.2f s): %s" %
              (name, seconds, args.frequency, args.amplitude, windows * WINDOW / RATE, args.part,
               "ok" if good else "WRONG"))
        ok = ok and good
    return 0 if ok else 1


def main():
    p = argparse.ArgumentParser()
    p.add_argument("recording")
    p.add_argument("--frequency", type=float, required=True)
    p.add_argument("--amplitude", type=float, required=True)
    p.add_argument("--part", type=float, default=0)
    args = p.parse_args()
    samples = array.array("h")
    with open(args.recording, "rb") as f:
        samples.frombytes(f.read())
    if sys.byteorder != "little":
        samples.byteswap()
    if args.part > 0:
        return check_part(samples, args)
    frames = len(samples) // 2
    windows = frames // WINDOW
    ok = True
    for channel, name in ((0, "left"), (1, "right")):
        chan = samples[channel::2]
        loud = []
        for w in range(windows):
            parts = [max(abs(x) for x in chan[w * WINDOW + k * PART:w * WINDOW + (k + 1) * PART]) for k in range(10)]
            loud.append(min(parts) > LOUD)
        touched = [w for w in range(windows) if any(
            abs(x) > LOUD for x in chan[w * WINDOW:(w + 1) * WINDOW])]
        if not touched:
            print("check_tone: %s: no tone in %.2f s of recording" % (name, frames / RATE))
            return 1
        span = range(touched[0], touched[-1] + 1)
        clean = [w for w in span if loud[w]]
        if len(clean) < 10 or len(clean) * 2 < len(span):
            print("check_tone: %s: only %d of %d windows of the tone are whole" % (name, len(clean), len(span)))
            ok = False
            continue
        crossings = 0
        energy = 0.0
        for w in clean:
            part = [x / 32768.0 for x in chan[w * WINDOW:(w + 1) * WINDOW]]
            crossings += sum(1 for a, b in zip(part, part[1:]) if (a < 0) != (b < 0))
            energy += sum(x * x for x in part)
        seconds = len(clean) * WINDOW / RATE
        freq = crossings / 2 / seconds
        amp = math.sqrt(2 * energy / (len(clean) * WINDOW))
        good = matches(freq, amp, args)
        print("check_tone: %s %.1f Hz amplitude %.3f over %.2f s (want %.1f Hz, %.3f), %d of %d windows "
              "with dropouts: %s" % (name, freq, amp, seconds, args.frequency, args.amplitude,
                                    len(span) - len(clean), len(span), "ok" if good else "WRONG"))
        ok = ok and good
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())

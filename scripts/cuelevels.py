#!/usr/bin/env python3
"""Levels of the game's wave cues: loudness, peak and clipped samples.

Loudness is BS.1770 K-weighted, measured as the loudest 400 ms window of the cue (EBU R128's
"maximum momentary loudness"), in LUFS. Integrated loudness would gate on 400 ms blocks, and most
cues are shorter than one block; a cue shorter than 400 ms is therefore measured over 400 ms with
silence after it, which also matches the ear: a click sounds quieter than a held tone of the same
level. Windows of longer cues step by 10 ms.

Peak is the largest sample magnitude, in dBFS (full scale 32768). A clipped sample is one at the
integer limits (-32768 or 32767), or part of a run of three or more equal samples at the file's own
peak magnitude: the flat top a clipped synthesis leaves even after it has been scaled down.

    cuelevels.py FILE...                     loudness, peak, length and clipped samples per file
    cuelevels.py --gain LUFS CEILING FILE    the gain in dB that brings FILE to LUFS, or as near
                                             as its peak allows without passing CEILING dBFS
"""

import math
import sys
import wave
from array import array

WINDOW_SECONDS = 0.4
HOP_SECONDS = 0.01
FULL_SCALE = 32768


class CueError(Exception):
    pass


def readCue(path):
    """(sample rate, list of int samples) of a mono 16-bit PCM wave file."""
    try:
        with wave.open(str(path), "rb") as w:
            if w.getcomptype() != "NONE":
                raise CueError(f"{path}: not PCM ({w.getcomptype()})")
            if w.getnchannels() != 1 or w.getsampwidth() != 2:
                raise CueError(f"{path}: {w.getnchannels()} channels of {8 * w.getsampwidth()} bits, "
                               "want mono 16-bit")
            rate = w.getframerate()
            frames = w.readframes(w.getnframes())
    except (wave.Error, EOFError) as e:
        raise CueError(f"{path}: not a valid wave file ({str(e) or 'too short'})") from e
    samples = array("h")
    samples.frombytes(frames[: len(frames) // 2 * 2])
    if sys.byteorder == "big":
        samples.byteswap()
    if len(samples) == 0:
        raise CueError(f"{path}: no samples")
    return rate, samples.tolist()


def _biquad(x, b, a):
    b0, b1, b2 = b
    a1, a2 = a
    y = [0.0] * len(x)
    x1 = x2 = y1 = y2 = 0.0
    for i, v in enumerate(x):
        out = b0 * v + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2
        x2, x1, y2, y1 = x1, v, y1, out
        y[i] = out
    return y


def kWeighted(samples, rate):
    """The K-weighting pre-filter (high shelf, then high pass) at any sample rate, from the
    analogue prototype of BS.1770's 48 kHz coefficients."""
    x = [s / FULL_SCALE for s in samples]
    f0, gainDb, q = 1681.974450955533, 3.999843853973347, 0.7071752369554196
    k = math.tan(math.pi * f0 / rate)
    vh = 10 ** (gainDb / 20)
    vb = vh ** 0.4996667741545416
    a0 = 1 + k / q + k * k
    shelf = ((vh + vb * k / q + k * k) / a0, 2 * (k * k - vh) / a0, (vh - vb * k / q + k * k) / a0)
    shelfA = (2 * (k * k - 1) / a0, (1 - k / q + k * k) / a0)
    x = _biquad(x, shelf, shelfA)
    f0, q = 38.13547087602444, 0.5003270373238773
    k = math.tan(math.pi * f0 / rate)
    a0 = 1 + k / q + k * k
    return _biquad(x, (1.0, -2.0, 1.0), (2 * (k * k - 1) / a0, (1 - k / q + k * k) / a0))


def loudness(samples, rate):
    """Loudest 400 ms window's K-weighted loudness in LUFS (-inf for silence)."""
    window = round(WINDOW_SECONDS * rate)
    hop = max(1, round(HOP_SECONDS * rate))
    padded = list(samples) + [0] * max(0, window - len(samples))
    energy = [v * v for v in kWeighted(padded, rate)]
    running = [0.0]
    for e in energy:
        running.append(running[-1] + e)
    best = max(running[s + window] - running[s] for s in range(0, len(energy) - window + 1, hop))
    best = max(best, running[-1] - running[-1 - window])
    return -0.691 + 10 * math.log10(best / window) if best > 0 else -math.inf


def peakDbfs(samples):
    peak = max(abs(s) for s in samples)
    return 20 * math.log10(peak / FULL_SCALE) if peak else -math.inf


def clippedSamples(samples):
    """Count of samples at the integer limits or in flat tops at the file's peak magnitude."""
    peak = max(abs(s) for s in samples)
    count = sum(1 for s in samples if s in (-32768, 32767))
    i = 0
    while i < len(samples):
        j = i
        while j + 1 < len(samples) and samples[j + 1] == samples[i]:
            j += 1
        if j - i + 1 >= 3 and samples[i] != 0 and abs(samples[i]) >= peak - 1 \
                and samples[i] not in (-32768, 32767):
            count += j - i + 1
        i = j + 1
    return count


def gainFor(samples, rate, targetLufs, ceilingDbfs):
    return min(targetLufs - loudness(samples, rate), ceilingDbfs - peakDbfs(samples))


def main(args):
    if args[:1] == ["--gain"]:
        if len(args) != 4:
            print("usage: cuelevels.py --gain LUFS CEILING FILE", file=sys.stderr)
            return 2
        rate, samples = readCue(args[3])
        print(f"{gainFor(samples, rate, float(args[1]), float(args[2])):.4f}")
        return 0
    paths = args
    status = 0
    for path in paths:
        try:
            rate, samples = readCue(path)
        except CueError as e:
            print(e, file=sys.stderr)
            status = 1
            continue
        print(f"{path}\t{loudness(samples, rate):.2f} LUFS\t{peakDbfs(samples):.2f} dBFS\t"
              f"{len(samples) / rate:.3f} s\t{clippedSamples(samples)} clipped")
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

#!/usr/bin/env python3
"""Times QuenrilEQ against a well-known float-precision Linux equaliser, x42-fil4.

Both run on the same stereo noise at 48 kHz: x42-fil4 through lv2file with all
eight of its sections on and then all off, QuenrilEQ through quenrileq-render
with 24 bells at 96 dB/oct (192 sections) and then with every band off. The
on-minus-off CPU time (user + system of the child process, the least of the
repeats: timing noise only ever adds) divided by sections and frames is the
cost of one stereo section and sample; file reading and writing cancel out. x42-fil4 has only eight sections,
so its difference needs minutes of audio to rise above timing noise.

Usage: bench/compare_peer.py [--seconds S] [--repeats N] [--build DIR]
Needs sox, lv2file and x42-plugins (scripts/setup installs them) and a build.
"""
import argparse
import math
import os
import resource
import subprocess
import sys
import tempfile

FIL4 = "http://gareus.org/oss/lv2/fil4#stereo"
FIL4_SECTIONS = 8
# Every section on, with a gain so that none is a pass-through: high-pass, low-pass, two shelves, four bells.
FIL4_ON = ["enable:1", "HighPass:1", "LowPass:1", "LSsec:1", "LSgain:6", "HSsec:1", "HSgain:-6"] + [
    f"{k}{i}:{v}" for i in range(1, 5) for k, v in (("sec", 1), ("gain", 6 if i % 2 else -6))]
FIL4_OFF = ["enable:1", "HighPass:0", "LowPass:0", "LSsec:0", "HSsec:0"] + [f"sec{i}:0" for i in range(1, 5)]

BANDS = 24
SLOPE_96 = 1.0  # last of the five slope choices, normalised


def band_id(band, field):
    return 2000 + 16 * band + field


def quenrileq_preset(enabled):
    """24 bells at 96 dB/oct, alternately +6 and -6 dB from 30 Hz up (the natural-mode benchmark's bank)."""
    lines = ["1002=0"]
    for b in range(BANDS):
        freq = 30.0 * 1.3 ** b
        lines += [f"{band_id(b, 0)}={1 if enabled else 0}",           # Enabled
                  f"{band_id(b, 1)}=0",                                # Shape: Bell
                  f"{band_id(b, 2)}={math.log(freq / 20.0) / math.log(1100.0)}",
                  f"{band_id(b, 3)}={(6.0 if b % 2 == 0 else -6.0) / 60.0 + 0.5}",
                  f"{band_id(b, 4)}={math.log(1.0 / 0.025) / math.log(1600.0)}",  # Q 1
                  f"{band_id(b, 5)}={SLOPE_96}",
                  f"{band_id(b, 6)}=0",                                # Stereo
                  f"{band_id(b, 7)}=0"]                                # no dynamics
    return "\n".join(lines) + "\n"


def child_cpu_seconds(command):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)


def least_seconds(command, repeats):
    return min(child_cpu_seconds(command) for _ in range(repeats))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seconds", type=float, default=300.0, help="length of the test noise (default 300)")
    parser.add_argument("--repeats", type=int, default=5, help="runs per configuration (default 5)")
    here = os.path.dirname(os.path.abspath(__file__))
    parser.add_argument("--build", default=os.path.join(here, "..", "build"), help="build folder")
    args = parser.parse_args()

    render = os.path.join(args.build, "bin", "quenrileq-render")
    for tool in ("sox", "lv2file"):
        if subprocess.run(["which", tool], stdout=subprocess.DEVNULL).returncode != 0:
            sys.exit(f"{tool} is missing: run scripts/setup")
    if not os.access(render, os.X_OK):
        sys.exit(f"{render} is missing: build first (scripts/build)")

    rate = 48000
    frames = int(args.seconds * rate)
    # tmpfs when there is one, so disk speed does not enter the timings.
    scratch = "/dev/shm" if os.path.isdir("/dev/shm") else None
    with tempfile.TemporaryDirectory(dir=scratch) as tmp:
        noise = os.path.join(tmp, "noise.wav")
        out = os.path.join(tmp, "out.wav")
        subprocess.run(["sox", "-n", "-r", str(rate), "-c", "2", "-b", "32", "-e", "floating-point", noise,
                        "synth", str(args.seconds), "whitenoise", "vol", "0.25"], check=True)
        presets = {}
        for name, enabled in (("on", True), ("off", False)):
            presets[name] = os.path.join(tmp, f"{name}.quenrileqpreset")
            with open(presets[name], "w") as f:
                f.write(quenrileq_preset(enabled))

        def fil4(params):
            command = ["lv2file", "-i", noise, "-o", out, "--ignore-clipping", "-b", "512"]
            for p in params:
                command += ["-p", p]
            return command + [FIL4]

        def ours(preset):
            return [render, "--preset", preset, "--block", "512", noise, out]

        fil4_on = least_seconds(fil4(FIL4_ON), args.repeats)
        fil4_off = least_seconds(fil4(FIL4_OFF), args.repeats)
        ours_on = least_seconds(ours(presets["on"]), args.repeats)
        ours_off = least_seconds(ours(presets["off"]), args.repeats)

    fil4_ns = (fil4_on - fil4_off) / (FIL4_SECTIONS * frames) * 1e9
    ours_ns = (ours_on - ours_off) / (BANDS * 8 * frames) * 1e9
    print(f"material: {args.seconds:g} s of stereo noise at {rate} Hz, least CPU time of {args.repeats} runs")
    print(f"x42-fil4 (float):     on {fil4_on:.3f} s, off {fil4_off:.3f} s, {FIL4_SECTIONS} sections: "
          f"{fil4_ns:.3f} ns per stereo section and sample")
    print(f"QuenrilEQ (double):   on {ours_on:.3f} s, off {ours_off:.3f} s, {BANDS * 8} sections: "
          f"{ours_ns:.3f} ns per stereo section and sample")
    if ours_ns > 0 and fil4_ns > 0:
        print(f"ratio: QuenrilEQ is {fil4_ns / ours_ns:.2f}x faster per section")
    else:
        print("ratio: not measurable (a difference came out at or below zero; use more --seconds)")


if __name__ == "__main__":
    main()

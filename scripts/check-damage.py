#!/usr/bin/env python3
"""Damaged copies of one clean MP3, decoded and judged against the clean file's own decode.

Three kinds, COUNT files each, every one from a seed of its own:
  cut     the file from a random byte on (a capture that starts mid-frame);
  junk    3000 random bytes before the audio (a broken download);
  middle  2048 random bytes over a random place in the middle (a bad sector).
The judge finds the longest run of values at the start and at the end that
equal the clean decode (within 1) and counts the rest as frames wrong: at
most 4 at a cut, 2 before the audio, 8 in the middle, and the decoder must
exit 0.  A cut file is judged against the clean decode's tail.

Usage: check-damage.py BUILD_DIR [COUNT [DECODER [CLEAN.mp3]]]
DECODER: decode (quillwave decode --decoder quality, the default), record,
or ffmpeg (for comparison; its own decoder delay trimming is switched off).
Without CLEAN.mp3 a 5-second lame CBR file is made (sox, lame).  Prints one
line per kind and the files that fail; exit status 1 when any fails.
"""
import array
import os
import random
import subprocess
import sys
import tempfile

FRAME_VALUES = 1152 * 2  # one MPEG-1 Layer III stereo frame
KINDS = (("cut", 4), ("junk", 2), ("middle", 8))


def untrimmed(build, known={}):
    """The option that gives the whole stream as the module hands it over, where the host trims."""
    if build not in known:
        help_text = subprocess.run([f"{build}/quillwave", "--help"], capture_output=True, text=True).stdout
        known[build] = ["--no-gapless"] if "--no-gapless" in help_text else []
    return known[build]


def decode(build, tool, path, out):
    host = [f"{build}/quillwave", "--plugin", f"{build}/SQqw4.sqp"]
    if tool == "decode":
        args = host + ["decode", "--decoder", "quality"]
    elif tool == "record":
        args = host + ["record"]
    else:
        args = ["ffmpeg", "-v", "error", "-flags2", "+skip_manual", "-y", "-i", path, "-f", "s16le", out]
    if tool != "ffmpeg":
        args += untrimmed(build) + [path, out]
    done = subprocess.run(args, capture_output=True, timeout=120)
    data = b""
    if os.path.exists(out):
        with open(out, "rb") as f:
            data = f.read()
        os.remove(out)
    values = array.array("h")
    values.frombytes(data[: len(data) // 2 * 2])
    return done.returncode, values


def common_start(a, b):
    n, i = min(len(a), len(b)), 0
    while i < n and abs(a[i] - b[i]) <= 1:
        i += 1
    return i


def common_end(a, b, taken):
    n, i = min(len(a), len(b)) - taken, 0
    while i < n and abs(a[-1 - i] - b[-1 - i]) <= 1:
        i += 1
    return i


def damaged(kind, data, seed):
    r = random.Random(f"{kind}-{seed}")
    if kind == "cut":
        return data[r.randrange(1000, len(data) // 2):]
    if kind == "junk":
        return r.randbytes(3000) + data
    at = r.randrange(len(data) // 3, 2 * len(data) // 3)
    return data[:at] + r.randbytes(2048) + data[at + 2048:]


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    build = os.path.abspath(sys.argv[1])
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 60
    tool = sys.argv[3] if len(sys.argv) > 3 else "decode"
    work = tempfile.mkdtemp(prefix="check-damage-")
    clean = sys.argv[4] if len(sys.argv) > 4 else os.path.join(work, "clean.mp3")
    if len(sys.argv) <= 4:
        source = os.path.join(work, "source.wav")
        subprocess.run(["sox", "-R", "-n", "-r", "44100", "-b", "16", "-c", "2", source, "synth", "5", "sine", "220",
                        "sine", "330", "synth", "5", "sine", "mix", "40/8000", "synth", "5", "pinknoise", "mix",
                        "tremolo", "3", "60", "gain", "-n", "-6"], check=True)
        subprocess.run(["lame", "--quiet", "-b", "128", source, clean], check=True)
    with open(clean, "rb") as f:
        data = f.read()
    out = os.path.join(work, "out.pcm")
    _, reference = decode(build, tool, clean, out)
    failed = 0
    for kind, limit in KINDS:
        bad, worst = [], 0.0
        for seed in range(count):
            path = os.path.join(work, f"{kind}-{seed}.mp3")
            with open(path, "wb") as f:
                f.write(damaged(kind, data, seed))
            status, values = decode(build, tool, path, out)
            os.remove(path)
            start = 0 if kind == "cut" else common_start(values, reference)
            end = common_end(values, reference, start)
            wrong = len(values) - end if kind == "cut" else max(len(reference), len(values)) - start - end
            frames = wrong / FRAME_VALUES
            worst = max(worst, frames)
            if status != 0 or frames > limit or not values:
                bad.append(f"{kind}-{seed}: status {status}, {frames:.1f} frames wrong")
        failed += len(bad)
        print(f"{kind:7s} {count - len(bad)} of {count} hold (at most {limit} frames wrong; worst {worst:.1f})")
        for line in bad:
            print("  " + line)
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()

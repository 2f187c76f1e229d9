#!/usr/bin/env bash
# Builds, in OUTDIR, MP3 files the way people's everyday tools make them:
# lame with ID3v2 tags (plain, with cover art, with 100 KB of tag padding),
# with an ID3v1 tag only, at variable and average bitrate, at 48 kHz, at
# 22.05 kHz (MPEG-2) and 8 kHz (MPEG-2.5), a file shorter than the encoder's
# delay and padding, one whose LAME extension is damaged around its delay and
# padding, one whose delay and padding exceed its audio ("untrimmed"), and
# two files joined end to end;
# ffmpeg with libmp3lame (its default ID3v2 tag, once with cover art, once at
# 22050 Hz mono) and with libshine.  Beside each NAME.mp3 it writes the
# reference decoder's output as raw signed 16-bit little-endian PCM: every
# sample of the frames in NAME.mp3.pcm (mpg123 --no-gapless), without the
# encoder's delay and padding in NAME.mp3.gapless.pcm (mpg123's default); and
# last OUTDIR/user-files.list with one file name per line.
#
# Files that already exist are kept, so a second run costs nothing.
# Exit status: 0 done, 2 usage, 3 a required tool (sox, lame, ffmpeg, mpg123)
# missing.
set -euo pipefail

if [ $# -ne 1 ]; then
    echo "usage: $0 OUTDIR" >&2
    exit 2
fi
out=$1

for tool in sox lame ffmpeg mpg123; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "make-user-files: $tool not found" >&2
        exit 3
    fi
done

names=(lame-id3v2 lame-id3v2-cover lame-id3v2-padded lame-id3v1 lame-vbr
       lame-abr lame-48000 lame-22050-vbr lame-8000-mono
       lame-short lame-damaged lame-short-untrimmed lame-joined
       ffmpeg-lame ffmpeg-lame-cover ffmpeg-lame-22050-mono ffmpeg-shine)

mkdir -p "$out"
out=$(cd "$out" && pwd)

# Concurrent runs (parallel test processes) build one set, one at a time.
if command -v flock >/dev/null 2>&1; then
    exec 9>"$out/.lock"
    flock 9
fi

missing=0
for name in "${names[@]}"; do
    [ -s "$out/$name.mp3" ] && [ -e "$out/$name.mp3.pcm" ] && [ -e "$out/$name.mp3.gapless.pcm" ] || missing=1
done

if [ $missing -eq 1 ]; then
    work=$(mktemp -d "$out/.work.XXXXXX")
    trap 'rm -rf "$work"' EXIT

    # 3 s of stereo at 44.1 kHz: a chord on the left, a sweep on the right,
    # with noise bursts for block switching.  -R: the same noise every run.
    sox -R -n -r 44100 -b 16 -c 1 "$work/left.wav" synth 3 sine 220 synth 3 sine mix 277.18 \
        synth 3 sine mix 329.63 gain -n -9
    sox -R -n -r 44100 -b 16 -c 1 "$work/right.wav" synth 3 sine 60/16000 gain -n -9
    sox -R -n -r 44100 -b 16 -c 1 "$work/burst.wav" synth 0.03 whitenoise gain -6 pad 0.4 0.3 repeat 3
    sox -R -m "$work/left.wav" "$work/burst.wav" "$work/left-burst.wav"
    sox -R -M "$work/left-burst.wav" "$work/right.wav" "$work/source.wav" gain -n -3
    sox -R "$work/source.wav" -r 48000 "$work/source-48000.wav"
    sox -R "$work/source.wav" -r 22050 "$work/source-22050.wav"
    sox -R "$work/source.wav" -r 8000 -c 1 "$work/source-8000-mono.wav"
    # 1000 samples: less than the encoder's delay and padding together.
    sox -R "$work/source.wav" "$work/source-short.wav" trim 0 1000s

    # Cover art of noise: its compressed bytes hold many words that look
    # like frame headers.
    ffmpeg -v error -f lavfi -i "nullsrc=s=256x256,geq=random(1)*255:random(2)*255:random(3)*255" \
        -frames:v 1 -y "$work/cover.jpg"

    # Writes bytes (printf escapes) over a file's own at an offset.
    overwrite() { printf "$3" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none; }

    src=$work/source.wav
    make() {
        local name=$1
        shift
        case $name in
            lame-joined) cat "$out/lame-vbr.mp3" "$out/lame-short.mp3" >"$work/$name.mp3" ;;
            lame-*) lame --quiet "$@" "$src" "$work/$name.mp3" ;;
            ffmpeg-*) ffmpeg -v error -i "$src" "$@" -y "$work/$name.mp3" ;;
        esac
        # The LAME extension of a 44.1 kHz stereo file starts at byte 156;
        # its delay and padding are bytes 177 to 179, its check sum 190 and
        # 191.  Damaged: the encoder's name and settings overwritten, the
        # check sum no longer right.  Untrimmed: delay and padding of 4095.
        case $name in
            *-damaged) overwrite "$work/$name.mp3" 156 ZZZZZZZZZZZZZZZZZZZZZ ;;
            *-untrimmed) overwrite "$work/$name.mp3" 177 '\xff\xff\xff' ;;
        esac
        mpg123 --quiet --no-gapless -s "$work/$name.mp3" >"$work/$name.mp3.pcm"
        mpg123 --quiet -s "$work/$name.mp3" >"$work/$name.mp3.gapless.pcm"
        mv "$work/$name.mp3.pcm" "$work/$name.mp3.gapless.pcm" "$out/"
        mv "$work/$name.mp3" "$out/$name.mp3"
    }
    make lame-id3v2 -b 128 --add-id3v2 --tt Title --ta Artist
    make lame-id3v2-cover -b 160 --add-id3v2 --tt Title --ta Artist --ti "$work/cover.jpg"
    make lame-id3v2-padded -b 128 --add-id3v2 --tt Title --pad-id3v2-size 102400
    make lame-id3v1 -b 192 --id3v1-only --tt Title --ta Artist
    make lame-vbr -V 2
    make lame-abr --abr 160
    make lame-damaged -b 128
    src=$work/source-short.wav
    make lame-short -b 128
    make lame-short-untrimmed -b 128
    make lame-joined
    src=$work/source-48000.wav
    make lame-48000 -b 192
    src=$work/source-22050.wav
    make lame-22050-vbr -V 4
    src=$work/source-8000-mono.wav
    make lame-8000-mono -b 24
    src=$work/source.wav
    make ffmpeg-lame -c:a libmp3lame -b:a 192k
    make ffmpeg-lame-cover -i "$work/cover.jpg" -map 0:a -map 1:v -c:a libmp3lame -b:a 128k -c:v copy \
        -id3v2_version 3 -metadata:s:v title="Album cover" -metadata:s:v comment="Cover (front)"
    make ffmpeg-lame-22050-mono -c:a libmp3lame -ar 22050 -ac 1 -b:a 48k
    make ffmpeg-shine -c:a libshine -b:a 128k
fi

list="$out/user-files.list"
printf '%s.mp3\n' "${names[@]}" >"$list.tmp"
mv "$list.tmp" "$list"

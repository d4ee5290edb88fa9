#!/usr/bin/env bash
# Remakes the small MP3 files the mp3 tests read, from real encoders:
#   sox (signals), lame (Layer III, CBR with an Info frame, VBR with a Xing frame, MPEG 1/2/2.5,
#   mono, ID3v1/ID3v1.1), ffmpeg (Layer II, libmp3lame), python3-mutagen (ID3v2 with and
#   without a picture frame, APE tag). The committed files are what the tests use; run this
#   only to remake them (other encoder versions give other bytes, and the tests read the facts
#   from the files).
#   bash tests/data/make-test-data.sh
# The odd cases (cut-short frames, junk, footers, tiny files) are built by the tests themselves.
set -euo pipefail
cd "$(dirname "$0")"
py=/usr/bin/python3  # the system python, which has python3-mutagen
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# 2.5 s of signal: a tone that the VBR encoder finds easy, then noise that it does not.
sox -R -n -r 44100 -c 2 -b 16 "$work/tone.wav" synth 1.2 sine 440 sine 660 gain -6
sox -R -n -r 44100 -c 2 -b 16 "$work/noise.wav" synth 1.3 pinknoise gain -12
sox -R "$work/tone.wav" "$work/noise.wav" "$work/signal.wav"

lame=(lame --quiet --noreplaygain)
# MPEG 1 Layer III, 128 kbit/s CBR, 44100 Hz joint stereo; lame puts an "Info" frame first.
"${lame[@]}" -b 128 --cbr "$work/signal.wav" cbr128.mp3
# MPEG 2 Layer III, 64 kbit/s, 22050 Hz.
"${lame[@]}" -b 64 --cbr --resample 22.05 "$work/signal.wav" mpeg2.mp3
# MPEG 2.5 Layer III, 8 kbit/s, 8000 Hz, mono, without a VBR header frame.
"${lame[@]}" -b 8 --cbr -t -m m --resample 8 "$work/signal.wav" mpeg25.mp3
# VBR with a "Xing" frame (MPEG 1 stereo, where the tag stands 36 bytes into the frame).
"${lame[@]}" -V 6 "$work/signal.wav" vbr.mp3
# 4 s in which every moment sounds different (a rising sweep over quiet noise), for finding
# where a recording of the player's sound lies in the file: 128 kbit/s CBR, 44100 Hz stereo.
sox -R -n -r 44100 -c 2 -b 16 "$work/sweep.wav" synth 4 sine 200-3000 gain -9
sox -R -n -r 44100 -c 2 -b 16 "$work/hiss.wav" synth 4 pinknoise gain -18
sox -R -m "$work/sweep.wav" "$work/hiss.wav" "$work/sweep-hiss.wav"
"${lame[@]}" -b 128 --cbr "$work/sweep-hiss.wav" sweep.mp3
# MPEG 1 mono, 64 kbit/s CBR.
"${lame[@]}" -b 64 --cbr -m m "$work/signal.wav" mono.mp3
# Layer II, 192 kbit/s, 48000 Hz (576-byte frames); 1.5 s keeps it small.
ffmpeg -loglevel error -y -t 1.5 -i "$work/signal.wav" -ar 48000 -c:a mp2 -b:a 192k \
  -f mp2 layer2.mp3
# ID3v1 (comment filling all 30 bytes, no track) and ID3v1.1 (track 7), written by lame.
"${lame[@]}" -b 8 --cbr -t -m m --resample 8 --id3v1-only --tt "Short Title" --ta "Artist" \
  --tl "Album" --ty 2024 --tc "A comment of thirty characters" --tg 17 \
  "$work/signal.wav" id3v1.mp3
"${lame[@]}" -b 8 --cbr -t -m m --resample 8 --id3v1-only --tt "Track Seven" --ta "Artist" \
  --tc "Comment" --tn 7 --tg 8 "$work/signal.wav" id3v11.mp3

# For the cuts exact to the sample, 1.4 s of the signal (tone, then noise): lame VBR -V 2;
# lame at 48 kbit/s MPEG 2 mono, where the LAME extension does not fit in a frame and lame
# writes no header frame; and ffmpeg's libmp3lame, which writes a tag of its own ("Lavc").
sox -R "$work/signal.wav" "$work/clip.wav" trim 0.6 1.4
"${lame[@]}" -V 2 "$work/clip.wav" vbr-v2.mp3
"${lame[@]}" -b 48 --cbr -m m --resample 22.05 "$work/signal.wav" mpeg2-mono48.mp3
ffmpeg -loglevel error -y -i "$work/clip.wav" -c:a libmp3lame -b:a 112k ffmpeg-lame.mp3

# Pauses at known places for the split at silences: tone 0.0-0.6 s, pause 0.6-1.4 s, tone
# 1.4-2.0 s, pause 2.0-3.2 s, tone 3.2-3.8 s; MPEG 1 mono 32 kbit/s, 44100 Hz.
sox -R -n -r 44100 -c 1 -b 16 "$work/beep.wav" synth 0.6 sine 440 gain -6
sox -R -n -r 44100 -c 1 -b 16 "$work/gap08.wav" trim 0 0.8
sox -R -n -r 44100 -c 1 -b 16 "$work/gap12.wav" trim 0 1.2
sox -R "$work/beep.wav" "$work/gap08.wav" "$work/beep.wav" "$work/gap12.wav" "$work/beep.wav" \
  "$work/pauses.wav"
"${lame[@]}" -b 32 --cbr -m m --resample 44.1 "$work/pauses.wav" pauses.mp3
# The same in stereo VBR, which starts with a "Xing" frame.
sox -R "$work/pauses.wav" -c 2 "$work/pauses2.wav"
"${lame[@]}" -V 9 --resample 44.1 "$work/pauses2.wav" pauses-vbr.mp3

"$py" - <<'EOF'
import shutil, struct, zlib
from mutagen.id3 import ID3, TIT2, TPE1, APIC
from mutagen.apev2 import APEv2

def png(w=8, h=8):
    def chunk(kind, data):
        crc = zlib.crc32(kind + data) & 0xFFFFFFFF
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", crc)
    rows = (b"\0" + bytes(v for x in range(w) for v in (x * 32, y * 32, 128)) for y in range(h))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(b"".join(rows))) + chunk(b"IEND", b""))

picture = APIC(encoding=0, mime="image/png", type=3, desc="cover", data=png())

# ID3v2.3 with two text frames and then a picture frame.
shutil.copy("mono.mp3", "id3v2-apic.mp3")
t = ID3()
t.add(TIT2(encoding=0, text="Title"))
t.add(TPE1(encoding=0, text="Artist"))
t.add(picture)
t.save("id3v2-apic.mp3", v2_version=3, padding=lambda info: 200)

# A picture of 70,000 bytes in a tag whose last size byte carries a stray high bit, as broken
# taggers write it. With the bit masked the size is right, but libmpg123 takes the whole tag
# for junk and gives up its search for the first frame 64 KiB into it: the player refuses the
# file, and a copy without the picture frame (its size written afresh) plays.
shutil.copy("mono.mp3", "id3v2-apic-bad-size.mp3")
t = ID3()
t.add(TIT2(encoding=0, text="Title"))
t.add(APIC(encoding=0, mime="image/jpeg", type=3, desc="cover",
           data=bytes(i * 7 % 256 for i in range(70000))))
t.save("id3v2-apic-bad-size.mp3", v2_version=3, padding=lambda info: 0)
with open("id3v2-apic-bad-size.mp3", "r+b") as f:
    f.seek(9)
    last = f.read(1)[0]
    f.seek(9)
    f.write(bytes([last | 0x80]))

# ID3v2.3 whose only frame is the picture, so it is the tag's first frame.
shutil.copy("mpeg25.mp3", "id3v2-apic-first.mp3")
t = ID3()
t.add(picture)
t.save("id3v2-apic-first.mp3", v2_version=3, padding=lambda info: 50)

# ID3v2.4 with text frames only and no padding.
shutil.copy("mpeg2.mp3", "id3v2.mp3")
t = ID3()
t.add(TIT2(encoding=3, text="Title"))
t.add(TPE1(encoding=3, text="Artist"))
t.save("id3v2.mp3", v2_version=4, padding=lambda info: 0)

# An APE tag (mutagen writes it at the very end), then an ID3v1.1 tag behind it.
shutil.copy("mpeg25.mp3", "ape-id3v1.mp3")
a = APEv2()
a["Title"] = "Ape title"
a["Artist"] = "Ape artist"
a.save("ape-id3v1.mp3")
with open("id3v11.mp3", "rb") as f:
    f.seek(-128, 2)
    id3v1 = f.read()
with open("ape-id3v1.mp3", "ab") as f:
    f.write(id3v1)

# Every audio frame of cbr128.mp3 holds "TAG" in its audio 128 bytes before its end, and the
# file ends with a real ID3v1 tag: a piece's own tag once landed over those bytes.
data = bytearray(open("cbr128.mp3", "rb").read())
pos = 0
while pos + 4 <= len(data):
    assert data[pos] == 0xFF
    size = 144 * 128000 // 44100 + ((data[pos + 2] >> 1) & 1)
    if data[pos + 36:pos + 40] not in (b"Xing", b"Info"):
        data[pos + size - 128:pos + size - 125] = b"TAG"
    pos += size
assert pos == len(data)
with open("regress-tag-bytes-in-audio.mp3", "wb") as f:
    f.write(data + id3v1)
EOF
ls -l ./*.mp3

#!/usr/bin/python3
"""The tag tests' independent reader and their tagged sources, both by mutagen.
  id3probe.py dump FILE       what mutagen reads from the ID3v2 tag, one fact a line, texts
                              as UTF-8 in hex, data as SHA-256
  id3probe.py make AUDIO OUT VERSION [nolength] [unsync]
                              AUDIO with a tag of every kind of frame, in ID3v2.VERSION; the
                              picture also goes to OUT.png
"""
import hashlib
import shutil
import struct
import sys
import zlib

from mutagen.id3 import (ID3, APIC, COMM, PRIV, RVA2, RVAD, TALB, TCON, TDRC, TIT2, TLEN,
                         TPE1, TRCK, TXXX, USLT)


def png(w=24, h=24):
    """A picture of noise, so that its bytes hold 0xFF often (for unsynchronisation)."""
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    rows = b"".join(b"\0" + bytes((x * 97 + y * 31) * 7919 % 256 for x in range(w * 3))
                    for y in range(h))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(rows, 0)) + chunk(b"IEND", b""))


def make(audio, out, version, options):
    shutil.copy(audio, out)
    t = ID3()
    text = 1 if version == 3 else 3  # UTF-16 in ID3v2.3, UTF-8 in ID3v2.4
    t.add(TIT2(encoding=text, text="Título"))
    t.add(TPE1(encoding=0, text="Artist"))
    t.add(TALB(encoding=text, text="Альбом"))
    t.add(TRCK(encoding=0, text="3/12"))
    t.add(TDRC(encoding=0, text="2019-05-04"))
    t.add(TCON(encoding=0, text="Rock"))
    if "nolength" not in options:
        t.add(TLEN(encoding=0, text="2500"))
    t.add(APIC(encoding=0, mime="image/png", type=3, desc="cover", data=png()))
    t.add(USLT(encoding=1, lang="eng", desc="", text="la la\nla"))
    t.add(TXXX(encoding=1, desc="REPLAYGAIN_TRACK_GAIN", text="-6.50 dB"))
    t.add(PRIV(owner="example.com", data=b"\x00\x01\xff\xfe"))
    t.add(COMM(encoding=1, lang="eng", desc="", text="a comment"))
    t.add(COMM(encoding=0, lang="eng", desc="iTunNORM", text=" 0000044E"))
    if version == 4:
        t.add(RVA2(desc="track", channel=1, gain=-6.5, peak=0.9))
    else:
        t.update_to_v23()  # TDRC becomes TYER and TDAT
        t.add(RVAD(adjustments=[3, 3, 120, 130]))  # replay gain as ID3v2.3 has it
    t.save(out, v2_version=version, padding=lambda info: 512)
    with open(out + ".png", "wb") as f:
        f.write(png())
    if "unsync" in options:
        # The whole tag unsynchronised (ID3v2.3): a zero after every 0xFF.
        with open(out, "rb") as f:
            data = f.read()
        size = sum((b & 0x7F) << (21 - 7 * i) for i, b in enumerate(data[6:10]))
        body = data[10:10 + size].replace(b"\xff", b"\xff\x00")
        n = len(body)
        header = data[:5] + bytes([data[5] | 0x80]) + bytes(
            [(n >> 21) & 0x7F, (n >> 14) & 0x7F, (n >> 7) & 0x7F, n & 0x7F])
        with open(out, "wb") as f:
            f.write(header + body + data[10 + size:])


def dump(path):
    def hx(s):
        return s.encode("utf-8").hex()
    def sha(b):
        return hashlib.sha256(b).hexdigest()
    t = ID3(path, translate=False)
    print("version 2.%d" % t.version[1])
    print("ids " + " ".join(f.FrameID for f in t.values()))
    for f in t.values():
        k = f.FrameID
        if k in ("APIC", "PIC"):
            print("picture", int(f.type), sha(f.data))
        elif k == "PRIV":
            print("priv", f.owner, sha(f.data))
        elif k == "RVA2":
            print("rva2", f.desc, f.channel, f.gain, f.peak)
        elif k == "RVAD":
            print("rvad", f.adjustments)
        elif k in ("COMM", "USLT"):
            print(k.lower(), hx(f.desc), f.lang, hx(str(f)), "encoding", int(f.encoding))
        elif k == "TXXX":
            print("txxx", hx(f.desc), hx(str(f)))
        elif k.startswith("T"):
            print("text", k, hx("\n".join(str(x) for x in f.text)), "encoding", int(f.encoding))


if sys.argv[1] == "dump":
    dump(sys.argv[2])
else:
    make(sys.argv[2], sys.argv[3], int(sys.argv[4]), sys.argv[5:])

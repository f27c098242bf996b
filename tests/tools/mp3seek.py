#!/usr/bin/python3
"""Reads an MP3 file's Xing/Info frame and walks its frame headers (not our code).

Prints JSON: "frames", the frames after the info frame, and "streamBytes", the bytes from
the info frame to the end of the last frame; the info frame's "xingFrames", "xingBytes" and
"toc"; and "tocFrames", for each table value t in 0..255 the index (0 = the first frame after
the info frame) of the frame starting at or after the info frame's offset plus
t / 256 * xingBytes: a player seeking to p % of the time lands on tocFrames[toc[p]].
"""
import bisect
import json
import struct
import sys

BITRATES = {  # kbps by bitrate index, layer III
    1: [0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320],
    2: [0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160],
}
RATES = {3: [44100, 48000, 32000], 2: [22050, 24000, 16000], 0: [11025, 12000, 8000]}


def header(data, at):
    """(frame length, side info length, has CRC) of a layer III header at `at`, or None."""
    if at + 4 > len(data) or data[at] != 0xFF or data[at + 1] & 0xE0 != 0xE0:
        return None
    version = (data[at + 1] >> 3) & 3
    layer = (data[at + 1] >> 1) & 3
    index, rate, pad = data[at + 2] >> 4, (data[at + 2] >> 2) & 3, (data[at + 2] >> 1) & 1
    if version == 1 or layer != 1 or index in (0, 15) or rate == 3:
        return None
    mpeg1 = version == 3
    kbps = BITRATES[1 if mpeg1 else 2][index]
    length = (144 if mpeg1 else 72) * kbps * 1000 // RATES[version][rate] + pad
    mono = data[at + 3] >> 6 == 3
    side = (17 if mono else 32) if mpeg1 else (9 if mono else 17)
    return length, side, not data[at + 1] & 1


def main(path):
    with open(path, "rb") as f:
        data = f.read()
    start = 0
    if data[:3] == b"ID3":
        size = 0
        for b in data[6:10]:
            size = size << 7 | b
        start = 10 + size + (10 if data[5] & 0x10 else 0)
    first = header(data, start)
    if not first:
        sys.exit("no frame after the ID3v2 tag")
    at = start + 4 + (2 if first[2] else 0) + first[1]
    if data[at:at + 4] not in (b"Xing", b"Info"):
        sys.exit("no Xing/Info frame")
    (flags,) = struct.unpack(">I", data[at + 4:at + 8])
    if flags & 7 != 7:
        sys.exit("the info frame lacks frames, bytes or TOC")
    frames_, bytes_ = struct.unpack(">II", data[at + 8:at + 16])
    toc = list(data[at + 16:at + 116])

    starts = []
    at = start + first[0]
    while data[at:at + 3] != b"TAG":
        h = header(data, at)
        if not h:
            break
        starts.append(at)
        at += h[0]
    if at != len(data) and data[at:at + 3] != b"TAG":
        sys.exit("no frame header at byte %d of %d" % (at, len(data)))

    land = [bisect.bisect_left(starts, start + t * bytes_ / 256.0) for t in range(256)]
    print(json.dumps({"frames": len(starts), "streamBytes": at - start, "xingFrames": frames_,
                      "xingBytes": bytes_, "toc": toc, "tocFrames": land}))


if __name__ == "__main__":
    main(sys.argv[1])

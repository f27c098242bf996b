#!/usr/bin/python3
"""Prints the ID3 tags of an MP3 file as JSON, read with mutagen (not our code).

Text frames map to {"text": ..., "encoding": n} (user text frames under "TXXX:<desc>"); COMM to its text, language and
description; APIC to its MIME type, picture type and the hex SHA-256 and length of its data.
"""
import hashlib
import json
import sys

from mutagen.id3 import ID3, ID3NoHeaderError


def main(path):
    out = {"v2": False, "frames": {}}
    with open(path, "rb") as f:
        f.seek(0, 2)
        if f.tell() >= 128:
            f.seek(-128, 2)
            out["v1"] = f.read(3) == b"TAG"
        else:
            out["v1"] = False
    try:
        # Raw frames as written (no v2.3 -> v2.4 translation, no ID3v1 merged in).
        tag = ID3(path, translate=False, load_v1=False)
    except ID3NoHeaderError:
        print(json.dumps(out))
        return
    out["v2"] = True
    out["version"] = "2.%d" % tag.version[1]
    out["size"] = tag.size
    for frame in tag.values():
        fid = frame.FrameID
        if fid == "TXXX":
            fid = "TXXX:" + frame.desc
        if fid == "APIC":
            out["frames"][fid] = {
                "mime": frame.mime,
                "type": int(frame.type),
                "length": len(frame.data),
                "sha256": hashlib.sha256(frame.data).hexdigest(),
            }
        elif fid == "COMM":
            out["frames"][fid] = {
                "text": "".join(str(t) for t in frame.text),
                "lang": frame.lang,
                "desc": frame.desc,
                "encoding": int(frame.encoding),
            }
        elif hasattr(frame, "text"):
            out["frames"][fid] = {
                "text": "".join(str(t) for t in frame.text),
                "encoding": int(frame.encoding),
            }
    print(json.dumps(out, ensure_ascii=False))


if __name__ == "__main__":
    main(sys.argv[1])

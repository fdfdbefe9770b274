#!/usr/bin/env python3
"""Writes small VGM files of our own: test tones and the fuzz seed corpus.

Also a module: make_demo.py builds the demo tune with the Vgm class.

  make_vgm.py tone OUT.vgm [--clock HZ] [--register N] [--seconds S] [--chip 0|1]
                           [--tag NAME=VALUE]...   GD3 tags: track, game, system,
                           author, date, ripper, notes (English fields)
  make_vgm.py noise OUT.vgm [--clock HZ] [--shift 0-3] [--tone2 N] [--seconds S]
                            white noise at full volume; shift rate 3 follows
                            tone 2 (period register N, silent)
  make_vgm.py pulsing OUT.vgm [--seconds S]
                            both chips, every channel sounding, each
                            attenuation written again every 1/60 s
  make_vgm.py seeds DIR     the seed corpus of the vgm_fuzz target
"""

import argparse
import gzip
import os
import struct
import sys


class Vgm:
    """A VGM file under construction. Bytes for the chips are in the chip's
    own order (bit 7 = latch), as VGM files hold them."""

    def __init__(self, clock=3993600, version=0x151, dual=False, data_at=0x40):
        self.version = version
        self.clock = clock | (0x40000000 if dual else 0)
        self.data_at = data_at
        self.body = bytearray()
        self.loop_at = None   # offset into body
        self.samples = 0
        self.loop_samples = 0
        self._loop_mark = None

    # Commands.
    def write(self, chip, byte):
        self.body += bytes([0x50 if chip == 0 else 0x30, byte & 0xFF])

    def wait(self, samples):
        self.samples += samples
        while samples > 0:
            if samples == 735:
                self.body.append(0x62)
                return
            if samples == 882:
                self.body.append(0x63)
                return
            if samples <= 16:
                self.body.append(0x6F + samples)
                return
            piece = min(samples, 0xFFFF)
            self.body += bytes([0x61, piece & 0xFF, piece >> 8])
            samples -= piece

    def raw(self, data):
        self.body += bytes(data)

    def loop_here(self):
        self.loop_at = len(self.body)
        self._loop_mark = self.samples

    def end(self):
        self.body.append(0x66)

    # Register helpers, in the chip's bit order.
    def tone(self, chip, channel, period):
        self.write(chip, 0x80 | (channel << 5) | (period & 0x0F))
        self.write(chip, (period >> 4) & 0x3F)

    def volume(self, chip, channel, attenuation):
        self.write(chip, 0x90 | (channel << 5) | (attenuation & 0x0F))

    def noise(self, chip, control):
        self.write(chip, 0xE0 | (control & 0x07))

    def to_bytes(self):
        header = bytearray(self.data_at)
        header[0:4] = b"Vgm "
        total = self.data_at + len(self.body)
        struct.pack_into("<I", header, 0x04, total - 4)
        struct.pack_into("<I", header, 0x08, self.version)
        struct.pack_into("<I", header, 0x0C, self.clock)
        struct.pack_into("<I", header, 0x18, self.samples)
        if self.loop_at is not None:
            struct.pack_into("<I", header, 0x1C, self.data_at + self.loop_at - 0x1C)
            struct.pack_into("<I", header, 0x20, self.samples - self._loop_mark)
        struct.pack_into("<I", header, 0x24, 60)
        if self.version >= 0x101:
            struct.pack_into("<HB", header, 0x28, 0x0009, 16)  # Sega noise feedback and width
        if self.version >= 0x150:
            struct.pack_into("<I", header, 0x34, self.data_at - 0x34)
        return bytes(header) + bytes(self.body)


GD3_FIELDS = {"track": 0, "game": 2, "system": 4, "author": 6, "date": 8, "ripper": 9, "notes": 10}


def with_gd3(vgm, tags):
    """vgm with a GD3 block of tags (name: value) after its commands; vgm
    as it is without tags."""
    if not tags:
        return vgm
    fields = [""] * 11
    for name, value in tags.items():
        fields[GD3_FIELDS[name]] = value
    text = b"".join(s.encode("utf-16-le") + b"\0\0" for s in fields)
    tag = b"Gd3 " + struct.pack("<II", 0x100, len(text)) + text
    data = bytearray(vgm)
    struct.pack_into("<I", data, 0x14, len(data) - 0x14)
    struct.pack_into("<I", data, 0x04, len(data) + len(tag) - 4)
    return bytes(data) + tag


def period_for(hz, clock=3993600):
    """Tone period register for a frequency: clock / (32 x period)."""
    return max(1, min(1023, round(clock / (32.0 * hz))))


def tone_vgm(clock, register, seconds, chip):
    v = Vgm(clock=clock, dual=(chip == 1))
    v.tone(chip, 0, register)
    v.volume(chip, 0, 0)
    v.wait(int(seconds * 44100))
    v.end()
    return v.to_bytes()


def noise_vgm(clock, shift, tone2, seconds):
    v = Vgm(clock=clock)
    v.tone(0, 2, tone2)
    v.noise(0, 4 | shift)
    v.volume(0, 3, 0)
    v.wait(int(seconds * 44100))
    v.end()
    return v.to_bytes()


def pulsing_vgm(seconds):
    """Every channel of both chips sounds, and every attenuation is written
    again each 735 samples: a change of gain reaches all of them within
    1/60 s, so a render at the new gain is what follows."""
    v = Vgm(clock=3993600, dual=True)
    for chip in (0, 1):
        for channel, hz in enumerate((220, 277, 330) if chip == 0 else (440, 554, 659)):
            v.tone(chip, channel, period_for(hz))
        v.noise(chip, 4 + chip)
    for tick in range(int(seconds * 60)):
        for chip in (0, 1):
            for channel in range(4):
                v.volume(chip, channel, 6 + (tick + channel + 4 * chip) % 6)
        v.wait(735)
    v.end()
    return v.to_bytes()


def seeds():
    """A handful of small files that reach every branch of the reader."""
    out = {}

    v = Vgm(clock=3579545, version=0x151)
    v.tone(0, 0, 254)
    v.volume(0, 0, 2)
    v.noise(0, 4)
    v.volume(0, 3, 5)
    v.wait(735)
    v.wait(882)
    v.wait(100)
    v.end()
    out["tone_v151.vgm"] = v.to_bytes()

    v = Vgm(clock=2000000, version=0x170, dual=True, data_at=0x80)
    v.tone(0, 1, 300)
    v.tone(1, 2, 150)
    v.volume(1, 2, 0)
    v.loop_here()
    for n in range(1, 17):
        v.wait(n)
    v.raw([0x64, 0x62, 0x20, 0x00, 0x62])  # 0x62 redefined as 32 samples
    v.end()
    out["dual_loop_v170.vgm"] = v.to_bytes()

    v = Vgm(clock=3579545, version=0x160, data_at=0x80)
    v.raw([0x67, 0x66, 0x00] + list(struct.pack("<I", 6)) + [1, 2, 3, 4, 5, 6])
    v.raw([0x90, 0x00, 0x02, 0x00, 0x2A, 0x91, 0x00, 0x00, 0x01, 0x00])
    v.raw([0x92, 0x00] + list(struct.pack("<I", 8000)))
    v.raw([0x93, 0x00, 0, 0, 0, 0, 0x01, 6, 0, 0, 0, 0x95, 0x00, 0, 0, 0, 0x94, 0x00])
    v.raw([0x52, 0x2A, 0x80, 0x53, 0x30, 0x01, 0x81, 0x8F, 0x4F, 0xFF, 0x51, 0x10, 0x20])
    v.raw([0x68, 0x66, 0x00, 0, 0, 0, 0, 0, 0, 1, 0, 0])
    v.raw([0xA0, 1, 2, 0xB0, 1, 2, 0xC0, 1, 2, 3, 0xD0, 1, 2, 3, 0xE0, 0, 0, 0, 0, 0xE1, 1, 2, 3, 4])
    v.raw([0x31, 0, 0x41, 0, 0, 0xA5, 0, 0, 0xC9, 0, 0, 0, 0xD7, 0, 0, 0, 0xF0, 0, 0, 0, 0])
    v.tone(0, 2, 1000)
    v.volume(0, 2, 0)
    v.wait(500)
    v.end()
    out["other_chips_v160.vgm"] = v.to_bytes()
    out["other_chips_v160.vgz"] = gzip.compress(out["other_chips_v160.vgm"], mtime=0)

    v = Vgm(clock=3579545, version=0x101)
    v.loop_here()
    v.tone(0, 0, 100)
    v.volume(0, 0, 0)
    v.wait(300)
    v.end()
    out["loop_v101.vgm"] = v.to_bytes()

    v = Vgm(clock=4000000, version=0x150)
    v.tone(0, 0, 50)
    v.volume(0, 0, 4)
    v.wait(735)  # no end command: the data runs out
    data = bytearray(v.to_bytes())
    struct.pack_into("<I", data, 0x34, 0)  # 1.50 with data offset 0: data at 0x40
    out["no_end_v150.vgm"] = bytes(data)

    out["script.qps"] = (b"rate 22050\nout 0xAC 0x71  # tone 0 latch\nout 0xAC 0xF0\n"
                         b"out 0xAC 0x09\nmix 200\nout 0x108 0\nmix 17000\n")
    return out


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = parser.add_subparsers(dest="command", required=True)
    tone = sub.add_parser("tone", help="one tone channel at full volume")
    tone.add_argument("out")
    tone.add_argument("--clock", type=int, default=3579545)
    tone.add_argument("--register", type=int, default=254)
    tone.add_argument("--tag", action="append", default=[], metavar="NAME=VALUE")
    tone.add_argument("--seconds", type=float, default=2.0)
    tone.add_argument("--chip", type=int, choices=(0, 1), default=0)
    noise = sub.add_parser("noise", help="white noise at full volume")
    noise.add_argument("out")
    noise.add_argument("--clock", type=int, default=3579545)
    noise.add_argument("--shift", type=int, choices=(0, 1, 2, 3), default=0)
    noise.add_argument("--tone2", type=int, default=16)
    noise.add_argument("--seconds", type=float, default=2.0)
    pulsing = sub.add_parser("pulsing", help="both chips sounding, attenuations rewritten every 1/60 s")
    pulsing.add_argument("out")
    pulsing.add_argument("--seconds", type=float, default=20.0)
    seed = sub.add_parser("seeds", help="write the vgm_fuzz seed corpus")
    seed.add_argument("dir")
    args = parser.parse_args()

    if args.command == "tone":
        with open(args.out, "wb") as f:
            tags = dict(t.split("=", 1) for t in args.tag)
            f.write(with_gd3(tone_vgm(args.clock, args.register, args.seconds, args.chip), tags))
    elif args.command == "noise":
        with open(args.out, "wb") as f:
            f.write(noise_vgm(args.clock, args.shift, args.tone2, args.seconds))
    elif args.command == "pulsing":
        with open(args.out, "wb") as f:
            f.write(pulsing_vgm(args.seconds))
    else:
        os.makedirs(args.dir, exist_ok=True)
        for name, data in sorted(seeds().items()):
            with open(os.path.join(args.dir, name), "wb") as f:
                f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Writes demo/demo.vgm: the project's own demo tune for two SN76489 chips.

A minor, about 129 beats a minute, 16 bars on Am F C G and a short tail,
31.9 s in all. Every step of the tune is one 1/60 s tick; the file holds
the register writes of each tick and a 735-sample wait after it.

Chip 0: lead melody (tone 0), arpeggio (tone 1), bass (tone 2), drums
        (noise: hi-hat, snare, and a kick whose pitch drops).
Chip 1: chord pad (tones 0 and 1; tone 2 joins in the first two bars),
        deep bass an octave under the bass (periodic noise clocked by
        tone 2, which stays silent from bar 3 on).

  make_demo.py [OUT]        default: demo/demo.vgm beside tools/
  make_demo.py --check OUT  exit 1 if OUT differs from what this writes
"""

import os
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_vgm import Vgm  # noqa: E402

CLOCK = 3993600          # the chips' own clock: no pitch correction needed
TICK = 735               # samples per tick (1/60 s)
STEP = 7                 # ticks per sixteenth note
BAR = 16 * STEP
BARS = 16
TAIL = 120               # ticks of fade after the last bar
OFF = 15

NOTE_INDEX = {"C": 0, "D": 2, "E": 4, "F": 5, "G": 7, "A": 9, "B": 11}


def hz(name):
    """'A4' -> 440.0; sharps as 'F#4'."""
    semitone = NOTE_INDEX[name[0]] + (1 if "#" in name else 0)
    octave = int(name[-1])
    midi = 12 * (octave + 1) + semitone
    return 440.0 * 2 ** ((midi - 69) / 12.0)


def tone_period(name):
    return max(1, min(1023, round(CLOCK / (32.0 * hz(name)))))


def deep_bass_period(name):
    """Tone 2 period that makes periodic noise (15 steps, one per tone-2
    period of 32 x N clocks) sound at the note: CLOCK / (480 N)."""
    return max(1, min(1023, round(CLOCK / (480.0 * hz(name)))))


# Melody: (note or None for a rest, length in sixteenths); 16 per bar.
PHRASE_1 = [
    ("A4", 3), ("C5", 3), ("E5", 2), ("D5", 2), ("C5", 2), ("B4", 2), ("C5", 2),
    ("F5", 4), ("E5", 2), ("C5", 2), ("A4", 4), ("C5", 4),
    ("G4", 3), ("C5", 3), ("E5", 2), ("G5", 4), ("E5", 2), ("C5", 2),
    ("D5", 6), ("B4", 2), ("G4", 4), (None, 2), ("D5", 2),
]
PHRASE_2 = [
    ("E5", 2), ("A5", 2), ("B5", 2), ("C6", 4), ("B5", 2), ("A5", 2), ("E5", 2),
    ("F5", 4), ("A5", 4), ("G5", 2), ("F5", 2), ("E5", 2), ("D5", 2),
    ("E5", 4), ("G5", 2), ("C6", 4), ("B5", 2), ("G5", 2), ("E5", 2),
    ("D5", 4), ("G5", 4), ("B5", 6), (None, 2),
]
ENDING = PHRASE_1[:12] + [
    ("B4", 4), ("D5", 4), ("G5", 4), ("F5", 2), ("D5", 2),
    ("E5", 4), ("C5", 4), ("A4", 8),
]
MELODY = [(None, 64)] + PHRASE_1 + PHRASE_2 + ENDING  # enters at bar 5

CHORDS = ["Am", "F", "C", "G"] * 3 + ["Am", "F", "G", "Am"]
PAD = {"Am": ("A3", "C4", "E4"), "F": ("A3", "C4", "F4"), "C": ("G3", "C4", "E4"), "G": ("G3", "B3", "D4")}
ARPEGGIO = {"Am": ("A3", "E4", "A4", "C5"), "F": ("F3", "C4", "F4", "A4"),
            "C": ("C4", "G4", "C5", "E5"), "G": ("G3", "D4", "G4", "B4")}
BASS = {"Am": "A3", "F": "F3", "C": "C3", "G": "G3"}
DEEP = {"Am": "A2", "F": "F2", "C": "C2", "G": "G2"}

# Drums per sixteenth of a bar: k kick, s snare, h hi-hat.
GROOVE = "k.h.s.h.k.khs.h."
GROOVE_FILL = "k.h.s.h.k.s.sss."
INTRO_HATS = "h.h.h.h.h.h.h.h."
INTRO_KICK = "k.h.h.h.k.h.h.h."


def melody_events():
    """(start tick, end tick, note) of every melody note."""
    events, tick = [], 0
    for note, sixteenths in MELODY:
        length = sixteenths * STEP
        if note is not None:
            events.append((tick, tick + length, note))
        tick += length
    assert tick == BARS * BAR, tick
    return events


class Channel:
    """What one tone channel sounds in one tick."""

    def __init__(self):
        self.period = None
        self.attenuation = OFF


def render_ticks():
    """For each tick: the wanted state of every channel, and drum triggers."""
    ticks = []
    lead = melody_events()
    lead_at = {}
    for start, end, note in lead:
        for t in range(start, end):
            lead_at[t] = (start, end, note)

    for t in range(BARS * BAR + TAIL):
        bar, in_bar = divmod(t, BAR)
        sixteenth, in_step = divmod(in_bar, STEP)
        tail = bar >= BARS
        chord = CHORDS[min(bar, BARS - 1)]
        fade = max(0, (t - BARS * BAR) // 12) if tail else 0
        state = {}

        # Lead: accent, sustain, slow decay, light vibrato on long notes, and
        # one silent tick before each new note.
        ch = Channel()
        if t in lead_at:
            start, end, note = lead_at[t]
            age = t - start
            ch.period = tone_period(note)
            if age >= 12 and end - start >= 21:
                ch.period += (1, 0, -1, 0)[(age // 3) % 4]
            ch.attenuation = 6 if age < 2 else 7 + min(3, age // 10)
            if t == end - 1 and end - start > 4 and end != BARS * BAR:
                ch.attenuation = OFF
        elif bar == BARS - 1 or tail:
            ch.period = tone_period("A4")
            ch.attenuation = min(OFF, 9 + fade)
        state["lead"] = ch

        # Arpeggio in eighths from bar 3, plucked.
        ch = Channel()
        if 2 <= bar < BARS:
            eighth = in_bar // (2 * STEP)
            age = in_bar % (2 * STEP)
            notes = ARPEGGIO[chord]
            ch.period = tone_period(notes[(0, 1, 2, 3, 2, 1, 2, 3)[eighth]])
            ch.attenuation = min(OFF, 9 + age // 3)
        state["arp"] = ch

        # Bass: octave 3, a pattern of eighths, staccato.
        ch = Channel()
        if bar < BARS:
            pattern = "x.x..xx." if bar >= 2 else "x...x..."
            eighth = in_bar // (2 * STEP)
            age = in_bar % (2 * STEP)
            if pattern[eighth] == "x":
                ch.period = tone_period(BASS[chord])
                if eighth == 6 and bar >= 2:
                    ch.period = tone_period(BASS[chord].replace("3", "4"))  # octave jump
                ch.attenuation = min(OFF, 7 + age // 4)
        else:
            ch.period = tone_period("A3")
            ch.attenuation = min(OFF, 8 + fade)
        state["bass"] = ch

        # Pad: two voices on chip 1 all along, the third in bars 1 and 2.
        for i, name in enumerate(("pad0", "pad1", "pad2")):
            ch = Channel()
            voices = PAD["Am" if tail else chord]
            ch.period = tone_period(voices[i])
            swell = min(4, in_bar // 4)
            ch.attenuation = 15 - swell if not tail else min(OFF, 11 + fade)
            if i == 2 and bar >= 2:
                ch.attenuation = OFF
            state[name] = ch

        # Deep bass from bar 3: chip 1's periodic noise clocked by its tone 2.
        deep = None
        if 2 <= bar < BARS:
            age = in_bar if in_bar < 8 * STEP else in_bar - 8 * STEP
            deep = (deep_bass_period(DEEP[chord]), min(OFF, 7 + age // 10), age == 0)
        elif tail:
            deep = (deep_bass_period("A2"), min(OFF, 7 + fade), t == BARS * BAR)
        state["deep"] = deep

        # Drums: a trigger on the first tick of a sixteenth.
        drum = None
        if bar < BARS:
            if bar < 2:
                groove = INTRO_HATS
            elif bar < 4:
                groove = INTRO_KICK
            elif bar in (7, 11, 14):
                groove = GROOVE_FILL
            else:
                groove = GROOVE
            if bar == BARS - 1:
                groove = "k..............."
            hit = groove[sixteenth]
            if hit != "." and in_step == 0:
                drum = hit
        elif t == BARS * BAR:
            drum = "k"
        state["drum"] = drum
        state["crash"] = bar in (4, 8, 12) and in_bar == 0
        ticks.append(state)
    return ticks


def build():
    v = Vgm(clock=CLOCK, version=0x151, dual=True)
    layout = {"lead": (0, 0), "arp": (0, 1), "bass": (0, 2), "pad0": (1, 0), "pad1": (1, 1), "pad2": (1, 2)}
    last = {key: (None, None) for key in layout}
    deep_period = None
    drum_age = None
    drum_kind = None
    noise_attenuation = [None, None]

    def set_noise_volume(chip, attenuation):
        if noise_attenuation[chip] != attenuation:
            v.volume(chip, 3, attenuation)
            noise_attenuation[chip] = attenuation

    for state in render_ticks():
        for key, (chip, channel) in layout.items():
            ch = state[key]
            period, attenuation = last[key]
            if ch.period is not None and ch.period != period:
                v.tone(chip, channel, ch.period)
                period = ch.period
            if ch.attenuation != attenuation:
                v.volume(chip, channel, ch.attenuation)
                attenuation = ch.attenuation
            last[key] = (period, attenuation)

        # Chip 1 noise: the deep bass (periodic, shift rate 3 = tone 2).
        deep = state["deep"]
        if deep is not None:
            period, attenuation, retrigger = deep
            if period != deep_period:
                v.tone(1, 2, period)
                deep_period = period
            if retrigger:
                v.noise(1, 0x3)
            set_noise_volume(1, attenuation)
        else:
            set_noise_volume(1, OFF)

        # Chip 0 noise: drums.
        if state["drum"] is not None:
            drum_kind, drum_age = state["drum"], 0
        if state["crash"]:
            drum_kind, drum_age = "c", 0
        if drum_age is not None:
            if drum_kind == "k":
                # Periodic noise, shift rate 0, 1, 2: a falling thump.
                if drum_age < 3:
                    v.noise(0, drum_age)
                attenuation = 6 + 2 * drum_age
            elif drum_kind == "s":
                if drum_age == 0:
                    v.noise(0, 0x5)
                attenuation = 7 + drum_age
            elif drum_kind == "c":
                if drum_age == 0:
                    v.noise(0, 0x4)
                attenuation = 7 + drum_age // 5
            else:
                if drum_age == 0:
                    v.noise(0, 0x4)
                attenuation = 10 + 2 * drum_age
            if attenuation >= OFF:
                attenuation, drum_age = OFF, None
            else:
                drum_age += 1
            set_noise_volume(0, attenuation)
        v.wait(TICK)

    for chip in (0, 1):
        for channel in range(4):
            v.volume(chip, channel, OFF)
    v.end()
    data = bytearray(v.to_bytes())
    struct.pack_into("<I", data, 0x24, 60)  # recorded at 60 ticks a second
    return bytes(data) + gd3(data)


def gd3(vgm):
    """A GD3 tag after the commands; fixes the header's offsets in vgm."""
    fields = ["Quarix Demo", "", "", "", "", "", "", "", "The Quarix project", "", ""]
    text = b"".join(s.encode("utf-16-le") + b"\0\0" for s in fields)
    tag = b"Gd3 " + struct.pack("<II", 0x100, len(text)) + text
    struct.pack_into("<I", vgm, 0x14, len(vgm) - 0x14)
    struct.pack_into("<I", vgm, 0x04, len(vgm) + len(tag) - 4)
    return tag


def main():
    args = sys.argv[1:]
    check = bool(args) and args[0] == "--check"
    if check:
        args = args[1:]
    out = args[0] if args else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "demo", "demo.vgm")
    data = build()
    if check:
        with open(out, "rb") as f:
            if f.read() != data:
                print(f"{out} differs from what make_demo.py writes; run tools/make_demo.py", file=sys.stderr)
                return 1
        return 0
    os.makedirs(os.path.dirname(os.path.abspath(out)), exist_ok=True)
    with open(out, "wb") as f:
        f.write(data)
    seconds = (BARS * BAR + TAIL) * TICK / 44100.0
    print(f"{out}: {len(data)} bytes, {seconds:.1f} s")
    return 0


if __name__ == "__main__":
    sys.exit(main())

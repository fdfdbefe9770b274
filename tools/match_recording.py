#!/usr/bin/env python3
"""Checks a recording of live playback against the offline render.

    match_recording.py REFERENCE.wav RECORDING.raw [--min-share S] [--max-stretches N]
                       [--switch OTHER.wav] [--audible-until FRAME]

REFERENCE is the offline render's WAV (16-bit stereo); RECORDING is what
parec took from the sink's monitor, raw 16-bit stereo. The recording must
consist of stretches of the reference, sample for sample, in the reference's
order; silence may stand between them (the recorder joining late, the sound
system running dry) and stretches may be missing (blocks a loaded machine
dropped). Every frame that is not silent must lie in such a stretch; one
shorter than the frames that locate a stretch, between silences, counts
where it lies in the reference in order, within a second of the last.

With --switch, the recording may move once from REFERENCE to OTHER (a render
of the same input with other settings): what comes after the move must match
OTHER, still in order. The frame of the move is reported (and the frame after
the last one matched, where the sound stopped), and up to
--max-unexplained frames may match neither (a change that reaches the
channels one by one).

Every gap between stretches (frames lost, or silence put in) starts a new
stretch, as does the move to OTHER: --max-stretches bounds their number.
--audible-until says where the sound was meant to stop (a reference frame):
the share then counts the frames before it only.
--start-skip N leaves out of the share a gap that follows a first stretch of
at most N frames, and what comes before it: Wine's audio path skips ahead
right after the device opens.

Prints one line of figures; exits 1 when the recording breaks the rules,
has more than N stretches, or holds less than S (default 0.5) of the
reference's (audible) frames.
"""
import argparse
import struct
import sys

KEY = 16  # frames that locate a stretch


def wav_frames(path):
    data = open(path, 'rb').read()
    if data[:4] != b'RIFF' or data[8:12] != b'WAVE':
        sys.exit(f'{path}: not a WAV file')
    size, = struct.unpack_from('<I', data, 40)  # the samples; tags may follow
    return data[44:44 + size]


class Reference:
    def __init__(self, data):
        self.data = data
        self.frames = len(data) // 4
        self.index = {}
        for f in range(self.frames - KEY + 1):
            key = data[4 * f:4 * (f + KEY)]
            self.index.setdefault(key, []).append(f)

    def locate(self, key, not_before):
        offsets = self.index.get(key)
        if not offsets:
            return None
        lo, hi = 0, len(offsets)
        while lo < hi:
            mid = (lo + hi) // 2
            if offsets[mid] < not_before:
                lo = mid + 1
            else:
                hi = mid
        return offsets[lo] if lo < len(offsets) else None

    def find_piece(self, piece, not_before, within):
        """First frame from not_before on, at most within later, where piece starts."""
        start, end = 4 * not_before, 4 * (not_before + within) + len(piece)
        at = self.data.find(piece, start, end)
        while at >= 0 and at % 4 != 0:
            at = self.data.find(piece, at + 1, end)
        return at // 4 if at >= 0 else None

    def run_length(self, rec, r, f):
        """Frames from recording frame r that equal the reference from frame f."""
        limit = min(len(rec) // 4 - r, self.frames - f)
        lo, hi = 0, limit
        # Longest prefix that compares equal, by bisection on slice equality.
        while lo < hi:
            mid = (lo + hi + 1) // 2
            if rec[4 * r:4 * (r + mid)] == self.data[4 * f:4 * (f + mid)]:
                lo = mid
            else:
                hi = mid - 1
        return lo


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('reference')
    parser.add_argument('recording')
    parser.add_argument('--min-share', type=float, default=0.5)
    parser.add_argument('--switch')
    parser.add_argument('--max-unexplained', type=int, default=0)
    parser.add_argument('--max-stretches', type=int)
    parser.add_argument('--audible-until', type=int)
    parser.add_argument('--start-skip', type=int, default=0)
    args = parser.parse_args()

    refs = [Reference(wav_frames(args.reference))]
    if args.switch:
        refs.append(Reference(wav_frames(args.switch)))
    rec = open(args.recording, 'rb').read()
    rec = rec[:len(rec) - len(rec) % 4]
    zero = b'\0\0\0\0'

    which, expected = 0, 0
    r, total = 0, len(rec) // 4
    runs, matched, unexplained, switched_at = 0, 0, 0, None
    stretches = []  # (reference frame, length) of each stretch
    while r < total:
        if rec[4 * r:4 * r + 4] == zero:
            r += 1
            continue
        key = rec[4 * r:4 * (r + KEY)]
        found = None
        for w in range(which, len(refs)):
            # Chip timing does not depend on the settings: OTHER goes on from where REFERENCE stopped.
            f = refs[w].locate(key, expected) if len(key) == 4 * KEY else None
            if f is not None:
                found = (w, f)
                break
        if found is None:
            if total - r < KEY:
                break  # the recorder stopped inside a stretch
            # Too short for a key: a piece the sound system played between
            # two times it ran dry. It must end in silence and lie in the
            # reference in order, within a second of the last stretch.
            n = 1
            while n < KEY and rec[4 * (r + n):4 * (r + n) + 4] != zero:
                n += 1
            f = refs[which].find_piece(rec[4 * r:4 * (r + n)], expected, 44100) if n < KEY else None
            if f is not None:
                runs += 1
                matched += n
                expected = f + n
                r += n
                continue
            unexplained += 1
            r += 1
            continue
        w, f = found
        if w != which:
            which, switched_at = w, f
        n = refs[w].run_length(rec, r, f)
        stretches.append((f, n))
        runs += 1
        matched += n
        expected = f + n
        r += n

    frames = refs[-1].frames
    if args.audible_until is not None:
        frames = min(frames, args.audible_until)
    left_out = ''
    if len(stretches) > 1 and stretches[0][1] <= args.start_skip:
        frames -= stretches[1][0]
        matched -= stretches[0][1]
        left_out = f' (the first {stretches[1][0]} left out: a start-up skip after {stretches[0][1]})'
    share = matched / frames if frames else 0.0
    print(f'recorded {total} frames: {runs} stretches, {matched} frames matched '
          f'({share:.1%} of the reference\'s {frames}'
          + (' audible' if args.audible_until is not None else '')
          + f'{left_out}; {frames - matched} missing), '
          f'{unexplained} unexplained'
          + (f', switched at reference frame {switched_at}' if args.switch else '')
          + f', last matched reference frame {expected}')
    if args.max_stretches is not None and runs > args.max_stretches:
        print(f'FAIL: {runs} stretches, at most {args.max_stretches} allowed')
        sys.exit(1)
    if unexplained > args.max_unexplained or share < args.min_share or (args.switch and switched_at is None):
        print(f'FAIL: wanted at most {args.max_unexplained} unexplained frames, a share of at least '
              f'{args.min_share:.1%}' + (' and a switch' if args.switch else ''))
        sys.exit(1)


if __name__ == '__main__':
    main()

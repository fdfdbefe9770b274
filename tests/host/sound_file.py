#!/usr/bin/env python3
"""sound_file.py WAV FLAC: the FLAC passes flac -t and decodes to the WAV's
samples, and both carry the tags of frontends.sh's tagged tone (the WAV in
its LIST/INFO chunk after the samples). Exits 1 naming what differs."""
import struct
import subprocess
import sys

WANT = {'TITLE': 'Th\u00e9me', 'ALBUM': 'Game', 'ARTIST': 'Author', 'DATE': '1990',
        'COMMENT': 'Line 1\nLine 2', 'SYSTEM': 'System', 'RIPPER': 'Ripper'}
INFO = {'INAM': 'TITLE', 'IPRD': 'ALBUM', 'IART': 'ARTIST', 'ICRD': 'DATE', 'ICMT': 'COMMENT',
        'ISRF': 'SYSTEM', 'ITCH': 'RIPPER'}


def run(*args):
    return subprocess.run(args, check=True, capture_output=True).stdout


def wav_parts(data):
    """The samples and the INFO tags after them."""
    size, = struct.unpack_from('<I', data, 40)
    rest, tags, at = data[44 + size:], {}, 12
    if rest[:4] == b'LIST' and rest[8:12] == b'INFO':
        while at + 8 <= len(rest):
            n, = struct.unpack_from('<I', rest, at + 4)
            tags[INFO.get(rest[at:at + 4].decode(), '?')] = rest[at + 8:at + 8 + n].rstrip(b'\0').decode()
            at += 8 + n + n % 2
    return data[44:44 + size], tags


def flac_tags(path):
    """Vorbis comments; a line without '=' continues the value before."""
    tags, last = {}, None
    for line in run('metaflac', '--export-tags-to=-', path).decode().splitlines():
        if '=' in line:
            last, value = line.split('=', 1)
            tags[last] = value
        elif last:
            tags[last] += '\n' + line
    return tags


samples, wav_tags = wav_parts(open(sys.argv[1], 'rb').read())
flac = sys.argv[2]
run('flac', '-t', '-s', flac)
decoded = run('flac', '-d', '-c', '-s', '--force-raw-format', '--endian=little', '--sign=signed', flac)
problems = [what for what, bad in [
    ('decoded samples differ from the WAV\'s', not samples or decoded != samples),
    ('FLAC tags %r' % flac_tags(flac), flac_tags(flac) != WANT),
    ('WAV tags %r' % wav_tags, wav_tags != WANT)] if bad]
sys.exit('; '.join(problems) if problems else 0)

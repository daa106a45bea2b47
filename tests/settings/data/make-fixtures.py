#!/usr/bin/env python3
# Writes the QBK.INI fixtures of the settings reader's golden tests:
# python3 make-fixtures.py (in this folder). The .ini files are committed;
# their expected dumps (*.expected) are written by hand from the rules of
# the file, never from the reader's output.
#
# Every version's record holds the same values, also in the bytes that the
# version did not have yet, so that each dump shows what the upgrades
# replace. All values are within their ranges except in bad-signature.ini,
# whose hand edits show what a file that is not used keeps.
import os
import struct

RECORD_BYTES = 280

# offset: byte, or (offset, 'w'): 16-bit little-endian word
BASE = {
    (4, 'w'): 50, (6, 'w'): 2, (8, 'w'): 5,
    10: 0xB0, 11: 1, 12: 1, 13: 1, 14: 1, 15: 1, 16: 1, 17: 0, 18: 1, 19: 1,
    20: 1, 21: 1, 22: 1, 23: 0, 24: 1, 25: 3, 26: 1, 27: 2, 28: 2, 29: 0,
    30: 1, 31: 1,
    32: 0x17, 33: 0x2B, 34: 0x4E, 35: ord('.'), 36: 0x5A, 37: 0x18,
    38: 0x1C, 39: 0x00, 40: 1, 41: 0x3A, 42: 0x00,
    43: 2, 44: 3, 45: 1, 46: 1, 47: 0x1D, 48: 0x6F, 49: 0x2E,
    51: 1, 52: 2, 53: 1, 54: 7, 55: 1, 56: 1, 57: 1, 58: 1, 59: 1, 60: 1,
    61: 0, 62: 1, 64: 2, 65: 1, 66: 1, 67: 1, 68: 40, 69: 1, 70: 1, 71: 2,
    72: 1, 73: 0x30,
    102: 2, 103: 1, 104: 0, 105: 1, 106: 1, 107: 4, 108: 0, 109: 0, 110: 1,
    111: 2, 112: 0, 113: 3, 114: 1, 115: 1, 116: 5, 117: ord('S'),
    118: ord('R'), 119: 2, 120: 1, 121: 1, 122: 1, 123: 1, 124: 1,
    (126, 'w'): 300,
    247: 1, 248: 1, 249: 1, 250: 1, 251: 1, 252: 0x91, 253: 1, 254: 1, 255: 1,
    (256, 'w'): 132, 258: 1, 259: 1, 260: 5, 261: 2, 262: 1, 263: 1, 264: 1,
    265: 1, 266: 1, 267: 1, 268: 2, 269: 1, 270: 1,
    (272, 'w'): 2, (274, 'w'): 9, (276, 'w'): 1, 278: 1,
}


def record(version, edits=None, signature=b'QB'):
    r = bytearray(RECORD_BYTES)
    r[0:2] = signature
    r[2] = ord(version)
    for key, value in {**BASE, **(edits or {})}.items():
        if isinstance(key, tuple):
            struct.pack_into('<H', r, key[0], value)
        else:
            r[key] = value
    return r


def put_text(r, offset, text):
    r[offset:offset + len(text) + 1] = text.encode('ascii') + b'\0'


def strings(*texts):
    out = bytearray()
    for t in texts:
        b = t.encode('ascii')
        out.append(len(b))
        out += b
    return out


SEVEN = ('qedit -w', 'qaltedit', 'qview', 'START qaltview -x', 'qraz -b',
         'qaltraz %4 %5', 'C:\\tools\\qb\\')


def main():
    files = {}
    # Below version '2' the commands live in the record; byte 74 held an
    # Alt-Viewer that the file manager does not take.
    v1 = record('1')
    put_text(v1, 74, 'oldalt')
    put_text(v1, 128, 'oldedit -r')
    put_text(v1, 183, 'oldview')
    files['version-1.ini'] = v1
    files['version-4.ini'] = record('4') + strings('edit4 [SINGLE]', '', 'view4', 'altview4')
    files['version-9.ini'] = record('9') + strings('', 'altedit9', '', '', 'razcmp [SFN] -q', 'altraz')
    files['version-semicolon.ini'] = record(';') + strings(
        'edsemi -n', '', 'vwsemi', '', 'razsemi %2 %1', '', 'C:\\qb-tools\\')
    files['version-current.ini'] = record('?') + strings(*SEVEN)
    files['bad-signature.ini'] = record('?', {
        (8, 'w'): 7, 35: ord('_'), 52: 9, 58: 2, 261: 1, 64: 7, 269: 9,
        (272, 'w'): 4, (274, 'w'): 5,
    }, signature=b'QC') + strings(*SEVEN)
    files['short.ini'] = (record('?') + strings(*SEVEN))[:200]
    for name, data in files.items():
        with open(name, 'wb') as f:
            f.write(data)

    seeds = {name: files[name] for name in
             ('version-1.ini', 'version-4.ini', 'version-9.ini', 'version-current.ini',
              'bad-signature.ini', 'short.ini')}
    seeds['long-strings.ini'] = record('?') + strings(*(c * 255 for c in 'EeVvRrT'))
    corpus = os.path.join('..', '..', 'fuzz', 'corpus', 'settings_fuzz')
    os.makedirs(corpus, exist_ok=True)
    for name, data in seeds.items():
        with open(os.path.join(corpus, name), 'wb') as f:
            f.write(data)


main()

#!/usr/bin/env python3
# Generates wctype_table.cpp, the character-class masks of every BMP code
# point, from the Unicode 5.1 general categories in gc-5.1.0.txt.
# Usage: gen_wctype.py [gc-5.1.0.txt] [output.cpp]   (defaults: beside this file)
#
# The table is two-level: a 256-entry index by high byte picks one of the
# distinct 256-mask pages, so the large uniform blocks (ideographs,
# syllables, surrogates, private use) share a single page each.

import os
import sys

UPPER, LOWER, DIGIT, SPACE, PUNCT = 0x001, 0x002, 0x004, 0x008, 0x010
CONTROL, BLANK, XDIGIT, ALPHA, DEFINED = 0x020, 0x040, 0x080, 0x100, 0x200

# The first 256 code points keep the classic Latin-1 classes: no "defined"
# bit, tab is not blank, U+00A0 is space but not blank, and the superscript
# digits count as digits.
LATIN1 = [
    ([(0x00, 0x08), (0x0E, 0x1F), (0x7F, 0x84), (0x86, 0x9F)], CONTROL),
    ([(0x09, 0x0D), (0x85, 0x85)], CONTROL | SPACE),
    ([(0x20, 0x20)], SPACE | BLANK),
    ([(0x21, 0x2F), (0x3A, 0x40), (0x5B, 0x60), (0x7B, 0x7E), (0xA1, 0xA9),
      (0xAB, 0xAC), (0xAE, 0xB1), (0xB4, 0xB4), (0xB6, 0xB8), (0xBB, 0xBF),
      (0xD7, 0xD7), (0xF7, 0xF7)], PUNCT),
    ([(0x30, 0x39)], XDIGIT | DIGIT),
    ([(0x41, 0x46)], ALPHA | XDIGIT | UPPER),
    ([(0x47, 0x5A), (0xC0, 0xD6), (0xD8, 0xDE)], ALPHA | UPPER),
    ([(0x61, 0x66)], ALPHA | XDIGIT | LOWER),
    ([(0x67, 0x7A), (0xDF, 0xF6), (0xF8, 0xFF)], ALPHA | LOWER),
    ([(0xA0, 0xA0)], SPACE),
    ([(0xAA, 0xAA), (0xB5, 0xB5), (0xBA, 0xBA)], ALPHA | PUNCT | LOWER),
    ([(0xAD, 0xAD)], CONTROL | PUNCT),
    ([(0xB2, 0xB3), (0xB9, 0xB9)], PUNCT | DIGIT),
]

# From U+0100 on, the mask follows the general category.
BY_CATEGORY = {
    'Lu': DEFINED | ALPHA | UPPER,
    'Ll': DEFINED | ALPHA | LOWER,
    'Lt': DEFINED | ALPHA | UPPER | LOWER,
    'Lm': DEFINED | ALPHA, 'Lo': DEFINED | ALPHA, 'Nl': DEFINED | ALPHA,
    'Nd': DEFINED | DIGIT,
    'Pc': DEFINED | PUNCT, 'Pd': DEFINED | PUNCT, 'Ps': DEFINED | PUNCT,
    'Pe': DEFINED | PUNCT, 'Pi': DEFINED | PUNCT, 'Pf': DEFINED | PUNCT,
    'Po': DEFINED | PUNCT,
    'Zs': DEFINED | SPACE, 'Zl': DEFINED | SPACE, 'Zp': DEFINED | SPACE,
    'Cf': DEFINED | CONTROL,
    'Mn': DEFINED, 'Mc': DEFINED, 'Me': DEFINED, 'Sm': DEFINED, 'Sc': DEFINED,
    'Sk': DEFINED, 'So': DEFINED, 'No': DEFINED, 'Co': DEFINED, 'Cs': DEFINED,
    'Cc': DEFINED,
    'Cn': 0,
}

# Code points whose class is not the one their category gives: the Thai
# vowel and tone marks count as letters, the ideographic space is blank,
# the byte-order mark is a blank control, and the fullwidth digits and A-F
# are hexadecimal digits like their ASCII models.
EXCEPTIONS = [
    ((0x0E31, 0x0E31), DEFINED | ALPHA),
    ((0x0E34, 0x0E3A), DEFINED | ALPHA),
    ((0x0E47, 0x0E4E), DEFINED | ALPHA),
    ((0x3000, 0x3000), DEFINED | BLANK | SPACE),
    ((0xFEFF, 0xFEFF), DEFINED | BLANK | CONTROL),
    ((0xFF10, 0xFF19), DEFINED | XDIGIT | DIGIT),
    ((0xFF21, 0xFF26), DEFINED | ALPHA | XDIGIT | UPPER),
    ((0xFF41, 0xFF46), DEFINED | ALPHA | XDIGIT | LOWER),
]


def read_categories(path):
    """Returns the category of each of the 65536 code points; every code
    point must be covered exactly once."""
    cats = [None] * 0x10000
    with open(path, encoding='ascii') as f:
        for lineno, line in enumerate(f, 1):
            line = line.strip()
            if not line or line.startswith('#'):
                continue
            rng, cat = line.split()
            first, last = (int(x, 16) for x in rng.split('..'))
            if cat not in BY_CATEGORY:
                sys.exit(f'{path}:{lineno}: unknown category {cat}')
            for cp in range(first, last + 1):
                if cats[cp] is not None:
                    sys.exit(f'{path}:{lineno}: U+{cp:04X} listed twice')
                cats[cp] = cat
    missing = [cp for cp in range(0x10000) if cats[cp] is None]
    if missing:
        sys.exit(f'{path}: U+{missing[0]:04X} and {len(missing) - 1} more not listed')
    return cats


def build_masks(cats):
    masks = [BY_CATEGORY[c] for c in cats]
    for cp in range(0x100):
        masks[cp] = None
    for ranges, mask in LATIN1:
        for first, last in ranges:
            for cp in range(first, last + 1):
                if masks[cp] is not None:
                    sys.exit(f'U+{cp:04X} appears twice in the Latin-1 table')
                masks[cp] = mask
    if None in masks[:0x100]:
        sys.exit(f'U+{masks.index(None):04X} missing from the Latin-1 table')
    for (first, last), mask in EXCEPTIONS:
        for cp in range(first, last + 1):
            masks[cp] = mask
    return masks


def build_pages(masks):
    """Splits the masks into 256-entry pages, numbered in order of first use,
    with identical pages stored once."""
    pages, index, seen = [], [], {}
    for hi in range(256):
        page = tuple(masks[hi << 8:(hi + 1) << 8])
        if page not in seen:
            seen[page] = len(pages)
            pages.append(page)
        index.append(seen[page])
    return index, pages


def render(index, pages):
    out = [
        '// Character-class masks of every BMP code point (Unicode 5.1), as a',
        '// high-byte index into shared 256-entry pages. Generated by',
        '// gen_wctype.py from gc-5.1.0.txt; do not edit by hand.',
        '#include "unicode/wctype_table.h"',
        '',
        f'static_assert(WCTYPE_PAGE_COUNT == {len(pages)});',
        '',
        'const BYTE gWctypeIndex[256] = {',
    ]
    for row in range(0, 256, 16):
        out.append('    ' + ' '.join(f'{p},' for p in index[row:row + 16]))
    out.append('};')
    out.append('')
    out.append('const WORD gWctypePages[WCTYPE_PAGE_COUNT][256] = {')
    for number, page in enumerate(pages):
        users = [hi for hi in range(256) if index[hi] == number]
        if len(users) == 1:
            note = f'high byte {users[0]:02X}'
        else:
            note = f'{len(users)} high bytes, first {users[0]:02X}'
        out.append(f'    // page {number}: {note}')
        out.append('    {')
        for row in range(0, 256, 16):
            out.append('        ' + ' '.join(f'0x{m:03X},' for m in page[row:row + 16]))
        out.append('    },')
    out.append('};')
    return '\n'.join(out) + '\n'


def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    source = argv[1] if len(argv) > 1 else os.path.join(here, 'gc-5.1.0.txt')
    target = argv[2] if len(argv) > 2 else os.path.join(here, 'wctype_table.cpp')
    index, pages = build_pages(build_masks(read_categories(source)))
    text = render(index, pages)
    with open(target, 'w', encoding='ascii', newline='\n') as f:
        f.write(text)
    shared = sorted(((index.count(n), n) for n in range(len(pages))), reverse=True)
    summary = ', '.join(f'page {n} x{count} (mask {pages[n][0]:#05x})'
                        for count, n in shared if count > 1)
    print(f'{target}: {len(pages)} pages; shared: {summary}')


if __name__ == '__main__':
    main(sys.argv)

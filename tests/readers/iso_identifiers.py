"""The ISO 9660 identifier that Kestrel records in the primary volume for a
source name, for the reader checks that compare what a reader lists with the
source folder.

Identifiers are made of d-characters: letters are raised to upper case,
"A"-"Z", "0"-"9" and "_" stay, and every other character (a surrogate pair,
that is any character beyond U+FFFF, counting as one) becomes "_". Folders
keep their first 8 characters; files become 8 + "." + 3 + ";1", split at the
last dot of the name. Names that meet in one identifier get "_N" in the
image; the trees compared through this rule avoid them.

joliet_names gives the names of the Joliet hierarchy of one folder."""

import os


def d_character(ch):
    if "a" <= ch <= "z":
        return ch.upper()
    if "A" <= ch <= "Z" or "0" <= ch <= "9" or ch == "_":
        return ch
    return "_"


def mapped(text, limit):
    return "".join(d_character(ch) for ch in text[:limit])


def identifier(name, is_dir):
    if is_dir:
        return mapped(name, 8).encode("ascii")
    dot = name.rfind(".")
    base, ext = (name, "") if dot < 0 else (name[:dot], name[dot + 1:])
    return (mapped(base, 8) + "." + mapped(ext, 3) + ";1").encode("ascii")


# Joliet names: UCS-2 (UTF-16) units, at most 64, as Kestrel records them.
JOLIET_UNITS = 64
KEPT_EXTENSION_UNITS = 16
JOLIET_FORBIDDEN = set("*/:;?\\")


def _units(text):
    data = text.encode("utf-16-be", "surrogatepass")
    return [int.from_bytes(data[i:i + 2], "big") for i in range(0, len(data), 2)]


def _text(units):
    return b"".join(u.to_bytes(2, "big") for u in units).decode("utf-16-be", "surrogatepass")


def _cut(units, count):
    if count >= len(units):
        return units
    if count > 0 and 0xD800 <= units[count - 1] <= 0xDBFF:
        count -= 1
    return units[:count]


def _fitted(units, suffix):
    dot = max((i for i, u in enumerate(units) if u == ord(".")), default=-1)
    base, ext = units, []
    if dot > 0 and len(units) - dot <= KEPT_EXTENSION_UNITS:
        base, ext = units[:dot], units[dot:]
    return _cut(base, JOLIET_UNITS - len(suffix) - len(ext)) + suffix + ext


def _fold(unit):
    if ord("a") <= unit <= ord("z") or (0xE0 <= unit <= 0xFE and unit != 0xF7):
        return unit - 0x20
    if unit == 0xFF:
        return 0x178
    if unit == 0x3C2:
        return 0x3A3
    if 0x3B1 <= unit <= 0x3C9 or 0x430 <= unit <= 0x44F:
        return unit - 0x20
    if 0x450 <= unit <= 0x45F:
        return unit - 0x50
    return unit


def _joliet_form(name):
    """The Joliet form of one name and whether it differs from the name."""
    units, altered, i = [], False, 0
    source = _units(name)
    while i < len(source):
        u = source[i]
        if 0xD800 <= u <= 0xDBFF and i + 1 < len(source) and 0xDC00 <= source[i + 1] <= 0xDFFF:
            units += [u, source[i + 1]]
            i += 2
            continue
        if u < 0x20 or chr(u) in JOLIET_FORBIDDEN or 0xD800 <= u <= 0xDFFF:
            units.append(ord("_"))
            altered = True
        else:
            units.append(u)
        i += 1
    if len(units) > JOLIET_UNITS:
        units, altered = _fitted(units, []), True
    for j in range(len(units) - 1, -1, -1):
        if units[j] != ord("."):
            break
        units[j], altered = ord("_"), True
    return units, altered


def joliet_names(names):
    """The Joliet name of each of the names of one folder: unique without
    regard to case, the first (by UTF-16 units) that Joliet holds as it is
    keeping its name, the others numbered "~N". Returns {name: joliet name}."""
    order = sorted(names, key=lambda n: (_units(n), os.fsencode(n)))
    forms = {n: _joliet_form(n) for n in order}
    groups = {}
    for n in order:
        groups.setdefault(tuple(_fold(u) for u in forms[n][0]), []).append(n)
    taken = set(groups)
    result = {n: _text(forms[n][0]) for n in order}
    for key, group in groups.items():
        if len(group) < 2:
            continue
        keeper = next((n for n in group if not forms[n][1]), group[0])
        number = 1
        for n in group:
            if n == keeper:
                continue
            while True:
                candidate = _fitted(forms[n][0], _units("~%d" % number))
                number += 1
                folded = tuple(_fold(u) for u in candidate)
                if folded not in taken:
                    taken.add(folded)
                    break
            result[n] = _text(candidate)
    return result

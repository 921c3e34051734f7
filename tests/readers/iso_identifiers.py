"""The ISO 9660 identifier that Kestrel records in the primary volume for a
source name, for the reader checks that compare what a reader lists with the
source folder.

Identifiers are made of d-characters: letters are raised to upper case,
"A"-"Z", "0"-"9" and "_" stay, and every other character (a surrogate pair,
that is any character beyond U+FFFF, counting as one) becomes "_". Folders
keep their first 8 characters; files become 8 + "." + 3 + ";1", split at the
last dot of the name. Names that meet in one identifier get "_N" in the
image; the trees compared through this rule avoid them."""


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

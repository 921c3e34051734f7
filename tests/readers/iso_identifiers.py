"""The ISO 9660 identifier that Kestrel records for a source name, for the
reader checks that compare what a reader lists with the source folder.

Names are converted to Windows-1252 ("?" for characters the code page
lacks), folders keep their first 8 bytes, files become 8 + "." + 3 + ";1".
Names that shorten alike get "~N" in the image; the trees compared through
this rule avoid them."""

CAPACITY = 260  # bytes of the converted name
# The slots Windows-1252 leaves unassigned convert to the same byte.
C1_SAME = {0x81, 0x8D, 0x8F, 0x90, 0x9D}


def ansi(name):
    out = bytearray()
    for ch in name:
        try:
            b = ch.encode("cp1252")
        except UnicodeEncodeError:
            b = bytes([ord(ch)]) if ord(ch) in C1_SAME else b"?"
        if len(out) + len(b) > CAPACITY:
            break
        out += b
    return bytes(out)


def identifier(name, is_dir):
    raw = ansi(name)
    if is_dir:
        return raw[:8]
    dot = raw.rfind(b".")
    base, ext = (raw, b"") if dot < 0 else (raw[:dot], raw[dot + 1:])
    return base[:8] + b"." + ext[:3] + b";1"

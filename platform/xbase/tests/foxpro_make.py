# Visual FoxPro files built byte by byte from the file layout (for what
# python3-dbf cannot write), independently of the engine:
#   foxpro_make.py varlen STEM     STEM.dbf with varchar (V), varbinary (Q),
#                                  blob (W) fields and null flags, STEM.fpt,
#                                  and STEM.cdx with tags NAME (nullable V) and ID
#   foxpro_make.py nulltags STEM   STEM.cdx for the table dbf_make.py nullable
#                                  writes: tags NAME, QTY, WHEN (nullable C, N, D),
#                                  UNAME (UPPER(NAME)) and ID, keys as FoxPro makes them
import datetime
import struct
import sys

# ---- CDX: compact compound index ----------------------------------------
# Header 1024 bytes: root, free list, counter, key length, options, signature,
# 502 descending, 504 expression length, 506 FOR pool, 510 key pool, 512 pool.
# Leaf node 512 bytes: attributes 3 (root leaf), count, left, right, free
# space, record/duplicate/trailing masks, their bit counts, bytes per entry,
# entries from offset 24, key bytes from the end backwards.

NONE = 0xFFFFFFFF


def header(root, key_len, options, key_expr, for_expr=b""):
    h = bytearray(1024)
    struct.pack_into("<IIIHBB", h, 0, root, NONE, 1, key_len, options, 1)
    pool = key_expr + b"\0" + for_expr + b"\0"
    struct.pack_into("<HHHHH", h, 502, 0, len(pool) - 1, len(for_expr) + 1, 0, len(key_expr) + 1)
    h[512:512 + len(pool)] = pool
    return bytes(h)


def leaf(entries, key_len, pad):
    """entries: sorted (key bytes, recno); one root leaf node."""
    count_bits = key_len.bit_length()
    rec_bits = 24 - 2 * count_bits
    node = bytearray(512)
    info_at, key_end = 24, 512
    prev = None
    for key, recno in entries:
        assert len(key) == key_len and recno < (1 << rec_bits)
        trail = len(key) - len(key.rstrip(pad))
        dup = 0
        if prev is not None:
            limit = min(key_len - trail, key_len - prev[1])
            while dup < limit and prev[0][dup] == key[dup]:
                dup += 1
        stored = key[dup:key_len - trail]
        key_end -= len(stored)
        node[key_end:key_end + len(stored)] = stored
        info = recno | (dup << rec_bits) | (trail << (rec_bits + count_bits))
        node[info_at:info_at + 3] = info.to_bytes(3, "little")
        info_at += 3
        prev = (key, trail)
    assert info_at <= key_end, "entries do not fit one leaf"
    struct.pack_into("<HHIIH", node, 0, 3, len(entries), NONE, NONE, key_end - info_at)
    struct.pack_into("<I", node, 14, (1 << rec_bits) - 1)
    node[18] = (1 << count_bits) - 1
    node[19] = (1 << count_bits) - 1
    node[20], node[21], node[22], node[23] = rec_bits, count_bits, count_bits, 3
    return bytes(node)


def cdx(tags):
    """tags: (name, key expression, key length, pad byte, sorted entries)."""
    image = bytearray(1536)  # directory header and its leaf
    names = []
    for name, expr, key_len, pad, entries in tags:
        at = len(image)
        image += header(at + 1024, key_len, 0x60, expr.encode())
        image += leaf(entries, key_len, pad)
        names.append((name.encode().ljust(10, b" "), at))
    names.sort()
    image[0:1024] = header(1024, 10, 0xE0, b"")
    image[1024:1536] = leaf(names, 10, b" ")
    return bytes(image)


def sortable_double(d):
    bits = struct.unpack(">Q", struct.pack(">d", d))[0]
    bits = bits ^ 0xFFFFFFFFFFFFFFFF if bits >> 63 else bits | (1 << 63)
    return bits.to_bytes(8, "big")


def julian(d):
    return d.toordinal() + 1721425


def null_key(value, width, pad):
    """FoxPro's key over a nullable field: 0x80 and the value, or 0x00 for null."""
    return b"\0" + pad * width if value is None else b"\x80" + value


# ---- DBF with varchar, varbinary, blob and null flags --------------------


def varlen(stem):
    # name, type, width, flags
    fields = [("ID", b"I", 4, 0), ("NAME", b"V", 10, 2), ("CODE", b"Q", 6, 0),
              ("PIC", b"W", 4, 0), ("NOTE", b"C", 5, 0), ("_NullFlags", b"0", 1, 5)]
    # Null-flag bits in field order: NAME length 0, NAME null 1, CODE length 2.
    rows = [(1, b"pear", b"\x01\x02", b"\x89PNG\0\x01blob one", b"x"),
            (2, None, b"ABCDEF", b"", b"y"),
            (3, b"watermelon", b"", b"\0\0blob two\xff", b"z")]
    fpt = bytearray(512)
    block_size = 64
    records = []
    for rid, name, code, pic, note in rows:
        flags = 0
        if name is None:
            name_bytes, flags = b" " * 10, flags | 2
        elif len(name) < 10:
            name_bytes, flags = name.ljust(9, b" ") + bytes([len(name)]), flags | 1
        else:
            name_bytes = name
        if len(code) < 6:
            code_bytes, flags = code.ljust(5, b"\0") + bytes([len(code)]), flags | 4
        else:
            code_bytes = code
        block = 0
        if pic:
            block = len(fpt) // block_size
            data = struct.pack(">II", 0, len(pic)) + pic
            fpt += data + b"\0" * (-len(data) % block_size)
        records.append(b" " + struct.pack("<i", rid) + name_bytes + code_bytes +
                       struct.pack("<I", block) + note.ljust(5, b" ") + bytes([flags]))
    struct.pack_into(">I", fpt, 0, len(fpt) // block_size)
    struct.pack_into(">H", fpt, 6, block_size)
    desc = b""
    offset = 1
    for name, ftype, width, flags in fields:
        desc += name.encode().ljust(11, b"\0") + ftype + struct.pack("<I", offset) + \
            bytes([width, 0, flags]) + b"\0" * 13
        offset += width
    header_len = 32 + len(desc) + 1 + 263
    head = struct.pack("<B3BIHH", 0x32, 124, 1, 2, len(rows), header_len, offset) + b"\0" * 16 + \
        bytes([0x03, 0x03]) + b"\0\0"
    with open(stem + ".dbf", "wb") as f:
        f.write(head + desc + b"\x0d" + b"\0" * 263 + b"".join(records) + b"\x1a")
    with open(stem + ".fpt", "wb") as f:
        f.write(bytes(fpt))
    names = sorted((null_key(name.ljust(10, b" ") if name else None, 10, b" "), rid)
                   for rid, name, _, _, _ in rows)
    ids = sorted((struct.pack(">I", rid ^ 0x80000000), rid) for rid, *_ in rows)
    with open(stem + ".cdx", "wb") as f:
        f.write(cdx([("NAME", "NAME", 11, b" ", names), ("ID", "ID", 4, b"\0", ids)]))


# ---- a CDX for the nullable table of dbf_make.py ---------------------------


def read_dbf(path):
    """Rows of a table as {field: bytes or None for null}, from its bytes."""
    b = open(path, "rb").read()
    count, header_len, rec_len = struct.unpack_from("<IHH", b, 4)
    fields, at = [], 32
    while b[at] != 0x0D:
        name = b[at:at + 11].split(b"\0")[0].decode()
        fields.append((name.upper(), chr(b[at + 11]), b[at + 16], b[at + 18],
                       struct.unpack_from("<I", b, at + 12)[0]))
        at += 32
    flags_field = [f for f in fields if f[1] == "0"][0]
    bits, bit = {}, 0
    for name, ftype, width, flags, offset in fields:
        if flags & 1:
            continue
        if flags & 2:
            bits[name], bit = bit, bit + 1
    rows = []
    for r in range(count):
        rec = b[header_len + r * rec_len:header_len + (r + 1) * rec_len]
        null_bytes = rec[flags_field[4]:flags_field[4] + flags_field[2]]
        row = {}
        for name, ftype, width, flags, offset in fields:
            is_null = name in bits and null_bytes[bits[name] // 8] >> (bits[name] % 8) & 1
            row[name] = None if is_null else rec[offset:offset + width]
        rows.append(row)
    return rows


def nulltags(stem):
    name, uname, qty, when, ids = [], [], [], [], []
    for recno, r in enumerate(read_dbf(stem + ".dbf"), 1):
        name.append((null_key(r["NAME"], 10, b" "), recno))
        uname.append((null_key(r["NAME"] and r["NAME"].upper(), 10, b" "), recno))
        q = r["QTY"]
        qty.append((null_key(q and sortable_double(float(q.strip() or 0)), 8, b"\0"), recno))
        w = r["WHEN"]
        day = w and sortable_double(julian(datetime.date(int(w[:4]), int(w[4:6]), int(w[6:]))))
        when.append((null_key(day, 8, b"\0"), recno))
        rid = struct.unpack("<i", r["ID"])[0]
        ids.append((struct.pack(">I", (rid & 0xFFFFFFFF) ^ 0x80000000), recno))
    with open(stem + ".cdx", "wb") as f:
        f.write(cdx([("NAME", "NAME", 11, b" ", sorted(name)),
                     ("QTY", "QTY", 9, b"\0", sorted(qty)),
                     ("WHEN", "WHEN", 9, b"\0", sorted(when)),
                     ("UNAME", "UPPER(NAME)", 11, b" ", sorted(uname)),
                     ("ID", "ID", 4, b"\0", sorted(ids))]))


{"varlen": varlen, "nulltags": nulltags}[sys.argv[1]](sys.argv[2])

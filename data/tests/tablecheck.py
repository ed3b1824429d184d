"""Checks tables with outside readers, as a crash test needs them checked:
each DBF reads whole with dbfread and holds as many records as its header
says, and each tag of its compound index (DBD::XBase's index_dump) lists
the records in key order with their keys: one entry per record, or for a
unique tag one per distinct key. Prints one line per problem; exits 1 when
there is any. Run with Debian's /usr/bin/python3:

    tablecheck.py TABLE.DBF TAG[!] ... [-- TABLE.DBF TAG[!] ...]

A "!" after a tag marks it unique. The index is the table's .cdx beside it,
found without regard to case."""
import os
import struct
import subprocess
import sys

import dbfread


def problems_of(dbf_path, tags):
    out = []
    try:
        table = dbfread.DBF(dbf_path, encoding="latin-1", load=True, char_decode_errors="strict")
    except Exception as e:  # a table that does not read at all
        return ["%s: does not read: %s" % (dbf_path, e)]
    with open(dbf_path, "rb") as f:
        head = f.read(32)
        count, header_len, record_len = struct.unpack("<IHH", head[4:12])
        size = os.fstat(f.fileno()).st_size
        flags = []
        for i in range(count):
            f.seek(header_len + i * record_len)
            flags.append(f.read(1))
    if size < header_len + count * record_len:
        out.append("%s: %d records in the header, %d bytes in the file"
                   % (dbf_path, count, size))
    if len(table.records) + len(table.deleted) != count:
        out.append("%s: %d records in the header, dbfread reads %d"
                   % (dbf_path, count, len(table.records) + len(table.deleted)))
        return out
    # Record numbers in file order: dbfread keeps live and deleted apart.
    live, gone = iter(table.records), iter(table.deleted)
    rows = [next(gone) if flag == b"*" else next(live) for flag in flags]
    if not tags:
        return out
    base = os.path.splitext(os.path.basename(dbf_path))[0].lower()
    folder = os.path.dirname(dbf_path) or "."
    cdx = [n for n in os.listdir(folder) if n.lower() == base + ".cdx"]
    if not cdx:
        return out + ["%s: no index file" % dbf_path]
    cdx_path = os.path.join(folder, cdx[0])
    for tag in tags:
        unique = tag.endswith("!")
        tag = tag.rstrip("!")
        run = subprocess.run(["index_dump", "--type", "char", cdx_path, tag],
                             capture_output=True)
        where = "%s tag %s" % (cdx_path, tag)
        if run.returncode != 0:
            out.append("%s: index_dump fails: %s" % (where, run.stderr.decode("latin-1").strip()))
            continue
        entries = []
        for line in run.stdout.decode("latin-1").split("\n"):
            if not line:
                continue
            key, _, recno = line.rpartition(" ")
            entries.append((key.rstrip(" "), int(recno)))
        values = [str(r[tag] or "").rstrip(" ") for r in rows]
        keys = [k for k, _ in entries]
        if keys != sorted(keys, key=lambda k: k.encode("latin-1")):
            out.append("%s: keys out of order" % where)
        for key, recno in entries:
            if recno < 1 or recno > count:
                out.append("%s: entry %r points at record %d of %d" % (where, key, recno, count))
            elif values[recno - 1] != key:
                out.append("%s: entry %r for record %d, which holds %r"
                           % (where, key, recno, values[recno - 1]))
        if unique:
            if len(set(keys)) != len(keys):
                out.append("%s: a unique tag with a key twice" % where)
            if set(keys) != set(values):
                out.append("%s: keys %s missing" % (where, sorted(set(values) - set(keys))))
        elif sorted(r for _, r in entries) != list(range(1, count + 1)):
            out.append("%s: %d entries for %d records" % (where, len(entries), count))
    return out


def main():
    args = sys.argv[1:]
    groups, cur = [], []
    for a in args:
        if a == "--":
            groups.append(cur)
            cur = []
        else:
            cur.append(a)
    groups.append(cur)
    found = []
    for g in groups:
        if g:
            found += problems_of(g[0], g[1:])
    for p in found:
        print(p)
    sys.exit(1 if found else 0)


main()

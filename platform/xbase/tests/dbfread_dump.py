# Prints every record of a table as dbfread reads it: one line per record,
# "L" or "D" (live/deleted), then each field's value as hex ("-" = None),
# in the canonical text forms the engine tests build too.
import sys
import dbfread


def canon(field, v):
    if v is None:
        return None
    t = field.type
    if t in "NFBY" or (t == "O"):
        return "%.4f" % float(v)
    if t == "D":
        return v.strftime("%Y%m%d")
    if t == "T":
        return v.strftime("%Y%m%d%H%M%S")
    if t == "L":
        return "T" if v else "F"
    if t == "I":
        return str(v)
    if isinstance(v, bytes):
        return v if v else None
    if t in "MGP" and v == "":
        return None
    return v


def enc(v):
    if v is None:
        return "-"
    if isinstance(v, str):
        v = v.encode("latin-1")
    return v.hex() if v else "="


def main():
    table = dbfread.DBF(sys.argv[1], encoding="latin-1", load=True, char_decode_errors="strict")
    skip = {f.name for f in table.fields if f.type == "0"}
    for kind, records in (("L", table.records), ("D", table.deleted)):
        for r in records:
            print(kind + "\t" + "\t".join(enc(canon(f, r[f.name])) for f in table.fields
                                          if f.name not in skip))


main()

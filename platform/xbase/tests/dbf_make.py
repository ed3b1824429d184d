# Writes a FoxPro table with python3-dbf (another writer than the engine):
#   dbf_make.py make PATH      five rows, a memo on odd rows, row 3 deleted
#   dbf_make.py read PATH      prints the row count and the last row's NAME
#   dbf_make.py set PATH RECNO FIELD VALUE
#                              changes one field of one row (1-based), the way
#                              a program that knows nothing of the index does
#   dbf_make.py nullable PATH  a Visual FoxPro table whose NAME, QTY and WHEN
#                              may be null, six rows, nulls in rows 2, 4 and 5
#   dbf_make.py nulls PATH     prints each row's NAME, QTY and WHEN, or None
import sys
import datetime
import warnings

warnings.simplefilter("ignore")
import dbf  # noqa: E402


def make(path):
    t = dbf.Table(path, "NAME C(20); QTY N(6,2); WHEN D; OK L; NOTES M", dbf_type="fp")
    t.open(dbf.READ_WRITE)
    for i in range(5):
        memo = "memo %d\r\nline" % i if i % 2 else ""
        t.append(("row %d" % i, i * 1.5, datetime.date(2020, 1, i + 1), i % 2 == 0, memo))
    with t[2] as r:
        dbf.delete(r)
    t.close()


def read(path):
    t = dbf.Table(path)
    t.open(dbf.READ_ONLY)
    print(len(t), t[len(t) - 1].name.strip(), t[len(t) - 1].notes.strip())
    t.close()


def set_field(path, recno, field, value):
    t = dbf.Table(path)
    t.open(dbf.READ_WRITE)
    with t[int(recno) - 1] as r:
        setattr(r, field.lower(), value)
    t.close()


def nullable(path):
    # python3-dbf numbers null bits by field position, FoxPro by nullable
    # field: they agree when the nullable fields come first.
    t = dbf.Table(path, "NAME C(10) NULL; QTY N(6,1) NULL; WHEN D NULL; ID I", dbf_type="vfp")
    t.open(dbf.READ_WRITE)
    null = dbf.Null
    rows = [("pear", 2.5, datetime.date(2021, 3, 4), 1), (null, null, null, 2),
            ("apple", -1.0, datetime.date(1999, 12, 31), 3), (null, 7.0, null, 4),
            ("fig", null, datetime.date(2024, 2, 29), 5), ("apple", 0.0, datetime.date(2000, 1, 1), 6)]
    for row in rows:
        t.append(row)
    t.close()


def nulls(path):
    t = dbf.Table(path)
    t.open(dbf.READ_ONLY)
    for r in t:
        print(" ".join("null" if r[f] is dbf.Null else str(r[f]).strip()
                       for f in ("name", "qty", "when")))
    t.close()


commands = {"make": make, "read": read, "set": set_field, "nullable": nullable, "nulls": nulls}
commands[sys.argv[1]](*sys.argv[2:])

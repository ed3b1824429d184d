# Writes a FoxPro table with python3-dbf (another writer than the engine):
#   dbf_make.py make PATH      five rows, a memo on odd rows, row 3 deleted
#   dbf_make.py read PATH      prints the row count and the last row's NAME
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


{"make": make, "read": read}[sys.argv[1]](sys.argv[2])

#!/usr/bin/python3
"""Reads a running program's windows as a screen reader sees them (AT-SPI).

    uitree.py APP-NAME        prints one line per accessible object:
                              depth, role, name, x, y, width, height,
                              focused (1 or 0)
                              (tab-separated; screen coordinates)
Exits 1 when no application of that name is registered.
"""
import sys

import pyatspi


def dump(acc, depth, out):
    if depth > 40:
        return
    try:
        role = acc.getRoleName()
        name = acc.name or ""
        try:
            ext = acc.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
            box = (ext.x, ext.y, ext.width, ext.height)
        except NotImplementedError:
            box = (0, 0, 0, 0)
        focused = acc.getState().contains(pyatspi.STATE_FOCUSED)
        out.append("%d\t%s\t%s\t%d\t%d\t%d\t%d\t%d"
                   % ((depth, role, name.replace("\n", " ")) + box + (int(focused),)))
        for i in range(acc.childCount):
            child = acc.getChildAtIndex(i)
            if child is not None:
                dump(child, depth + 1, out)
    except Exception:  # an object that went away while it was read
        return


def main():
    wanted = sys.argv[1]
    desktop = pyatspi.Registry.getDesktop(0)
    for app in desktop:
        if app is not None and app.name == wanted:
            out = []
            dump(app, 0, out)
            print("\n".join(out))
            return 0
    return 1


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/python3
"""Prints, one a line, the name of every list of the running velmora window as a screen reader reads it
through AT-SPI (the lists' rows are not walked). Run by xvfb_check.sh in the program's D-Bus session."""
import sys

import pyatspi


def lists(node):
    for child in node:
        if child is None:
            continue
        if child.getRoleName() == 'list':
            yield child
        else:
            yield from lists(child)


found = False
for app in pyatspi.Registry.getDesktop(0):
    if app is not None and app.name == 'velmora':
        for item in lists(app):
            found = True
            print(item.name)
sys.exit(0 if found else 1)

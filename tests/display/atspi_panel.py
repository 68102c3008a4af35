#!/usr/bin/python3
"""The panel as an AT-SPI client (pyatspi) sees it: its window's controls, one a line,
"role|name|description|checked". With "press PREFIX", first runs the press action of the
control whose name starts with PREFIX, as a screen reader's user would."""
import sys

import pyatspi


def controls():
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.name == "tovanik-webserver" and app.childCount:
            return list(app[0])
    return []


if sys.argv[1:2] == ["press"]:
    for control in controls():
        if control.name.startswith(sys.argv[2]):
            control.queryAction().doAction(0)
for control in controls():
    checked = control.getState().contains(pyatspi.STATE_CHECKED)
    print(f"{control.getRoleName()}|{control.name}|{control.description}|{'checked' if checked else ''}")

#!/usr/bin/python3
"""Prints what a screen reader learns of a running Pantrovo Importer through AT-SPI: the tree of
its accessible objects (role, name, description, and the states that matter) and, with
--listen SECONDS, the events it sends meanwhile (focus, selection, description changes).

Run it in the same D-Bus session as the program, with the accessibility bus up and the program
started with QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 (or a screen reader running), for example:

    dbus-run-session -- sh -c '/usr/libexec/at-spi-bus-launcher --launch-immediately &
        QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 build/src/pantrovo-importer & sleep 2;
        scripts/screen-reader-view.py --listen 30'

The cell editor is reached through the focus, not the tree: the listener names it and its
description. Needs the packages of the "screenreader" group of scripts/install-deps.sh; run it
with the system's /usr/bin/python3, which has pyatspi.
"""
import argparse
import sys

import pyatspi
from gi.repository import GLib

APPLICATION = "PantrovoImporter"
STATES = {pyatspi.STATE_FOCUSED: "focused", pyatspi.STATE_SELECTED: "selected",
          pyatspi.STATE_SHOWING: "showing", pyatspi.STATE_ENABLED: "enabled"}


def describe(node):
    states = node.getState()
    shown = [word for state, word in STATES.items() if states.contains(state)]
    text = f"{node.getRoleName()} \"{node.name}\""
    if node.description:
        text += f" [{node.description}]"
    return text + (f" ({', '.join(shown)})" if shown else "")


def dump(node, depth=0, cells=0):
    # A table or list lists only its first cells and those with a description: a grid of many
    # rows would drown the rest.
    print("  " * depth + describe(node))
    shown = 0
    for child in node:
        if child is None:
            continue
        cell = child.getRole() in (pyatspi.ROLE_TABLE_CELL, pyatspi.ROLE_LIST_ITEM)
        if cell and shown >= cells and not child.description:
            continue
        shown += cell
        dump(child, depth + 1, cells=12)


def application():
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.name == APPLICATION:
            return app
    sys.exit(f"{APPLICATION} is not on the accessibility bus")


def listen(seconds):
    def heard(event):
        source = event.source
        name = source.name if source is not None else "?"
        role = source.getRoleName() if source is not None else "?"
        detail = f" {event.any_data}" if isinstance(event.any_data, str) and event.any_data else ""
        print(f"{event.type} {event.detail1} {role} \"{name}\"{detail}", flush=True)
        described = event.type.startswith(("focus:", "object:property-change:accessible-desc"))
        if described and source is not None and source.description:
            print(f"    description: {source.description}", flush=True)

    pyatspi.Registry.registerEventListener(
        heard, "focus:", "object:state-changed:focused", "object:state-changed:selected",
        "object:property-change:accessible-description")
    GLib.timeout_add(int(seconds * 1000), pyatspi.Registry.stop)
    pyatspi.Registry.start()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--listen", type=float, metavar="SECONDS",
                        help="print the events of this many seconds instead of the tree")
    arguments = parser.parse_args()
    if arguments.listen:
        listen(arguments.listen)
    else:
        dump(application())


if __name__ == "__main__":
    main()

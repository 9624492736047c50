#!/usr/bin/python3
"""An assistive-technology client for the end-to-end tests, over AT-SPI.

    atspi_probe.py PID tree          the accessible tree of the process's windows
    atspi_probe.py PID do NAME       runs the first action of the accessible named NAME

The tree is one line per accessible: two blanks of indent a level, then
"role|name|state,state,..." with the states sorted. Waits (bounded) for the process to
show up on the accessibility bus. Exit status 2 when it does not, 3 when NAME is not found
or has no action.
"""
import sys
import time

import pyatspi


def find_app(pid, seconds=8):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            try:
                if app is not None and app.get_process_id() == pid and app.childCount > 0:
                    return app
            except Exception:  # an application leaving the bus as we ask
                pass
        time.sleep(0.2)
    return None


def states(acc):
    return ",".join(sorted(s.value_nick for s in acc.getState().getStates()))


def dump(acc, depth, out):
    out.append("%s%s|%s|%s" % ("  " * depth, acc.getRoleName(), acc.name or "", states(acc)))
    for i in range(acc.childCount):
        child = acc.getChildAtIndex(i)
        if child is not None:
            dump(child, depth + 1, out)


def find(acc, name):
    if (acc.name or "") == name:
        return acc
    for i in range(acc.childCount):
        child = acc.getChildAtIndex(i)
        found = find(child, name) if child is not None else None
        if found is not None:
            return found
    return None


def main():
    pid, command = int(sys.argv[1]), sys.argv[2]
    app = find_app(pid)
    if app is None:
        print("no application with pid %d on the accessibility bus" % pid)
        return 2
    if command == "tree":
        out = []
        for i in range(app.childCount):
            dump(app.getChildAtIndex(i), 0, out)
        print("\n".join(out))
        return 0
    target = find(app, sys.argv[3])
    if target is None:
        print("nothing named %s" % sys.argv[3])
        return 3
    action = target.queryAction()
    if action.nActions < 1:
        print("%s has no action" % sys.argv[3])
        return 3
    print("%s: %s" % (action.getName(0), action.doAction(0)))
    return 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/python3
"""Reads the running Tessane window from outside over AT-SPI (the accessibility bus), as a screen
reader does. The program must run with QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 on the same D-Bus
session bus.

  window_atspi.py PID dump                    every object: role, name, states
  window_atspi.py PID name PREFIX             the name of the first object whose name starts so
  window_atspi.py PID wait PREFIX SECONDS     waits until such an object exists; prints its name
  window_atspi.py PID focus                   the name of the object that has the focus
  window_atspi.py PID texts                   the text of every text field, one a line
  window_atspi.py PID ping SECONDS            asks the window for its objects' names over and
                                              over for SECONDS; prints the worst and the median
                                              answer time in ms (each answer needs the UI thread)
"""
import statistics
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402


def application(pid):
    desktop = Atspi.get_desktop(0)
    for _ in range(100):
        for i in range(desktop.get_child_count()):
            app = desktop.get_child_at_index(i)
            if app is not None and app.get_process_id() == pid:
                return app
        time.sleep(0.1)
    sys.exit(f"no accessible application with pid {pid}")


def walk(node, depth=0):
    yield node, depth
    for i in range(node.get_child_count()):
        child = node.get_child_at_index(i)
        if child is not None:
            yield from walk(child, depth + 1)


def find(app, prefix):
    for node, _ in walk(app):
        name = node.get_name() or ""
        if name.startswith(prefix):
            return node
    return None


def main():
    pid, command, args = int(sys.argv[1]), sys.argv[2], sys.argv[3:]
    Atspi.set_timeout(20000, 20000)
    app = application(pid)
    if command == "dump":
        for node, depth in walk(app):
            states = node.get_state_set()
            marks = [s for s, flag in (("focused", Atspi.StateType.FOCUSED),
                                       ("disabled", Atspi.StateType.ENABLED))
                     if states.contains(flag) != (s == "disabled")]
            print("  " * depth + f"{node.get_role_name()}: {node.get_name()!r} {' '.join(marks)}")
    elif command == "name":
        node = find(app, args[0])
        print(node.get_name() if node else "")
    elif command == "wait":
        deadline = time.monotonic() + float(args[1])
        while time.monotonic() < deadline:
            node = find(app, args[0])
            if node:
                print(node.get_name())
                return
            time.sleep(0.05)
        sys.exit(1)
    elif command == "focus":
        for node, _ in walk(app):
            if node.get_state_set().contains(Atspi.StateType.FOCUSED):
                print(node.get_name())
                return
    elif command == "texts":
        for node, _ in walk(app):
            if node.get_role() == Atspi.Role.TEXT:
                print(Atspi.Text.get_text(node, 0, -1))
    elif command == "ping":
        # The activity line's own object, asked again and again: each answer comes from the
        # window's UI thread, so the gaps are the times the window did not answer.
        label = find(app, "File activity") or app
        times = []
        deadline = time.monotonic() + float(args[0])
        while time.monotonic() < deadline:
            start = time.monotonic()
            label.clear_cache() if hasattr(label, "clear_cache") else None
            label.get_name()
            label.get_child_count()
            times.append((time.monotonic() - start) * 1000)
            time.sleep(0.02)
        print(f"{max(times):.0f} {statistics.median(times):.1f} {len(times)}")
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()

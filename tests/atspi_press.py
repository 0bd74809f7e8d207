#!/usr/bin/python3
# atspi_press TITLE [BUTTON]: waits up to 30 seconds for a window named TITLE on the
# accessibility bus (AT_SPI_BUS_ADDRESS), then presses its button named BUTTON, if one is given.
# Status 0 once done, 1 when the window or its button did not come.
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402


def named(node, name, roles):
    """The first accessible under `node` (itself included) with `name` and one of `roles`."""
    if node.get_name() == name and node.get_role() in roles:
        return node
    for i in range(node.get_child_count()):
        child = node.get_child_at_index(i)
        found = child and named(child, name, roles)
        if found:
            return found
    return None


windows = (Atspi.Role.FRAME, Atspi.Role.DIALOG)
for _ in range(300):
    window = named(Atspi.get_desktop(0), sys.argv[1], windows)
    target = window and (named(window, sys.argv[2], [Atspi.Role.PUSH_BUTTON])
                         if len(sys.argv) > 2 else window)
    if target:
        if len(sys.argv) > 2:
            target.do_action(0)
        sys.exit(0)
    time.sleep(0.1)
sys.exit(1)

#!/usr/bin/python3
# atspi_press TITLE [BUTTON]: waits up to 30 seconds for a window named TITLE on the accessibility
# bus (AT_SPI_BUS_ADDRESS), then presses its button BUTTON if given: 0 once done, 1 if none came.
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402


def named(node, name, roles):
    """The first accessible under `node` (itself included) with `name` and one of `roles`."""
    if node.get_name() == name and node.get_role() in roles:
        return node
    children = (node.get_child_at_index(i) for i in range(node.get_child_count()))
    return next(filter(None, (named(child, name, roles) for child in children if child)), None)


for _ in range(300):
    target = named(Atspi.get_desktop(0), sys.argv[1], (Atspi.Role.FRAME, Atspi.Role.DIALOG))
    for button in sys.argv[2:]:
        target = target and named(target, button, (Atspi.Role.PUSH_BUTTON,))
        target and target.do_action(0)
    sys.exit(0) if target else time.sleep(0.1)
sys.exit(1)

#!/usr/bin/env python3
"""Writes panels/card_004.uir: the channel setup dialog (frame and 32-row channel table)."""
import json
import os

ROW = 22
KINDS = [("QL-TC-J", 21), ("QL-TC-K", 22), ("Valve", 2), ("Step", 1), ("Static", 0)]


def table():
    controls = []
    for n in range(1, 33):
        top = 30 + (n - 1) * ROW
        mark = "set_pending_altered_flag"
        controls += [
            {"id": n + 1, "constant": "NAME_%d" % n, "kind": "string", "label": "" if n > 1 else "Name", "value": "",
             "left": 40, "top": top, "width": 160, "height": 20, "callback": "setup_instructions",
             "attributes": {"513": 32}},
            {"id": n + 33, "constant": "COLOUR_%d" % n, "kind": "numeric", "data_type": "int", "label": "" if n > 1 else "Colour",
             "value": 0, "left": 210, "top": top, "width": 80, "height": 20, "callback": "color_function"},
            {"id": n + 65, "constant": "ON_%d" % n, "kind": "binary_switch", "data_type": "int", "label": "" if n > 1 else "On",
             "value": 0, "left": 300, "top": top, "width": 40, "height": 20, "callback": mark},
            {"id": n + 97, "constant": "KIND_%d" % n, "kind": "ring", "data_type": "int", "label": "" if n > 1 else "Kind", "value": 0,
             "left": 350, "top": top, "width": 100, "height": 20, "callback": mark,
             "items": [{"label": l, "value": v} for l, v in KINDS]},
            {"id": n + 129, "constant": "SLOPE_%d" % n, "kind": "numeric", "data_type": "double", "label": "" if n > 1 else "Slope",
             "value": 1.0, "left": 460, "top": top, "width": 90, "height": 20, "callback": mark},
            {"id": n + 161, "constant": "INTERCEPT_%d" % n, "kind": "numeric", "data_type": "double", "label": "" if n > 1 else "Intercept",
             "value": 0.0, "left": 560, "top": top, "width": 90, "height": 20, "callback": mark},
            {"id": n + 193, "constant": "ROW_%d" % n, "kind": "text_message", "label": "%d" % n, "left": 10, "top": top,
             "width": 25, "height": 20},
        ]
    return {"resource": 1, "constant": "SUB", "title": "Channels", "left": 0, "top": 60,
            "width": 670, "height": 30 + 32 * ROW + 10, "controls": controls}


def frame():
    return {"resource": 2, "constant": "CHAN", "title": "Channel Setup", "width": 690, "height": 30 + 32 * ROW + 110,
            "controls": [
                {"id": 2, "constant": "YMIN", "kind": "numeric", "data_type": "double", "label": "Chart minimum",
                 "value": -11.0, "left": 20, "top": 20, "width": 100, "height": 20},
                {"id": 3, "constant": "YMAX", "kind": "numeric", "data_type": "double", "label": "Chart maximum",
                 "value": 11.0, "left": 160, "top": 20, "width": 100, "height": 20},
                {"id": 4, "constant": "OK", "kind": "command_button", "label": "OK", "left": 480, "top": 15,
                 "width": 80, "height": 26, "callback": "get_channel_setup"},
                {"id": 5, "constant": "CANCEL", "kind": "command_button", "label": "Cancel", "left": 580,
                 "top": 15, "width": 80, "height": 26, "callback": "cancel_channel_setup"},
            ]}


if __name__ == "__main__":
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "panels", "card_004.uir")
    panels = []
    for panel in (table(), frame()):
        head = {k: v for k, v in panel.items() if k != "controls"}
        lines = ",\n".join("        " + json.dumps(c) for c in panel["controls"])
        panels.append("    " + json.dumps(head)[:-1] + ', "controls": [\n' + lines + "\n      ]}")
    with open(out, "w") as f:
        f.write('{\n  "panels": [\n' + ",\n".join(panels) + "\n  ]\n}\n")

#!/usr/bin/env python3
"""Writes panels/specs.uir (control-limit frame and 32-row group) and panels/mfc_set.uir (16-row set-point dialog)."""
import json
import os

ROW = 22
HERE = os.path.dirname(os.path.abspath(__file__))
MARK = "set_pending_altered_flag"


def num(cid, constant, label, left, top):
    return {"id": cid, "constant": constant, "kind": "numeric", "data_type": "double", "label": label, "value": 0.0, "left": left,
            "top": top, "width": 100, "height": 20, "callback": MARK}


def group():
    controls = []
    for r in range(1, 33):
        top = 20 + (r - 1) * ROW
        first = r == 1
        controls += [
            {"id": 97 + r, "constant": "ROW_%d" % r, "kind": "text_message", "label": "", "left": 10, "top": top, "width": 200, "height": 20},
            num(r + 1, "LCL_%d" % r, "LCL" if first else "", 220, top),
            num(r + 33, "TARGET_%d" % r, "TARGET" if first else "", 330, top),
            num(r + 65, "UCL_%d" % r, "UCL" if first else "", 440, top),
        ]
    return {"resource": 1, "constant": "LIMIT_ROWS", "title": "", "left": 0, "top": 40, "width": 690,
            "height": 340, "controls": controls}


def frame():
    return {"resource": 2, "constant": "SPEC", "title": "Control Limits", "width": 700, "height": 440, "controls": [
        {"id": 6, "constant": "TITLE", "kind": "text_message", "label": "", "left": 10, "top": 10, "width": 600,
         "height": 20},
        {"id": 5, "constant": "CHANNEL", "kind": "numeric", "data_type": "int", "label": "", "left": 620,
         "top": 10, "width": 40, "height": 20, "attributes": {"530": 0}},
        {"id": 11, "constant": "GROUP", "kind": "numeric", "data_type": "int", "label": "", "left": 660,
         "top": 10, "width": 30, "height": 20, "attributes": {"530": 0}},
        {"id": 10, "constant": "NOTE", "kind": "text_message", "label": "", "left": 10, "top": 385,
         "width": 400, "height": 20},
        {"id": 2, "constant": "OK", "kind": "command_button", "label": "OK", "left": 470, "top": 400,
         "width": 90, "height": 28, "callback": "save_specs"},
        {"id": 3, "constant": "CANCEL", "kind": "command_button", "label": "Cancel", "left": 580, "top": 400,
         "width": 90, "height": 28, "callback": "cancel_this_panel"},
    ]}


def setpoint():
    controls = []
    for s in range(1, 17):
        top = 30 + (s - 1) * ROW
        first = s == 1
        controls += [
            {"id": 67 + s, "constant": "ROW_%d" % s, "kind": "text_message", "label": "", "left": 10, "top": top, "width": 180, "height": 20},
            {"id": s + 1, "constant": "FIXED_%d" % s, "kind": "binary_switch", "data_type": "int", "label": "Fixed" if first else "",
             "value": 0, "left": 200, "top": top, "width": 50, "height": 20, "callback": MARK},
            num(s + 17, "LCL_%d" % s, "LCL" if first else "", 260, top),
            num(s + 33, "TARGET_%d" % s, "TARGET" if first else "", 370, top),
            num(s + 49, "UCL_%d" % s, "UCL" if first else "", 480, top),
        ]
    controls += [
        {"id": 67, "constant": "CHANNEL", "kind": "numeric", "data_type": "int", "label": "", "left": 600,
         "top": 5, "width": 40, "height": 20, "attributes": {"530": 0}},
        {"id": 84, "constant": "OK", "kind": "command_button", "label": "OK", "left": 380, "top": 400,
         "width": 90, "height": 28, "callback": "save_step_setpoint_specs"},
        {"id": 85, "constant": "CANCEL", "kind": "command_button", "label": "Cancel", "left": 490, "top": 400,
         "width": 90, "height": 28, "callback": "cancel_this_panel"},
    ]
    return {"resource": 1, "constant": "MFC_SPEC", "title": "Set-Point Control Limits", "width": 600,
            "height": 440, "controls": controls}


def write(name, panels):
    out = os.path.join(HERE, "..", "panels", name)
    parts = []
    for panel in panels:
        head = {k: v for k, v in panel.items() if k != "controls"}
        lines = ",\n".join("        " + json.dumps(c) for c in panel["controls"])
        parts.append("    " + json.dumps(head)[:-1] + ', "controls": [\n' + lines + "\n      ]}")
    with open(out, "w") as f:
        f.write('{\n  "panels": [\n' + ",\n".join(parts) + "\n  ]\n}\n")


if __name__ == "__main__":
    write("specs.uir", [group(), frame()])
    write("mfc_set.uir", [setpoint()])

#!/usr/bin/env python3
"""Writes one C++ header per panel file (panels/*.uir) naming its panels, controls, menu bars, menus and items.

As a resource compiler does: a panel is PANEL (its resource number), a control PANEL_CONTROL, a menu bar
MENUBAR, a menu MENUBAR_MENU, an item MENUBAR_MENU_ITEM (deeper items add each submenu's item name) and a
submenu ITEM_SUBMENU. A menu or item without a "constant" takes one from its text. All files are read together
so that a name two files give one number is guarded and both headers may be included together. A name two files
give different numbers (two dialogs share a panel constant) is a compile error only where both are included.
The constants have internal linkage, so each file of code sees the number of the header it included.

usage: panel_header.py OUTPUT_DIR PANEL_FILE...
"""
import json
import os
import re
import sys

NAME = re.compile(r'^[A-Z_][A-Z0-9_]*$')


class Fault(Exception):
    pass


def from_text(text, where):
    """The constant a menu or item text gives: letters and digits in capitals, anything else one underscore."""
    name = re.sub(r'[^A-Z0-9]+', '_', text.upper()).strip('_')
    if not name:
        raise Fault(f'{where}: "{text}" gives no name; add a "constant"')
    return '_' + name if name[0].isdigit() else name


def constant(node, where, fallback_text=None):
    if 'constant' in node:
        name = node['constant']
        if not isinstance(name, str) or not NAME.match(name):
            raise Fault(f'{where}: constant {name!r} is not a C++ name in capitals')
        return name
    if fallback_text is None:
        raise Fault(f'{where}: no "constant"')
    return from_text(fallback_text, where)


def panel_names(panel, where):
    names = []
    # "names" gives a panel's code names a prefix of their own where two files share its constant (a help topic).
    pname = panel['names'] if isinstance(panel.get('names'), str) and NAME.match(panel['names']) else constant(panel, where)
    names.append((pname, panel['resource'], f'panel "{panel.get("title", "")}"'))
    for c in panel.get('controls', []):
        cw = f'{where} control {c.get("id")}'
        names.append((f'{pname}_{constant(c, cw)}', c['id'], None))
    return names


def item_names(prefix, items, where):
    names = []
    for it in items:
        iw = f'{where} item {it.get("id")}'
        name = f'{prefix}_{constant(it, iw, it.get("name", ""))}'
        names.append((name, it['id'], None))
        if 'submenu' in it:
            names.append((f'{name}_SUBMENU', it['submenu']['id'], None))
            names += item_names(name, it['submenu'].get('items', []), iw + ' submenu')
    return names


def menubar_names(bar, where):
    bname = constant(bar, where)
    names = [(bname, bar['resource'], 'menu bar')]
    for m in bar.get('menus', []):
        mw = f'{where} menu {m.get("id")}'
        mname = f'{bname}_{constant(m, mw, m.get("name", ""))}'
        names.append((mname, m['id'], None))
        names += item_names(mname, m.get('items', []), mw)
    return names


def file_names(path):
    with open(path, encoding='utf-8') as f:
        doc = json.load(f)
    base = os.path.basename(path)
    names = []
    for p in doc.get('panels', []):
        names += panel_names(p, f'{base} panel {p.get("resource")}')
    for b in doc.get('menubars', []):
        names += menubar_names(b, f'{base} menu bar {b.get("resource")}')
    seen = {}
    for name, value, _ in names:
        if name in seen:
            raise Fault(f'{base}: {name} is given twice ({seen[name]} and {value}); add a "constant"')
        seen[name] = value
    return names


def header(path, names, shared):
    base = os.path.basename(path)
    lines = [f'// Made by the build from panels/{base} (cmake/panel_header.py): its panels, controls and menus by name.',
             '#pragma once', '']
    for name, value, title in names:
        if title:
            if lines[-1] != '':
                lines.append('')
            lines.append(f'// {title}')
        definition = f'constexpr int {name} = {value};'
        if name in shared:
            guard = f'VANTREL_PANEL_CONSTANT_{name}'
            lines += [f'#ifndef {guard}', f'#define {guard}', definition, '#endif']
        else:
            lines.append(definition)
    return '\n'.join(lines) + '\n'


def write_if_changed(path, text):
    try:
        with open(path, encoding='utf-8') as f:
            if f.read() == text:
                return
    except FileNotFoundError:
        pass
    with open(path, 'w', encoding='utf-8') as f:
        f.write(text)


def main(argv):
    out_dir, files = argv[1], sorted(argv[2:])
    try:
        per_file = {p: file_names(p) for p in files}
        owner = {}
        for names in per_file.values():
            for name, value, _ in names:
                owner.setdefault(name, set()).add(value)
        shared = {name for name, values in owner.items() if len(values) == 1}
        counts = {}
        for names in per_file.values():
            for name, _, _ in names:
                counts[name] = counts.get(name, 0) + 1
        shared = {name for name in shared if counts[name] > 1}
    except (Fault, OSError, ValueError, KeyError) as e:
        print(f'panel_header.py: {e}', file=sys.stderr)
        return 1
    os.makedirs(out_dir, exist_ok=True)
    for p, names in per_file.items():
        stem = os.path.splitext(os.path.basename(p))[0]
        write_if_changed(os.path.join(out_dir, stem + '.h'), header(p, names, shared))
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))

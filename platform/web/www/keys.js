// Key codes as the UI library numbers them: a virtual key in bits 8..15 or a character, plus modifiers.
const SHIFT = 0x20000, MENUKEY = 0x40000;
const VIRTUAL = { Escape: 0x300, Enter: 0x500, Tab: 0x400, Backspace: 0x100, Delete: 0x200, Insert: 0x700,
  ArrowUp: 0x800, ArrowDown: 0x900, ArrowLeft: 0xA00, ArrowRight: 0xB00, PageUp: 0xC00, PageDown: 0xD00,
  Home: 0x1B00, End: 0x1C00 };

// The code of a key event, or 0 for keys the library has no code for (modifier keys alone).
export function keyCode(e) {
  let code = 0;
  const f = /^F([1-9]|1[0-2])$/.exec(e.key);
  if (f) code = 0xF00 + (Number(f[1]) - 1) * 0x100;
  else if (VIRTUAL[e.key] !== undefined) code = VIRTUAL[e.key];
  else if (e.key.length === 1) code = e.ctrlKey ? e.key.toUpperCase().charCodeAt(0) : e.key.charCodeAt(0);
  else return 0;
  if (e.ctrlKey) code |= MENUKEY;
  if (e.shiftKey && (code & 0xff00)) code |= SHIFT;
  return code;
}

// The text shown beside a menu item for its shortcut.
export function keyText(code) {
  if (!code) return '';
  let s = '';
  if (code & MENUKEY) s += 'Ctrl+';
  if (code & SHIFT) s += 'Shift+';
  const v = code & 0xff00, c = code & 0xff;
  if (v >= 0xF00 && v <= 0x1A00) return s + 'F' + ((v - 0xF00) / 0x100 + 1);
  for (const [name, n] of Object.entries(VIRTUAL)) if (n === v) return s + (name === 'Escape' ? 'Esc' : name);
  return s + String.fromCharCode(c);
}

// Ctrl+A, C, V and X select, copy, paste and cut in a text field as in any page: the field keeps them.
export function fieldEditKey(e) {
  return e.ctrlKey && !e.shiftKey && !e.altKey && !e.metaKey && /^[acvx]$/i.test(e.key);
}

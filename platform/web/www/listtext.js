// The in-line codes of list-box item texts: ESC "fg" RRGGBB colours the rest, ESC "p" N "l" moves to pixel column N.
export function parseListText(label) {
  const segments = [];
  let seg = { column: -1, color: null, text: '' };
  let i = 0;
  while (i < label.length) {
    const ch = label[i];
    if (ch !== '\x1b') { seg.text += ch; i++; continue; }
    const fg = /^\x1bfg([0-9A-Fa-f]{6})/.exec(label.slice(i));
    const col = /^\x1bp(\d+)l/.exec(label.slice(i));
    if (!fg && !col) break;  // an unreadable code ends the text, as the library does
    // Codes in a row apply together: a colour right after a column keeps the column.
    const column = col ? Number(col[1]) : seg.text ? -1 : seg.column;
    if (seg.text) segments.push(seg);
    seg = { column, color: fg ? '#' + fg[1] : seg.color, text: '' };
    i += (fg || col)[0].length;
  }
  if (seg.text) segments.push(seg);
  return segments;
}

// The page's status line: the short note the program gives when a command ends, gone after a few seconds so that
// it does not stay over the window beneath it.
const SHOWN_MS = 8000;
let fading = 0;

export function showStatusLine(text) {
  let line = document.getElementById('status-line');
  if (!line) {
    line = document.createElement('div');
    line.id = 'status-line';
    line.className = 'status-line';
    line.setAttribute('role', 'status');
    document.body.append(line);
  }
  line.textContent = text;
  clearTimeout(fading);
  fading = setTimeout(() => { line.textContent = ''; }, SHOWN_MS);
}

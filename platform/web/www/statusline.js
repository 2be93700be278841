// The page's status line: the short note the program gives when a command ends.
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
}

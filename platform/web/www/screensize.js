// The room the program's main window may fill: the browser's viewport less that window's own title and menu bar,
// reported to the program, which sizes its main window to it (then nothing needs shrinking to fit).
let last = '';

function room(root) {
  const main = [...root.children].find((el) => el.classList.contains('panel') && !el.classList.contains('hidden')
    && el.querySelector(':scope > div > .menubar'));
  const client = main?.querySelector(':scope > .client');
  const frameW = main && client ? main.offsetWidth - client.offsetWidth : 2;
  const frameH = main && client ? main.offsetHeight - client.offsetHeight : 43;
  return { width: Math.floor(window.innerWidth - frameW), height: Math.floor(window.innerHeight - frameH) };
}

export function reportScreen(root, send) {
  const r = room(root);
  const key = r.width + 'x' + r.height;
  if (key === last) return;
  last = key;
  send({ op: 'screen', width: r.width, height: r.height });
}

// A new connection reports again, whatever was sent before.
export function forgetScreen() { last = ''; }

// Blocking popups of the program: message, confirm, generic, prompt, and file and directory selection over the server's files.
export class Popups {
  constructor(root, send, listDirectory) {
    this.root = root;
    this.send = send;
    this.listDirectory = listDirectory;
    this.shown = new Map();  // popup id -> element
  }

  active() { return this.shown.size > 0; }

  clear() {
    for (const el of this.shown.values()) el.remove();
    this.shown.clear();
  }

  load(snap) {
    this.clear();
    for (const p of snap.popups || []) this.open(p);
  }

  close(id) {
    this.shown.get(id)?.remove();
    this.shown.delete(id);
  }

  answer(p, button, response = '', cancelled = false) {
    this.send({ op: 'answer', popup: p.id, button, response, cancelled });
  }

  open(p) {
    if (this.shown.has(p.id)) return;
    const shade = document.createElement('div');
    shade.className = 'modal-shade';
    shade.style.zIndex = String(20000 + p.id);
    const box = document.createElement('div');
    box.className = 'popup';
    box.dataset.popup = p.id;
    box.dataset.kind = p.kind;
    const title = document.createElement('div');
    title.className = 'titlebar';
    title.textContent = p.title || ' ';
    const body = document.createElement('div');
    body.className = 'body';
    body.textContent = p.text;
    const buttons = document.createElement('div');
    buttons.className = 'buttons';
    box.append(title, body, buttons);
    shade.append(box);

    let input = null;
    if (p.kind === 'prompt' || (p.kind === 'generic' && p.max_length > 0) || p.kind === 'file' || p.kind === 'dir') {
      input = document.createElement('input');
      input.className = 'response';
      if (p.max_length > 0) input.maxLength = p.max_length;
      body.append(input);
    }
    const button = (text, action) => {
      const b = document.createElement('button');
      b.textContent = text;
      b.dataset.button = text;
      b.addEventListener('click', action);
      buttons.append(b);
      return b;
    };
    let onEnter = null, onEscape = null;
    if (p.kind === 'message') {
      onEnter = onEscape = () => this.answer(p, 1);
      button(p.buttons[0] || 'OK', onEnter);
    } else if (p.kind === 'confirm') {
      onEnter = () => this.answer(p, 1);
      onEscape = () => this.answer(p, 0);
      button(p.buttons[0] || 'Yes', onEnter);
      button(p.buttons[1] || 'No', onEscape);
    } else if (p.kind === 'generic') {
      p.buttons.forEach((t, i) => button(t, () => this.answer(p, i + 1, input ? input.value : '')));
      if (p.enter_button >= 1) onEnter = () => this.answer(p, p.enter_button, input ? input.value : '');
      if (p.escape_button >= 1) onEscape = () => this.answer(p, p.escape_button, input ? input.value : '');
    } else if (p.kind === 'prompt') {
      onEnter = () => this.answer(p, 1, input.value);
      onEscape = () => this.answer(p, 0, '', true);
      button(p.buttons[0] || 'OK', onEnter);
      button(p.buttons[1] || 'Cancel', onEscape);
    } else {
      const dirsOnly = p.kind === 'dir';
      const files = document.createElement('div');
      files.className = 'files';
      body.append(files);
      let current = '';
      const show = async (dir) => {
        const list = await this.listDirectory(dir, dirsOnly);
        if (list.error) return;
        current = list.dir;
        if (dirsOnly) input.value = current;
        files.replaceChildren();
        const up = document.createElement('div');
        up.className = 'dir';
        up.textContent = '..';
        up.addEventListener('dblclick', () => show(list.parent));
        files.append(up);
        for (const e of list.entries) {
          const row = document.createElement('div');
          row.className = e.dir ? 'dir' : 'file';
          row.textContent = e.name;
          const full = current.replace(/\/$/, '') + '/' + e.name;
          row.addEventListener('click', () => { input.value = full; });
          row.addEventListener('dblclick', () => (e.dir ? show(full) : onEnter()));
          files.append(row);
        }
      };
      const start = p.default_path || '';
      input.value = dirsOnly ? start : start;
      const startDir = dirsOnly ? start : start.replace(/\/[^/]*$/, '') || start;
      show(startDir).catch(() => {});
      onEnter = () => this.answer(p, 1, input.value.trim(), input.value.trim() === '');
      onEscape = () => this.answer(p, 0, '', true);
      button(p.buttons[0] || 'OK', onEnter);
      button(p.buttons[1] || 'Cancel', onEscape);
    }
    box.addEventListener('keydown', (e) => {
      if (e.key === 'Enter' && onEnter) { e.preventDefault(); onEnter(); }
      if (e.key === 'Escape' && onEscape) { e.preventDefault(); onEscape(); }
    });
    this.root.append(shade);
    this.shown.set(p.id, shade);
    (input || buttons.querySelector('button'))?.focus();
  }
}

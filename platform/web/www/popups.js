// Blocking popups of the program: message, confirm, generic, prompt, and file and directory selection over the server's files.
// The question a save asks before it writes over an existing file; `replace` runs on the user's yes.
function askReplace(where, path, replace) {
  where.replaceChildren();
  const ask = document.createElement('div');
  ask.className = 'replace';
  ask.textContent = path.slice(path.lastIndexOf('/') + 1) + ' already exists. Do you want to replace it? ';
  const yes = document.createElement('button');
  yes.textContent = 'Replace';
  yes.dataset.button = 'Replace';
  yes.addEventListener('click', () => replace());
  const no = document.createElement('button');
  no.textContent = 'Keep';
  no.dataset.button = 'Keep';
  no.addEventListener('click', () => where.replaceChildren());
  ask.append(yes, ' ', no);
  where.append(ask);
  no.focus();
}

export class Popups {
  constructor(root, send, listDirectory, makeDirectory) {
    this.root = root;
    this.send = send;
    this.listDirectory = listDirectory;
    this.makeDirectory = makeDirectory;
    this.shown = new Map();  // popup id -> element
    this.keys = new Map();   // popup id -> {enter, escape}
    // Enter and Esc answer the topmost popup wherever the focus was left.
    document.addEventListener('keydown', (e) => {
      const ids = [...this.shown.keys()];
      if (!ids.length) return;
      const top = ids[ids.length - 1];
      const k = this.keys.get(top);
      if (e.key === 'Escape' && k?.escape) { e.preventDefault(); k.escape(); }
      if (e.key === 'Enter' && k?.enter && !(e.target instanceof HTMLButtonElement)) { e.preventDefault(); k.enter(); }
    });
  }

  active() { return this.shown.size > 0; }

  clear() {
    for (const el of this.shown.values()) el.remove();
    this.shown.clear();
    this.keys.clear();
  }

  load(snap) {
    this.clear();
    for (const p of snap.popups || []) this.open(p);
  }

  close(id) {
    this.shown.get(id)?.remove();
    this.shown.delete(id);
    this.keys.delete(id);
  }

  // The program did not take an answer (a file outside the dialog's folder or type): say why, keep the dialog.
  refused(id, text) {
    const box = this.shown.get(id);
    const line = box?.querySelector('.refusal');
    if (line) line.textContent = text;
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
    const titleText = document.createElement('span');
    titleText.className = 'title';
    titleText.textContent = p.title || ' ';
    title.append(titleText);
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
      this.fileChooser(p, body, input, button, (enter, escape) => { onEnter = enter; onEscape = escape; });
    }
    // The close box is the popup's cancel, as Esc is; a popup without one has no close box.
    if (onEscape) {
      const x = document.createElement('button');
      x.textContent = '✕';
      x.title = 'Close';
      x.className = 'close';
      x.addEventListener('click', () => onEscape());
      title.append(x);
    }
    this.root.append(shade);
    this.shown.set(p.id, shade);
    this.keys.set(p.id, { enter: onEnter, escape: onEscape });
    (input || buttons.querySelector('button'))?.focus();
  }

  // File and directory selection over the folders the program lets the page list.
  fileChooser(p, body, input, button, handlers) {
    const dirsOnly = p.kind === 'dir';
    const exts = (p.extensions || []).map((e) => e.toLowerCase());
    const limited = !!p.restrict_ext && exts.length > 0;
    const where = document.createElement('div');
    where.className = 'where';
    const files = document.createElement('div');
    files.className = 'files';
    const refusal = document.createElement('div');
    refusal.className = 'refusal';
    body.append(where, files, refusal);
    let current = '', listed = null;
    const show = async (dir) => render(await this.listDirectory(dir, p.id));
    const render = (list) => {
      if (list.error) { refusal.textContent = list.error; return; }
      listed = list;
      refusal.textContent = '';
      current = list.dir;
      where.textContent = 'Folder: ' + current + (!dirsOnly && exts.length && limited ? '    Files of type: ' + exts.map((e) => '*' + e).join(' ') : '');
      if (dirsOnly) input.value = current;
      files.replaceChildren();
      if (list.parent) {
        const up = document.createElement('div');
        up.className = 'dir';
        up.textContent = '..';
        up.addEventListener('dblclick', () => show(list.parent));
        files.append(up);
      }
      for (const e of list.entries) {
        const row = document.createElement('div');
        row.className = e.dir ? 'dir' : 'file';
        row.textContent = e.name;
        row.dataset.name = e.name;
        const full = current.replace(/\/$/, '') + '/' + e.name;
        row.addEventListener('click', () => {
          for (const r of files.querySelectorAll('.chosen')) r.classList.remove('chosen');
          row.classList.add('chosen');
          if (!e.dir || dirsOnly) input.value = p.restrict_dir ? e.name : full;
        });
        row.addEventListener('dblclick', () => (e.dir ? show(full) : enter()));
        files.append(row);
      }
    };
    // The name offered first; a pattern ("*.color") is only a filter.
    const start = p.default_path || '';
    const slash = start.lastIndexOf('/');
    if (dirsOnly) input.value = start;
    else input.value = start.endsWith('/') ? '' : p.restrict_dir ? start.slice(slash + 1) : start;
    show(dirsOnly ? start : (p.directory || (slash > 0 ? start.slice(0, slash) : ''))).catch(() => {});
    const enter = () => {
      let v = input.value.trim();
      if (!v) { refusal.textContent = dirsOnly ? 'Choose a folder.' : 'Choose a file.'; return; }
      if (!dirsOnly) {
        if (p.restrict_dir && v.includes('/')) { refusal.textContent = 'Choose a file in ' + p.directory + '.'; return; }
        if (limited && !exts.some((e) => v.toLowerCase().endsWith(e))) {
          // A name to save gets the dialog's extension; one to open must already have it.
          if (p.buttons[0] !== 'Save') { refusal.textContent = 'Choose a file of type ' + exts.map((e) => '*' + e).join(' ') + '.'; return; }
          v += p.extensions[0];
        }
      }
      if (!dirsOnly && p.buttons[0] === 'Save') {
        const answer = v;
        fileExists(answer).then((there) => {
          if (!there) { this.answer(p, 1, answer, false); return; }
          askReplace(refusal, answer, () => this.answer(p, 1, answer, false));
        });
        return;
      }
      this.answer(p, 1, v, false);
    };
    // Whether a save would write over a file: the folder shown, or the one the typed path names.
    const fileExists = async (v) => {
      const slash = v.lastIndexOf('/');
      const dir = slash >= 0 ? v.slice(0, slash) || '/' : current;
      const name = v.slice(slash + 1);
      const same = dir.replace(/\/$/, '') === current.replace(/\/$/, '');
      const list = same ? listed : await this.listDirectory(dir, p.id).catch(() => null);
      return !!list && !list.error && list.entries.some((e) => !e.dir && e.name === name);
    };
    const escape = () => this.answer(p, 0, '', true);
    if (p.allow_make_dir) {
      // A new folder inside the one shown; the program checks the name and where it goes.
      const make = document.createElement('div');
      make.className = 'make-folder';
      make.hidden = true;
      const name = document.createElement('input');
      name.className = 'folder-name';
      name.placeholder = 'New folder name';
      name.maxLength = 255;
      const create = document.createElement('button');
      create.textContent = 'Create';
      const doCreate = async () => {
        const wanted = name.value.trim();
        if (!wanted) { refusal.textContent = 'Enter a name for the new folder.'; return; }
        const list = await this.makeDirectory(current, wanted, p.id);
        if (list.error) { refusal.textContent = list.error; return; }
        name.value = '';
        make.hidden = true;
        render(list);
      };
      create.addEventListener('click', doCreate);
      name.addEventListener('keydown', (e) => {
        // Enter and Esc here belong to the name, not to the dialog.
        if (e.key === 'Enter') { e.preventDefault(); e.stopPropagation(); doCreate(); }
        if (e.key === 'Escape') { e.preventDefault(); e.stopPropagation(); make.hidden = true; }
      });
      make.append(name, create);
      // Beside the folder line, not among the answer buttons: it answers nothing.
      const newFolder = document.createElement('button');
      newFolder.className = 'new-folder';
      newFolder.textContent = 'New Folder';
      newFolder.addEventListener('click', () => { make.hidden = false; name.focus(); });
      where.after(newFolder, make);
    }
    button(p.buttons[0] || 'OK', enter);
    button(p.buttons[1] || 'Cancel', escape);
    handlers(enter, escape);
  }
}

// Panels as windows at their geometry (children inside their parent's client area), their controls and menu bars.
import { Chart } from './chart.js';
import { MenuBar } from './menus.js';
import { parseListText } from './listtext.js';

// Attribute numbers the view reads.
const A = { DIMMED: 500, CONSTANT: 501, MAX_LEN: 513, CHECK_MODE: 514, VISIBLE: 530, LEFT: 531, TOP: 532,
  WIDTH: 533, HEIGHT: 540, SIZABLE: 571, TITLE: 573, MOVABLE: 581, ZOOM: 597, CLOSE_ITEM: 605, LABEL: 641,
  TEXT_COLOR: 680, MODE: 710, CTRL_COLOR: 985, IMAGE: 1050, MIN: 511, MAX: 512, ON_TEXT: 1201, OFF_TEXT: 1202,
  SHOW_AS_COLOR: 1203, SCROLL_BARS: 618 };
const S = { NUMERIC: 100, SLIDE: 110, STRING: 160, RING: 170, TEXT_MSG: 180, TEXT_BOX: 190, COMMAND: 200,
  TOGGLE: 210, SWITCH: 215, CHECK: 220, LED: 230, PICTURE_BUTTON: 235, LIST: 250, GRAPH: 300, STRIP: 310,
  TIMER: 320, DECORATION: 330, PICTURE: 340 };

// The play buttons' pictures.
const PICTURE_GLYPHS = {
  'left.ico': '◀◀', 'left1.ico': '◀❙', 'right1.ico': '❙▶', 'right.ico': '▶', 'fforward.ico': '▶▶',
};
const INTEGER_TYPES = new Set([1, 2, 3, 7, 8, 9]);

const attr = (o, n, dflt) => (o.attributes && o.attributes[n] !== undefined ? o.attributes[n] : dflt);
export const color = (c) => '#' + ((c >>> 0) & 0xffffff).toString(16).padStart(6, '0');

// List rows are this tall (style.css); a list longer than VIRTUAL_FROM rows keeps only those in view in the page.
const ROW_HEIGHT = 16;
// A row as the program sends it: [label, value, checked].
const LABEL = 0, CHECKED = 2;
const VIRTUAL_FROM = 500;
const OVERSCAN = 8;

// A long list comes a window of rows at a time: what the page holds of it has holes, asked for as they are shown.
const ASK_ROWS = 200, ASK_AGAIN_MS = 2000;

// The rows after a splice {at, remove, items}; a same-size splice replaces in place.
function spliceRows(rows, s) {
  if (s.remove === s.items.length) {
    const out = rows.slice();
    s.items.forEach((it, k) => { out[s.at + k] = it; });
    return out;
  }
  return rows.slice(0, s.at).concat(s.items, rows.slice(s.at + s.remove));
}

// How wide a row's text reaches, in pixels: text placed at pixel columns counts from there.
function labelWidth(label) {
  if (!label.includes('\x1b')) return label.length * 7.5;
  let wide = 0, at = 0;
  for (const seg of parseListText(label)) {
    at = seg.column >= 0 ? seg.column : at;
    at += seg.text.length * 7.5;
    wide = Math.max(wide, at);
  }
  return wide;
}

// The widest row of a long list (kept per control: only new rows are measured); of one sent by windows, the
// widest row seen so far.
function listWidth(c, items) {
  if (c.windowed) return Math.ceil(c.width ?? 0) + 40;
  if (c.widthOf !== items) {
    const known = c.widthOf && c.widthOf.length <= items.length && c.widthOf[0] === items[0] ? c.widthOf.length : 0;
    let wide = known ? c.width : 0;
    for (let i = known; i < items.length; i++) wide = Math.max(wide, labelWidth(items[i][LABEL]));
    c.width = wide;
    c.widthOf = items;
  }
  return Math.ceil(c.width) + 40;
}

// How much an element is shown scaled (the windows shrink to fit the browser): screen pixels per layout pixel.
export function scaleOf(el) {
  const w = el.offsetWidth;
  return w ? el.getBoundingClientRect().width / w : 1;
}

function defaultSize(style) {
  if (style === S.GRAPH || style === S.STRIP) return [300, 200];
  if (style === S.LIST || style === S.TEXT_BOX) return [100, 100];
  return [100, 20];
}

// A text box stops taking characters at the length its control keeps, instead of cutting them afterwards.
function limitLength(field, max) {
  if (max > 0) field.maxLength = max;
}

export class Screen {
  constructor(root, send) {
    this.root = root;
    this.send = send;
    this.panels = new Map();   // handle -> {data, el, menuSlot, client, controls: Map id -> {data, el, chart}}
    this.menubars = new Map(); // handle -> MenuBar
    this.topLevel = [];
    this.stack = [];
    this.lastActive = 0;
  }

  // The program sizes its main window to the browser, so windows are shown at their own size; a window larger than
  // the browser (a dialog taller than a small screen) makes the page scroll instead: shrinking the whole view made
  // its text too small to read.
  fit() {
    this.root.style.transform = '';
    this.root.dataset.scale = '1.0000';
  }

  // The browser window in panel coordinates: the program keeps moved and sized windows inside it.
  viewExtent() {
    const s = Number(this.root.dataset.scale) || 1;
    return { view_width: Math.round(window.innerWidth / s), view_height: Math.round(window.innerHeight / s) };
  }

  // A panel's children (0: the top-level panels) changed their stacking order, front first.
  stacking(parent, order) {
    if (!parent) this.topLevel = order.slice();
    else {
      const p = this.panels.get(parent);
      if (p) p.data.children = order.slice();
    }
    this.restack();
  }

  clear() {
    for (const p of this.panels.values()) p.el.remove();
    this.panels.clear();
    this.menubars.clear();
    this.topLevel = [];
    this.stack = [];
    this.modal([]);
  }

  ended() {
    for (const p of this.panels.values()) p.el.classList.add('modal-under');
  }

  load(snap) {
    this.clear();
    this.topLevel = snap.top_level || [];
    for (const p of snap.panels) this.panel(p, true);
    for (const p of snap.panels) this.place(this.panels.get(p.handle));
    for (const p of snap.panels) for (const c of p.controls) this.ctrl(p.handle, c);
    for (const b of snap.menubars) this.menubar(b);
    this.modal(snap.modal || []);
    this.restack();
    this.fit();
  }

  panel(data, deferPlacing) {
    let p = this.panels.get(data.handle);
    if (!p) {
      p = { data, controls: new Map() };
      p.el = document.createElement('div');
      p.el.className = 'panel';
      const bar = document.createElement('div');
      bar.className = 'titlebar';
      p.title = document.createElement('span');
      p.title.className = 'title';
      p.closeBox = document.createElement('button');
      p.closeBox.textContent = '✕';
      p.closeBox.title = 'Close';
      p.closeBox.addEventListener('click', (e) => { e.stopPropagation(); this.send({ op: 'close', panel: data.handle }); });
      bar.append(p.title, p.closeBox);
      p.menuSlot = document.createElement('div');
      p.client = document.createElement('div');
      p.client.className = 'client';
      p.sizer = document.createElement('div');
      p.sizer.className = 'sizer';
      p.el.append(bar, p.menuSlot, p.client, p.sizer);
      this.dragging(p, bar, p.sizer);
      p.el.addEventListener('mousedown', (e) => {
        // The innermost panel under the mouse becomes the active one.
        // The active window may since have been covered by one the program showed: a click brings it forward.
        if (e.target.closest('.panel') !== p.el || (this.lastActive === p.data.handle && this.inFront(p))) return;
        this.lastActive = p.data.handle;
        this.send({ op: 'activate', panel: p.data.handle });
      });
      this.panels.set(data.handle, p);
      if (!this.topLevel.includes(data.handle) && !data.parent) this.topLevel.unshift(data.handle);
    }
    p.data = data;
    const el = p.el;
    el.dataset.panel = attr(data, A.CONSTANT, '');
    el.dataset.handle = data.handle;
    p.title.textContent = attr(data, A.TITLE, '');
    el.classList.toggle('hidden', !attr(data, A.VISIBLE, 0));
    el.classList.toggle('dimmed', !!attr(data, A.DIMMED, 0));
    p.closeBox.style.display = attr(data, A.CLOSE_ITEM, 1) ? '' : 'none';
    p.sizer.style.display = attr(data, A.SIZABLE, 1) ? '' : 'none';
    this.position(p, attr(data, A.LEFT, 0), attr(data, A.TOP, 0));
    p.client.style.width = attr(data, A.WIDTH, 400) + 'px';
    p.client.style.height = attr(data, A.HEIGHT, 300) + 'px';
    // A window smaller than its controls can be (tiled on a small screen) scrolls.
    p.client.classList.toggle('scrolls', !!attr(data, A.SCROLL_BARS, 0));
    if (!deferPlacing) { this.place(p); this.restack(); this.fit(); }
    return p;
  }

  // A child window's top and left are those of its client area, as the programs place them (a child at top 20
  // shows its title bar in the 20 pixels above); a top-level window's are those of its frame.
  position(p, left, top) {
    const child = !!p.data.parent;
    p.el.style.left = (child ? left - 1 : left) + 'px';
    p.el.style.top = (child ? top - 21 - p.menuSlot.offsetHeight : top) + 'px';
  }

  place(p) {
    const parent = this.panels.get(p.data.parent);
    const host = parent ? parent.client : this.root;
    if (p.el.parentElement !== host) host.append(p.el);
  }

  restack() {
    const order = (list, base) => list.forEach((h, i) => {
      const p = this.panels.get(h);
      if (p) p.el.style.zIndex = String(base + list.length - i);
    });
    order(this.topLevel.filter((h) => this.panels.has(h)), 10);
    for (const p of this.panels.values()) order(p.data.children || [], 10);
    // The topmost installed popup comes to the front; every window outside it looks and is out of reach,
    // its own parents included (only the path down to the popup stays live).
    const top = this.stack.length ? this.panels.get(this.stack[this.stack.length - 1]) : null;
    const path = new Set();
    if (top) {
      let outer = top;
      while (this.panels.get(outer.data.parent)) { outer = this.panels.get(outer.data.parent); path.add(outer.data.handle); }
      outer.el.style.zIndex = '10001';
      // A popup inside another panel also comes in front of its siblings there.
      top.el.style.zIndex = '10001';
    }
    const inside = (p) => {
      for (let q = p; q; q = this.panels.get(q.data.parent)) if (q === top) return true;
      return false;
    };
    for (const p of this.panels.values()) {
      p.el.classList.toggle('modal-host', !!top && path.has(p.data.handle));
      p.el.classList.toggle('modal-under', !!top && !path.has(p.data.handle) && !inside(p));
    }
  }

  panelGone(handle) {
    const p = this.panels.get(handle);
    if (!p) return;
    p.el.remove();
    this.panels.delete(handle);
    this.topLevel = this.topLevel.filter((h) => h !== handle);
    for (const [id, b] of this.menubars) if (b.panel === handle) this.menubarGone(id);
    this.fit();
  }

  modal(stack) {
    this.stack = stack;
    this.restack();
  }

  // The installed popup on top, if any: it takes the keys.
  modalTop() { return this.stack.length ? this.stack[this.stack.length - 1] : 0; }

  // Title bar drags move the window, the corner sizes it; the program hears about it when the mouse is let go.
  dragging(p, bar, sizer) {
    const start = (e, sizing) => {
      if (e.button !== 0 || e.target.tagName === 'BUTTON') return;
      if (!sizing && !attr(p.data, A.MOVABLE, 1)) return;
      e.preventDefault();
      const x0 = e.clientX, y0 = e.clientY, scale = scaleOf(p.el);
      const left = attr(p.data, A.LEFT, 0), top = attr(p.data, A.TOP, 0);
      const width = attr(p.data, A.WIDTH, 400), height = attr(p.data, A.HEIGHT, 300);
      let dx = 0, dy = 0;
      const move = (ev) => {
        dx = Math.round((ev.clientX - x0) / scale); dy = Math.round((ev.clientY - y0) / scale);
        if (sizing) {
          p.client.style.width = Math.max(50, width + dx) + 'px';
          p.client.style.height = Math.max(30, height + dy) + 'px';
        } else {
          this.position(p, left + dx, top + dy);
        }
      };
      const up = () => {
        window.removeEventListener('mousemove', move);
        window.removeEventListener('mouseup', up);
        if (!dx && !dy) return;
        if (sizing) this.send({ op: 'size', panel: p.data.handle, width: Math.max(50, width + dx), height: Math.max(30, height + dy), ...this.viewExtent() });
        else this.send({ op: 'move', panel: p.data.handle, left: left + dx, top: top + dy, ...this.viewExtent() });
      };
      window.addEventListener('mousemove', move);
      window.addEventListener('mouseup', up);
    };
    bar.addEventListener('mousedown', (e) => start(e, false));
    sizer.addEventListener('mousedown', (e) => start(e, true));
  }

  // True when no shown sibling lies above the panel or any of its parents.
  inFront(p) {
    for (let q = p; q; q = this.panels.get(q.data.parent)) {
      const parent = this.panels.get(q.data.parent);
      const siblings = parent ? parent.data.children || [] : this.topLevel;
      const first = siblings.find((h) => this.panels.get(h) && !this.panels.get(h).el.classList.contains('hidden'));
      if (first !== undefined && first !== q.data.handle) return false;
    }
    return true;
  }

  activePanelFor(target) {
    const el = target instanceof Element ? target.closest('.panel') : null;
    // While a popup is installed the keys are its own, wherever the focus was left.
    const top = this.modalTop();
    if (top && !(el && this.panels.get(top)?.el.contains(el))) return top;
    if (el) return Number(el.dataset.handle);
    return this.lastActive || this.topLevel.find((h) => this.panels.get(h) && !this.panels.get(h).el.classList.contains('hidden')) || 0;
  }

  chart(panel, id) { return this.panels.get(panel)?.controls.get(id)?.chart; }

  ctrlGone(panel, id) {
    const p = this.panels.get(panel);
    const c = p?.controls.get(id);
    if (!c) return;
    c.el.remove();
    p.controls.delete(id);
  }

  menubar(data) {
    let bar = this.menubars.get(data.handle);
    if (!bar) {
      bar = new MenuBar(this.send);
      this.menubars.set(data.handle, bar);
    }
    bar.update(data);
    const p = this.panels.get(data.panel);
    if (p && bar.el.parentElement !== p.menuSlot) p.menuSlot.replaceChildren(bar.el);
  }

  menuDelta(d) {
    const bar = this.menubars.get(d.handle);
    if (!bar) return;
    bar.delta(d);
    const p = this.panels.get(d.panel);
    if (p && bar.el.parentElement !== p.menuSlot) p.menuSlot.replaceChildren(bar.el);
  }

  menubarGone(handle) {
    const bar = this.menubars.get(handle);
    if (bar) bar.el.remove();
    this.menubars.delete(handle);
  }

  ctrl(panel, data) {
    const p = this.panels.get(panel);
    if (!p) return;
    let c = p.controls.get(data.id);
    const fresh = !c;
    if (!c) {
      c = { el: document.createElement('div') };
      p.controls.set(data.id, c);
      p.client.append(c.el);
    }
    // A list's rows come whole, as a splice of what changed, or not at all (unchanged); a long one as a window
    // of its rows (the rest asked for as they are shown) or a splice that keeps the others where they are.
    if (data.count !== undefined) {
      let rows = c.data?.items ?? [];
      if (data.items) {
        rows = data.items;
        c.windowed = false;
        c.rowsVersion = (c.rowsVersion ?? 0) + 1;
      } else if (data.window) {
        rows = new Array(data.count);
        c.windowed = true;
        c.width = 0;
        c.asked = null;
        this.fillRows(c, rows, data.window.at, data.window.items);
        c.rowsVersion = (c.rowsVersion ?? 0) + 1;
      } else if (data.splice && c.windowed) {
        rows.length = data.count;
        this.fillRows(c, rows, data.splice.at, data.splice.items);
        c.rowsVersion = (c.rowsVersion ?? 0) + 1;
      } else if (data.splice) {
        rows = spliceRows(rows, data.splice);
        c.rowsVersion = (c.rowsVersion ?? 0) + 1;
      }
      delete data.splice;
      delete data.window;
      data.items = rows;
    }
    c.data = data;
    const el = c.el;
    const [dw, dh] = defaultSize(data.style);
    el.className = 'ctrl';
    el.dataset.ctrl = data.id;
    el.dataset.style = data.style;
    const constant = attr(data, A.CONSTANT, '');
    if (constant) el.dataset.constant = constant;
    // How many rows a list holds (a long one shows only those in view).
    if (data.count !== undefined) el.dataset.rows = data.items.length;
    el.style.left = attr(data, A.LEFT, 0) + 'px';
    el.style.top = attr(data, A.TOP, 0) + 'px';
    el.style.width = attr(data, A.WIDTH, dw) + 'px';
    el.style.height = attr(data, A.HEIGHT, dh) + 'px';
    el.classList.toggle('hidden', !attr(data, A.VISIBLE, 1) || data.style === S.TIMER);
    el.classList.toggle('dimmed', !!attr(data, A.DIMMED, 0));
    // A label that nothing listens to never takes a click meant for the control under it.
    el.style.pointerEvents = data.style === S.TEXT_MSG && !data.callback ? 'none' : '';
    if (attr(data, A.TEXT_COLOR, undefined) !== undefined) el.style.color = color(attr(data, A.TEXT_COLOR, 0));
    if (data.style === S.GRAPH || data.style === S.STRIP) {
      el.classList.add('chart');
      if (fresh || !c.chart) c.chart = new Chart(el, panel, data, this.send);
      else c.chart.setCtrl(data);
      return;
    }
    // Presses are taken on the control's own box, which outlives re-rendering: a click whose
    // button was redrawn between mouse down and up still counts.
    // A list row under the pointer, found again by position when the row was redrawn between press and release.
    const rowAt = (e) => {
      const hit = e.target instanceof Element && e.target.closest('.list-item') ? e.target
        : document.elementFromPoint(e.clientX, e.clientY);
      const row = hit?.closest('.list-item');
      return row && el.contains(row) ? row : null;
    };
    const listening = data.style === S.LIST && attr(data, A.MODE, 0) !== 1;
    el.ondblclick = !listening ? null : (e) => {
      const row = rowAt(e);
      if (!row) return;
      this.send({ op: 'select', panel, ctrl: data.id, index: Number(row.dataset.index), commit: true });
      // The double click itself, at its place in the list, for lists that act on it.
      const box = el.querySelector('.listbox') ?? el;
      const r = box.getBoundingClientRect(), k = scaleOf(box);
      this.send({ op: 'dblclick', panel, ctrl: data.id, x: Math.round((e.clientX - r.left) / k), y: Math.round((e.clientY - r.top) / k) });
    };
    el.onclick = (e) => {
      if (listening) {
        const row = rowAt(e);
        if (row) this.send({ op: 'select', panel, ctrl: data.id, index: Number(row.dataset.index), commit: false });
        return;
      }
      const target = e.target instanceof Element ? e.target.closest('[data-press]') : null;
      const inside = target && el.contains(target);
      if (!inside && e.target !== el) return;
      if (e.target === el && !el.querySelector('[data-press]')) return;
      if (target?.type === 'checkbox') e.preventDefault();
      this.send({ op: 'press', panel, ctrl: data.id });
    };
    // Redrawn only when what it shows changes: a control the program sets again and again (a replay's buttons,
    // dimmed and undimmed every block) would otherwise leave the page between a press and its release.
    const { [A.DIMMED]: _dimmed, [A.VISIBLE]: _visible, ...shown } = data.attributes || {};
    const drawn = JSON.stringify([shown, { ...data, attributes: null, items: c.rowsVersion ?? null }]);
    if (!fresh && c.drawn === drawn) return;
    c.drawn = drawn;
    const focused = el.contains(document.activeElement) ? document.activeElement : null;
    const oldList = el.querySelector('.listbox');
    const scrolled = oldList ? [oldList.scrollTop, oldList.scrollLeft] : null;
    el.replaceChildren(...this.render(panel, data, c));
    const list = el.querySelector('.listbox');
    if (list) {
      // A redrawn list keeps where the user scrolled; a new current item (the newest line of a log) comes into view.
      if (scrolled) [list.scrollTop, list.scrollLeft] = scrolled;
      const count = (data.items || []).length;
      if ((c.listIndex !== data.index || c.listCount !== count) && data.index >= 0 && data.index < count) {
        const top = data.index * ROW_HEIGHT;
        if (top < list.scrollTop) list.scrollTop = top;
        else if (top + ROW_HEIGHT > list.scrollTop + list.clientHeight) list.scrollTop = top + ROW_HEIGHT - list.clientHeight;
      }
      c.listIndex = data.index;
      c.listCount = count;
      list.drawRows?.();
    }
    // The control's face colour (a status indicator, for instance).
    const face = attr(data, A.CTRL_COLOR, undefined);
    if (face !== undefined)
      for (const f of el.querySelectorAll('input,textarea,select,button')) f.style.backgroundColor = color(face);
    // A redrawn field keeps the keys; in a list, the same row does, where it is (the first drawn row taking the
    // focus would scroll the list to it).
    if (focused && data.style === S.LIST) {
      const row = focused.closest('.list-item')?.dataset.index;
      if (row !== undefined) el.querySelector(`.list-item[data-index="${row}"] input`)?.focus({ preventScroll: true });
    } else if (focused) {
      el.querySelector('input,textarea,select')?.focus();
    }
    el.oncontextmenu = (e) => {
      e.preventDefault();
      const r = el.getBoundingClientRect(), k = scaleOf(el);
      this.send({ op: 'rclick', panel, ctrl: data.id, x: Math.round((e.clientX - r.left) / k), y: Math.round((e.clientY - r.top) / k), ctrl_key: e.ctrlKey });
    };
  }

  // Rows of a long list put where they belong; the widest seen sets how far the list scrolls sideways.
  fillRows(c, rows, at, items) {
    items.forEach((it, k) => {
      rows[at + k] = it;
      c.width = Math.max(c.width ?? 0, labelWidth(it[LABEL]));
    });
  }

  // Rows the page asked for, as the program holds them now: drawn if they are still in view.
  listRows(m) {
    const c = this.panels.get(m.panel)?.controls.get(m.ctrl);
    const rows = c?.data?.items;
    if (!c || !c.windowed) return;
    c.asked = null;
    // Rows of a list that has changed since are not these: what is shown is asked for again.
    if (rows.length === m.count) this.fillRows(c, rows, m.at, m.items);
    c.el.querySelector('.listbox')?.drawRows?.(true);
  }

  render(panel, data, c) {
    const id = data.id;
    const label = attr(data, A.LABEL, '');
    const indicator = attr(data, A.MODE, 0) === 1;
    const out = [];
    const labelled = (node) => {
      if (label) {
        const l = document.createElement('span');
        l.className = 'label';
        l.textContent = label;
        out.push(l);
      }
      out.push(node);
      return out;
    };
    const set = (value) => this.send({ op: 'set', panel, ctrl: id, value, commit: true });
    if (data.style === S.NUMERIC && attr(data, A.SHOW_AS_COLOR, 0)) {
      // A colour is picked and shown as a swatch, never as its number.
      const input = document.createElement('input');
      input.type = 'color';
      input.className = 'swatch';
      input.value = color(Number(data.value) || 0);
      input.title = input.value;
      input.disabled = indicator;
      input.addEventListener('change', () => set(parseInt(input.value.slice(1), 16)));
      return labelled(input);
    }
    switch (data.style) {
      case S.NUMERIC: case S.STRING: case S.SLIDE: {
        const input = document.createElement('input');
        const numeric = data.style !== S.STRING;
        if (data.style === S.SLIDE) {
          input.type = 'range';
          input.min = attr(data, A.MIN, 0);
          input.max = attr(data, A.MAX, 10);
          input.step = INTEGER_TYPES.has(data.data_type) ? 1 : 'any';
        } else {
          input.type = 'text';
        }
        input.value = data.value ?? '';
        input.readOnly = indicator;
        input.disabled = indicator && data.style === S.SLIDE;
        const max = attr(data, A.MAX_LEN, 0);
        if (!numeric && max > 0) input.maxLength = max;
        input.addEventListener('change', () => {
          if (!numeric) return set(input.value);
          const v = Number(input.value.trim());
          if (input.value.trim() === '' || !Number.isFinite(v)) { input.value = data.value ?? ''; return; }
          set(INTEGER_TYPES.has(data.data_type) ? Math.round(v) : v);
        });
        return labelled(input);
      }
      case S.RING: {
        const sel = document.createElement('select');
        (data.items || []).forEach((it, i) => {
          const o = document.createElement('option');
          o.value = i;
          o.textContent = parseListText(it[LABEL]).map((s) => s.text).join(' ');
          sel.append(o);
        });
        sel.value = data.index;
        sel.disabled = indicator;
        sel.addEventListener('change', () => this.send({ op: 'select', panel, ctrl: id, index: Number(sel.value), commit: true }));
        return labelled(sel);
      }
      case S.TEXT_MSG: {
        const d = document.createElement('div');
        d.className = 'ctrl text-msg';
        d.style.position = 'static';
        d.textContent = data.value || label;
        d.addEventListener('click', (e) => this.click(panel, id, e));
        out.push(d);
        return out;
      }
      case S.TEXT_BOX: {
        const t = document.createElement('textarea');
        t.value = data.value ?? '';
        t.readOnly = indicator;
        limitLength(t, attr(data, A.MAX_LEN, 0));
        t.addEventListener('change', () => set(t.value));
        return labelled(t);
      }
      case S.COMMAND: case S.TOGGLE: case S.PICTURE_BUTTON: {
        const b = document.createElement('button');
        const image = attr(data, A.IMAGE, '');
        // A toggle shows the text of its state when the panel gives one.
        const stateText = data.style === S.TOGGLE ? attr(data, data.value ? A.ON_TEXT : A.OFF_TEXT, '') : '';
        // Pictures we know are drawn as their symbol; any other shows whether it is pressed.
        const glyph = PICTURE_GLYPHS[String(image).toLowerCase()];
        b.textContent = data.style === S.PICTURE_BUTTON && image ? glyph ?? (data.value ? '❐' : '□') : stateText || label;
        if (glyph) b.setAttribute('aria-label', String(image).replace(/\.ico$/i, ''));
        if (data.style !== S.COMMAND && data.value) b.classList.add('pressed');
        b.disabled = indicator;
        b.dataset.press = '1';
        out.push(b);
        return out;
      }
      case S.SWITCH: case S.CHECK: {
        const wrap = document.createElement('label');
        const box = document.createElement('input');
        box.type = 'checkbox';
        box.checked = !!data.value;
        box.disabled = indicator;
        box.dataset.press = '1';
        // A check box has its label beside it; a switch's stands above it, as other controls' do.
        if (data.style === S.SWITCH) {
          wrap.append(box);
          return labelled(wrap);
        }
        wrap.append(box, document.createTextNode(' ' + label));
        out.push(wrap);
        return out;
      }
      case S.LED: {
        const led = document.createElement('div');
        led.className = 'led' + (data.value ? ' on' : '');
        if (!indicator) led.dataset.press = '1';
        return labelled(led);
      }
      case S.LIST: return labelled(this.listBox(panel, data, indicator, c));
      case S.DECORATION: case S.PICTURE: {
        const d = document.createElement('div');
        d.className = data.style === S.DECORATION ? 'decoration' : 'picture';
        d.style.width = '100%'; d.style.height = '100%';
        d.addEventListener('click', (e) => this.click(panel, id, e));
        out.push(d);
        return out;
      }
      default:
        return out;
    }
  }

  click(panel, ctrl, e) {
    const r = e.currentTarget.getBoundingClientRect(), k = scaleOf(e.currentTarget);
    this.send({ op: 'click', panel, ctrl, x: Math.round((e.clientX - r.left) / k), y: Math.round((e.clientY - r.top) / k), ctrl_key: e.ctrlKey });
  }

  // Short lists hold every row; long ones only the rows in view (and a few either side), drawn as the list scrolls.
  listBox(panel, data, indicator, c) {
    const box = document.createElement('div');
    box.className = 'listbox';
    const checks = !!attr(data, A.CHECK_MODE, 0);
    const items = data.items || [];
    const row = (it, i) => this.listRow(panel, data, it, i, checks, indicator);
    if (items.length <= VIRTUAL_FROM) {
      items.forEach((it, i) => box.append(row(it, i)));
      return box;
    }
    box.classList.add('virtual');
    const room = document.createElement('div');
    room.className = 'list-room';
    room.style.height = items.length * ROW_HEIGHT + 'px';
    room.style.width = listWidth(c, items) + 'px';
    box.append(room);
    let shown = [-1, -1];
    box.drawRows = (again = false) => {
      const first = Math.max(0, Math.floor(box.scrollTop / ROW_HEIGHT) - OVERSCAN);
      const last = Math.min(items.length, Math.ceil((box.scrollTop + box.clientHeight) / ROW_HEIGHT) + OVERSCAN);
      if (!again && first === shown[0] && last === shown[1]) return;
      shown = [first, last];
      const rows = [];
      let missing = -1;
      for (let i = first; i < last; i++) {
        // A row not here yet holds its place, blank, until it comes.
        const r = items[i] ? row(items[i], i) : document.createElement('div');
        if (!items[i]) {
          r.className = 'list-pending';
          if (missing < 0) missing = i;
        }
        r.style.top = i * ROW_HEIGHT + 'px';
        rows.push(r);
      }
      room.style.width = listWidth(c, items) + 'px';
      room.replaceChildren(...rows);
      if (missing >= 0) this.askRows(panel, data.id, c, missing, last);
    };
    box.addEventListener('scroll', () => box.drawRows());
    // Drawn again once it has a size (a list filled while its window is hidden has none yet).
    new ResizeObserver(() => box.drawRows()).observe(box);
    return box;
  }

  // One request at a time, a screenful or more about what is shown; the next is asked for when it is answered
  // (or, should the program have let it drop while busy, a while later).
  askRows(panel, ctrl, c, from, to) {
    if (c.asked && performance.now() - c.askedAt < ASK_AGAIN_MS) return;
    const middle = Math.floor((from + to) / 2);
    const at = Math.max(0, Math.min(from, middle - ASK_ROWS / 2));
    c.asked = [at, Math.max(to, at + ASK_ROWS)];
    c.askedAt = performance.now();
    this.send({ op: 'rows', panel, ctrl, from: c.asked[0], to: c.asked[1] });
  }

  listRow(panel, data, it, i, checks, indicator) {
    const row = document.createElement('div');
    row.className = 'list-item' + (i === data.index ? ' current' : '');
    row.dataset.index = i;
    if (checks) {
      const c = document.createElement('input');
      c.type = 'checkbox';
      c.checked = it[CHECKED];
      c.disabled = indicator;
      c.addEventListener('click', (e) => {
        e.preventDefault();
        e.stopPropagation();
        this.send({ op: 'check', panel, ctrl: data.id, index: i, checked: !it[CHECKED] });
      });
      row.append(c);
    }
    const text = document.createElement('span');
    text.className = 'item-text';
    // Whole lines: text placed at pixel columns still widens the row, so the list scrolls sideways.
    text.style.minWidth = Math.ceil(labelWidth(it[LABEL])) + 'px';
    for (const seg of parseListText(it[LABEL])) {
      const s = document.createElement('span');
      s.textContent = seg.text;
      if (seg.color) { s.style.color = seg.color; s.classList.add('coloured'); }
      if (seg.column >= 0) { s.classList.add('seg'); s.style.left = seg.column + 'px'; }
      text.append(s);
    }
    row.append(text);
    // Clicks and double clicks are taken on the control's own box (see ctrl), which outlives redrawing.
    return row;
  }
}

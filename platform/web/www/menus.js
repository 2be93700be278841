// Menu bars: menus, submenus, checked and dimmed items, shortcut texts; a pick goes to the program.
// Each node keeps its element while the bar changes, so a menu open while the program changes the bar stays open.
import { keyText } from './keys.js';

// The nodes of a bar as the program sends them in full, flattened by id (a menu lists its items' ids).
function flatten(menus) {
  const nodes = [];
  const walk = (n) => {
    if (n.items) {
      nodes.push({ id: n.id, name: n.name, dimmed: n.dimmed, is_menu: true, items: n.items.map((i) => i.id) });
      n.items.forEach(walk);
    } else {
      nodes.push({ id: n.id, name: n.name, dimmed: n.dimmed, is_menu: false, checked: n.checked, shortcut: n.shortcut,
        submenu: n.submenu ? n.submenu.id : 0 });
      if (n.submenu) walk(n.submenu);
    }
  };
  menus.forEach(walk);
  return nodes;
}

// Makes `parent`'s children exactly `wanted`, in order, moving only what is out of place.
function arrange(parent, wanted) {
  const keep = new Set(wanted);
  for (const child of [...parent.children]) if (!keep.has(child)) child.remove();
  wanted.forEach((el, i) => {
    if (parent.children[i] !== el) parent.insertBefore(el, parent.children[i] ?? null);
  });
}

export class MenuBar {
  constructor(send) {
    this.send = send;
    this.el = document.createElement('div');
    this.el.className = 'menubar';
    this.openMenu = null;
    this.nodes = new Map();  // id -> the node as last sent
    this.views = new Map();  // id -> {row or title element, list (menus), name, shortcut}
    this.menus = [];
    document.addEventListener('mousedown', (e) => { if (!this.el.contains(e.target)) this.closeAll(); });
    // Esc closes an open menu before anything else hears it.
    document.addEventListener('keydown', (e) => {
      if (e.key !== 'Escape' || !this.isOpen()) return;
      e.preventDefault();
      e.stopPropagation();
      this.closeAll();
    }, true);
  }

  isOpen() { return this.openMenu !== null && this.el.isConnected; }

  // The whole bar (when it is first shown).
  update(data) {
    const nodes = flatten(data.menus);
    const ids = new Set(nodes.map((n) => n.id));
    const gone = [...this.nodes.keys()].filter((id) => !ids.has(id));
    this.delta({ handle: data.handle, panel: data.panel, dimmed: data.dimmed, menus: data.menus.map((m) => m.id), nodes, gone });
  }

  // The nodes that changed, the ids that went, and the order of the menus.
  delta(d) {
    this.handle = d.handle;
    this.panel = d.panel;
    this.el.dataset.menubar = d.handle;
    this.el.classList.toggle('dimmed', !!d.dimmed);
    for (const id of d.gone) {
      this.nodes.delete(id);
      const v = this.views.get(id);
      if (v) { v.el?.remove(); v.list?.remove(); v.title?.remove(); }
      this.views.delete(id);
      if (this.openMenu === id) this.openMenu = null;
    }
    for (const n of d.nodes) this.nodes.set(n.id, n);
    this.menus = d.menus;
    for (const n of d.nodes) this.draw(n);
    // Structure: every menu's list holds its rows; an item holds its submenu's list.
    for (const n of this.nodes.values()) {
      const v = this.views.get(n.id);
      if (n.is_menu) arrange(v.list, n.items.map((id) => this.rowOf(id)).filter(Boolean));
      else if (n.submenu && this.views.get(n.submenu)?.list.parentElement !== v.el) v.el.append(this.views.get(n.submenu).list);
    }
    arrange(this.el, this.menus.map((id) => this.titleOf(id)).filter(Boolean));
    if (this.openMenu !== null && !this.nodes.has(this.openMenu)) this.openMenu = null;
  }

  rowOf(id) { return this.nodes.get(id)?.is_menu ? null : this.views.get(id)?.el; }

  // A top-level menu's title, holding its list.
  titleOf(id) {
    const v = this.views.get(id);
    if (!v || !v.list) return null;
    if (!v.title) {
      const t = document.createElement('div');
      t.className = 'menu';
      t.dataset.menu = id;
      v.titleText = document.createTextNode('');
      t.append(v.titleText);
      t.addEventListener('mousedown', (e) => {
        const n = this.nodes.get(id);
        if (e.target !== t || !n || n.dimmed) return;
        const open = v.list.style.display === 'none';
        this.closeAll();
        if (open) this.show(id);
      });
      t.addEventListener('mouseenter', () => {
        const n = this.nodes.get(id);
        if (this.openMenu !== null && this.openMenu !== id && n && !n.dimmed) {
          this.closeAll();
          this.show(id);
        }
      });
      v.title = t;
    }
    const n = this.nodes.get(id);
    v.titleText.textContent = n.name;
    v.title.classList.toggle('dimmed', !!n.dimmed);
    if (v.list.parentElement !== v.title) {
      v.list.style.display = this.openMenu === id ? '' : 'none';
      v.title.append(v.list);
    }
    return v.title;
  }

  show(id) {
    const v = this.views.get(id);
    v.list.style.display = '';
    v.title.classList.add('open');
    this.openMenu = id;
  }

  closeAll() {
    this.openMenu = null;
    for (const m of this.el.querySelectorAll('.menu.open')) m.classList.remove('open');
    for (const l of this.el.querySelectorAll('.menu-list')) l.style.display = 'none';
  }

  // A node's own element, made once and brought up to date.
  draw(n) {
    let v = this.views.get(n.id);
    if (n.is_menu) {
      if (!v) {
        v = { list: document.createElement('div') };
        v.list.className = 'menu-list';
        v.list.style.display = 'none';
        this.views.set(n.id, v);
      }
      if (v.title) this.titleOf(n.id);
      return;
    }
    if (!v) {
      const row = document.createElement('div');
      row.dataset.menuItem = n.id;
      v = { el: row, name: document.createElement('span'), shortcut: document.createElement('span') };
      v.shortcut.className = 'shortcut';
      row.append(v.name, v.shortcut);
      const sub = () => this.views.get(this.nodes.get(n.id)?.submenu)?.list;
      row.addEventListener('mouseenter', () => { const l = sub(); if (l) l.style.display = ''; });
      row.addEventListener('mouseleave', () => { const l = sub(); if (l) l.style.display = 'none'; });
      row.addEventListener('mouseup', (e) => {
        const now = this.nodes.get(n.id);
        if (!now || now.submenu || e.target.closest('.menu-item') !== row) return;
        e.stopPropagation();
        this.closeAll();
        this.send({ op: 'menu', menubar: this.handle, item: n.id, ctrl_key: e.ctrlKey });
      });
      this.views.set(n.id, v);
    }
    v.el.className = 'menu-item' + (n.dimmed ? ' dimmed' : '') + (n.checked ? ' checked' : '') + (n.submenu ? ' has-sub' : '');
    v.name.textContent = n.name;
    v.shortcut.textContent = n.shortcut ? keyText(n.shortcut) : '';
    v.shortcut.style.display = n.shortcut ? '' : 'none';
    if (!n.submenu) for (const l of v.el.querySelectorAll(':scope > .menu-list')) l.remove();
  }
}

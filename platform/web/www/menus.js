// Menu bars: menus, submenus, checked and dimmed items, shortcut texts; a pick goes to the program.
import { keyText } from './keys.js';

export class MenuBar {
  constructor(send) {
    this.send = send;
    this.el = document.createElement('div');
    this.el.className = 'menubar';
    this.openMenu = null;
    document.addEventListener('mousedown', (e) => { if (!this.el.contains(e.target)) this.closeAll(); });
  }

  update(data) {
    this.data = data;
    this.panel = data.panel;
    this.el.dataset.menubar = data.handle;
    this.el.classList.toggle('dimmed', !!data.dimmed);
    const reopen = this.openMenu;
    this.el.replaceChildren(...data.menus.map((m) => this.menu(m)));
    // A menu open while the bar changes stays open, its list shown.
    const again = reopen ? this.el.querySelector(`.menu[data-menu="${reopen}"]`) : null;
    if (again) {
      again.classList.add('open');
      const list = again.querySelector(':scope > .menu-list');
      if (list) list.style.display = '';
    } else {
      this.openMenu = null;
    }
  }

  closeAll() {
    this.openMenu = null;
    for (const m of this.el.querySelectorAll('.menu.open')) m.classList.remove('open');
    for (const l of this.el.querySelectorAll('.menu > .menu-list')) l.style.display = 'none';
  }

  menu(m) {
    const el = document.createElement('div');
    el.className = 'menu' + (m.dimmed ? ' dimmed' : '');
    el.dataset.menu = m.id;
    el.textContent = m.name;
    const list = this.list(m);
    list.style.display = 'none';
    el.append(list);
    el.addEventListener('mousedown', (e) => {
      if (e.target !== el || m.dimmed) return;
      const open = list.style.display === 'none';
      this.closeAll();
      if (open) {
        list.style.display = '';
        el.classList.add('open');
        this.openMenu = m.id;
      }
    });
    el.addEventListener('mouseenter', () => {
      if (this.openMenu && this.openMenu !== m.id && !m.dimmed) {
        this.closeAll();
        list.style.display = '';
        el.classList.add('open');
        this.openMenu = m.id;
      }
    });
    return el;
  }

  list(menu) {
    const list = document.createElement('div');
    list.className = 'menu-list';
    for (const it of menu.items || []) {
      const row = document.createElement('div');
      row.className = 'menu-item' + (it.dimmed ? ' dimmed' : '') + (it.checked ? ' checked' : '') + (it.submenu ? ' has-sub' : '');
      row.dataset.menuItem = it.id;
      const name = document.createElement('span');
      name.textContent = it.name;
      row.append(name);
      if (it.shortcut) {
        const s = document.createElement('span');
        s.className = 'shortcut';
        s.textContent = keyText(it.shortcut);
        row.append(s);
      }
      if (it.submenu) {
        const sub = this.list(it.submenu);
        sub.style.display = 'none';
        row.append(sub);
        row.addEventListener('mouseenter', () => { sub.style.display = ''; });
        row.addEventListener('mouseleave', () => { sub.style.display = 'none'; });
      } else {
        row.addEventListener('mouseup', (e) => {
          e.stopPropagation();
          this.closeAll();
          this.send({ op: 'menu', menubar: this.data.handle, item: it.id, ctrl_key: e.ctrlKey });
        });
      }
      list.append(row);
    }
    return list;
  }
}

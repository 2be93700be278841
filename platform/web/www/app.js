// The page's connection to the program: mirrors the model from the snapshot and the changes, sends what the user does.
import { Screen } from './panels.js';
import { Popups } from './popups.js';
import { keyCode, fieldEditKey } from './keys.js';
import { showStatusLine } from './statusline.js';
import { reportScreen, forgetScreen } from './screensize.js';

const statusBox = document.getElementById('status');
let socket = null;
let pendingLists = new Map();
let nextRequest = 1;
let ended = false;
let failures = 0;
let frameAsked = false;

// Everything the user does goes through here.
export function send(action) {
  if (socket && socket.readyState === WebSocket.OPEN) socket.send(JSON.stringify(action));
}

// Directory listings for a file popup: the server lists what that popup may show.
export function listDirectory(dir, popup) {
  return new Promise((resolve) => {
    const req = nextRequest++;
    pendingLists.set(req, resolve);
    send({ op: 'list_dir', dir, popup, req });
  });
}

// A new folder for a file or directory popup that allows it; answered with the new folder's listing.
export function makeDirectory(dir, name, popup) {
  return new Promise((resolve) => {
    const req = nextRequest++;
    pendingLists.set(req, resolve);
    send({ op: 'make_dir', dir, name, popup, req });
  });
}

const screenRoot = document.getElementById('screen');
const screen = new Screen(screenRoot, send);
let resizing = 0;
window.addEventListener('resize', () => {
  clearTimeout(resizing);
  resizing = setTimeout(() => reportScreen(screenRoot, send), 150);
});
const popups = new Popups(document.getElementById('popups'), send, listDirectory, makeDirectory);

function openDocument(path) {
  const url = 'doc?path=' + encodeURIComponent(path);
  const tab = window.open(url, '_blank');
  if (!tab) {
    // A blocked pop-up still leaves the user a way to the document.
    const n = document.createElement('div');
    n.className = 'notice';
    const a = document.createElement('a');
    a.href = url; a.target = '_blank'; a.textContent = 'Open ' + path;
    a.addEventListener('click', () => n.remove());
    n.append(a);
    document.body.append(n);
  }
}

// A strip block comes as float64 values: [1, panel, id, first_scan, end_scan, bucket, traces,
// then per trace its first column and count, then the min/max pairs of each trace in turn].
function stripOfFrame(buf) {
  const f = new Float64Array(buf);
  const n = f[6];
  const traces = [], firsts = [];
  let at = 7 + 2 * n;
  for (let t = 0; t < n; t++) {
    firsts.push(f[7 + 2 * t]);
    traces.push(f.subarray(at, at + f[8 + 2 * t]));
    at += f[8 + 2 * t];
  }
  return { type: 'strip', panel: f[1], id: f[2], first_scan: f[3], end_scan: f[4], bucket: f[5], traces, firsts };
}

// Windows the program could not load (a damaged or missing panel file): said on the page, not left blank.
const KEPT_LOAD_ERRORS = 20;
function showLoadErrors(errors, more = false) {
  let box = document.getElementById('load-errors');
  if (!box) {
    box = document.createElement('div');
    box.id = 'load-errors';
    box.className = 'load-errors';
    document.body.prepend(box);
  }
  if (!more) box.replaceChildren();
  for (const e of errors) {
    const line = document.createElement('div');
    line.textContent = 'A window could not be loaded: ' + e;
    box.append(line);
  }
  // The latest, as many as the program keeps.
  while (box.childElementCount > KEPT_LOAD_ERRORS) box.firstElementChild.remove();
  box.hidden = box.childElementCount === 0;
}

function handle(m) {
  switch (m.type) {
    case 'snapshot':
      screen.load(m);
      popups.load(m);
      showLoadErrors(m.load_errors || []);
      if (typeof m.title === 'string' && m.title) document.title = m.title;
      forgetScreen();
      requestAnimationFrame(() => reportScreen(screenRoot, send));
      document.body.style.cursor = m.wait_cursor ? 'wait' : '';
      break;
    case 'reset': screen.clear(); popups.clear(); break;
    case 'panel': screen.panel(m.panel); break;
    case 'panel_gone':
      screen.panelGone(m.handle);
      if (screen.lastActive === m.handle) screen.lastActive = 0;
      break;
    case 'ctrl': screen.ctrl(m.panel, m.ctrl); break;
    case 'ctrl_gone': screen.ctrlGone(m.panel, m.id); break;
    case 'rows': screen.listRows(m); break;
    case 'graph': screen.chart(m.panel, m.id)?.setGraph(m.graph); break;
    case 'plot': screen.chart(m.panel, m.id)?.addPlot(m.plot); break;
    case 'plots_deleted': screen.chart(m.panel, m.id)?.deletePlots(m.plot, m.immediate); break;
    case 'refresh': screen.chart(m.panel, m.id)?.refresh(); break;
    case 'strip': screen.chart(m.panel, m.id)?.appendStrip(m); break;
    case 'strip_clear': screen.chart(m.panel, m.id)?.clearStrip(); break;
    case 'menubar': screen.menubar(m.menubar); break;
    case 'menu_delta': screen.menuDelta(m); break;
    case 'menubar_gone': screen.menubarGone(m.handle); break;
    case 'popup': popups.open(m.popup); break;
    case 'popup_gone': popups.close(m.id); break;
    case 'popup_refused': popups.refused(m.id, m.text); break;
    case 'stacking': screen.stacking(m.parent, m.order); break;
    case 'modal': screen.modal(m.stack); break;
    // The window the program makes active takes the keys that no focused field holds (Esc closes it).
    case 'active': if (m.panel > 0) screen.lastActive = m.panel; break;
    case 'mouse_cursor': document.body.style.cursor = m.wait || m.cursor === 17 ? 'wait' : ''; break;
    case 'document': openDocument(m.path); break;
    case 'status_line': showStatusLine(m.text); break;
    case 'load_error': showLoadErrors([m.error], true); break;
    case 'dir_list': {
      const done = pendingLists.get(m.req);
      pendingLists.delete(m.req);
      if (done) done(m);
      break;
    }
    // This page operates the program: its reload shows the seat to get its place back.
    case 'seat': sessionStorage.setItem('vantrel_seat', m.seat); break;
    case 'role':
      statusBox.textContent = 'Another page is operating the program: this one only watches.';
      statusBox.className = 'status';
      break;
  }
}

function connect() {
  const url = new URL('ws', location.href);
  url.protocol = location.protocol === 'https:' ? 'wss:' : 'ws:';
  const seat = sessionStorage.getItem('vantrel_seat');
  if (seat) url.searchParams.set('seat', seat);
  socket = new WebSocket(url);
  socket.onopen = () => { statusBox.className = 'status ok'; failures = 0; };
  socket.binaryType = 'arraybuffer';
  socket.onmessage = (e) => {
    if (typeof e.data === 'string') return handle(JSON.parse(e.data));
    handle(stripOfFrame(e.data));
    // Drawn at the next animation frame; then the program may send the next strip data (at most a screen of it).
    if (!frameAsked) {
      frameAsked = true;
      requestAnimationFrame(() => { frameAsked = false; send({ op: 'frame' }); });
    }
  };
  socket.onclose = (e) => {
    pendingLists.clear();
    // 1001 (going away): the program has ended; nothing comes back at this address until it is started again.
    // Without that word (the program was killed, or the word was lost), six failed attempts in a row mean the same.
    failures++;
    if (e.code === 1001 || failures > 5) {
      ended = true;
      statusBox.textContent = e.code === 1001 ? 'The program has ended. Start it again, then reload this page.'
        : 'The program cannot be reached: it has ended. Start it again, then reload this page.';
      statusBox.className = 'status ended';
      popups.clear();
      screen.ended();
      return;
    }
    statusBox.textContent = 'Connection lost: reconnecting…';
    statusBox.className = 'status';
    setTimeout(connect, 1000);
  };
}

// Shortcut keys go to the panel the user works in; plain typing stays in the fields.
document.addEventListener('keydown', (e) => {
  if (popups.active() || ended) return;
  const code = keyCode(e);
  if (!code) return;
  const inField = e.target instanceof HTMLInputElement || e.target instanceof HTMLTextAreaElement || e.target instanceof HTMLSelectElement;
  if (inField && fieldEditKey(e)) return;
  // In a field, only Ctrl combinations, function keys and Esc are the program's; the rest edit the field.
  if (inField && !(code & 0x40000) && !(code >= 0xF00 && (code & 0xff00) <= 0x1A00) && code !== 0x300) return;
  const panel = screen.activePanelFor(e.target);
  if (!panel) return;
  e.preventDefault();
  send({ op: 'key', panel, key: code });
});

// The server drops pages it has not heard from for five minutes.
setInterval(() => send({ op: 'ping' }), 60000);

connect();

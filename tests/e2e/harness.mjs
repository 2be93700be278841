// Harness of the browser tests: for the real programs a fresh copy of bin/ and working directory, the program's
// output, headless Chromium on its page, named test steps and a bounded run; for every script the controls by
// their generated names, menu items by their paths, the wait until the program has handled the clicks, shared steps.
import { spawn } from 'node:child_process';
import { createRequire } from 'node:module';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import readline from 'node:readline';

export function expect(cond, what) { if (!cond) throw new Error(what); }

export class ProgramSession {
  // The whole run is bounded by `limitMs`: whatever hangs, it ends by itself.
  constructor({ binDir, edition, webDir, limitMs }) {
    this.edition = edition;
    this.webDir = webDir;
    this.root = fs.mkdtempSync(path.join(os.tmpdir(), 'vantrel-program-'));
    this.progDir = path.join(this.root, 'bin');
    this.work = path.join(this.root, 'work');
    fs.cpSync(path.resolve(binDir), this.progDir, { recursive: true, filter: (src) => path.basename(src) !== 'VANTREL.INI' });
    fs.mkdirSync(this.work, { recursive: true });
    fs.writeFileSync(path.join(this.progDir, 'VANTREL.INI'), `[VANTREL]\nDIR = ${this.work}\n`);
    this.out = [];
    this.err = [];
    this.waiters = [];
    this.pageErrors = [];
    this.child = null;
    this.context = null;
    this.exited = null;
    this.passed = 0;
    this.failed = 0;
    this.overall = setTimeout(() => { console.error(`${edition}: out of time`); this.finish(1); }, limitMs);
  }

  // Starts the program on the simulated board; `env` adds to (or with undefined removes from) the environment.
  start(env = {}) {
    const all = { ...process.env, VANTREL_BOARD: 'sim' };
    for (const k of ['VANTREL_HTTP', 'VANTREL_SIM_SCENARIO', 'VANTREL_USB_ID', 'VANTREL_SIM_SPEED']) delete all[k];
    for (const [k, v] of Object.entries(env)) if (v === undefined) delete all[k]; else all[k] = v;
    const proc = spawn(path.join(this.progDir, this.edition), ['--http', '127.0.0.1:0'],
      { cwd: this.work, env: all, stdio: ['ignore', 'pipe', 'pipe'] });
    proc.on('error', (e) => { console.error(`cannot start ${this.edition}: ${e.message}`); this.finish(1); });
    proc.on('exit', (code, signal) => { this.exited = { code, signal }; this.wake(); });
    const collect = (stream, into, echo) => readline.createInterface({ input: stream }).on('line', (line) => {
      into.push(line);
      if (echo) console.error(`${this.edition}: ${line}`);
      this.wake();
    });
    collect(proc.stdout, this.out, false);
    collect(proc.stderr, this.err, true);
    this.child = proc;
    return proc;
  }

  wake() { for (const w of this.waiters.slice()) w(); }

  // Waits until `check` returns something truthy; re-checked whenever the program prints or ends, and every
  // 100 ms for what the program does silently (a file it writes after taking down its dialog).
  waitFor(check, what, ms) {
    return new Promise((resolve, reject) => {
      const test = () => {
        const v = check();
        if (!v) return false;
        this.waiters.splice(this.waiters.indexOf(test), 1);
        clearTimeout(timer);
        clearInterval(poll);
        resolve(v);
        return true;
      };
      const timer = setTimeout(() => {
        this.waiters.splice(this.waiters.indexOf(test), 1);
        clearInterval(poll);
        reject(new Error(`${what} not within ${ms} ms`));
      }, ms);
      const poll = setInterval(test, 100);
      this.waiters.push(test);
      test();
    });
  }

  // The address the program prints, then a page on it in headless Chromium (a 1920 x 1080 screen unless told).
  // `scrollBars` draws the scroll bars that headless Chromium leaves out by default, as a person's browser shows them.
  async openPage(viewport = { width: 1920, height: 1080 }, { scrollBars = false } = {}) {
    const url = (await this.waitFor(
      () => this.out.map((l) => /^Open (http:\/\/127\.0\.0\.1:\d+\/) in a browser/.exec(l)).find(Boolean),
      'the address line', 30000))[1];
    const require = createRequire(path.join(path.resolve(this.webDir), 'package.json'));
    const { chromium } = require('playwright-core');
    this.context = await chromium.launchPersistentContext(path.join(this.root, 'profile'), {
      executablePath: '/usr/bin/chromium',
      headless: true,
      args: ['--headless', '--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking',
        '--disable-component-update', '--disable-sync'],
      viewport,
      ignoreDefaultArgs: scrollBars ? ['--hide-scrollbars'] : [],
    });
    const page = this.context.pages()[0] || await this.context.newPage();
    page.on('pageerror', (e) => { this.pageErrors.push(e.message); console.log('page error: ' + e.message); });
    await page.goto(url);
    this.url = url;
    this.page = page;
    return page;
  }

  async test(name, body) {
    const started = Date.now();
    try {
      await body();
      this.passed++;
      console.log(`ok    ${this.edition}: ${name} (${Date.now() - started} ms)`);
    } catch (e) {
      this.failed++;
      console.log(`FAIL  ${this.edition}: ${name}: ${e.message}`);
      await this.describeWindows();
    }
  }

  // After a failure: which windows were showing, front first, so a covered control can be told from a lost one.
  async describeWindows() {
    if (!this.page || !this.context) return;
    const shown = await this.page.evaluate(() => [...document.querySelectorAll('[data-panel], .popup')]
      .filter((el) => !el.classList.contains('hidden') && el.offsetParent !== null)
      .map((el) => {
        const r = el.getBoundingClientRect();
        const title = el.querySelector(':scope .title')?.textContent ?? '';
        return { panel: el.dataset.panel, title, z: Number(getComputedStyle(el).zIndex) || 0,
          popup: el.classList.contains('popup'), box: [r.left, r.top, r.width, r.height].map(Math.round) };
      })
      .sort((a, b) => b.z - a.z)).catch(() => []);
    for (const w of shown) console.log(`  window ${w.panel} "${w.title}" z ${w.z}${w.popup ? ' popup' : ''} at ${w.box.join(' ')}`);
  }

  // SIGTERM must end the program cleanly.
  async stopProgram() {
    await this.context.close();
    this.context = null;
    this.child.kill('SIGTERM');
    const e = await this.waitFor(() => this.exited, 'the end of the program', 30000);
    expect(e.code === 0 && e.signal === null, `it ended with code ${e.code}, signal ${e.signal}`);
  }

  // Ends the program and starts it again on the same working directory, with a new page; `env` as for start.
  async restartProgram(env = {}, viewport = undefined) {
    await this.stopProgram();
    this.exited = null;
    this.out.length = 0;
    this.start(env);
    return this.openPage(viewport);
  }

  async finish(code) {
    try { if (this.context) await this.context.close(); } catch { /* already gone */ }
    if (this.child && !this.exited) this.child.kill('SIGKILL');
    fs.rmSync(this.root, { recursive: true, force: true });
    clearTimeout(this.overall);
    process.exit(code);
  }

  async done() {
    console.log(`${this.edition}: ${this.passed} passed, ${this.failed} failed`);
    await this.finish(this.failed ? 1 : 0);
  }
}

// --- finding what is shown ---------------------------------------------------------------------------------

// A window by its panel constant ("SCHART").
export const panelOf = (page, constant) => page.locator(`[data-panel="${constant}"]`);

// CSS selector of a control by its generated name ("SCHART_START": the control START of a panel SCHART, as in
// panels/s_chart.h), for locators and for scripts that wait in the page alike. Panel constants may hold "_" too:
// each way of splitting the name is tried, and only the real panel has such a control.
export function controlSelector(name) {
  const parts = name.split('_');
  const ways = [];
  for (let i = 1; i < parts.length; i++) {
    ways.push(`[data-panel="${parts.slice(0, i).join('_')}"] > .client > [data-constant="${parts.slice(i).join('_')}"]`);
  }
  return ways.join(', ');
}

// A control by its generated name; `within` (a window's locator) picks one of two windows of the same panel.
export function control(page, name, within = null) {
  if (!within) return page.locator(controlSelector(name));
  const ways = controlSelector(name).split(', ').map((way) => `:scope ${way.slice(way.indexOf('>'))}`);
  return within.locator(ways.join(', '));
}
export const button = (page, name, within = null) => control(page, name, within).locator('button');
export const listItems = (page, name, within = null) => control(page, name, within).locator('.list-item');
// A toggle button that shows itself pressed.
export const pressed = async (page, name) => (await control(page, name).locator('button.pressed').count()) === 1;

// The program has handled everything the page sent before: a directory listing is asked for on the same
// connection and is answered by the program's UI thread after the earlier actions, whose changes come first.
export async function settled(page) {
  await page.evaluate(async () => {
    const app = await import(new URL('app.js', document.baseURI).href);
    await app.listDirectory('', 0);
  });
}

// Waits until `read` gives the same value over `rounds` page redraws in a row, each followed by a round trip to the
// program. Strip data goes out one batch per frame the page has drawn, so data still on its way shows in one of them.
export async function steady(page, read, what, rounds = 3, most = 200) {
  let last = await read();
  for (let i = 0, same = 0; i < most; i++) {
    await page.evaluate(() => new Promise((done) => requestAnimationFrame(() => requestAnimationFrame(done))));
    await settled(page);
    const now = await read();
    if (now !== last) {
      last = now;
      same = 0;
    } else if (++same === rounds) {
      return now;
    }
  }
  throw new Error(`${what} still changes after ${most} redraws (last ${last})`);
}

const xpathText = (s) => (s.includes('"') ? `concat("${s.split('"').join('", \'"\', "')}")` : `"${s}"`);
const HAS_CLASS = (c) => `contains(concat(" ", @class, " "), " ${c} ")`;
// A menu of a menu bar, the rows of a menu or submenu, and one row, by the names they show.
const menuNamed = (name) => `xpath=./div[${HAS_CLASS('menu')}][normalize-space(text()[1])=${xpathText(name)}]`;
const ROWS = `./div[${HAS_CLASS('menu-list')}]/div[${HAS_CLASS('menu-item')}]`;
const rowNamed = (name) => `xpath=${ROWS}[span[1][normalize-space(.)=${xpathText(name)}]]`;

// Picks a menu bar item of a window with the mouse by its path of names ("File/Save", "Configure/Control
// Limits/Mean..."): a click on the menu, a hover on each submenu's row, a click on the item. A name may hold "/"
// itself ("View/Show/Hide Traces..."): the longest name the menu shows is taken. Playwright checks that each target
// is visible and not covered, as a person would see it.
export async function pickMenu(window, menuPath) {
  const names = Array.isArray(menuPath) ? menuPath : menuPath.split('/');
  const menu = window.locator(':scope > div > .menubar').locator(menuNamed(names[0]));
  // A menu that did not open (the click came while the page was still busy) is clicked again, as a person would.
  const open = menu.locator(`xpath=self::*[${HAS_CLASS('open')}]`);
  for (let attempt = 1; ; attempt++) {
    await menu.click({ position: { x: 5, y: 5 } });
    // Clicked again only when the menu did not open: a second click on an open menu would close it.
    if (names.length === 1 || attempt >= 3 || await open.waitFor({ timeout: 5000 }).then(() => true, () => false)) break;
  }
  let level = menu;
  for (let i = 1; i < names.length;) {
    const shown = await level.locator(`xpath=${ROWS}`)
      .evaluateAll((rows) => rows.map((r) => r.querySelector(':scope > span').textContent.trim()));
    let k = names.length - i;
    while (k > 1 && !shown.includes(names.slice(i, i + k).join('/'))) k--;
    const row = level.locator(rowNamed(names.slice(i, i + k).join('/')));
    i += k;
    if (i < names.length) await row.hover();
    else await row.click();
    level = row;
  }
}

// A menu bar item's row by its path of names, to read its state (checked, dimmed) without opening the menu.
export function menuItem(window, menuPath) {
  const names = Array.isArray(menuPath) ? menuPath : menuPath.split('/');
  let at = window.locator(':scope > div > .menubar').locator(menuNamed(names[0]));
  for (const name of names.slice(1)) at = at.locator(rowNamed(name));
  return at;
}

// Waits until an element (a menu item, a control) carries a class: "checked", "dimmed".
export async function expectClass(locator, cls, ms = 15000) {
  // Found again on every change: a menu bar that changes is drawn anew.
  await locator.locator(`xpath=self::*[${HAS_CLASS(cls)}]`).waitFor({ state: 'attached', timeout: ms });
}

// What a control shows: the text of its field, else its own text.
export async function valueOf(page, name) {
  const el = control(page, name);
  const input = el.locator('input, textarea');
  return ((await input.count()) ? await input.first().inputValue() : await el.innerText()).trim();
}

// Screenshots go to the folder the test was given.
export async function shoot(page, dir, name) {
  fs.mkdirSync(dir, { recursive: true });
  const shot = path.join(dir, name);
  await page.screenshot({ path: shot });
  console.log(`screenshot: ${shot}`);
}

// Answers whatever the program asks (trigger notices, messages) with the first button while waiting for `done`.
export async function answering(page, label, done, what, ms) {
  const popup = page.locator('.popup');
  const until = Date.now() + ms;
  while (Date.now() < until) {
    if (await done()) return;
    const p = popup.first();
    if (await p.count()) {
      // A message the program takes down itself (the trigger came) may be gone by now.
      const text = await p.innerText({ timeout: 2000 }).catch(() => null);
      if (text !== null) {
        console.log(`${label}: answering "${text.replace(/\s+/g, ' ')}"`);
        await p.locator('.buttons button').first().click({ timeout: 5000 }).catch(() => {});
      }
    }
    await page.waitForTimeout(200);
  }
  throw new Error(`${what} not within ${ms} ms`);
}

// Answers the popup that shows `text` with its first button and waits until it has gone.
export async function answerPopup(page, text) {
  const shown = page.locator('.popup').filter({ hasText: text });
  await shown.waitFor({ timeout: 15000 });
  await shown.locator('.buttons button').first().click();
  await shown.waitFor({ state: 'detached', timeout: 15000 });
}

// Acquisition from the strip chart's Start toggle until `done`, answering what the program asks on the way; then
// Stop, and the toggle is seen released.
export async function acquire(page, label, done, what, ms) {
  const toggle = button(page, 'SCHART_START');
  await toggle.click();
  await answering(page, label, done, what, ms);
  await toggle.click();
  await answering(page, label, async () => !(await pressed(page, 'SCHART_START')), 'the toggle released', 20000);
}

// Real-time testing switched on from the Configure menu, then acquisition until a line of the real-time window
// matches `alarm` (and `later`, if given) and at least `wafers` wafers have ended, then Stop. A loaded machine may show the alarm of the
// first wafer before any other has ended: a chart of one point has no other point to move to.
export async function recordAlarm(page, label, alarm, what, wafers = 0, later = null) {
  const top = panelOf(page, 'TOP');
  await pickMenu(top, 'Configure/Real-Time Testing');
  await expectClass(menuItem(top, 'Configure/Real-Time Testing'), 'checked');
  // A wafer has ended once the strip chart's header names a later one.
  const started = new Set();
  const seen = async () => {
    const wafer = await valueOf(page, 'SCHART_WAFER');
    if (/^# \d+$/.test(wafer)) started.add(`${await valueOf(page, 'SCHART_TRACE_ID')} ${wafer}`);
    if (started.size <= wafers) return false;
    const lines = await listItems(page, 'REALTIME_ALARMS').allInnerTexts();
    // An alarm of a later wafer: wafers are tested in order, so every wafer before it has been tested too.
    return lines.some((l) => alarm.test(l)) && (!later || lines.some((l) => later.test(l)));
  };
  await acquire(page, label, seen, what, 240000);
}

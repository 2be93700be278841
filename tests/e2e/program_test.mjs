// Browser test of a real program's main window: Vantrel or VantrelReview from a copy of bin/, in headless Chromium.
// Usage: node program_test.mjs <bin directory> <Vantrel|VantrelReview> <platform/web directory> <screenshot directory>
import { spawn } from 'node:child_process';
import { createRequire } from 'node:module';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import readline from 'node:readline';

const [binDir, edition, webDir, shotDir] = process.argv.slice(2);
const review = edition === 'VantrelReview';
const require = createRequire(path.join(path.resolve(webDir), 'package.json'));
const { chromium } = require('playwright-core');

// The whole run is bounded: whatever hangs, it ends by itself.
const overall = setTimeout(() => { console.error('program test: out of time'); finish(1); }, 150000);

// A fresh program directory (a copy of bin/ with its own VANTREL.INI) and a fresh working directory.
const root = fs.mkdtempSync(path.join(os.tmpdir(), 'vantrel-program-'));
const progDir = path.join(root, 'bin');
const work = path.join(root, 'work');
fs.cpSync(path.resolve(binDir), progDir, { recursive: true, filter: (src) => path.basename(src) !== 'VANTREL.INI' });
fs.mkdirSync(work);
fs.writeFileSync(path.join(progDir, 'VANTREL.INI'), `[VANTREL]\nDIR = ${work}\n`);

const out = [], err = [], waiters = [], pageErrors = [];
let child = null, context = null, exited = null;

function startProgram() {
  const env = { ...process.env, VANTREL_BOARD: 'sim' };
  for (const k of ['VANTREL_HTTP', 'VANTREL_SIM_SCENARIO', 'VANTREL_USB_ID', 'VANTREL_SIM_SPEED']) delete env[k];
  if (!review) env.VANTREL_SIM_SPEED = '20';
  const proc = spawn(path.join(progDir, edition), ['--http', '127.0.0.1:0'], { cwd: work, env, stdio: ['ignore', 'pipe', 'pipe'] });
  proc.on('error', (e) => { console.error(`cannot start ${edition}: ${e.message}`); finish(1); });
  proc.on('exit', (code, signal) => { exited = { code, signal }; for (const w of waiters.slice()) w(); });
  const collect = (stream, into, echo) => readline.createInterface({ input: stream }).on('line', (line) => {
    into.push(line);
    if (echo) console.error(`${edition}: ${line}`);
    for (const w of waiters.slice()) w();
  });
  collect(proc.stdout, out, false);
  collect(proc.stderr, err, true);
  return proc;
}

// Waits until `check` returns something truthy; re-checked whenever the program prints or ends.
function waitFor(check, what, ms) {
  return new Promise((resolve, reject) => {
    const test = () => {
      const v = check();
      if (!v) return false;
      waiters.splice(waiters.indexOf(test), 1);
      clearTimeout(timer);
      resolve(v);
      return true;
    };
    const timer = setTimeout(() => {
      waiters.splice(waiters.indexOf(test), 1);
      reject(new Error(`${what} not within ${ms} ms`));
    }, ms);
    waiters.push(test);
    test();
  });
}

let passed = 0, failed = 0;
async function test(name, body) {
  const started = Date.now();
  try {
    await body();
    passed++;
    console.log(`ok    ${edition}: ${name} (${Date.now() - started} ms)`);
  } catch (e) {
    failed++;
    console.log(`FAIL  ${edition}: ${name}: ${e.message}`);
  }
}
function expect(cond, what) { if (!cond) throw new Error(what); }

async function finish(code) {
  try { if (context) await context.close(); } catch { /* already gone */ }
  if (child && !exited) child.kill('SIGKILL');
  fs.rmSync(root, { recursive: true, force: true });
  clearTimeout(overall);
  process.exit(code);
}

async function main() {
  child = startProgram();
  const url = (await waitFor(() => out.map((l) => /^Open (http:\/\/127\.0\.0\.1:\d+\/) in a browser/.exec(l)).find(Boolean),
    'the address line', 30000))[1];

  context = await chromium.launchPersistentContext(path.join(root, 'profile'), {
    executablePath: '/usr/bin/chromium',
    headless: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync'],
    viewport: { width: 1920, height: 1080 },  // the screen the program lays its main window out on
  });
  const page = context.pages()[0] || await context.newPage();
  page.on('pageerror', (e) => { pageErrors.push(e.message); console.log('page error: ' + e.message); });
  await page.goto(url);

  const top = page.locator('[data-panel="TOP"]');
  const chart = page.locator('[data-panel="SCHART"]');
  const ctrl = (n) => chart.locator(`:scope > .client > [data-ctrl="${n}"]`);
  const popup = page.locator('.popup');
  const scans = () => page.evaluate(() => Number(document.querySelector('[data-panel="SCHART"] [data-ctrl="20"]')?.dataset.scans ?? 0));

  if (review) {
    await test('the "Vantrel Review" popup is shown and answered', async () => {
      const shown = popup.filter({ hasText: 'Version 6.96' });
      await shown.waitFor({ timeout: 15000 });
      expect(await shown.locator('.titlebar').innerText() === 'Vantrel Review', 'popup title');
      await shown.locator('button').first().click();
      await shown.waitFor({ state: 'detached', timeout: 15000 });
    });
  }

  await test('the main window shows its panels and menu bar', async () => {
    await top.waitFor({ timeout: 20000 });
    await chart.waitFor({ timeout: 20000 });
    expect(await chart.evaluate((el) => el.parentElement.closest('[data-panel]')?.dataset.panel) === 'TOP',
      'the strip-chart panel is not inside the main panel');
    const legend = page.locator('[data-panel="LEGEND"]');
    await legend.waitFor({ timeout: 10000 });
    expect(await legend.evaluate((el) => el.parentElement.closest('[data-panel]')?.dataset.panel) === 'SCHART',
      'the legend is not inside the strip-chart panel');
    await ctrl(20).waitFor({ timeout: 10000 });
    const bar = top.locator('.menubar');
    await bar.waitFor({ timeout: 10000 });
    const menus = await bar.locator(':scope > .menu').evaluateAll((ms) => ms.map((m) => m.firstChild.textContent));
    for (const name of ['File', 'Configure', 'View', 'Help'])
      expect(menus.includes(name), `menu ${name} missing from ${menus}`);
    expect(await bar.locator('[data-menu-item="14"]').count() === 1, 'the Record Data item is missing');
  });

  await test('the About box opens from the Help menu and closes', async () => {
    const bar = top.locator('.menubar');
    await bar.locator('.menu[data-menu="63"]').dispatchEvent('mousedown');
    await bar.locator('[data-menu-item="65"]').dispatchEvent('mouseup');
    const about = page.locator('[data-panel="ABOUT"]');
    await about.waitFor({ timeout: 15000 });
    const text = await about.innerText();
    expect(text.includes('Version 6.96'), `About box reads ${JSON.stringify(text)}`);
    expect(text.includes(review ? 'Vantrel Review' : 'Vantrel'), `About box reads ${JSON.stringify(text)}`);
    await about.locator('[data-ctrl="2"] button').click();
    await about.waitFor({ state: 'detached', timeout: 15000 });
  });

  if (review) {
    await test('the start/stop toggle is hidden', async () => {
      await ctrl(4).locator('button').waitFor({ timeout: 10000 });  // the pause toggle beside it is shown
      expect(await ctrl(2).count() === 1, 'the start/stop toggle is not in the page');
      expect(!(await ctrl(2).locator('button').isVisible()), 'the start/stop toggle is visible');
    });
  } else {
    // Answers whatever the program asks (trigger notices, messages) while waiting for `done`.
    const answering = async (done, what, ms) => {
      const until = Date.now() + ms;
      while (Date.now() < until) {
        if (await done()) return;
        const p = popup.first();
        if (await p.count()) {
          console.log(`${edition}: answering "${(await p.innerText()).replace(/\s+/g, ' ')}"`);
          await p.locator('button').first().click({ timeout: 5000 }).catch(() => {});
        }
        await page.waitForTimeout(200);
      }
      throw new Error(`${what} not within ${ms} ms`);
    };
    const pressed = () => ctrl(2).locator('button.pressed').count().then((n) => n === 1);

    await test('start shows the strip chart receiving scans', async () => {
      const before = await scans();
      await ctrl(2).locator('button').click();
      await answering(async () => (await pressed()) && (await scans()) > before, 'scans on the strip chart', 20000);
      // A screenful of trace for the screenshot.
      const first = await scans();
      await page.waitForFunction((n) => Number(document.querySelector('[data-panel="SCHART"] [data-ctrl="20"]').dataset.scans) > n,
        first + 3000, { timeout: 15000 });
      fs.mkdirSync(shotDir, { recursive: true });
      const shot = path.join(shotDir, 'main_window_vantrel.png');
      await page.screenshot({ path: shot });
      console.log(`screenshot: ${shot}`);
    });

    await test('stop ends the acquisition and keeps the wafer file', async () => {
      await ctrl(2).locator('button').click();
      await answering(async () => !(await pressed()), 'the toggle released', 20000);
      // What was sent before the stop may still be on its way; after that the chart stands still.
      await page.waitForTimeout(1000);
      const settled = await scans();
      await page.waitForTimeout(1500);
      expect(await scans() === settled, `the strip chart still moves after stop: ${settled} -> ${await scans()}`);
      const files = fs.readdirSync(path.join(work, 'SC_DATA')).filter((f) => /^\d{8}\.\d{3}$/.test(f));
      expect(files.length >= 1, `no wafer trace file in ${path.join(work, 'SC_DATA')}`);
      const head = fs.readFileSync(path.join(work, 'SC_DATA', files[0])).subarray(0, 20).toString('latin1');
      expect(/^\d\d\.\d\d\.\d\d \d{4}\/\d\d\/\d\d\n$/.test(head), `wafer file header ${JSON.stringify(head)}`);
    });

    // The stop request below then arrives while acquiring: the program must still end cleanly.
    await test('acquisition runs again before the stop request', async () => {
      const before = await scans();
      await ctrl(2).locator('button').click();
      await answering(async () => (await pressed()) && (await scans()) > before, 'scans on the strip chart', 20000);
    });
  }

  await test('the page raised no script errors', async () => {
    expect(pageErrors.length === 0, pageErrors.join('; '));
  });

  await test('SIGTERM ends the program with exit code 0', async () => {
    await context.close();
    context = null;
    child.kill('SIGTERM');
    const e = await waitFor(() => exited, 'the end of the program', 30000);
    expect(e.code === 0 && e.signal === null, `it ended with code ${e.code}, signal ${e.signal}`);
  });

  console.log(`${edition}: ${passed} passed, ${failed} failed`);
  await finish(failed ? 1 : 0);
}

main().catch((e) => { console.error(e); finish(1); });

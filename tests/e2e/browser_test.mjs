// Browser tests of the web view: headless Debian Chromium (playwright-core) against the demo program.
// Usage: node browser_test.mjs <web_demo program> <platform/web directory> <screenshot directory>
import { spawn } from 'node:child_process';
import { createRequire } from 'node:module';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import readline from 'node:readline';

import { panelOf, control, button, pickMenu, shoot } from './harness.mjs';

const [program, webDir, shotDir] = process.argv.slice(2).map((a) => path.resolve(a));
const require = createRequire(path.join(webDir, 'package.json'));
const { chromium } = require('playwright-core');

// The whole run is bounded: whatever hangs, it ends by itself.
const overall = setTimeout(() => { console.error('browser tests: out of time'); finish(1); }, 240000);

const work = fs.mkdtempSync(path.join(os.tmpdir(), 'vantrel-e2e-'));
const lines = [];
const waiters = [];
let child = null, context = null;

function startProgram(args) {
  const proc = spawn(program, args, { cwd: work, stdio: ['ignore', 'pipe', 'inherit'] });
  proc.on('error', (e) => { console.error(`cannot start ${program}: ${e.message}`); finish(1); });
  readline.createInterface({ input: proc.stdout }).on('line', (line) => {
    lines.push(line);
    for (const w of waiters.slice()) w();
  });
  return proc;
}

// Waits for a program line matching `re` that came after line index `from`.
function waitLine(re, from = 0, ms = 20000) {
  return new Promise((resolve, reject) => {
    const check = () => {
      for (let i = from; i < lines.length; i++) {
        const m = re.exec(lines[i]);
        if (m) { waiters.splice(waiters.indexOf(check), 1); clearTimeout(timer); resolve(m); return true; }
      }
      return false;
    };
    const timer = setTimeout(() => {
      waiters.splice(waiters.indexOf(check), 1);
      reject(new Error(`no line ${re} within ${ms} ms; last lines: ${lines.slice(-5).join(' | ')}`));
    }, ms);
    waiters.push(check);
    check();
  });
}

let passed = 0, failed = 0;
async function test(name, body) {
  const started = Date.now();
  try {
    await body();
    passed++;
    console.log(`ok    ${name} (${Date.now() - started} ms)`);
  } catch (e) {
    failed++;
    console.log(`FAIL  ${name}: ${e.message}`);
  }
}
function expect(cond, what) { if (!cond) throw new Error(what); }

async function finish(code) {
  try { if (context) await context.close(); } catch { /* already gone */ }
  if (child) child.kill('SIGTERM');
  fs.rmSync(work, { recursive: true, force: true });
  clearTimeout(overall);
  process.exit(code);
}

async function main() {
  // A lighter load than the board's fastest keeps the test quick on small machines.
  child = startProgram(['--http', '127.0.0.1:0', '--seconds', '280', '--rate', '2000']);
  const url = (await waitLine(/^Open (http:\S+) in a browser/, 0, 20000))[1];

  context = await chromium.launchPersistentContext(path.join(work, 'profile'), {
    executablePath: '/usr/bin/chromium',
    headless: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync'],
    viewport: { width: 1100, height: 700 },
  });
  const page = context.pages()[0] || await context.newPage();
  page.on('pageerror', (e) => console.log('page error: ' + e.message));
  await page.goto(url);
  const demo = panelOf(page, 'DEMO');
  await demo.waitFor({ timeout: 10000 });

  await test('a click reaches the named callback', async () => {
    const from = lines.length;
    await button(page, 'DEMO_RUN').click();
    await waitLine(/^CALL demo_value 2$/, from);
    await waitLine(/^CALL demo_value 1$/, from);
    await page.waitForFunction(() => document.querySelector('[data-panel="DEMO"] [data-constant="RUN"] button.pressed'));
  });

  await test('a value typed in arrives', async () => {
    const from = lines.length;
    const input = control(page, 'DEMO_VALUE').locator('input');
    await input.fill('42');
    await input.press('Enter');
    await waitLine(/^VALUE 2 42\.0+$/, from);
  });

  await test('a value outside the range is coerced and shown back', async () => {
    const from = lines.length;
    const input = control(page, 'DEMO_VALUE').locator('input');
    await input.fill('250');
    await input.press('Enter');
    await waitLine(/^VALUE 2 100\.0+$/, from);
    await page.waitForFunction(() => document.querySelector('[data-panel="DEMO"] [data-constant="VALUE"] input').value === '100');
  });

  await test('list items show their colour and check marks reach the program', async () => {
    const item = control(page, 'DEMO_CHANNELS').locator('.list-item[data-index="1"]');
    const colour = await item.locator('span span').first().evaluate((e) => getComputedStyle(e).color);
    expect(colour === 'rgb(255, 0, 0)', `colour escape drawn as ${colour}`);
    const from = lines.length;
    await item.locator('input[type=checkbox]').click();
    await waitLine(/^CALL demo_list 1$/, from);
    await page.waitForFunction(() => document.querySelector('[data-panel="DEMO"] [data-constant="CHANNELS"] .list-item[data-index="1"] input').checked);
  });

  await test('a menu item rebuilt at run time works', async () => {
    const bar = demo.locator('.menubar');
    let from = lines.length;
    await pickMenu(demo, 'Charts/Next Chart');
    await waitLine(/^CALL demo_menu 9$/, from);
    from = lines.length;
    await pickMenu(demo, 'Charts/Next Chart');
    await waitLine(/^CALL demo_menu 9$/, from);
    const item = bar.locator('.menu-item', { hasText: 'Chart 2' });
    await item.waitFor({ state: 'attached' });
    expect(await bar.locator('.menu-item', { hasText: 'Chart 1' }).count() === 0, 'the replaced item is still shown');
    from = lines.length;
    await pickMenu(demo, 'Charts/Chart 2');
    await waitLine(/^MENU_DATA 2$/, from);
    // A submenu opens on hovering its row; its item is picked by a click.
    from = lines.length;
    await pickMenu(demo, 'Charts/Static/Channel 1 Mean');
    await waitLine(/^CALL demo_menu 8$/, from);
  });

  await test('a shortcut key picks its menu item', async () => {
    const from = lines.length;
    await page.locator('body').click({ position: { x: 1080, y: 680 } });
    // The item opens a document in a tab of its own: close it, a page behind other tabs gets no frames.
    const opened = context.waitForEvent('page', { timeout: 15000 });
    await page.keyboard.press('Control+o');
    await waitLine(/^CALL demo_menu 3$/, from);
    await (await opened).close();
    await page.bringToFront();
  });

  await test('a popup is answered', async () => {
    const from = lines.length;
    await button(page, 'DEMO_ASK').click();
    const popup = page.locator('.popup[data-kind="confirm"]');
    await popup.waitFor({ timeout: 15000 });
    expect((await popup.locator('.body').innerText()).includes('Proceed with the next wafer?'), 'popup text');
    await popup.locator('button[data-button="Yes"]').click();
    await waitLine(/^ANSWER 1$/, from);
    await popup.waitFor({ state: 'detached', timeout: 15000 });
  });

  await test('a strip chart shows appended blocks', async () => {
    const strip = control(page, 'DEMO_STRIP');
    const first = Number(await strip.getAttribute('data-scans'));
    await page.waitForFunction((n) => Number(document.querySelector('[data-panel="DEMO"] [data-constant="STRIP"]').dataset.scans) > n, first, { timeout: 15000 });
    // The 32-trace chart is made at run time: it is the one chart of the window without a constant.
    const loadChart = '[data-panel="DEMO"] > .client > .ctrl.chart:not([data-constant])';
    const load = page.locator(loadChart);
    await page.waitForFunction((s) => Number(document.querySelector(s)?.dataset.scans) > 2000, loadChart, { timeout: 15000 });
    expect(await load.count() === 1, 'the 32-trace chart is drawn');
  });

  await test('a cursor dragged on the graph reaches the callback', async () => {
    const canvas = control(page, 'DEMO_GRAPH').locator('canvas');
    const box = await canvas.boundingBox();
    const from = lines.length;
    const xs = (await control(page, 'DEMO_GRAPH').getAttribute('data-cursors')).split(',').map(Number);
    const x = xs.find((v) => v > 50 && v < box.width - 16);
    expect(x !== undefined, `no cursor inside the plot area: ${xs}`);
    await page.mouse.move(box.x + x, box.y + box.height / 2);
    const shape = await canvas.evaluate((c) => getComputedStyle(c).cursor);
    expect(shape === 'ew-resize', `the mouse over a cursor shows ${shape}`);
    await page.mouse.down();
    await page.mouse.move(box.x + box.width / 2, box.y + box.height / 2, { steps: 5 });
    await page.mouse.up();
    await waitLine(/^CALL demo_graph 2$/, from);
  });

  await test('zoom changes what GetAxisRange returns', async () => {
    const canvas = control(page, 'DEMO_GRAPH').locator('canvas');
    const box = await canvas.boundingBox();
    let from = lines.length;
    await canvas.click({ position: { x: box.width / 2, y: box.height / 2 } });
    const before = (await waitLine(/^AXIS (\S+) (\S+) (\S+) (\S+)$/, from)).slice(1).map(Number);
    from = lines.length;
    await page.keyboard.down('Control');
    await page.mouse.move(box.x + 80, box.y + 40);
    await page.mouse.down();
    await page.mouse.move(box.x + 200, box.y + 120, { steps: 4 });
    await page.mouse.up();
    await page.keyboard.up('Control');
    const after = (await waitLine(/^AXIS (\S+) (\S+) (\S+) (\S+)$/, from)).slice(1).map(Number);
    expect(after[0] > before[0] && after[1] < before[1], `x range ${before} -> ${after}`);
    expect(after[2] > before[2] && after[3] < before[3], `y range ${before} -> ${after}`);
  });

  await test('Ctrl + Shift + drag pans the graph', async () => {
    const canvas = control(page, 'DEMO_GRAPH').locator('canvas');
    const box = await canvas.boundingBox();
    let from = lines.length;
    await canvas.click({ position: { x: box.width / 2, y: box.height / 2 } });
    const before = (await waitLine(/^AXIS (\S+) (\S+) (\S+) (\S+)$/, from)).slice(1).map(Number);
    // Pan from what the page shows: wait until it draws the program's ranges.
    await page.waitForFunction((b) => {
      const r = document.querySelector('[data-panel="DEMO"] [data-constant="GRAPH"]').dataset.range.split(',').map(Number);
      return Math.abs(r[0] - b[0]) < 1e-3 && Math.abs(r[1] - b[1]) < 1e-3;
    }, before, { timeout: 15000 });
    from = lines.length;
    await page.keyboard.down('Control');
    await page.keyboard.down('Shift');
    await page.mouse.move(box.x + 300, box.y + 100);
    await page.mouse.down();
    await page.mouse.move(box.x + 200, box.y + 100, { steps: 4 });
    await page.mouse.up();
    await page.keyboard.up('Shift');
    await page.keyboard.up('Control');
    const after = (await waitLine(/^AXIS (\S+) (\S+) (\S+) (\S+)$/, from)).slice(1).map(Number);
    expect(after[0] > before[0] && Math.abs((after[1] - after[0]) - (before[1] - before[0])) < 1e-3, `x range ${before} -> ${after}`);
  });

  await test('a child window moves inside its parent', async () => {
    const child = demo.locator('[data-panel="DIALOG"]');
    await child.waitFor();
    const bar = child.locator('.titlebar');
    const b = await bar.boundingBox();
    // The page may show the windows scaled to fit: the window moves by the mouse's distance in its own pixels.
    const scale = Number(await page.locator('#screen').getAttribute('data-scale')) || 1;
    const at = await child.evaluate((el) => [parseFloat(el.style.left), parseFloat(el.style.top)]);
    await page.mouse.move(b.x + 40, b.y + 8);
    await page.mouse.down();
    await page.mouse.move(b.x + 10, b.y + 28, { steps: 4 });
    await page.mouse.up();
    const want = [at[0] + Math.round(-30 / scale), at[1] + Math.round(20 / scale)];
    await page.waitForFunction((w) => {
      const el = document.querySelector('[data-panel="DIALOG"]');
      return Math.abs(parseFloat(el.style.left) - w[0]) <= 1 && Math.abs(parseFloat(el.style.top) - w[1]) <= 1;
    }, want, { timeout: 15000 });
    expect(await child.evaluate((el) => el.parentElement.closest('[data-panel]')?.dataset.panel) === 'DEMO', 'the child is not inside its parent');
  });

  await test('a click on a window the program covered brings it to the front', async () => {
    const title = demo.locator(':scope > .titlebar > .title');
    await title.click();
    const from = lines.length;
    await pickMenu(demo, 'File/Show Notice');
    await waitLine(/^CALL demo_menu 10$/, from);
    const notice = page.locator('[data-panel="WAIT"]:not(.hidden)');
    await notice.waitFor();
    const b = await notice.boundingBox();
    const spot = [b.x + b.width / 2, b.y + b.height / 2];
    const onTop = (want) => page.waitForFunction(([x, y, w]) => document.elementFromPoint(x, y)?.closest('[data-panel]')?.dataset.panel === w,
      [...spot, want], { timeout: 15000 });
    await onTop('WAIT');
    // The main window was the active one all along; a click on it must still bring it forward.
    await title.click();
    await onTop('DEMO');
  });

  await test('a document the program opens comes up in a new tab', async () => {
    const from = lines.length;
    const opened = context.waitForEvent('page', { timeout: 15000 });
    await page.keyboard.press('Control+o');
    await waitLine(/^CALL demo_menu 3$/, from);
    const tab = await opened;
    await tab.waitForLoadState();
    expect((await tab.content()).includes('Wafer report'), 'document text');
    await tab.close();
    await page.bringToFront();
  });

  await test('a file is chosen by browsing the program\'s directories', async () => {
    const from = lines.length;
    await button(page, 'DEMO_LONG').click();
    const popup = page.locator('.popup[data-kind="file"]');
    await popup.waitFor({ timeout: 15000 });
    await popup.locator('.files .file', { hasText: 'report.txt' }).click();
    await popup.locator('button[data-button="Load"]').click();
    const m = await waitLine(/^FILE (\d+) (.*)$/, from);
    expect(m[1] === '1' && m[2] === fs.realpathSync(path.join(work, 'report.txt')), `chose ${m[1]} ${m[2]}`);
  });

  await test('a path outside the working directory is refused', async () => {
    const status = async (p) => (await page.request.get(new URL('doc?path=' + encodeURIComponent(p), url).href)).status();
    expect(await status('report.txt') === 200, 'a file inside is served');
    for (const p of ['/etc/passwd', '../report.txt', work + '/../' + path.basename(work) + '/report.txt'])
      expect(await status(p) === 403, `${p} was not refused`);
  });

  await test('a second page only watches', async () => {
    const other = await context.newPage();
    await other.goto(url);
    const demo2 = other.locator('[data-panel="DEMO"]');
    await demo2.waitFor();
    const from = lines.length;
    await button(other, 'DEMO_LONG').click();
    await other.waitForFunction(() => document.getElementById('status').textContent.includes('only watches'));
    expect(!lines.slice(from).some((l) => l.startsWith('CALL demo_long')), 'a watching page acted');
    await other.close();
  });

  await shoot(page, shotDir, 'main_window.png');
  console.log(`${passed} passed, ${failed} failed`);
  await finish(failed ? 1 : 0);
}

main().catch((e) => { console.error(e); finish(1); });

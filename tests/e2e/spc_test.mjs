// Browser test of the SPC chart window: after the default scenario has raised alarms, a chart opens from the chart
// menu through batch selection and another from the alarm list; the series, limit lines, rule markers, histogram
// and capability are drawn, the cursor and the point read-out follow the user, and the window closes. The
// strip chart and the SPC chart print to PDF reports that open in new tabs.
// Usage: node spc_test.mjs <bin directory> <platform/web directory> <screenshot directory> <make_demo_dir> <setup file>
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { ProgramSession, expect, answering } from './harness.mjs';

const [binDir, webDir, shotDir, makeDemoDir, setupFile] = process.argv.slice(2);
const session = new ProgramSession({ binDir, edition: 'Vantrel', webDir, limitMs: 400000 });
const test = (name, body) => session.test(name, body);
const RF_OVERSHOOT = /^RF_FWD .* > 80\.000 /;

async function main() {
  execFileSync(makeDemoDir, [setupFile, session.work], { stdio: 'inherit' });
  session.start({ VANTREL_SIM_SPEED: '20' });
  const page = await session.openPage();

  const top = page.locator('[data-panel="TOP"]');
  const chart = page.locator('[data-panel="SCHART"]');
  const spc = page.locator('[data-panel="SPC"]');
  const wafers = page.locator('[data-panel="WAFERS"]');
  const realtime = page.locator('[data-panel="REALTIME"]');
  const alarms = page.locator('[data-panel="REVIEW"]');
  const apop = page.locator('[data-panel="APOP"]');
  const ctrl = (panel, n) => panel.locator(`:scope > .client > [data-ctrl="${n}"]`);
  const items = (panel, n) => ctrl(panel, n).locator('.list-item');
  const pressed = () => ctrl(chart, 2).locator('button.pressed').count().then((n) => n === 1);
  const shoot = async (name) => {
    fs.mkdirSync(shotDir, { recursive: true });
    const shot = path.join(shotDir, name);
    await page.screenshot({ path: shot });
    console.log(`screenshot: ${shot}`);
  };
  // Opens a top-level menu by its title and walks its submenus by hovering, then clicks the item.
  const MENUS = { Configure: 23, Charts: 34, Alarms: 66 };
  const choose = async (menuName, ...names) => {
    const menu = top.locator(`.menubar > .menu[data-menu="${MENUS[menuName]}"]`);
    await menu.click({ position: { x: 5, y: 5 } });
    const list = 'xpath=./div[contains(concat(" ", @class, " "), " menu-list ")]';
    let scope = menu.locator(list);
    for (const [i, name] of names.entries()) {
      const row = scope.locator(`xpath=./div[contains(concat(" ", @class, " "), " menu-item ")][span[1][normalize-space(.)="${name}"]]`);
      if (i === names.length - 1) {
        await row.click();
      } else {
        await row.hover();
        scope = row.locator(list);
      }
    }
  };
  // Print... of a window: the file dialog offers the report name, Save writes the PDF, and it opens in a new tab.
  const printTo = async (panel, n, name) => {
    await ctrl(panel, n).locator('button').click();
    const dialog = page.locator('.popup').filter({ hasText: 'Please enter a file name...' });
    await dialog.waitFor({ timeout: 15000 });
    const field = dialog.locator('input.response');
    const offered = await field.inputValue();
    expect(offered.endsWith('/printPDF/' + name), `the dialog offers ${offered}`);
    const tab = session.context.waitForEvent('page', { timeout: 30000 });
    await dialog.locator('.buttons button[data-button="Save"]').click();
    const doc = await tab;
    await doc.waitForLoadState('domcontentloaded').catch(() => {});
    expect(decodeURIComponent(doc.url()).endsWith('/printPDF/' + name), `the new tab shows ${doc.url()}`);
    await doc.close();
    const pdf = path.join(session.work, 'printPDF', name);
    execFileSync('qpdf', ['--check', pdf], { stdio: 'pipe' });
    const info = execFileSync('pdfinfo', [pdf], { encoding: 'utf8' });
    expect(/Pages:\s+1\n/.test(info) && /Page size:\s+792 x 612 pts/.test(info) && /PDF version:\s+1\.6/.test(info),
      `pdfinfo says ${info}`);
    return execFileSync('pdftotext', ['-layout', pdf, '-'], { encoding: 'utf8' });
  };
  const plotsOf = async (panel, n) => Number(await ctrl(panel, n).getAttribute('data-plots') ?? 0);
  const textOf = async (panel, n) => {
    const el = ctrl(panel, n);
    const input = el.locator('input, textarea');
    return (await input.count()) ? input.first().inputValue() : el.innerText();
  };
  // Colour counts of the chart graph's canvas: limit lines (red, green) and markers.
  const colours = (panel, n) => ctrl(panel, n).locator('canvas').evaluate((cv) => {
    const d = cv.getContext('2d').getImageData(0, 0, cv.width, cv.height).data;
    const out = { red: 0, green: 0, black: 0 };
    for (let i = 0; i < d.length; i += 4) {
      // A one-pixel line between pixel rows is drawn half-strength over white: count hue, not full strength.
      if (d[i] > 150 && d[i] - d[i + 1] > 80 && d[i] - d[i + 2] > 80) out.red++;
      else if (d[i + 1] > 150 && d[i + 1] - d[i] > 80 && d[i + 1] - d[i + 2] > 80) out.green++;
      else if (d[i] < 40 && d[i + 1] < 40 && d[i + 2] < 40) out.black++;
    }
    return out;
  });

  await test('acquisition with real-time testing raises the overshoot alarm', async () => {
    await chart.waitFor({ timeout: 20000 });
    await choose('Configure', 'Real-Time Testing');
    await page.waitForFunction(() => document.querySelector('[data-panel="TOP"] .menubar [data-menu-item="53"]')
      ?.classList.contains('checked'), null, { timeout: 15000 });
    await ctrl(chart, 2).locator('button').click();
    const seen = async () => (await items(realtime, 3).allInnerTexts()).some((l) => RF_OVERSHOOT.test(l));
    await answering(page, 'Vantrel', seen, 'the RF overshoot alarm', 240000);
    await ctrl(chart, 2).locator('button').click();
    await answering(page, 'Vantrel', async () => !(await pressed()), 'the toggle released', 20000);
  });

  await test('the strip chart prints the recorded traces to a PDF that opens in a new tab', async () => {
    const text = await printTo(chart, 27, 'Chart.pdf');
    expect(text.includes('Chart') && text.includes('RF_FWD'), `the page reads ${text}`);
  });

  await test('the chart menu opens batch selection for the RF overshoot chart', async () => {
    await choose('Charts', 'Step Channel Charts', 'RF_FWD', 'Step 1 Overshoot Maximum');
    await wafers.waitFor({ timeout: 15000 });
    // Only the production wafers of ETCH.
    const recipes = items(wafers, 4);
    const n = await recipes.count();
    expect(n >= 2, `the recipe list holds ${n} items`);
    for (let i = 0; i < n; i++) {
      const row = recipes.nth(i);
      const want = (await row.innerText()).trim() === 'ETCH';
      const box = row.locator('input[type="checkbox"]');
      if ((await box.isChecked()) !== want) {
        await box.click();
        await page.waitForFunction(([k, w]) => document.querySelectorAll('[data-panel="WAFERS"] [data-ctrl="4"] .list-item input')[k]?.checked === w,
          [i, want], { timeout: 10000 });
      }
    }
    await ctrl(wafers, 9).locator('button').click();
    await spc.waitFor({ timeout: 15000 });
  });

  await test('the chart shows series, limit lines, rule markers, histogram and capability', async () => {
    const title = await spc.locator(':scope > .titlebar > .title').innerText();
    expect(title === 'RF_FWD Step Overshoot Maximum 1', `the chart window is titled ${title}`);
    await page.waitForFunction(() => Number(document.querySelector('[data-panel="SPC"] [data-ctrl="3"]')?.dataset.plots ?? 0) >= 11,
      null, { timeout: 15000 });
    const plots = await plotsOf(spc, 3);
    expect(plots >= 12, `the chart graph holds ${plots} plots: ten limit lines, the series and at least one marker`);
    expect(await plotsOf(spc, 2) >= 1, 'the histogram is empty');
    const c = await colours(spc, 3);
    expect(c.red > 200 && c.black > 100, `the chart's colours are ${JSON.stringify(c)}`);
    // The 3-sigma lines may lie under the control limits; hiding those shows them on their own scale.
    await ctrl(spc, 13).locator('button').click();
    await page.waitForFunction(() => {
      const cv = document.querySelector('[data-panel="SPC"] [data-ctrl="3"] canvas');
      const d = cv.getContext('2d').getImageData(0, 0, cv.width, cv.height).data;
      let red = 0;
      for (let i = 0; i < d.length; i += 4) if (d[i] > 150 && d[i] - d[i + 1] > 80 && d[i] - d[i + 2] > 80) red++;
      return red < 50;
    }, null, { timeout: 15000 });
    const g = await colours(spc, 3);
    expect(g.green > 100, `without the control limits the chart's colours are ${JSON.stringify(g)}`);
    await ctrl(spc, 13).locator('button').click();
    await page.waitForFunction(() => document.querySelector('[data-panel="SPC"] [data-ctrl="13"] button.pressed') === null,
      null, { timeout: 15000 });
    const h = await colours(spc, 2);
    expect(h.black > 100, `the histogram's colours are ${JSON.stringify(h)}`);
    for (const [n, re] of [[28, /^Cp = -?\d+\.\d{3}$/], [23, /^Cpk = -?\d+\.\d{3}$/], [29, /^Defects = \d+ PPM \(Assuming Normal Dist\.\)$/]]) {
      const t = (await textOf(spc, n)).trim();
      expect(re.test(t), `control ${n} reads ${JSON.stringify(t)}`);
    }
    expect(/^# \d+$/.test(await textOf(spc, 25)), 'the wafer read-out is empty');
    const close = (await ctrl(spc, 4).innerText()).trim();
    expect(close === 'Close', `the Close toggle reads ${close}`);
    await shoot('spc_chart_menu.png');
  });

  await test('the SPC chart prints to a PDF that opens in a new tab', async () => {
    const text = await printTo(spc, 9, 'SpcChart.pdf');
    expect(text.includes('SpcChart'), `the page reads ${text}`);
  });

  await test('the cursor dragged to another point moves the read-out', async () => {
    const graph = ctrl(spc, 3);
    const canvas = graph.locator('canvas');
    const box = await canvas.boundingBox();
    // The window may be shrunk to fit the browser: panel pixels scale to what is on the screen.
    const k = box.width / Number(await canvas.getAttribute('width'));
    const at = k * Number((await graph.getAttribute('data-cursors')).split(',')[0]);
    const y = box.y + box.height / 2;
    const from = box.x + at, to = box.x + at - box.width / 4;
    // A late alarm may have brought the real-time testing window up over the chart: a click on the chart's title
    // bar brings the chart to the front, as a person would do before dragging.
    // Alarms of wafers still being tested may bring it up again: click until the chart stays in front.
    const uncovered = () => page.waitForFunction(([xs, yy]) => xs.every((x) => document.elementFromPoint(x, yy)?.closest('[data-panel="SPC"]')),
      [[from, to], y], { timeout: 3000 }).then(() => true, () => false);
    let front = false;
    for (let attempt = 0; attempt < 10 && !front; attempt++) {
      await spc.locator(':scope > .titlebar > .title').click();
      front = await uncovered();
    }
    expect(front, 'the chart never came in front of the windows over it');
    await page.mouse.move(from, y);
    await page.mouse.down();
    await page.mouse.move(to, y, { steps: 5 });
    await page.mouse.up();
    await page.waitForFunction(() => Number(document.querySelector('[data-panel="SPC"] [data-ctrl="14"] input')?.value) < 0,
      null, { timeout: 15000 });
    const p = Number(await textOf(spc, 14));
    expect(p < 0, `the point position is ${p}`);
    const rules = (await textOf(spc, 17)).trim();
    expect(rules === 'None' || /^(1a|1b|2a|2b|3a|3b|4|5a|5b|6a|6b|7|8)+$/.test(rules), `the rules read ${rules}`);
  });

  await test('a comment typed in the read-out is kept for the trace', async () => {
    const box = ctrl(spc, 16).locator('textarea, input').first();
    await box.click();
    await box.fill("Checked: RF match o'clock");
    await box.press('Tab');
    await page.waitForTimeout(500);
    // Another point and back: the read-out is read from the run table again.
    const pos = ctrl(spc, 14).locator('input');
    const here = await pos.inputValue();
    await pos.fill('0');
    await pos.press('Enter');
    await pos.fill(here);
    await pos.press('Enter');
    await page.waitForFunction(() => document.querySelector('[data-panel="SPC"] [data-ctrl="16"] textarea, [data-panel="SPC"] [data-ctrl="16"] input')
      ?.value.startsWith("Checked: RF match o'clock"), null, { timeout: 15000 });
  });

  await test('Close closes the chart window', async () => {
    await ctrl(spc, 4).locator('button').click();
    await spc.waitFor({ state: 'detached', timeout: 15000 });
  });

  await test("the alarm list's View Chart opens the alarm's chart", async () => {
    await choose('Alarms', 'Alarm List...');
    await apop.waitFor({ timeout: 15000 });
    const field = ctrl(apop, 2).locator('input');
    await field.fill('20');
    await field.press('Enter');
    await ctrl(apop, 3).locator('button').click();
    await alarms.waitFor({ timeout: 15000 });
    // The list opens beside the strip chart: a click on its title brings it to the front, as a user does.
    await alarms.locator(':scope > .titlebar > .title').click();
    // The alarm's own line, under the run's heading line.
    await items(alarms, 9).filter({ hasText: 'Overshoot Maximum' }).first().click();
    await ctrl(alarms, 4).locator('button').click();
    await spc.waitFor({ timeout: 15000 });
    await page.waitForFunction(() => Number(document.querySelector('[data-panel="SPC"] [data-ctrl="3"]')?.dataset.plots ?? 0) >= 11,
      null, { timeout: 15000 });
    const c = await colours(spc, 3);
    expect(c.red > 100 && c.black > 50, `the alarm chart's colours are ${JSON.stringify(c)}`);
    await shoot('spc_chart_alarm.png');
    await ctrl(spc, 4).locator('button').click();
    await spc.waitFor({ state: 'detached', timeout: 15000 });
  });

  await test('the page raised no script errors', async () => {
    expect(session.pageErrors.length === 0, session.pageErrors.join('; '));
  });

  await test('SIGTERM ends the program with exit code 0', () => session.stopProgram());

  await session.done();
}

main().catch((e) => { console.error(e); session.finish(1); });

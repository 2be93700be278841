// Browser test of the SPC chart window: after the default scenario has raised alarms, a chart opens from the chart
// menu through batch selection and another from the alarm list; the series, limit lines, rule markers, histogram
// and capability are drawn, the cursor and the point read-out follow the user, and the window closes. The
// strip chart and the SPC chart print to PDF reports that open in new tabs.
// Usage: node spc_test.mjs <bin directory> <platform/web directory> <screenshot directory> <make_demo_dir> <setup file>
import { execFileSync } from 'node:child_process';
import path from 'node:path';
import {
  ProgramSession, expect, answering, recordAlarm, panelOf, control, button, listItems, valueOf, controlSelector,
  pickMenu, settled, shoot,
} from './harness.mjs';

const [binDir, webDir, shotDir, makeDemoDir, setupFile] = process.argv.slice(2);
const session = new ProgramSession({ binDir, edition: 'Vantrel', webDir, limitMs: 400000 });
const test = (name, body) => session.test(name, body);
const RF_OVERSHOOT = /^RF_FWD .* > 80\.000 /;

async function main() {
  execFileSync(makeDemoDir, [setupFile, session.work], { stdio: 'inherit' });
  session.start({ VANTREL_SIM_SPEED: '20' });
  const page = await session.openPage();

  const top = panelOf(page, 'TOP');
  const chart = panelOf(page, 'SCHART');
  const spc = panelOf(page, 'SPC');
  const wafers = panelOf(page, 'WAFERS');
  const alarms = panelOf(page, 'REVIEW');
  const apop = panelOf(page, 'APOP');
  // Print... of a window: the file dialog offers the report name, Save writes the PDF, and it opens in a new tab.
  const printTo = async (printButton, name) => {
    await button(page, printButton).click();
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
  const plotsOf = async (graph) => Number(await control(page, graph).getAttribute('data-plots') ?? 0);
  // Colour counts of the chart graph's canvas: limit lines (red, green) and markers.
  const colours = (graph) => control(page, graph).locator('canvas').evaluate((cv) => {
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
    // The overshoot comes on the third wafer and GAS_A's slow turn-off on the fifth: once that alarm is seen, the
    // chart has several tested points to move the cursor between.
    await recordAlarm(page, 'Vantrel', RF_OVERSHOOT, 'the RF overshoot alarm', 4, /^GAS_A_OFF /);
  });

  await test('the strip chart prints the recorded traces to a PDF that opens in a new tab', async () => {
    const text = await printTo('SCHART_PRINT', 'Chart.pdf');
    expect(text.includes('Chart') && text.includes('RF_FWD'), `the page reads ${text}`);
  });

  await test('the chart menu opens batch selection for the RF overshoot chart', async () => {
    await pickMenu(top, ['Charts', 'Step Channel Charts', 'RF_FWD', 'Step 1 Overshoot Maximum']);
    await wafers.waitFor({ timeout: 15000 });
    // Only the production wafers of ETCH.
    const recipes = listItems(page, 'WAFERS_RECIPE_LIST');
    const n = await recipes.count();
    expect(n >= 2, `the recipe list holds ${n} items`);
    for (let i = 0; i < n; i++) {
      const row = recipes.nth(i);
      const want = (await row.innerText()).trim() === 'ETCH';
      const box = row.locator('input[type="checkbox"]');
      if ((await box.isChecked()) !== want) {
        await box.click();
        await page.waitForFunction(([k, w]) => document.querySelectorAll('[data-panel="WAFERS"] [data-constant="RECIPE_LIST"] .list-item input')[k]?.checked === w,
          [i, want], { timeout: 10000 });
      }
    }
    await control(page, 'WAFERS_OK').locator('button').click();
    await spc.waitFor({ timeout: 15000 });
  });

  await test('the chart shows series, limit lines, rule markers, histogram and capability', async () => {
    const title = await spc.locator(':scope > .titlebar > .title').innerText();
    expect(title === 'RF_FWD Step Overshoot Maximum 1', `the chart window is titled ${title}`);
    await page.waitForFunction(() => Number(document.querySelector('[data-panel="SPC"] [data-constant="CHART"]')?.dataset.plots ?? 0) >= 11,
      null, { timeout: 15000 });
    const plots = await plotsOf('SPC_CHART');
    expect(plots >= 12, `the chart graph holds ${plots} plots: ten limit lines, the series and at least one marker`);
    expect(await plotsOf('SPC_HISTOGRAM') >= 1, 'the histogram is empty');
    const c = await colours('SPC_CHART');
    expect(c.red > 200 && c.black > 100, `the chart's colours are ${JSON.stringify(c)}`);
    // The 3-sigma lines may lie under the control limits; hiding those shows them on their own scale.
    await control(page, 'SPC_SPEC').locator('button').click();
    await page.waitForFunction(() => {
      const cv = document.querySelector('[data-panel="SPC"] [data-constant="CHART"] canvas');
      const d = cv.getContext('2d').getImageData(0, 0, cv.width, cv.height).data;
      let red = 0;
      for (let i = 0; i < d.length; i += 4) if (d[i] > 150 && d[i] - d[i + 1] > 80 && d[i] - d[i + 2] > 80) red++;
      return red < 50;
    }, null, { timeout: 15000 });
    const g = await colours('SPC_CHART');
    expect(g.green > 100, `without the control limits the chart's colours are ${JSON.stringify(g)}`);
    await control(page, 'SPC_SPEC').locator('button').click();
    await page.waitForFunction(() => document.querySelector('[data-panel="SPC"] [data-constant="SPEC"] button.pressed') === null,
      null, { timeout: 15000 });
    const h = await colours('SPC_HISTOGRAM');
    expect(h.black > 100, `the histogram's colours are ${JSON.stringify(h)}`);
    for (const [name, re] of [['SPC_CP', /^Cp = -?\d+\.\d{3}$/], ['SPC_CPK', /^Cpk = -?\d+\.\d{3}$/],
      ['SPC_DEFECTS', /^Defects = \d+ PPM \(Assuming Normal Dist\.\)$/]]) {
      const t = await valueOf(page, name);
      expect(re.test(t), `${name} reads ${JSON.stringify(t)}`);
    }
    expect(/^# \d+$/.test(await valueOf(page, 'SPC_WAFER')), 'the wafer read-out is empty');
    const close = (await control(page, 'SPC_CLOSE').innerText()).trim();
    expect(close === 'Close', `the Close toggle reads ${close}`);
    await shoot(page, shotDir, 'spc_chart_menu.png');
  });

  await test('the SPC chart prints to a PDF that opens in a new tab', async () => {
    const text = await printTo('SPC_PRINT', 'SpcChart.pdf');
    expect(text.includes('SpcChart'), `the page reads ${text}`);
  });

  await test('the cursor dragged to another point moves the read-out', async () => {
    const graph = control(page, 'SPC_CHART');
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
    const moved = () => page.waitForFunction(() => Number(document.querySelector('[data-panel="SPC"] [data-constant="POINT"] input')?.value) < 0,
      null, { timeout: 5000 }).then(() => true, () => false);
    // A window brought up between the check and the drag takes the drag: bring the chart forward and drag again,
    // as a person would.
    let done = false;
    for (let drag = 0; drag < 5 && !done; drag++) {
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
      await settled(page);
      done = await moved();
    }
    expect(done, 'the read-out never followed the dragged cursor');
    const p = Number(await valueOf(page, 'SPC_POINT'));
    expect(p < 0, `the point position is ${p}`);
    const rules = (await valueOf(page, 'SPC_RULES')).trim();
    expect(rules === 'None' || /^(1a|1b|2a|2b|3a|3b|4|5a|5b|6a|6b|7|8)+$/.test(rules), `the rules read ${rules}`);
  });

  await test('a comment typed in the read-out is kept for the trace', async () => {
    const box = control(page, 'SPC_COMMENT').locator('textarea, input').first();
    await box.click();
    await box.fill("Checked: RF match o'clock");
    await box.press('Tab');
    await settled(page);
    // Another point and back: the read-out is read from the run table again.
    const pos = control(page, 'SPC_POINT').locator('input');
    const here = await pos.inputValue();
    await pos.fill('0');
    await pos.press('Enter');
    await pos.fill(here);
    await pos.press('Enter');
    await page.waitForFunction(() => document.querySelector('[data-panel="SPC"] [data-constant="COMMENT"] textarea, [data-panel="SPC"] [data-constant="COMMENT"] input')
      ?.value.startsWith("Checked: RF match o'clock"), null, { timeout: 15000 });
  });

  await test('Close closes the chart window', async () => {
    await control(page, 'SPC_CLOSE').locator('button').click();
    await spc.waitFor({ state: 'detached', timeout: 15000 });
  });

  await test("the alarm list's View Chart opens the alarm's chart", async () => {
    await pickMenu(top, 'Alarms/Alarm List...');
    await apop.waitFor({ timeout: 15000 });
    const field = control(page, 'APOP_COUNT').locator('input');
    await field.fill('20');
    await field.press('Enter');
    await control(page, 'APOP_LIST').locator('button').click();
    await alarms.waitFor({ timeout: 15000 });
    // The list opens beside the strip chart: a click on its title brings it to the front, as a user does.
    await alarms.locator(':scope > .titlebar > .title').click();
    // The alarm's own line, under the run's heading line.
    await listItems(page, 'REVIEW_ALARMS').filter({ hasText: 'Overshoot Maximum' }).first().click();
    await control(page, 'REVIEW_VIEW').locator('button').click();
    await spc.waitFor({ timeout: 15000 });
    await page.waitForFunction(() => Number(document.querySelector('[data-panel="SPC"] [data-constant="CHART"]')?.dataset.plots ?? 0) >= 11,
      null, { timeout: 15000 });
    const c = await colours('SPC_CHART');
    expect(c.red > 100 && c.black > 50, `the alarm chart's colours are ${JSON.stringify(c)}`);
    await shoot(page, shotDir, 'spc_chart_alarm.png');
    await control(page, 'SPC_CLOSE').locator('button').click();
    await spc.waitFor({ state: 'detached', timeout: 15000 });
  });

  await test('the page raised no script errors', async () => {
    expect(session.pageErrors.length === 0, session.pageErrors.join('; '));
  });

  await test('SIGTERM ends the program with exit code 0', () => session.stopProgram());

  await session.done();
}

main().catch((e) => { console.error(e); session.finish(1); });

// Browser test of what stays usable at scale: a nested menu stays open while acquisition changes the menu bar, and
// Esc closes it; the batch-selection dialog on a year of runs shows only the rows in view, scrolls by the mouse
// wheel to the oldest run, and picks the right rows.
// Usage: node view_scale_test.mjs <bin directory> <platform/web directory> <make_demo_dir> <setup file> <seed_runs>
import { execFileSync } from 'node:child_process';
import { ProgramSession, expect, answering, control, menuItem, pickMenu, panelOf, pressed } from './harness.mjs';

const [binDir, webDir, makeDemoDir, setupFile, seedRuns] = process.argv.slice(2);
const session = new ProgramSession({ binDir, edition: 'Vantrel', webDir, limitMs: 400000 });
const test = (name, body) => session.test(name, body);

const RUNS = 100000;
const ROW_HEIGHT = 16;
const COLORS = ['Configure', 'Colors'];
const LOAD_COLORS = [...COLORS, 'Load Colors...'];
const OVERSHOOT_CHART = ['Charts', 'Step Channel Charts', 'RF_FWD', 'Step 1 Overshoot Maximum'];

// Two frames drawn: what one wheel step scrolled is on the screen before the next.
const nextFrames = (page) => page.evaluate(() => new Promise((done) => requestAnimationFrame(() => requestAnimationFrame(done))));

// A row's box ticked, as a person does: a click the page redrew the row under is clicked again.
async function tick(row) {
  const box = row.locator('xpath=./input');
  for (let attempt = 0; attempt < 3; attempt++) {
    if (!(await box.isChecked())) await row.locator('input').click();
    if (await box.and(row.page().locator(':checked')).waitFor({ timeout: 10000 }).then(() => true, () => false)) return;
  }
  throw new Error('the row never showed its tick');
}

async function main() {
  execFileSync(makeDemoDir, [setupFile, session.work], { stdio: 'inherit' });
  execFileSync(seedRuns, [session.work, String(RUNS)], { stdio: 'inherit' });
  session.start({ VANTREL_SIM_SPEED: '60' });
  const page = await session.openPage({ width: 1280, height: 720 });
  let menuChanges = 0;
  page.on('websocket', (ws) => ws.on('framereceived', (f) => {
    if (typeof f.payload === 'string' && f.payload.includes('"menu_delta"')) menuChanges++;
  }));

  const top = panelOf(page, 'TOP');
  const wafers = panelOf(page, 'WAFERS');
  const colors = menuItem(top, COLORS);
  const loadColors = menuItem(top, LOAD_COLORS);
  const charts = menuItem(top, ['Charts']);
  const noPopup = async () => (await page.locator('.popup').count()) === 0;
  await top.waitFor({ timeout: 30000 });
  await answering(page, 'Vantrel', noPopup, 'no start-up message', 30000);

  // Opens Configure > Colors by the mouse, leaving the pointer on the submenu's row.
  const openColors = async () => {
    await top.locator(':scope > div > .menubar > .menu').filter({ hasText: /^Configure/ }).first().click({ position: { x: 5, y: 5 } });
    await colors.hover();
    await loadColors.waitFor({ timeout: 10000 });
  };

  await test('Esc closes an open nested menu, and only the menu', async () => {
    await openColors();
    await page.keyboard.press('Escape');
    await loadColors.waitFor({ state: 'hidden', timeout: 5000 });
    expect(!(await colors.isVisible()), 'Esc closed the whole menu');
    expect(await top.isVisible(), 'Esc closed the menu, not the window');
  });

  await test('a nested menu stays open while acquisition changes the menu bar', async () => {
    // With testing on, each wafer dims and restores menus of the bar.
    await pickMenu(top, ['Configure', 'Real-Time Testing']);
    await answering(page, 'Vantrel', noPopup, 'no message', 20000);
    await control(page, 'SCHART_START').locator('button').click();
    const scans = () => control(page, 'SCHART_STRIP').evaluate((el) => Number(el.dataset.scans ?? 0));
    await answering(page, 'Vantrel', async () => (await scans()) > 0 && (await noPopup()), 'scans on the strip chart', 120000);
    await openColors();
    const before = menuChanges;
    const until = Date.now() + 150000;
    while (menuChanges < before + 3 && Date.now() < until) {
      expect(await loadColors.isVisible(), `the submenu closed after ${menuChanges - before} menu changes`);
      await page.waitForTimeout(200);
    }
    expect(menuChanges >= before + 3, `only ${menuChanges - before} menu changes arrived`);
    expect(await loadColors.isVisible(), 'the submenu is still open');
    await page.keyboard.press('Escape');
    await loadColors.waitFor({ state: 'hidden', timeout: 5000 });
    // Stopped again, so that the chart menus take clicks.
    await control(page, 'SCHART_START').locator('button').click();
    await answering(page, 'Vantrel', async () => !(await pressed(page, 'SCHART_START')) &&
      !(await charts.evaluate((m) => m.classList.contains('dimmed'))) && (await noPopup()), 'acquisition stopped', 60000);
  });

  await test('a long list shows only the rows in view, scrolls by the wheel and picks the right rows', async () => {
    await pickMenu(top, OVERSHOOT_CHART);
    const ids = control(page, 'WAFERS_TRACE_LIST');
    await ids.locator(`xpath=self::*[@data-rows >= ${RUNS + 1}]`).waitFor({ timeout: 60000 });
    // The runs just recorded come first (newest first), then the seeded ones: run k of those carries lot k / 25.
    const recorded = Number(await ids.getAttribute('data-rows')) - (RUNS + 1);
    const drawn = await ids.locator('.list-item').count();
    expect(drawn > 5 && drawn < 100, `${drawn} rows in the page for ${RUNS + 1 + recorded}`);
    const lot = (index) => `LOT${String(Math.floor((RUNS - (index - recorded)) / 25)).padStart(7, '0')}`;
    const at = (index) => ids.locator(`.list-item[data-index="${index}"]`);
    const first = recorded + 1;
    expect((await at(first).innerText()).trim() === lot(first), `row ${first} reads ${await at(first).innerText()}`);
    // Scrolled with the mouse wheel, as a person does, until row 1500 is in view (each step drawn before the next).
    const target = 1500;
    await ids.locator('.listbox').hover();
    for (let k = 0; k < 100 && !(await at(target).isVisible().catch(() => false)); k++) {
      await page.mouse.wheel(0, 20 * ROW_HEIGHT);
      await nextFrames(page);
    }
    await at(target).waitFor({ timeout: 10000 });
    const drawnThere = await ids.locator('.list-item').count();
    expect(drawnThere < 100, `${drawnThere} rows in the page after scrolling`);
    expect((await at(target).innerText()).trim() === lot(target), `row ${target} reads ${await at(target).innerText()}`);
    await tick(at(target));
    await at(target).locator('.item-text').click();
    await ids.locator(`.list-item.current[data-index="${target}"]`).waitFor({ timeout: 10000 });

    // Flung to the end with the wheel (the headless browser draws no scroll bar to drag): the last row is the
    // oldest run, and it takes a tick.
    const last = RUNS + recorded;
    for (let k = 0; k < 40 && !(await at(last).isVisible().catch(() => false)); k++) {
      await page.mouse.wheel(0, 100000 * ROW_HEIGHT);
      await nextFrames(page);
    }
    await at(last).waitFor({ timeout: 10000 });
    expect((await at(last).innerText()).trim() === 'LOT0000000', `the last row reads ${await at(last).innerText()}`);
    expect(lot(last) === 'LOT0000000', `the oldest run's lot is ${lot(last)}`);
    const drawnAtEnd = await ids.locator('.list-item').count();
    expect(drawnAtEnd < 100, `${drawnAtEnd} rows in the page at the end`);
    await tick(at(last));
    await page.keyboard.press('Escape');
    await wafers.waitFor({ state: 'hidden', timeout: 10000 });
  });

  expect(session.pageErrors.length === 0, `page errors: ${session.pageErrors.join('; ')}`);
  await session.done();
}

main().catch(async (e) => {
  console.error(e);
  await session.finish(1);
});

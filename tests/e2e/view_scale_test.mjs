// Browser test of what stays usable at scale: a nested menu stays open while acquisition changes the menu bar, and
// Esc closes it; the batch-selection dialog on a few thousand runs shows, scrolls and picks the right rows.
// Usage: node view_scale_test.mjs <bin directory> <platform/web directory> <make_demo_dir> <setup file> <seed_runs>
import { execFileSync } from 'node:child_process';
import { ProgramSession, expect, answering } from './harness.mjs';

const [binDir, webDir, makeDemoDir, setupFile, seedRuns] = process.argv.slice(2);
const session = new ProgramSession({ binDir, edition: 'Vantrel', webDir, limitMs: 400000 });
const test = (name, body) => session.test(name, body);

const RUNS = 2000;
const CONFIGURE_MENU = 23;
const REAL_TIME_TESTING = 53;  // Configure's item
const START = 2;                // the strip chart's START/STOP button
const CHARTS_MENU = 34;
const TRACE_IDS = 3;        // the batch dialog's trace-id list
const ROW_HEIGHT = 16;

async function main() {
  execFileSync(makeDemoDir, [setupFile, session.work], { stdio: 'inherit' });
  execFileSync(seedRuns, [session.work, String(RUNS)], { stdio: 'inherit' });
  session.start({ VANTREL_SIM_SPEED: '60' });
  const page = await session.openPage({ width: 1280, height: 720 });

  const top = page.locator('[data-panel="TOP"]');
  const wafers = page.locator('[data-panel="WAFERS"]');
  const chart = page.locator('[data-panel="SCHART"]');
  let menuChanges = 0;
  page.on('websocket', (ws) => ws.on('framereceived', (f) => {
    if (typeof f.payload === 'string' && f.payload.includes('"menu_delta"')) menuChanges++;
  }));
  const configure = top.locator(`.menubar > .menu[data-menu="${CONFIGURE_MENU}"]`);
  const charts = top.locator(`.menubar > .menu[data-menu="${CHARTS_MENU}"]`);
  const list = 'xpath=./div[contains(concat(" ", @class, " "), " menu-list ")]';
  const row = (scope, name) => scope.locator(`${list}/div[span[1][normalize-space(.)="${name}"]]`);
  const stepCharts = row(charts, 'Step Channel Charts');
  const rfFwd = row(stepCharts, 'RF_FWD');
  const overshoot = row(rfFwd, 'Step 1 Overshoot Maximum');
  const colors = row(configure, 'Colors');
  const loadColors = row(colors, 'Load Colors...');
  await top.waitFor({ timeout: 30000 });
  await page.waitForTimeout(1000);
  await answering(page, 'Vantrel', async () => (await page.locator('.popup').count()) === 0, 'no start-up message', 30000);

  await test('Esc closes an open nested menu, and only the menu', async () => {
    await configure.click({ position: { x: 5, y: 5 } });
    await colors.hover();
    await loadColors.waitFor({ timeout: 10000 });
    await page.keyboard.press('Escape');
    await loadColors.waitFor({ state: 'hidden', timeout: 5000 });
    expect(!(await colors.isVisible()), 'Esc closed the whole menu');
    expect(await top.isVisible(), 'Esc closed the menu, not the window');
  });

  await test('a nested menu stays open while acquisition changes the menu bar', async () => {
    // With testing on, each wafer dims and restores menus of the bar.
    await configure.click({ position: { x: 5, y: 5 } });
    await top.locator(`[data-menu-item="${REAL_TIME_TESTING}"]`).click();
    await answering(page, 'Vantrel', async () => (await page.locator('.popup').count()) === 0, 'no message', 20000);
    const button = chart.locator(`:scope > .client > [data-ctrl="${START}"] button`);
    await button.click();
    const scans = () => page.evaluate(() => Number(document.querySelector('[data-panel="SCHART"] [data-ctrl="20"]')?.dataset.scans ?? 0));
    await answering(page, 'Vantrel', async () => (await scans()) > 0 && (await page.locator('.popup').count()) === 0,
      'scans on the strip chart', 120000);
    await configure.click({ position: { x: 5, y: 5 } });
    await colors.hover();
    await loadColors.waitFor({ timeout: 10000 });
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
    await button.click();
    await answering(page, 'Vantrel', async () => (await chart.locator(`:scope > .client > [data-ctrl="${START}"] button.pressed`).count()) === 0 &&
      !(await charts.evaluate((m) => m.classList.contains('dimmed'))) && (await page.locator('.popup').count()) === 0,
      'acquisition stopped', 60000);
  });

  await test('a long list shows only the rows in view and picks the right rows', async () => {
    await charts.click({ position: { x: 5, y: 5 } });
    await stepCharts.hover();
    await rfFwd.hover();
    await overshoot.click();
    const ids = wafers.locator(`:scope > .client > [data-ctrl="${TRACE_IDS}"]`);
    await page.waitForFunction((n) => Number(document.querySelector(`[data-panel="WAFERS"] [data-ctrl="3"]`)?.dataset.rows) >= n,
      RUNS + 1, { timeout: 60000 });
    // The runs just recorded come first (newest first), then the seeded ones.
    const recorded = Number(await ids.getAttribute('data-rows')) - (RUNS + 1);
    const drawn = await ids.locator('.list-item').count();
    expect(drawn > 5 && drawn < 100, `${drawn} rows in the page for ${RUNS + 1}`);
    // The newest run first: run k of the seeded ones carries lot k / 25.
    const lot = (index) => `LOT${String(Math.floor((RUNS - (index - recorded)) / 25)).padStart(7, '0')}`;
    const at = (index) => ids.locator(`.list-item[data-index="${index}"]`);
    expect((await at(recorded + 1).innerText()).trim() === lot(recorded + 1), `row ${recorded + 1} reads ${await at(recorded + 1).innerText()}`);
    // Scrolled with the mouse wheel, as a person does, until row 1500 is in view (each step drawn before the next).
    const target = 1500;
    await ids.locator('.listbox').hover();
    for (let k = 0; k < 100 && !(await at(target).isVisible().catch(() => false)); k++) {
      await page.mouse.wheel(0, 20 * ROW_HEIGHT);
      await page.waitForTimeout(60);
    }
    await at(target).waitFor({ timeout: 10000 });
    const drawnThere = await ids.locator('.list-item').count();
    expect(drawnThere < 100, `${drawnThere} rows in the page after scrolling`);
    expect((await at(target).innerText()).trim() === lot(target), `row ${target} reads ${await at(target).innerText()}`);
    await at(target).locator('input').click();
    await page.waitForFunction((i) => document.querySelector(`[data-panel="WAFERS"] [data-ctrl="3"] .list-item[data-index="${i}"] input`)?.checked === true,
      target, { timeout: 10000 });
    await at(target).locator('.item-text').click();
    await page.waitForFunction((i) => document.querySelector(`[data-panel="WAFERS"] [data-ctrl="3"] .list-item[data-index="${i}"]`)?.classList.contains('current'),
      target + 1 - 1, { timeout: 10000 });
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

// Browser test of what stays usable at scale: Esc closes an open nested menu; the batch-selection dialog on a few thousand runs shows, scrolls and picks the right rows.
// Usage: node view_scale_test.mjs <bin directory> <platform/web directory> <make_demo_dir> <setup file> <seed_runs>
import { execFileSync } from 'node:child_process';
import { ProgramSession, expect, answering } from './harness.mjs';

const [binDir, webDir, makeDemoDir, setupFile, seedRuns] = process.argv.slice(2);
const session = new ProgramSession({ binDir, edition: 'Vantrel', webDir, limitMs: 280000 });
const test = (name, body) => session.test(name, body);

const RUNS = 2000;
const CONFIGURE_MENU = 23;
const CHARTS_MENU = 34;
const TRACE_IDS = 3;        // the batch dialog's trace-id list
const ROW_HEIGHT = 16;

async function main() {
  execFileSync(makeDemoDir, [setupFile, session.work], { stdio: 'inherit' });
  execFileSync(seedRuns, [session.work, String(RUNS)], { stdio: 'inherit' });
  session.start({});
  const page = await session.openPage({ width: 1280, height: 720 });

  const top = page.locator('[data-panel="TOP"]');
  const wafers = page.locator('[data-panel="WAFERS"]');
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

  await test('a long list shows only the rows in view and picks the right rows', async () => {
    await charts.click({ position: { x: 5, y: 5 } });
    await stepCharts.hover();
    await rfFwd.hover();
    await overshoot.click();
    const ids = wafers.locator(`:scope > .client > [data-ctrl="${TRACE_IDS}"]`);
    await page.waitForFunction((n) => Number(document.querySelector(`[data-panel="WAFERS"] [data-ctrl="3"]`)?.dataset.rows) === n,
      RUNS + 1, { timeout: 60000 });
    const drawn = await ids.locator('.list-item').count();
    expect(drawn > 5 && drawn < 100, `${drawn} rows in the page for ${RUNS + 1}`);
    // The newest run first: run k of the seeded ones carries lot k / 25.
    const lot = (index) => `LOT${String(Math.floor((RUNS - index) / 25)).padStart(7, '0')}`;
    const at = (index) => ids.locator(`.list-item[data-index="${index}"]`);
    expect((await at(1).innerText()).trim() === lot(1), `row 1 reads ${await at(1).innerText()}`);
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

// Browser test of playback: runs recorded on the simulated board are replayed from the Play toggle, two wafers to the
// strip chart with a step back through the play buttons, then laid over each other on the playback graph.
// Usage: node playback_test.mjs <bin directory> <platform/web directory> <screenshot directory> <make_demo_dir> <setup file>
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { ProgramSession, expect, answering } from './harness.mjs';

const [binDir, webDir, shotDir, makeDemoDir, setupFile] = process.argv.slice(2);
const session = new ProgramSession({ binDir, edition: 'Vantrel', webDir, limitMs: 400000 });
const test = (name, body) => session.test(name, body);

async function main() {
  execFileSync(makeDemoDir, [setupFile, session.work], { stdio: 'inherit' });
  session.start({ VANTREL_SIM_SPEED: '20' });
  const page = await session.openPage();

  const chart = page.locator('[data-panel="SCHART"]');
  const sel = page.locator('[data-panel="SC_SEL"]:not(.hidden)');
  const ctrl = (panel, n) => panel.locator(`:scope > .client > [data-ctrl="${n}"]`);
  const items = (panel, n) => ctrl(panel, n).locator('.list-item');
  const pressed = (n) => ctrl(chart, n).locator('button.pressed').count().then((k) => k === 1);
  const textOf = async (panel, n) => {
    const el = ctrl(panel, n);
    const input = el.locator('input, textarea');
    return ((await input.count()) ? await input.first().inputValue() : await el.innerText()).trim();
  };
  const shoot = async (name) => {
    fs.mkdirSync(shotDir, { recursive: true });
    const shot = path.join(shotDir, name);
    await page.screenshot({ path: shot });
    console.log(`screenshot: ${shot}`);
  };
  const traces = () => fs.readdirSync(path.join(session.work, 'SC_DATA')).length;
  // Opens the run selection and checks the first two runs listed (at least two wafers), for the given destination.
  const choose = async (destination) => {
    await ctrl(chart, 3).locator('button').click();
    await sel.waitFor({ timeout: 15000 });
    // Two runs, or the one run of several wafers that was recorded.
    await items(sel, 3).first().waitFor({ timeout: 15000 });
    const n = Math.min(2, await items(sel, 3).count());
    for (let i = 0; i < n; i++) await items(sel, 3).nth(i).locator('input[type="checkbox"]').click();
    const ring = ctrl(sel, 18).locator('select');
    const options = await ring.locator('option').allInnerTexts();
    await ring.selectOption(String(options.indexOf(destination)));
    await ctrl(sel, 2).locator('button').click();
  };

  await test('acquisition records at least two wafers', async () => {
    await chart.waitFor({ timeout: 20000 });
    await ctrl(chart, 2).locator('button').click();
    await answering(page, 'Vantrel', async () => traces() >= 3, 'three wafer traces', 240000);
    await ctrl(chart, 2).locator('button').click();
    await answering(page, 'Vantrel', async () => !(await pressed(2)), 'the toggle released', 20000);
  });

  await test('two wafers replay to the strip chart and step back one block', async () => {
    await choose('Strip Chart');
    const back = chart.locator('button[aria-label="left1"]');
    await back.waitFor({ timeout: 15000 });
    const backDimmed = () => back.evaluate((b) => b.closest('[data-ctrl]').classList.contains('dimmed'));
    const settled = async () => {
      let last = -1;
      for (;;) {
        await page.waitForTimeout(1500);
        const now = Number(await textOf(chart, 24));
        if (now === last) return now;
        last = now;
      }
    };
    // Wait until the chart has scrolled past its first screen, then stop it with one step forward: the chart then
    // waits for a button. A slow machine may stop it on the next wafer's first screen, where there is nothing to
    // step back to yet; then play on, as a person would, and stop again.
    let before = -1;
    for (let attempt = 0; attempt < 3; attempt++) {
      await page.waitForFunction(() => {
        const t = (n) => Number(document.querySelector(`[data-panel="SCHART"] > .client > [data-ctrl="${n}"]`)?.innerText);
        const b = document.querySelector('[data-panel="SCHART"] button[aria-label="left1"]');
        return t(23) > 0 && b && !b.closest('[data-ctrl]').classList.contains('dimmed');
      }, null, { timeout: 120000 });
      await chart.locator('button[aria-label="right1"]').click();
      before = await settled();
      if (!(await backDimmed())) break;
      console.log(`stopped at ${before} s with nothing to step back to; playing on`);
      await chart.locator('button[aria-label="right"]').click();
    }
    expect(!(await backDimmed()), 'stepping back was never offered while the chart stood still');
    expect(!(await chart.locator('button[aria-label="right"]').evaluate((b) => b.classList.contains('pressed'))),
      'play is still on');
    await back.click();
    await page.waitForFunction((b) => Number(document.querySelector('[data-panel="SCHART"] > .client > [data-ctrl="24"]')
      ?.innerText) === b - 1, before, { timeout: 15000 });
    const after = await settled();
    expect(after === before - 1, `the chart ended at ${before} s and after the step back at ${after} s`);
    await shoot('playback_step_back.png');
    // Fast forward to the end: the buttons go and the Play toggle is released.
    await chart.locator('button[aria-label="fforward"]').click();
    await page.waitForFunction(() => !document.querySelector('[data-panel="SCHART"] button[aria-label="fforward"]'),
      null, { timeout: 120000 });
    expect(!(await pressed(3)), 'the Play toggle is still pressed');
    const list = fs.readFileSync(path.join(session.work, 'playback.tmp'), 'utf8').trim().split('\n');
    expect(list.length >= 2, `the playback list holds ${list.length} lines`);
  });

  await test('the same wafers laid over each other on the playback graph', async () => {
    await choose('Strip Chart Overlay with Auto X Scale');
    const popup = page.locator('.popup');
    await popup.first().waitFor({ timeout: 15000 });
    await popup.first().locator('.buttons button', { hasText: 'Create a new chart' }).click();
    await page.waitForFunction(() => Number(document.querySelector('[data-panel="SCHART"] > .client > [data-ctrl="14"]')
      ?.dataset.plots ?? 0) > 0, null, { timeout: 120000 });
    await answering(page, 'Vantrel', async () => !(await pressed(3)), 'the end of the playback', 120000);
    const lines = fs.readFileSync(path.join(session.work, 'playback.tmp'), 'utf8').trim().split('\n');
    expect(lines.length >= 2 && / 2$/.test(lines[0]), `the playback list reads ${JSON.stringify(lines)}`);
    await shoot('playback_overlay.png');
  });

  await session.stopProgram();
  await session.done();
}

main().catch(async (e) => { console.error(e); await session.finish(1); });

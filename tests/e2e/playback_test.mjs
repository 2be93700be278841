// Browser test of playback: runs recorded on the simulated board are replayed from the Play toggle, two wafers to the
// strip chart with a step back through the play buttons, then laid over each other on the playback graph. The runs
// are recorded at twenty times the real pace and replayed at the real pace, as a person watches them.
// Usage: node playback_test.mjs <bin directory> <platform/web directory> <screenshot directory> <make_demo_dir> <setup file>
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import {
  ProgramSession, expect, answering, acquire, panelOf, control, button, listItems, pressed, valueOf, controlSelector,
  settled, shoot,
} from './harness.mjs';

const [binDir, webDir, shotDir, makeDemoDir, setupFile] = process.argv.slice(2);
const session = new ProgramSession({ binDir, edition: 'Vantrel', webDir, limitMs: 400000 });
const test = (name, body) => session.test(name, body);

async function main() {
  execFileSync(makeDemoDir, [setupFile, session.work], { stdio: 'inherit' });
  session.start({ VANTREL_SIM_SPEED: '20' });
  let page = await session.openPage();
  let chart, sel, runs;
  const bind = () => {
    chart = panelOf(page, 'SCHART');
    sel = page.locator('[data-panel="SC_SEL"]:not(.hidden)');
    runs = listItems(page, 'SC_SEL_RUNS', sel);
  };
  bind();
  const traces = () => fs.readdirSync(path.join(session.work, 'SC_DATA')).length;
  // Opens the run selection and checks the first two runs listed (at least two wafers), for the given destination.
  const choose = async (destination) => {
    await button(page, 'SCHART_PLAY').click();
    await sel.waitFor({ timeout: 15000 });
    // Two runs, or the one run of several wafers that was recorded.
    await runs.first().waitFor({ timeout: 15000 });
    const n = Math.min(2, await runs.count());
    for (let i = 0; i < n; i++) await runs.nth(i).locator('input[type="checkbox"]').click();
    const ring = control(page, 'SC_SEL_DESTINATION', sel).locator('select');
    const options = await ring.locator('option').allInnerTexts();
    await ring.selectOption(String(options.indexOf(destination)));
    await button(page, 'SC_SEL_OK', sel).click();
  };

  await test('acquisition records at least two wafers', async () => {
    await chart.waitFor({ timeout: 20000 });
    await acquire(page, 'Vantrel', async () => traces() >= 3, 'three wafer traces', 240000);
  });

  // The replay plays a block every half second of the program's clock: at the recording's pace a wafer would pass in
  // a second or two, sooner than a loaded machine shows its play buttons, let alone takes a click on one.
  await test('the program starts again at the real pace on the same working directory', async () => {
    page = await session.restartProgram();
    bind();
    await chart.waitFor({ timeout: 20000 });
  });

  await test('two wafers replay to the strip chart and step back one block', async () => {
    await choose('Strip Chart');
    const back = chart.locator('button[aria-label="left1"]');
    await back.waitFor({ timeout: 60000 });
    const backDimmed = () => back.evaluate((b) => b.closest('.ctrl').classList.contains('dimmed'));
    // Where the chart stands once the program has taken a step button: the step's block is drawn before the
    // program looks at the page again, so a round trip after the button shows released comes after it.
    const pressedPlayButton = chart.locator(['left', 'left1', 'right1', 'right', 'fforward']
      .map((b) => `button.pressed[aria-label="${b}"]`).join(', '));
    const stoppedAt = async () => {
      await settled(page);
      await pressedPlayButton.first().waitFor({ state: 'detached', timeout: 15000 });
      await settled(page);
      return Number(await valueOf(page, 'SCHART_X_END'));
    };
    // Wait until the chart has scrolled past its first screen, then stop it with one step forward: the chart then
    // waits for a button. A slow machine may stop it on the next wafer's first screen, where there is nothing to
    // step back to yet; then play on, as a person would, and stop again.
    let before = -1;
    for (let attempt = 0; attempt < 5; attempt++) {
      // Past the first screen both step-back buttons are offered; the continuous one starts dimmed, so a read-out
      // that an earlier replay left standing does not count.
      await page.waitForFunction((start) => {
        const offered = ['left', 'left1'].map((b) => document.querySelector(`[data-panel="SCHART"] button[aria-label="${b}"]`));
        return Number(document.querySelector(start)?.innerText) > 0 && offered.every((b) => b && !b.closest('.ctrl').classList.contains('dimmed'));
      }, controlSelector('SCHART_X_START'), { timeout: 120000 });
      // A page that lags behind the replay may see its last screens only as it ends: then, as a person would,
      // play the wafers again and stop them sooner.
      const stepped = await chart.locator('button[aria-label="right1"]').click({ timeout: 10000 }).then(() => true, () => false);
      if (!stepped) {
        console.log('the replay ended before the step could be pressed; replaying');
        await answering(page, 'Vantrel', async () => !(await pressed(page, 'SCHART_PLAY')), 'the end of the replay', 120000);
        await choose('Strip Chart');
        await back.waitFor({ timeout: 60000 });
        continue;
      }
      before = await stoppedAt();
      if (!(await backDimmed())) break;
      console.log(`stopped at ${before} s with nothing to step back to; playing on`);
      await chart.locator('button[aria-label="right"]').click();
    }
    expect(!(await backDimmed()), 'stepping back was never offered while the chart stood still');
    expect(!(await chart.locator('button[aria-label="right"]').evaluate((b) => b.classList.contains('pressed'))),
      'play is still on');
    await back.click();
    await page.waitForFunction(([end, b]) => Number(document.querySelector(end)?.innerText) === b - 1,
      [controlSelector('SCHART_X_END'), before], { timeout: 15000 });
    const after = await stoppedAt();
    expect(after === before - 1, `the chart ended at ${before} s and after the step back at ${after} s`);
    await shoot(page, shotDir, 'playback_step_back.png');
    // Fast forward to the end: the buttons go and the Play toggle is released.
    await chart.locator('button[aria-label="fforward"]').click();
    await page.waitForFunction(() => !document.querySelector('[data-panel="SCHART"] button[aria-label="fforward"]'),
      null, { timeout: 120000 });
    expect(!(await pressed(page, 'SCHART_PLAY')), 'the Play toggle is still pressed');
    const list = fs.readFileSync(path.join(session.work, 'playback.tmp'), 'utf8').trim().split('\n');
    expect(list.length >= 2, `the playback list holds ${list.length} lines`);
  });

  await test('the same wafers laid over each other on the playback graph', async () => {
    await choose('Strip Chart Overlay with Auto X Scale');
    const popup = page.locator('.popup');
    await popup.first().waitFor({ timeout: 15000 });
    await popup.first().locator('.buttons button', { hasText: 'Create a new chart' }).click();
    await page.waitForFunction((graph) => Number(document.querySelector(graph)?.dataset.plots ?? 0) > 0,
      controlSelector('SCHART_PLAYBACK'), { timeout: 120000 });
    await answering(page, 'Vantrel', async () => !(await pressed(page, 'SCHART_PLAY')), 'the end of the playback', 120000);
    const lines = fs.readFileSync(path.join(session.work, 'playback.tmp'), 'utf8').trim().split('\n');
    expect(lines.length >= 2 && / 2$/.test(lines[0]), `the playback list reads ${JSON.stringify(lines)}`);
    await shoot(page, shotDir, 'playback_overlay.png');
  });

  await session.stopProgram();
  await session.done();
}

main().catch(async (e) => { console.error(e); await session.finish(1); });

// Batch selection on a year of runs: the time from the Charts menu click to the batch-selection dialog shown with
// its rows, with a page open, and the bytes the page received for it, at each asked number of runs.
// Usage: node batch_selection_bench.mjs <bin directory> <platform/web directory> <make_demo_dir> <setup file>
//          <seed_runs> <runs,runs,...>
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import { ProgramSession } from '../tests/e2e/harness.mjs';

const [binDir, webDir, makeDemoDir, setupFile, seedRuns, runsArg] = process.argv.slice(2);
const REPEATS = 3;

async function measure(runs) {
  const session = new ProgramSession({ binDir, edition: 'Vantrel', webDir, limitMs: 1800000 });
  try {
    execFileSync(makeDemoDir, [setupFile, session.work], { stdio: 'ignore' });
    execFileSync(seedRuns, [session.work, String(runs)], { stdio: 'inherit' });
    session.start({});
    const page = await session.openPage({ width: 1280, height: 720 });
    let bytes = 0;
    page.on('websocket', (ws) => ws.on('framereceived', (f) => { bytes += f.payload.length; }));
    const top = page.locator('[data-panel="TOP"]');
    const wafers = page.locator('[data-panel="WAFERS"]');
    await top.waitFor({ timeout: 60000 });
    const cdp = await page.context().newCDPSession(page);
    await cdp.send('Performance.enable');
    const busy = async () => (await cdp.send('Performance.getMetrics')).metrics.find((m) => m.name === 'TaskDuration')?.value ?? NaN;
    const times = [];
    let sent = 0, pageBusy = 0;
    for (let k = 0; k < REPEATS; k++) {
      const menu = top.locator('.menubar > .menu[data-menu="34"]');
      await menu.click({ position: { x: 5, y: 5 } });
      const row = (scope, name) => scope.locator(`xpath=./div[contains(concat(" ", @class, " "), " menu-list ")]/div[span[1][normalize-space(.)="${name}"]]`);
      const step = row(menu, 'Step Channel Charts');
      await step.hover();
      const channel = row(step, 'RF_FWD');
      await channel.hover();
      const item = row(channel, 'Step 1 Overshoot Maximum');
      await item.waitFor();
      const bytes0 = bytes, busy0 = await busy();
      const t0 = Date.now();
      await item.click();
      // Shown: the dialog is up, modal (so that Esc goes to it), with the newest runs in its trace-id list; looked
      // at every frame (a locator's wait looks less and less often, up to half a second apart, which the measure
      // would count).
      await page.waitForFunction((n) => {
        const list = document.querySelector('[data-panel="WAFERS"] > .client > [data-constant="TRACE_LIST"]');
        const modal = document.querySelector('[data-panel="TOP"]')?.classList.contains('modal-host');
        // (A page without the rows count holds every row in its list.)
        return modal && list && list.checkVisibility() && list.querySelectorAll('.list-item').length > 1 &&
          Number(list.dataset.rows ?? list.querySelectorAll('.list-item').length) >= n;
      }, runs, { timeout: 600000, polling: 'raf' });
      times.push((Date.now() - t0) / 1000);
      sent = bytes - bytes0;
      pageBusy = (await busy()) - busy0;
      await page.keyboard.press('Escape');
      await wafers.waitFor({ state: 'hidden', timeout: 60000 }).catch(() => {});
    }
    times.sort((a, b) => a - b);
    console.log(`batch_selection runs=${runs}: min ${times[0].toFixed(2)} s, median ${times[Math.floor(times.length / 2)].toFixed(2)} s ` +
      `(page busy ${pageBusy.toFixed(2)} s, ${(sent / 1e6).toFixed(1)} MB to the page)`);
  } finally {
    try { if (session.context) await session.context.close(); } catch { /* gone */ }
    if (session.child && !session.exited) session.child.kill('SIGKILL');
    clearTimeout(session.overall);
    fs.rmSync(session.root, { recursive: true, force: true });
  }
}

for (const runs of (runsArg ?? '10000,100000,1000000').split(',').map(Number)) await measure(runs);
process.exit(0);

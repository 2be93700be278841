// The whole program on the simulated board with a page open: the page's frame rate at a given speed, and the
// highest clock speed at which acquisition drops no block, for 32 channels at a given rate.
// Usage: node program_bench.mjs <bin directory> <platform/web directory> <make_demo_dir> <setup file>
//          fps <rate> <speed> | maxspeed <rate> <speed,speed,...>
import { execFileSync, spawn } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { ProgramSession, answering } from '../tests/e2e/harness.mjs';

const [binDir, webDir, makeDemoDir, setupFile, mode, rateArg, speedArg] = process.argv.slice(2);
// BENCH_LOAD=N keeps N cores busy beside the program (a loaded machine).
const LOAD = Number(process.env.BENCH_LOAD ?? 0);
const rate = Number(rateArg ?? 100);
const RUN_MS = 30000;

// The demo process widened to 32 channels at the asked rate (the nine named channels keep their setup).
function setupFor(dir) {
  const text = fs.readFileSync(setupFile, 'utf8')
    .replace(/^channels = .*$/m, 'channels = 32')
    .replace(/^VantrelChannelStatusBits = .*$/m, 'VantrelChannelStatusBits = 0xFFFFFFFF')
    .replace(/^sample_rate_index = .*$/m, `sample_rate_index = ${rate}`);
  const file = path.join(dir, 'bench_setup.txt');
  fs.writeFileSync(file, text);
  // What the setup names beside it (its decision trees) comes along.
  const trees = path.join(path.dirname(setupFile), 'trees');
  if (fs.existsSync(trees)) fs.cpSync(trees, path.join(dir, 'trees'), { recursive: true });
  return file;
}

// One run of the program at `speed`: Start pressed on the page, then `measure(page)` while it acquires.
async function run(speed, measure) {
  const session = new ProgramSession({ binDir, edition: 'Vantrel', webDir, limitMs: 600000 });
  try {
    execFileSync(makeDemoDir, [setupFor(session.root), session.work], { stdio: 'ignore' });
    // Without the scenario's scheduled board error, any "Error = N" the chart shows is a lost block.
    const scenario = path.join(session.root, 'bench.scenario');
    fs.writeFileSync(scenario, fs.readFileSync(path.join(session.progDir, 'default.scenario'), 'utf8')
      .split('\n').filter((l) => !/^anomaly\s+\d+\s+fifo_error/.test(l)).join('\n'));
    session.start({ VANTREL_SIM_SPEED: String(speed), VANTREL_SIM_SCENARIO: scenario });
    const page = await session.openPage();
    // Strip data to the page (binary frames), counted from the page's side.
    page.stripBytes = 0;
    page.on('websocket', (ws) => ws.on('framereceived', (f) => { if (typeof f.payload !== 'string') page.stripBytes += f.payload.length; }));
    const chart = page.locator('[data-panel="SCHART"]');
    await chart.waitFor({ timeout: 30000 });
    const start = chart.locator(':scope > .client > [data-constant="START"] button');
    await start.click();
    const pressed = async () => (await chart.locator(':scope > .client > [data-constant="START"] button.pressed').count()) === 1;
    await answering(page, 'bench', pressed, 'acquisition running', 60000);
    // The notice that collection waits for the trigger is answered; the measure starts once scans arrive.
    const scans = () => page.evaluate(() => Number(document.querySelector('[data-panel="SCHART"] > .client > [data-constant="STRIP"]')?.dataset.scans ?? 0));
    await answering(page, 'bench', async () => (await scans()) > 0, 'scans on the strip chart', 120000);
    return await measure(page);
  } finally {
    try { if (session.context) await session.context.close(); } catch { /* gone */ }
    if (session.child && !session.exited) session.child.kill('SIGKILL');
    clearTimeout(session.overall);
    fs.rmSync(session.root, { recursive: true, force: true });
  }
}

// The status label of the strip chart shows "Error = N" once a block was lost.
const errorShown = (page) => page.evaluate(() => {
  const el = document.querySelector('[data-panel="SCHART"] > .client > [data-constant="STATUS"]');
  return el ? /Error = \d+/.exec(el.textContent)?.[0] ?? '' : '';
});

// Main-thread time of the page's tasks, from Chromium's own counters (seconds).
async function taskSeconds(cdp) {
  const { metrics } = await cdp.send('Performance.getMetrics');
  return metrics.find((m) => m.name === 'TaskDuration')?.value ?? NaN;
}

async function framesPerSecond(page) {
  await page.waitForTimeout(3000);
  const cdp = await page.context().newCDPSession(page);
  await cdp.send('Performance.enable');
  const busy0 = await taskSeconds(cdp);
  const bytes0 = page.stripBytes, t0 = Date.now();
  const fps = await page.evaluate(() => new Promise((done) => {
    let frames = 0;
    const t0 = performance.now();
    const tick = () => {
      frames++;
      if (performance.now() - t0 < 10000) requestAnimationFrame(tick);
      else done((frames * 1000) / (performance.now() - t0));
    };
    requestAnimationFrame(tick);
  }));
  const busy = (await taskSeconds(cdp)) - busy0;
  const stripRate = (page.stripBytes - bytes0) / ((Date.now() - t0) / 1000);
  const scans = await page.evaluate(() => Number(document.querySelector('[data-panel="SCHART"] > .client > [data-constant="STRIP"]')?.dataset.scans ?? 0));
  if (process.env.BENCH_SHOT) await page.screenshot({ path: process.env.BENCH_SHOT });
  return { fps, busy, scans, stripRate, error: await errorShown(page) };
}

async function noDrop(page) {
  const until = Date.now() + RUN_MS;
  while (Date.now() < until) {
    const e = await errorShown(page);
    if (e) return e;
    await page.waitForTimeout(500);
  }
  return '';
}

if (mode === 'fps') {
  const speed = Number(speedArg ?? 20);
  const r = await run(speed, framesPerSecond);
  // One block is a second of the board's clock: `speed` blocks a second.
  console.log(`page_fps rate=${rate} channels=32 speed=${speed}: strip data ${(r.stripRate / 1e6).toFixed(2)} MB/s, ` +
    `${(r.stripRate / speed / 1e3).toFixed(1)} KB per block`);
  console.log(`page_fps rate=${rate} channels=32 speed=${speed}: ${r.fps.toFixed(1)} fps, main thread busy ${(r.busy * 10).toFixed(1)} % ` +
    `(scans shown ${r.scans}${r.error ? ', ' + r.error : ''})`);
} else if (mode === 'maxspeed') {
  const burners = Array.from({ length: LOAD }, () => spawn(process.execPath, ['-e', 'for (;;) {}'], { stdio: 'ignore' }));
  process.on('exit', () => burners.forEach((b) => b.kill('SIGKILL')));
  if (LOAD) console.log(`maxspeed: ${LOAD} busy cores beside the program`);
  let best = 0;
  for (const speed of (speedArg ?? '5,10,20,30,40,50,60').split(',').map(Number)) {
    const error = await run(speed, noDrop);
    console.log(`maxspeed rate=${rate} channels=32 speed=${speed}: ${error || 'no block dropped'} in ${RUN_MS / 1000} s`);
    if (error) break;
    best = speed;
  }
  console.log(`maxspeed rate=${rate} channels=32: highest speed without a dropped block ${best}x`);
} else {
  console.error('mode: fps or maxspeed');
  process.exit(2);
}
process.exit(0);

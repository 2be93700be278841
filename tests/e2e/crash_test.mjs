// Crash consistency: Vantrel acquiring on the simulated board (real-time testing on) is killed with SIGKILL at
// random moments and started again; after every kill each table reads whole with an independent dBase reader and
// no wafer trace written before is changed. A last life ends on SIGTERM: its wafers are stored and tested, and the
// program ends cleanly.
// Usage: node crash_test.mjs <bin directory> <platform/web directory> <make_demo_dir> <setup file> <check_tables.py> [seed]
import { execFileSync } from 'node:child_process';
import crypto from 'node:crypto';
import fs from 'node:fs';
import path from 'node:path';
import { ProgramSession, expect, panelOf, button, pickMenu, menuItem, expectClass } from './harness.mjs';

const [binDir, webDir, makeDemoDir, setupFile, checker, seedArg] = process.argv.slice(2);
const session = new ProgramSession({ binDir, edition: 'Vantrel', webDir, limitMs: 290000 });
const test = (name, body) => session.test(name, body);
const CYCLES = 3;

// A small seeded generator, so a failing series can be run again with its seed.
let seed = Number(seedArg ?? Date.now() % 100000);
const random = () => { seed = (seed * 16807) % 2147483647; return seed / 2147483647; };
console.log(`crash test seed ${seed}`);

const traces = () => {
  const dir = path.join(session.work, 'SC_DATA');
  const out = new Map();
  if (!fs.existsSync(dir)) return out;
  for (const name of fs.readdirSync(dir))
    out.set(name, crypto.createHash('sha256').update(fs.readFileSync(path.join(dir, name))).digest('hex'));
  return out;
};

function tablesWhole() {
  try {
    return { ok: true, text: execFileSync('/usr/bin/python3', [checker, session.work], { encoding: 'utf8' }) };
  } catch (e) {
    return { ok: false, text: `${e.stdout ?? ''}${e.stderr ?? ''}${e.message}` };
  }
}

// Starts the program, lets it acquire for a random while (the first kill may come during start-up), kills it.
async function oneLife(cycle) {
  // A life that failed half-way leaves its browser and program: they go first, or the profile stays locked.
  if (session.context) {
    await session.context.close().catch(() => {});
    session.context = null;
  }
  if (session.child && !session.exited) {
    session.child.kill('SIGKILL');
    await session.waitFor(() => session.exited, 'the end of the program left by a failed life', 15000);
  }
  session.out.length = 0;
  session.exited = null;
  session.start({ VANTREL_SIM_SPEED: '60' });
  const page = await session.openPage();
  const top = panelOf(page, 'TOP');
  const chart = panelOf(page, 'SCHART');
  const start = button(page, 'SCHART_START');
  const texts = [];
  await chart.waitFor({ timeout: 20000 });
  if (cycle === 0) {
    await pickMenu(top, 'Configure/Real-Time Testing');  // real-time testing on: the test tables are written too
    await expectClass(menuItem(top, 'Configure/Real-Time Testing'), 'checked');
  }
  await start.click();
  // Answer what comes (the trigger notice) until `done`.
  const answerUntil = async (done) => {
    while (!done()) {
      const p = page.locator('.popup').first();
      if (await p.count()) {
        // A notice the program takes down itself (the trigger came) may be gone by now.
        const text = await p.innerText({ timeout: 2000 }).catch(() => null);
        if (text !== null) texts.push(text.replace(/\s+/g, ' '));
        await p.locator('button').first().click({ timeout: 2000 }).catch(() => {});
      }
      await page.waitForTimeout(50 + random() * 150);
    }
  };
  // The first life may die at any moment, even starting up; the later ones first record a wafer, however slow
  // the machine, so that the kills also come while stored wafers are followed by new ones.
  if (cycle > 0) {
    const count = () => { try { return fs.readdirSync(path.join(session.work, 'SC_DATA')).length; } catch { return 0; } };
    const had = count(), late = Date.now() + 60000;
    await answerUntil(() => count() > had || Date.now() > late);
  }
  const until = Date.now() + 300 + random() * 3000;
  await answerUntil(() => Date.now() >= until);
  session.child.kill('SIGKILL');
  await session.waitFor(() => session.exited, 'the end of the killed program', 15000);
  await session.context.close();
  session.context = null;
  return texts;
}

async function main() {
  execFileSync(makeDemoDir, [setupFile, session.work], { stdio: 'inherit' });
  let before = new Map();
  for (let cycle = 0; cycle < CYCLES; cycle++) {
    await test(`life ${cycle + 1}: killed while acquiring, the tables read whole and no earlier trace changed`, async () => {
      const popups = await oneLife(cycle);
      const bad = popups.filter((t) => /Error|cannot/i.test(t));
      expect(bad.length === 0, `the program reported ${JSON.stringify(bad)}`);
      const check = tablesWhole();
      expect(check.ok, `a table is damaged:\n${check.text}`);
      const now = traces();
      for (const [name, hash] of before)
        expect(now.get(name) === hash, `the trace ${name} was ${now.has(name) ? 'written over' : 'removed'}`);
      console.log(`life ${cycle + 1}: ${check.text.trim().split('\n').pop()}, ${now.size} trace files`);
      before = now;
    });
  }
  await test('acquisition recorded wafers over the lives', async () => {
    expect(before.size >= 2, `only ${before.size} trace files were written`);
  });
  await test('SIGTERM while acquiring stores and tests the wafers of the last life, then the program ends cleanly', async () => {
    const runs = () => JSON.parse(execFileSync('/usr/bin/python3', ['-c', [
      'import dbfread, json, sys',
      't = dbfread.DBF(sys.argv[1] + "/VT_INFO.DBF")',
      'print(json.dumps([[r["RUN_NUM"], r["NUM_WAF"], r["COMPLETE"]] for r in t if r["RUN_NUM"] and r["RUN_NUM"] > 0]))',
    ].join('\n'), session.work], { encoding: 'utf8' }));
    const last = Math.max(0, ...runs().map((r) => r[0]));
    const files = traces().size;
    session.out.length = 0;
    session.exited = null;
    session.start({ VANTREL_SIM_SPEED: '60' });
    const page = await session.openPage();
    await panelOf(page, 'SCHART').waitFor({ timeout: 20000 });
    await button(page, 'SCHART_START').click();
    // A wafer has ended and another is recorded: at least two new trace files.
    const until = Date.now() + 60000;
    while (traces().size < files + 2 && Date.now() < until) {
      const p = page.locator('.popup').first();
      if (await p.count()) await p.locator('button').first().click({ timeout: 2000 }).catch(() => {});
      await page.waitForTimeout(100);
    }
    expect(traces().size >= files + 2, 'no wafer was recorded');
    await session.context.close();
    session.context = null;
    session.child.kill('SIGTERM');
    const e = await session.waitFor(() => session.exited, 'the end of the program', 30000);
    expect(e.code === 0 && e.signal === null, `it ended with code ${e.code}, signal ${e.signal}`);
    const mine = runs().filter((r) => r[0] > last);
    expect(mine.length >= 1, 'the last life left no run');
    for (const [run, wafers, complete] of mine)
      expect(wafers >= 1 && complete === 1, `run ${run} (${wafers} wafers) is not tested`);
    const check = tablesWhole();
    expect(check.ok, `a table is damaged:\n${check.text}`);
  });
  await session.done();
}

main().catch(async (e) => { console.error(e); await session.finish(1); });

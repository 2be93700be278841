// Browser test of run administration: after the demo has recorded runs, a user makes one the process of record and
// steps through its events in the timer editor, copies runs to a new folder made with the directory popup's New
// Folder button, then deletes a checked run and packs the database.
// Usage: node admin_test.mjs <bin directory> <platform/web directory> <screenshot directory> <make_demo_dir> <setup file>
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import {
  ProgramSession, expect, answering, acquire, panelOf, control, button, listItems, controlSelector, pickMenu, settled,
  shoot,
} from './harness.mjs';

const [binDir, webDir, shotDir, makeDemoDir, setupFile] = process.argv.slice(2);
const session = new ProgramSession({ binDir, edition: 'Vantrel', webDir, limitMs: 400000 });
let page = null;
// A failed step leaves a screenshot and what the page showed, so the next reader sees why.
const test = (name, body) => session.test(name, async () => {
  try {
    await body();
  } catch (e) {
    if (page) {
      fs.mkdirSync(shotDir, { recursive: true });
      await page.screenshot({ path: path.join(shotDir, 'admin_failed.png') }).catch(() => {});
      const popups = await page.locator('.popup').allInnerTexts().catch(() => []);
      const panels = await page.locator('[data-panel]').evaluateAll((l) => l.map((p) => p.dataset.panel)).catch(() => []);
      e.message += ` (popups: ${JSON.stringify(popups)}; panels: ${panels.join(' ')})`;
    }
    throw e;
  }
});

// The runs whose traces lie in a folder's SC_DATA, by their eight-digit stems.
const runsIn = (dir) => {
  const data = path.join(dir, 'SC_DATA');
  if (!fs.existsSync(data)) return [];
  return [...new Set(fs.readdirSync(data).filter((f) => /^\d{8}\.\d{3}$/.test(f)).map((f) => Number(f.slice(0, 8))))]
    .sort((a, b) => a - b);
};
const hasTable = (dir, name) => fs.existsSync(dir) && fs.readdirSync(dir).some((f) => f.toUpperCase() === name);

async function main() {
  execFileSync(makeDemoDir, [setupFile, session.work], { stdio: 'inherit' });
  session.start({ VANTREL_SIM_SPEED: '20' });
  page = await session.openPage();

  const top = panelOf(page, 'TOP');
  const chart = panelOf(page, 'SCHART');
  const select = panelOf(page, 'SC_SEL');
  const runs = listItems(page, 'SC_SEL_RUNS');
  // The run selection, once the program's questions before it (pending changes) are answered.
  const selection = () => answering(page, 'Vantrel', async () => (await select.count()) > 0, 'the run selection', 30000);
  // Ticks the first run of the run selection and presses OK.
  const tickFirstRunAndOk = async () => {
    await selection();
    const first = runs.first();
    await first.waitFor({ timeout: 15000 });
    const label = (await first.innerText()).trim();
    await first.locator('input[type="checkbox"]').click();
    await page.waitForFunction((list) => document.querySelector(`${list} .list-item input`)?.checked === true,
      controlSelector('SC_SEL_RUNS'), { timeout: 10000 });
    await button(page, 'SC_SEL_OK').click();
    return label;
  };

  await test('the demo records runs', async () => {
    await chart.waitFor({ timeout: 20000 });
    await acquire(page, 'Vantrel', async () => runsIn(session.work).length >= 3, 'three recorded runs', 240000);
  });

  await test('a run chosen as process of record gives the timer editor its events to step through', async () => {
    const por = () => fs.readdirSync(session.work).find((f) => /^\d{8}\.POR$/i.test(f)
      && fs.statSync(path.join(session.work, f)).size > 100);
    const editor = panelOf(page, 'PART2');
    await pickMenu(top, 'File/Process of Record...');
    await selection();
    // The oldest run: whole from the Start on, and an etch run (the newest may be a clean cycle's precoat run, or cut
    // by Stop before its first start event).
    await runs.last().click();
    await settled(page);
    await button(page, 'SC_SEL_OK').click();
    await answering(page, 'Vantrel', async () => !!por() && (await select.count()) === 0, 'the process of record', 60000);
    await pickMenu(top, 'Configure/Timers...');
    await answering(page, 'Vantrel', async () => (await editor.count()) > 0, 'the timer editor', 30000);
    await page.waitForFunction((m) => /\d+ START EVENTS were detected in the POR\./.test(
      document.querySelector(m)?.textContent ?? ''), controlSelector('PART2_START_MSG'), { timeout: 30000 });
    const message = (await control(page, 'PART2_START_MSG').innerText()).trim();
    const found = Number(message.split(' ')[0]);
    expect(found >= 1, `the search says ${message}`);
    const event = control(page, 'PART2_START_EVENT').locator('input');
    const before = Number(await event.inputValue());
    if (found >= 2 && before < found) {
      await button(page, 'PART2_START_NEXT').click();
      await page.waitForFunction(([e, b]) => Number(document.querySelector(`${e} input`)?.value) === b + 1,
        [controlSelector('PART2_START_EVENT'), before], { timeout: 15000 });
    }
    await shoot(page, shotDir, 'admin_timer_editor.png');
    await button(page, 'PART2_EXIT').click();
    await answering(page, 'Vantrel', async () => (await editor.count()) === 0, 'the closed timer editor', 30000);
  });

  let copied = [];
  await test('runs are copied to a new folder made with the New Folder button', async () => {
    await pickMenu(top, 'File/Copy Traces and SPC Data To...');
    await tickFirstRunAndOk();
    const dialog = page.locator('.popup').filter({ hasText: 'Please select a location for the data.' });
    await dialog.waitFor({ timeout: 15000 });
    await dialog.locator('button.new-folder').click();
    const name = dialog.locator('input.folder-name');
    await name.fill('Archive 1');
    await dialog.locator('.make-folder button').click();
    // The dialog now shows the new, empty folder and offers it.
    await page.waitForFunction(() => document.querySelector('.popup .where')?.textContent.endsWith('/Archive 1')
      || document.querySelector('.popup .refusal')?.textContent, null, { timeout: 15000 });
    const where = await dialog.locator('.where').innerText();
    expect(where.endsWith("/Archive 1"), `the dialog shows ${where}: ${await dialog.locator(".refusal").innerText()} (offered ${await dialog.locator("input.response").inputValue()})`);
    const offered = await dialog.locator('input.response').inputValue();
    expect(offered.endsWith('/Archive 1'), `the dialog offers ${offered}`);
    expect(fs.statSync(path.join(session.work, 'Archive 1')).isDirectory(), 'the folder was not made');
    await shoot(page, shotDir, 'admin_new_folder.png');
    await dialog.locator('.buttons button[data-button="Select"]').click();
    await dialog.waitFor({ state: 'detached', timeout: 15000 });
    const target = path.join(session.work, 'Archive 1');
    await answering(page, 'Vantrel', async () => runsIn(target).length >= 1 && hasTable(target, 'VT_INFO.DBF')
      && (await select.count()) === 0 && (await page.locator('.popup').count()) === 0, 'the copied run', 60000)
      .catch((e) => { throw new Error(`${e.message}; the folder holds ${fs.readdirSync(target, { recursive: true }).join(' ')}`); });
    copied = runsIn(target);
    expect(copied.length === 1, `the new folder holds runs ${copied}`);
  });

  await test('a checked run is deleted with its traces and the database is packed', async () => {
    const before = runsIn(session.work);
    await pickMenu(top, 'File/Delete Runs...');
    await tickFirstRunAndOk();
    await answering(page, 'Vantrel', async () => (await select.count()) === 0 && runsIn(session.work).length === before.length - 1,
      'the deleted run', 60000);
    const gone = before.filter((r) => !runsIn(session.work).includes(r));
    expect(gone.length === 1, `runs ${gone} went`);
    const vtInfo = fs.readdirSync(session.work).find((f) => f.toUpperCase() === 'VT_INFO.DBF');
    const sizeBefore = fs.statSync(path.join(session.work, vtInfo)).size;
    await pickMenu(top, 'File/Pack Database');
    await answering(page, 'Vantrel', async () => fs.statSync(path.join(session.work, vtInfo)).size < sizeBefore
      && (await panelOf(page, 'WAIT').count()) === 0, 'the packed run table', 60000);
    // The copy elsewhere is untouched.
    expect(runsIn(path.join(session.work, 'Archive 1')).length === copied.length, 'the copy changed');
  });

  await test('the page raised no script errors', async () => {
    expect(session.pageErrors.length === 0, session.pageErrors.join('; '));
  });

  await test('SIGTERM ends the program with exit code 0', () => session.stopProgram());

  await session.done();
}

main().catch((e) => { console.error(e); session.finish(1); });

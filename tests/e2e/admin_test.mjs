// Browser test of run administration: after the demo has recorded runs, a user makes one the process of record and
// steps through its events in the timer editor, copies runs to a new folder made with the directory popup's New
// Folder button, then deletes a checked run and packs the database.
// Usage: node admin_test.mjs <bin directory> <platform/web directory> <screenshot directory> <make_demo_dir> <setup file>
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { ProgramSession, expect, answering } from './harness.mjs';

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

  const top = page.locator('[data-panel="TOP"]');
  const chart = page.locator('[data-panel="SCHART"]');
  const select = page.locator('[data-panel="SC_SEL"]');
  const ctrl = (panel, n) => panel.locator(`:scope > .client > [data-ctrl="${n}"]`);
  const items = (panel, n) => ctrl(panel, n).locator('.list-item');
  const pressed = () => ctrl(chart, 2).locator('button.pressed').count().then((n) => n === 1);
  const shoot = async (name) => {
    fs.mkdirSync(shotDir, { recursive: true });
    const shot = path.join(shotDir, name);
    await page.screenshot({ path: shot });
    console.log(`screenshot: ${shot}`);
  };
  const fileItem = (name) => menuItem(2, name);
  const menuItem = async (id, name) => {
    const menu = top.locator(`.menubar > .menu[data-menu="${id}"]`);
    await menu.click({ position: { x: 5, y: 5 } });
    await menu.locator(`xpath=./div[contains(concat(" ", @class, " "), " menu-list ")]/div[contains(concat(" ", @class, " "), " menu-item ")][span[1][normalize-space(.)="${name}"]]`).click();
  };
  // Ticks the first run of the run selection and presses OK.
  // The run selection, once the program's questions before it (pending changes) are answered.
  const selection = () => answering(page, 'Vantrel', async () => (await select.count()) > 0, 'the run selection', 30000);
  const tickFirstRunAndOk = async () => {
    await selection();
    const first = items(select, 3).first();
    await first.waitFor({ timeout: 15000 });
    const label = (await first.innerText()).trim();
    await first.locator('input[type="checkbox"]').click();
    await page.waitForFunction(() => document.querySelector('[data-panel="SC_SEL"] [data-ctrl="3"] .list-item input')?.checked === true,
      null, { timeout: 10000 });
    await ctrl(select, 2).locator('button').click();
    return label;
  };

  await test('the demo records runs', async () => {
    await chart.waitFor({ timeout: 20000 });
    await ctrl(chart, 2).locator('button').click();
    await answering(page, 'Vantrel', async () => runsIn(session.work).length >= 3, 'three recorded runs', 240000);
    await ctrl(chart, 2).locator('button').click();
    await answering(page, 'Vantrel', async () => !(await pressed()), 'the toggle released', 20000);
  });

  await test('a run chosen as process of record gives the timer editor its events to step through', async () => {
    await fileItem('Process of Record...');
    await selection();
    const run = items(select, 3).first();
    await run.click();
    await page.waitForTimeout(500);
    await ctrl(select, 2).locator('button').click();
    const por = () => fs.readdirSync(session.work).find((f) => /^\d{8}\.POR$/i.test(f)
      && fs.statSync(path.join(session.work, f)).size > 100);
    await answering(page, 'Vantrel', async () => !!por() && (await select.count()) === 0, 'the process of record', 60000);
    await menuItem(23, 'Timers...');
    const editor = page.locator('[data-panel="PART2"]');
    await answering(page, 'Vantrel', async () => (await editor.count()) > 0, 'the timer editor', 30000);
    await page.waitForFunction(() => /\d+ START EVENTS were detected in the POR\./.test(
      document.querySelector('[data-panel="PART2"] [data-ctrl="24"]')?.textContent ?? ''), null, { timeout: 30000 });
    const message = (await ctrl(editor, 24).innerText()).trim();
    const found = Number(message.split(' ')[0]);
    expect(found >= 1, `the search says ${message}`);
    const event = ctrl(editor, 8).locator('input');
    const before = Number(await event.inputValue());
    if (found >= 2 && before < found) {
      await ctrl(editor, 33).locator('button').click();
      await page.waitForFunction((b) => Number(document.querySelector('[data-panel="PART2"] [data-ctrl="8"] input')?.value) === b + 1,
        before, { timeout: 15000 });
    }
    await shoot('admin_timer_editor.png');
    await ctrl(editor, 3).locator('button').click();
    await answering(page, 'Vantrel', async () => (await editor.count()) === 0, 'the closed timer editor', 30000);
  });

  let copied = [];
  await test('runs are copied to a new folder made with the New Folder button', async () => {
    await fileItem('Copy Traces and SPC Data To...');
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
    await shoot('admin_new_folder.png');
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
    await fileItem('Delete Runs...');
    await tickFirstRunAndOk();
    await answering(page, 'Vantrel', async () => (await select.count()) === 0 && runsIn(session.work).length === before.length - 1,
      'the deleted run', 60000);
    const gone = before.filter((r) => !runsIn(session.work).includes(r));
    expect(gone.length === 1, `runs ${gone} went`);
    const vtInfo = fs.readdirSync(session.work).find((f) => f.toUpperCase() === 'VT_INFO.DBF');
    const sizeBefore = fs.statSync(path.join(session.work, vtInfo)).size;
    await fileItem('Pack Database');
    await answering(page, 'Vantrel', async () => fs.statSync(path.join(session.work, vtInfo)).size < sizeBefore
      && (await page.locator('[data-panel="WAIT"]').count()) === 0, 'the packed run table', 60000);
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

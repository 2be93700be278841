// Browser test of a real program's main window: Vantrel or VantrelReview from a copy of bin/, in headless Chromium.
// Usage: node program_test.mjs <bin directory> <Vantrel|VantrelReview> <platform/web directory> <screenshot directory>
import fs from 'node:fs';
import path from 'node:path';

import {
  ProgramSession, expect, answering, panelOf, control, button, pressed, controlSelector, pickMenu, shoot, menuItem,
  steady,
} from './harness.mjs';

const [binDir, edition, webDir, shotDir] = process.argv.slice(2);
const review = edition === 'VantrelReview';
const session = new ProgramSession({ binDir, edition, webDir, limitMs: 150000 });
const test = (name, body) => session.test(name, body);
const work = session.work;

async function main() {
  // No display: Help answers with its popup instead of starting a viewer.
  const noDisplay = { DISPLAY: undefined, WAYLAND_DISPLAY: undefined };
  session.start(review ? noDisplay : { ...noDisplay, VANTREL_SIM_SPEED: '20' });
  const page = await session.openPage();

  const top = panelOf(page, 'TOP');
  const chart = panelOf(page, 'SCHART');
  const popup = page.locator('.popup');
  const strip = controlSelector('SCHART_STRIP');
  const scans = () => page.evaluate((s) => Number(document.querySelector(s)?.dataset.scans ?? 0), strip);
  const toggle = button(page, 'SCHART_START');

  if (review) {
    await test('the "Vantrel Review" popup is shown and answered', async () => {
      const shown = popup.filter({ hasText: 'Version 6.96' });
      await shown.waitFor({ timeout: 15000 });
      expect(await shown.locator('.titlebar .title').innerText() === 'Vantrel Review', 'popup title');
      await shown.locator('.buttons button').first().click();
      await shown.waitFor({ state: 'detached', timeout: 15000 });
    });
  }

  await test('the main window shows its panels and menu bar', async () => {
    await top.waitFor({ timeout: 20000 });
    await chart.waitFor({ timeout: 20000 });
    const title = await page.title();
    expect(title === (review ? 'Vantrel Review' : 'Vantrel'), `the tab is titled ${JSON.stringify(title)}`);
    expect(await chart.evaluate((el) => el.parentElement.closest('[data-panel]')?.dataset.panel) === 'TOP',
      'the strip-chart panel is not inside the main panel');
    const legend = panelOf(page, 'LEGEND');
    await legend.waitFor({ timeout: 10000 });
    expect(await legend.evaluate((el) => el.parentElement.closest('[data-panel]')?.dataset.panel) === 'SCHART',
      'the legend is not inside the strip-chart panel');
    await control(page, 'SCHART_STRIP').waitFor({ timeout: 10000 });
    const bar = top.locator('.menubar');
    await bar.waitFor({ timeout: 10000 });
    const menus = await bar.locator(':scope > .menu').evaluateAll((ms) => ms.map((m) => m.firstChild.textContent));
    for (const name of ['File', 'Configure', 'View', 'Help'])
      expect(menus.includes(name), `menu ${name} missing from ${menus}`);
    // Both programs build the same menu bar: the review program too offers Triggers..., which its re-test reads.
    expect(await menuItem(top, 'Configure/Triggers...').count() === 1, 'the Triggers... item is missing');
  });

  await test('the About box opens from the Help menu and closes', async () => {
    await pickMenu(top, 'Help/About Vantrel...');
    const about = panelOf(page, 'ABOUT');
    await about.waitFor({ timeout: 15000 });
    const text = await about.innerText();
    expect(text.includes('Version 6.96'), `About box reads ${JSON.stringify(text)}`);
    expect(text.includes(review ? 'Vantrel Review' : 'Vantrel'), `About box reads ${JSON.stringify(text)}`);
    await button(page, 'ABOUT_OK').click();
    await about.waitFor({ state: 'detached', timeout: 15000 });
  });

  await test('in the modal Triggers dialog F1 and its Help button answer with help', async () => {
    await pickMenu(top, 'Configure/Triggers...');
    const dialog = panelOf(page, 'TRIGGERS');
    await dialog.waitFor({ timeout: 15000 });
    const noViewer = popup.filter({ hasText: 'No help viewer is available' });
    for (const how of ['F1', 'Help button']) {
      if (how === 'F1') {
        await control(page, 'TRIGGERS_DELAY').locator('input').click();
        await page.keyboard.press('F1');
      } else {
        await button(page, 'TRIGGERS_HELP').click();
      }
      await noViewer.waitFor({ timeout: 15000 });
      await noViewer.locator('.buttons button').first().click();
      await noViewer.waitFor({ state: 'detached', timeout: 15000 });
    }
    await button(page, 'TRIGGERS_CANCEL').click();
    await dialog.waitFor({ state: 'detached', timeout: 15000 });
  });

  await test('View Log writes the activity report and it opens in a new tab', async () => {
    await pickMenu(top, 'View/View Log...');
    const request = panelOf(page, 'LOGREQ');
    await request.waitFor({ timeout: 15000 });
    const opened = session.context.waitForEvent('page', { timeout: 15000 });
    await button(page, 'LOGREQ_OK').click();
    const tab = await opened;
    await tab.waitForLoadState();
    const text = await tab.locator('body').innerText();
    expect(tab.url().includes('ACTIVITY.TXT'), `the tab shows ${tab.url()}`);
    expect(/ Activity From \d{4}\/\d\d\/\d\d \d\d:\d\d:00 to /.test(text), `the report reads ${JSON.stringify(text)}`);
    await tab.close();
    await page.bringToFront();
    await request.waitFor({ state: 'detached', timeout: 15000 });
  });

  if (review) {
    await test('the start/stop toggle is hidden', async () => {
      await button(page, 'SCHART_PAUSE').waitFor({ timeout: 10000 });  // the pause toggle beside it is shown
      expect(await control(page, 'SCHART_START').count() === 1, 'the start/stop toggle is not in the page');
      expect(!(await toggle.isVisible()), 'the start/stop toggle is visible');
    });
  } else {
    const running = () => pressed(page, 'SCHART_START');

    await test('start shows the strip chart receiving scans', async () => {
      const before = await scans();
      await toggle.click();
      await answering(page, edition, async () => (await running()) && (await scans()) > before, 'scans on the strip chart', 20000);
      // The toggle shows the text its panel gives for "on".
      expect(await toggle.innerText() === 'STOP', `the running toggle reads ${await toggle.innerText()}`);
      // A screenful of trace for the screenshot.
      const first = await scans();
      await page.waitForFunction(([s, n]) => Number(document.querySelector(s).dataset.scans) > n, [strip, first + 3000],
        { timeout: 15000 });
      await shoot(page, shotDir, 'main_window_vantrel.png');
    });

    await test('stop ends the acquisition and keeps the wafer file', async () => {
      await toggle.click();
      await answering(page, edition, async () => !(await running()), 'the toggle released', 20000);
      expect(await toggle.innerText() === 'START', `the stopped toggle reads ${await toggle.innerText()}`);
      // What was sent before the stop may still be on its way; once it is drawn the chart stands still.
      await steady(page, scans, 'the strip chart after stop');
      const files = fs.readdirSync(path.join(work, 'SC_DATA')).filter((f) => /^\d{8}\.\d{3}$/.test(f));
      expect(files.length >= 1, `no wafer trace file in ${path.join(work, 'SC_DATA')}`);
      const head = fs.readFileSync(path.join(work, 'SC_DATA', files[0])).subarray(0, 20).toString('latin1');
      expect(/^\d\d\.\d\d\.\d\d \d{4}\/\d\d\/\d\d\n$/.test(head), `wafer file header ${JSON.stringify(head)}`);
    });

    // The stop request below then arrives while acquiring: the program must still end cleanly.
    await test('acquisition runs again before the stop request', async () => {
      const before = await scans();
      await toggle.click();
      await answering(page, edition, async () => (await running()) && (await scans()) > before, 'scans on the strip chart', 20000);
    });
  }

  await test('the page raised no script errors', async () => {
    expect(session.pageErrors.length === 0, session.pageErrors.join('; '));
  });

  await test('SIGTERM ends the program with exit code 0', () => session.stopProgram());

  await session.done();
}

main().catch((e) => { console.error(e); session.finish(1); });

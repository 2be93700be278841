// Browser test of a person with a mouse at 1280 x 720: the main window fits the view (screenshots at three
// sizes), every menu item is reached by clicks, each window or popup it opens is on top, inside the view and
// closes by its close box and by Esc; File > Delete deletes only setup files, after asking; Exit ends the page.
// Usage: node menu_walk_test.mjs <bin directory> <Vantrel|VantrelReview> <platform/web directory>
//        <screenshot directory> <make_demo_dir> <setup file>
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { ProgramSession, answerPopup, expect, panelOf, control, pickMenu, settled } from './harness.mjs';

const [binDir, edition, webDir, shotDir, makeDemoDir, setupFile] = process.argv.slice(2);
const review = edition === 'VantrelReview';
const session = new ProgramSession({ binDir, edition, webDir, limitMs: 400000 });
const test = (name, body) => session.test(name, body);
const VIEW = { width: 1280, height: 720 };
const SIZES = [{ width: 1280, height: 720 }, { width: 1400, height: 900 }, { width: 1920, height: 1080 }];

async function main() {
  execFileSync(makeDemoDir, [setupFile, session.work], { stdio: 'inherit' });
  session.start();
  const page = await session.openPage(VIEW);
  const top = panelOf(page, 'TOP');
  const bar = top.locator(':scope > div > .menubar');
  const popups = page.locator('.popup');

  // What is open now: the shown windows (by handle) and the blocking popups (by id).
  const openNow = async () => ({
    panels: await page.locator('.panel:not(.hidden)').evaluateAll((els) => els.map((e) => e.dataset.handle)),
    popups: await popups.evaluateAll((els) => els.map((e) => e.dataset.popup)),
  });
  // Whatever opened since `before`: a blocking popup first, else the newest window.
  const opened = async (before) => {
    const now = await openNow();
    const popup = now.popups.find((id) => !before.popups.includes(id));
    if (popup) return { kind: 'popup', el: page.locator(`.popup[data-popup="${popup}"]`) };
    const panel = now.panels.find((h) => !before.panels.includes(h));
    if (panel) return { kind: 'panel', el: page.locator(`.panel[data-handle="${panel}"]`) };
    return null;
  };
  // Whatever opened since `before`, once the program has handled every click sent so far.
  const waitOpened = async (before) => {
    await settled(page);
    return opened(before);
  };
  // On top: Playwright's trial click on its title bar fails when anything covers it; inside the view: its box.
  const onTopInside = async (o, what) => {
    const title = o.el.locator(':scope > .titlebar');
    await title.click({ trial: true, timeout: 5000 });
    // While a popup is installed the main window's menus are out of reach: something else is under the mouse there.
    if (await page.locator('.panel.modal-host, .panel.modal-under').count()) {
      const reached = await bar.locator('.menu').first().evaluate((m) => {
        const r = m.getBoundingClientRect();
        return m.contains(document.elementFromPoint(r.left + r.width / 2, r.top + r.height / 2));
      });
      expect(!reached, `${what}: the main window's menu can still be clicked`);
    }
    const b = await o.el.boundingBox();
    // A window taller than the view starts at its top, and the page scrolls to its bottom.
    const scrolls = await page.evaluate(() => document.scrollingElement.scrollHeight);
    const reachable = b && (b.y + b.height <= VIEW.height + 1 || (b.y <= 1 && b.y + b.height <= scrolls + 1));
    expect(b && b.x >= -1 && b.y >= -1 && b.x + b.width <= VIEW.width + 1 && reachable,
      `${what} lies outside the view: ${JSON.stringify(b)}`);
  };
  const closeBox = (o) => o.el.locator(':scope > .titlebar button').last();
  // Closes `o` the chosen way; popups that follow (a question, a notice) are closed the same way.
  const closeAll = async (o, how, what) => {
    for (let depth = 0; o && depth < 4; depth++) {
      const before = await openNow();
      if (how === 'box') await closeBox(o).click({ timeout: 5000 });
      else await page.keyboard.press('Escape');
      const closed = await o.el.waitFor({ state: 'hidden', timeout: 5000 }).then(() => true, () => false);
      expect(closed, `${what}: not closed by ${how === 'box' ? 'its close box' : 'Esc'}`);
      o = await waitOpened(before);
      if (o) console.log(`${edition}: ${what}: then "${(await o.el.locator('.titlebar .title').first().innerText()).trim()}"`);
    }
  };
  // After a failed step: whatever is left open is cancelled so the next step starts from the main window.
  const recover = async () => {
    for (let i = 0; i < 6; i++) {
      const p = popups.last();
      if (await p.count()) await p.locator('.buttons button').last().click({ timeout: 2000 }).catch(() => {});
      else if (await top.evaluate((el) => el.classList.contains('modal-host') || el.classList.contains('modal-under'))) await page.keyboard.press('Escape');
      else return;
      await settled(page);
    }
  };
  // The window follows a new view size once the page has drawn twice and the program has heard of it.
  const redrawn = async () => {
    await page.evaluate(() => new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r))));
    await settled(page);
  };

  if (review) {
    await test('the "Vantrel Review" popup is answered', async () => {
      await answerPopup(page, 'Version 6.96');
    });
  }

  await test('the main window fits the view at 1280 x 720, 1400 x 900 and 1920 x 1080', async () => {
    await top.waitFor({ timeout: 20000 });
    await control(page, 'SCHART_STRIP').waitFor({ timeout: 20000 });
    fs.mkdirSync(shotDir, { recursive: true });
    for (const size of SIZES) {
      await page.setViewportSize(size);
      await redrawn();
      for (const part of ['TOP', 'SCHART', 'LEGEND']) {
        const b = await panelOf(page, part).boundingBox();
        expect(b && b.x >= 0 && b.y >= 0 && b.x + b.width <= size.width + 1 && b.y + b.height <= size.height + 1,
          `${part} at ${size.width} x ${size.height}: ${JSON.stringify(b)}`);
      }
      const shot = path.join(shotDir, `main_window_${edition}_${size.width}x${size.height}.png`);
      await page.screenshot({ path: shot });
      console.log(`screenshot: ${shot}`);
    }
    await page.setViewportSize(VIEW);
    await redrawn();
  });

  await test('colours are picked from swatches, never typed as numbers', async () => {
    await pickMenu(top, 'Configure/Channel Setup...');
    const channels = panelOf(page, 'SUB');
    await channels.waitFor({ timeout: 10000 });
    const swatches = channels.locator('input[type=color]');
    expect(await swatches.count() === 32, `${await swatches.count()} colour swatches`);
    expect(await swatches.first().inputValue() === '#c0001a', `channel 1 shows ${await swatches.first().inputValue()}`);
    const values = await swatches.evaluateAll((els) => els.slice(0, 9).map((e) => e.value));
    expect(new Set(values).size === 9, `the demo's channels share colours: ${values}`);
    await page.keyboard.press('Escape');
    await channels.waitFor({ state: 'detached', timeout: 10000 });
  });
  await recover();

  // Every item that is not dimmed, in menu order, by its path of names; File > Exit comes last.
  const items = await bar.locator('.menu').evaluateAll((menus) => menus.map((m) => ({
    menu: m.firstChild.textContent.trim(),
    items: [...m.querySelectorAll(':scope > .menu-list > .menu-item')].map((r) => ({
      name: r.querySelector(':scope > span').textContent.trim(),
      dimmed: r.classList.contains('dimmed'),
      sub: [...r.querySelectorAll(':scope > .menu-list > .menu-item')].map((s) => ({
        name: s.querySelector(':scope > span').textContent.trim(),
        dimmed: s.classList.contains('dimmed'),
        leaf: !s.querySelector(':scope > .menu-list'),
      })),
    })),
  })));
  const walk = [];
  for (const m of items) {
    for (const it of m.items) {
      // Items two levels down (the chart menus' channels) open charts, which the chart test walks.
      if (it.sub.length) { for (const s of it.sub) if (s.leaf) walk.push({ path: [m.menu, it.name, s.name], dimmed: s.dimmed }); }
      else if (!(m.menu === 'File' && it.name === 'Exit')) walk.push({ path: [m.menu, it.name], dimmed: it.dimmed });
    }
  }
  expect(walk.length >= 10, `only ${walk.length} menu items found`);

  for (const it of walk) {
    if (it.dimmed) continue;
    const name = it.path.join(' > ');
    await test(`menu item "${name}" by mouse`, async () => {
      for (const how of ['box', 'esc']) {
        const before = await openNow();
        await pickMenu(top, it.path);
        let o = await waitOpened(before);
        // A long command's wait panel closes by itself: what the command shows after it is the window to check.
        if (o && (await o.el.getAttribute('data-panel').catch(() => null)) === 'WAIT') {
          await o.el.waitFor({ state: 'detached', timeout: 60000 });
          o = await waitOpened(before);
        }
        let title = o && (await o.el.locator('.titlebar .title').first().innerText({ timeout: 3000 }).catch(() => null));
        if (o && title === null) {
          o = await waitOpened(await openNow());
          title = o && (await o.el.locator('.titlebar .title').first().innerText({ timeout: 3000 }).catch(() => null));
        }
        if (!o || title === null) {
          console.log(`${edition}: "${name}" leaves nothing open`);
          return;
        }
        const what = `"${name}" ${o.kind} "${title.trim()}"`;
        await onTopInside(o, what);
        await closeAll(o, how, what);
      }
    });
    await recover();
  }

  if (!review) {
    await test('File > Delete lists only setup files, refuses a table and deletes a setup only after a yes', async () => {
      const setup = path.join(session.work, 'Setup');
      fs.mkdirSync(setup, { recursive: true });
      fs.writeFileSync(path.join(setup, 'Stray.Vantrel'), 'x');
      const tables = fs.readdirSync(session.work).filter((f) => /\.dbf$/i.test(f));
      expect(tables.length > 0, 'the demo directory holds no table');
      const chooser = popups.filter({ hasText: 'Please Select Setup to Delete...' });
      const open = async () => {
        await pickMenu(top, 'File/Delete...');
        await chooser.waitFor({ timeout: 10000 });
        await chooser.locator('.files .file').first().waitFor({ timeout: 10000 });
      };
      await open();
      const listed = await chooser.locator('.files > div').allInnerTexts();
      expect(listed.every((n) => /\.vantrel$/i.test(n)), `the dialog lists ${JSON.stringify(listed)}`);
      expect(listed.includes('Stray.Vantrel'), `the dialog lists ${JSON.stringify(listed)}`);
      // Typed names of a table, or of a file outside the folder, are refused and the dialog stays.
      for (const typed of ['CONFIG.DBF', '../' + tables[0], path.join(session.work, tables[0])]) {
        await chooser.locator('input.response').fill(typed);
        await chooser.locator('button[data-button="Select"]').click();
        await settled(page);
        expect(await chooser.count() === 1, `the dialog closed on ${typed}`);
        expect((await chooser.locator('.refusal').innerText()).startsWith('Choose a file'), `no reason shown for ${typed}`);
      }
      // A setup: the program asks first; No keeps it.
      await chooser.locator('.files .file', { hasText: 'Stray.Vantrel' }).click();
      await chooser.locator('button[data-button="Select"]').click();
      const ask = popups.filter({ hasText: 'Are you sure you want to delete the process setup "Stray"?' });
      await ask.waitFor({ timeout: 10000 });
      await ask.locator('button[data-button="No"]').click();
      await ask.waitFor({ state: 'detached', timeout: 10000 });
      expect(fs.existsSync(path.join(setup, 'Stray.Vantrel')), 'the setup was deleted after No');
      // Yes deletes it.
      await open();
      await chooser.locator('.files .file', { hasText: 'Stray.Vantrel' }).dblclick();
      await ask.waitFor({ timeout: 10000 });
      await ask.locator('button[data-button="Yes"]').click();
      await ask.waitFor({ state: 'detached', timeout: 10000 });
      await settled(page);
      expect(!fs.existsSync(path.join(setup, 'Stray.Vantrel')), 'the setup is still there after Yes');
      for (const t of tables) expect(fs.existsSync(path.join(session.work, t)), `the table ${t} is gone`);
    });
  }

  await test('the page raised no script errors', async () => {
    expect(session.pageErrors.length === 0, session.pageErrors.join('; '));
  });

  await test('File > Exit ends the program and the page says so', async () => {
    await pickMenu(top, 'File/Exit');
    // A question on the way out is answered yes.
    const ended = session.waitFor(() => session.exited, 'the end of the program', 20000).catch(() => null);
    while (!session.exited) {
      const asked = await Promise.race([ended.then(() => false), popups.first().waitFor({ timeout: 20000 }).then(() => true, () => false)]);
      if (!asked) break;
      await popups.first().locator('.buttons button').first().click({ timeout: 2000 }).catch(() => {});
    }
    expect(session.exited && session.exited.code === 0, `the program did not end cleanly: ${JSON.stringify(session.exited)}`);
    await page.locator('#status.ended').waitFor({ timeout: 20000 });
    expect((await page.locator('#status').innerText()).includes('has ended'), 'the page does not say the program ended');
  });

  await session.done();
}

main().catch((e) => { console.error(e); session.finish(1); });

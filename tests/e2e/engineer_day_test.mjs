// Browser test of an engineer's day with Vantrel or VantrelReview, by real clicks: the window sized to the browser at
// 1280 x 720 and 1920 x 1080 with no text below 11 px and the clock and legend both in sight, the tab's title, the
// slideshow and the setup and run commands saying how they ended, batch selection ticks that mean what they show,
// dimmed menu titles, a click in the SPC chart moving its read-out, text-field keys, and the strip chart's layout back
// after a tiled chart closes; tall dialogs and tiled windows with their text readable and nothing overprinted.
// Screenshots go to screenshots/ in the test's working directory.
// Usage: node engineer_day_test.mjs <bin directory> <Vantrel|VantrelReview> <platform/web directory> <make_demo_dir>
//        <setup file> <seed_compare_runs>
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { ProgramSession, answerPopup, control, expect, listItems, panelOf, pickMenu, settled } from './harness.mjs';

const [binDir, edition, webDir, makeDemoDir, setupFile, seedRuns] = process.argv.slice(2);
const review = edition === 'VantrelReview';
const session = new ProgramSession({ binDir, edition, webDir, limitMs: 280000 });
const test = (name, body) => session.test(name, body);
const MIN_TEXT_PX = 11;
// The strip chart's buttons whose height tiling once took: the review program has no START/STOP.
const BUTTONS = review ? ['PAUSE', 'PLAY', 'EXIT', 'PRINT'] : ['START', 'PAUSE', 'PLAY', 'EXIT', 'PRINT'];

async function main() {
  execFileSync(makeDemoDir, [setupFile, session.work], { stdio: 'inherit' });
  execFileSync(seedRuns, [session.work], { stdio: 'inherit' });
  session.start();
  const page = await session.openPage({ width: 1920, height: 1080 });

  const top = panelOf(page, 'TOP'), chart = panelOf(page, 'SCHART'), list = panelOf(page, 'SPC_LIST'), wafers = panelOf(page, 'WAFERS'), spc = panelOf(page, 'SPC');
  const popups = page.locator('.popup');
  const statusLine = page.locator('#status-line');
  // A menu item reached through the menu bar by the names a person reads.
  const waitStatus = async (pattern, what) => {
    await page.waitForFunction((src) => new RegExp(src).test(document.getElementById('status-line')?.textContent ?? ''),
      pattern.source, { timeout: 30000 }).catch(async () => {
      throw new Error(`${what}: the status line reads ${JSON.stringify(await statusLine.textContent().catch(() => null))}`);
    });
  };
  // The smallest text on the page in screen pixels: every element's own text, its font size times the scale it is
  // shown at; the charts' canvas text is drawn at 11 px times the same scale.
  const smallestText = () => page.evaluate(() => {
    const root = document.getElementById('screen');
    const scale = Number(root.dataset.scale) || 1;
    let least = Infinity, where = '';
    for (const el of document.querySelectorAll('body *')) {
      const own = [...el.childNodes].some((n) => n.nodeType === 3 && n.textContent.trim());
      if (!own || !el.getClientRects().length) continue;
      const r = el.getBoundingClientRect();
      if (r.width === 0 || r.height === 0) continue;
      const px = parseFloat(getComputedStyle(el).fontSize) * (root.contains(el) ? scale : 1);
      if (px < least) { least = px; where = `${el.className || el.tagName} "${el.textContent.trim().slice(0, 20)}"`; }
    }
    if (document.querySelector('.chart canvas') && 11 * scale < least) { least = 11 * scale; where = 'chart text'; }
    return { least, where, scale };
  });
  const shots = path.join(process.cwd(), 'screenshots');
  fs.mkdirSync(shots, { recursive: true });
  const shootAt = async (name) => {
    const shot = path.join(shots, name);
    await page.screenshot({ path: shot });
    const m = await smallestText();
    console.log(`screenshot: ${shot}; smallest text ${m.least.toFixed(1)} px (${m.where}), window scale ${m.scale}`);
    expect(m.least >= MIN_TEXT_PX, `text of ${m.least.toFixed(1)} px (${m.where}) at scale ${m.scale}`);
  };
  const heightOf = async (name) => (await control(page, name).boundingBox())?.height ?? 0;
  const buttonHeights = async () => {
    const heights = {};
    for (const b of BUTTONS) heights[b] = await heightOf(`SCHART_${b}`);
    return heights;
  };
  // The texts of the clock and the legend that a person cannot read: at the left end, the middle or the right end of
  // each, the element on top is not the one that holds it.
  const coveredTexts = () => page.evaluate(() => {
    const holders = [
      ...['CLOCK_TIME', 'CLOCK_DATE'].map((c) => document.querySelector(`[data-panel="SCHART"] > .client > [data-constant="${c}"]`)),
      ...document.querySelectorAll('[data-panel="LEGEND"] .list-item .item-text'),
    ];
    const covered = [];
    for (const el of holders) {
      if (!el) { covered.push('a clock control is missing'); continue; }
      const walker = document.createTreeWalker(el, NodeFilter.SHOW_TEXT);
      for (let node = walker.nextNode(); node; node = walker.nextNode()) {
        if (!node.textContent.trim()) continue;
        const range = document.createRange();
        range.selectNodeContents(node);
        const r = range.getBoundingClientRect();
        const y = r.top + r.height / 2;
        const hidden = [r.left + 1, r.left + r.width / 2, r.right - 1].some((x) => {
          // Text takes no clicks: what is hit there is the text itself or what it lies on, never something over it.
          const at = document.elementFromPoint(x, y);
          return !at || !(node.parentElement.contains(at) || at.contains(node.parentElement));
        });
        if (hidden) covered.push(`${el.dataset.constant ?? 'legend entry'} "${node.textContent.trim()}"`);
      }
    }
    return covered;
  });
  // Text that does not fit its control or lies over another control of its window: buttons whose caption runs out
  // of them, and labels that cross another control's box.
  const overprinted = (names) => page.evaluate((panels) => {
    const faults = [];
    const boxes = (p) => [...p.querySelectorAll(':scope > .client > .ctrl')].filter((c) => c.getClientRects().length)
      .map((c) => ({ c, r: c.getBoundingClientRect() }));
    const crosses = (a, b) => a.left < b.right - 1 && b.left < a.right - 1 && a.top < b.bottom - 1 && b.top < a.bottom - 1;
    for (const name of panels) {
      const p = document.querySelector(`[data-panel="${name}"]`);
      if (!p) continue;
      const all = boxes(p);
      for (const { c } of all) {
        const b = c.querySelector(':scope > button');
        if (b && b.textContent.length > 1 && (b.scrollWidth > b.clientWidth || b.scrollHeight > b.clientHeight))
          faults.push(`${name}.${c.dataset.constant} "${b.textContent}" does not fit its button`);
        const label = c.querySelector(':scope > .label');
        if (!label || !label.textContent.trim()) continue;
        const lr = label.getBoundingClientRect();
        for (const o of all) {
          if (o.c === c || o.c.contains(label) || o.c.classList.contains('decoration')) continue;
          if (crosses(lr, o.r)) faults.push(`${name}.${c.dataset.constant}'s label "${label.textContent}" lies over ${o.c.dataset.constant}`);
        }
      }
    }
    return faults;
  }, names);
  const expectReadable = async (names, where) => {
    const faults = await overprinted(names);
    expect(faults.length === 0, `${where}: ${faults.join('; ')}`);
  };
  // The maximise buttons shown on the strip chart (the framework's picture button, top right).
  const maximiseShown = () => chart.locator(':scope > .client > .ctrl:not(.hidden):not([data-constant]) > button').count();
  const expectClockAndLegendSeen = async (size) => {
    const covered = await coveredTexts();
    expect(covered.length === 0, `at ${size} these cannot be read: ${covered.join(', ')}`);
  };

  if (review) {
    await test('the "Vantrel Review" popup is answered', async () => {
      await answerPopup(page, 'Version 6.96');
    });
  }

  await test('at 1920 x 1080 the main window fills the browser, the clock and legend are in sight and no text is below 11 px', async () => {
    await chart.waitFor({ timeout: 20000 });
    await page.waitForFunction(() => Math.abs(document.querySelector('[data-panel="TOP"]').offsetWidth - innerWidth) < 30,
      null, { timeout: 15000 });
    await panelOf(page, 'LEGEND').locator('.list-item').first().waitFor({ timeout: 15000 });
    await expectClockAndLegendSeen('1920 x 1080');
    await shootAt(`engineer_day_${edition}_1920x1080.png`);
  });

  await test('at 1920 x 1080 the strip chart has its layout back after a tiled chart list closes', async () => {
    const before = await buttonHeights();
    await pickMenu(top, 'Charts/SPC Chart List...');
    await list.waitFor({ timeout: 15000 });
    await control(page, 'SPC_LIST_DONE').locator('button').click();
    await list.waitFor({ state: 'detached', timeout: 15000 });
    await page.waitForFunction((was) => Object.entries(was).every(([name, h]) => {
      const b = document.querySelector(`[data-panel="SCHART"] > .client > [data-constant="${name}"]`);
      return b && Math.abs(b.getBoundingClientRect().height - h) <= 1;
    }), before, { timeout: 15000 }).catch(async () => {
      throw new Error(`the buttons are ${JSON.stringify(await buttonHeights())} px tall (${JSON.stringify(before)} before)`);
    });
    expect(await maximiseShown() === 0, 'the lone strip chart still shows a maximise button');
    await expectClockAndLegendSeen('1920 x 1080 after tiling');
  });

  await test(`the tab is titled "${review ? 'Vantrel Review' : 'Vantrel'}"${review ? ' and there is no START/STOP' : ''}`, async () => {
    const title = review ? 'Vantrel Review' : 'Vantrel';
    await page.waitForFunction((t) => document.title === t, title, { timeout: 10000 })
      .catch(async () => { throw new Error(`the tab is titled ${JSON.stringify(await page.title())}`); });
    if (review) expect(!(await control(page, 'SCHART_START').isVisible()), 'START/STOP is shown');
  });

  let startHeights = {};
  await test('at 1280 x 720 the main window is sized to the browser, not shrunk, the clock and legend are in sight and no text is below 11 px', async () => {
    await page.setViewportSize({ width: 1280, height: 720 });
    await page.waitForFunction(() => {
      const main = document.querySelector('[data-panel="TOP"]');
      return main.offsetWidth <= innerWidth && main.offsetWidth > innerWidth - 30 && main.offsetHeight <= innerHeight
        && document.getElementById('screen').dataset.scale === '1.0000';
    }, null, { timeout: 15000 });
    startHeights = await buttonHeights();
    for (const [b, h] of Object.entries(startHeights)) expect(h >= 20, `${b} is ${h} px tall`);
    await expectClockAndLegendSeen('1280 x 720');
    await shootAt(`engineer_day_${edition}_1280x720.png`);
  });

  await test('the current legend row reads clearly on its highlight', async () => {
    const current = panelOf(page, 'LEGEND').locator('.list-item.current .coloured').first();
    await current.waitFor({ timeout: 10000 });
    const ratio = await current.evaluate((el) => {
      const rgb = (c) => c.match(/\d+(\.\d+)?/g).slice(0, 3).map(Number);
      const lum = ([r, g, b]) => [r, g, b].map((v) => { v /= 255; return v <= 0.03928 ? v / 12.92 : ((v + 0.055) / 1.055) ** 2.4; })
        .reduce((sum, v, i) => sum + v * [0.2126, 0.7152, 0.0722][i], 0);
      let bg = el;
      while (bg && getComputedStyle(bg).backgroundColor.match(/rgba\(.*, 0\)|transparent/)) bg = bg.parentElement;
      const [a, b] = [lum(rgb(getComputedStyle(el).color)), lum(rgb(getComputedStyle(bg).backgroundColor))];
      return (Math.max(a, b) + 0.05) / (Math.min(a, b) + 0.05);
    });
    expect(ratio >= 3, `the current row's text has a contrast of ${ratio.toFixed(2)}:1`);
  });

  await test('the alarm count\'s label is whole inside its popup', async () => {
    await pickMenu(top, 'Alarms/Alarm List...');
    const shown = panelOf(page, 'APOP');
    await shown.waitFor({ timeout: 15000 });
    const [label, box] = await Promise.all([control(page, 'APOP_COUNT').locator('.label').boundingBox(), shown.locator(':scope > .client').boundingBox()]);
    expect(label.x >= box.x && label.x + label.width <= box.x + box.width, `the label spans ${label.x}..${label.x + label.width}, the popup ${box.x}..${box.x + box.width}`);
    await page.keyboard.press('Escape');
    await shown.waitFor({ state: 'detached', timeout: 15000 });
  });

  if (!review) {
    await test('a dialog taller than the browser scrolls the page instead of shrinking its text', async () => {
      await pickMenu(top, 'Configure/Channel Setup...');
      const setup = panelOf(page, 'CHAN');
      await setup.waitFor({ timeout: 15000 });
      const m = await smallestText();
      expect(m.scale === 1 && m.least >= MIN_TEXT_PX, `text of ${m.least.toFixed(1)} px (${m.where}) at scale ${m.scale}`);
      // Its lowest control is reached by scrolling the page, as a person does with the wheel.
      const lowest = setup.locator('.ctrl').last();
      const bottom = async () => (await lowest.boundingBox()).y + (await lowest.boundingBox()).height;
      // (Seen once the dialog has all its controls: a slow machine draws it in steps.)
      const tall = await page.waitForFunction(() => {
        const c = document.querySelectorAll('[data-panel="CHAN"] .ctrl');
        return c.length > 0 && c[c.length - 1].getBoundingClientRect().bottom > 720;
      }, null, { timeout: 15000 }).then(() => true, () => false);
      expect(tall && await bottom() > 720, 'the dialog fits the browser: nothing to scroll');
      await page.mouse.move(640, 400);
      for (let k = 0; k < 30 && (await bottom()) > 720; k++) { await page.mouse.wheel(0, 200); await settled(page); }
      expect(await bottom() <= 720, 'the page does not scroll to the dialog\'s bottom');
      await shootAt(`engineer_day_${edition}_channel_setup_1280x720.png`);
      await page.mouse.wheel(0, -5000);
      await control(page, 'CHAN_CANCEL').locator('button').click();
      await setup.waitFor({ state: 'detached', timeout: 15000 });
    });
  }

  await test('a slideshow of charts without data says so in the status line', async () => {
    await pickMenu(top, 'Charts/Chart Slideshow');
    await waitStatus(/^None of the active charts has data to display\.$/, 'the slideshow');
    expect(await popups.count() === 0, 'a popup was shown');
  });

  await test('Save and Pack Database end with a note in the status line', async () => {
    await pickMenu(top, 'File/Save');
    await waitStatus(/^Process ".+" saved\.$/, 'Save');
    await pickMenu(top, 'File/Pack Database');
    await waitStatus(/^Database packed\.$/, 'Pack Database');
  });

  await test('Open says which setup it opened', async () => {
    await pickMenu(top, 'File/Open...');
    const chooser = popups.filter({ hasText: 'Please select a setup file...' });
    await chooser.waitFor({ timeout: 15000 });
    await chooser.locator('.buttons button').first().click();
    await chooser.waitFor({ state: 'detached', timeout: 15000 });
    await waitStatus(/^Process ".+" opened\.$/, 'Open');
  });

  await test('Export warns before it replaces an existing file, then says where it wrote', async () => {
    for (const round of [1, 2]) {
      await pickMenu(top, 'File/Export...');
      const chooser = popups.filter({ hasText: 'Export setup as...' });
      await chooser.waitFor({ timeout: 15000 });
      await chooser.locator('input.response').fill(path.join(session.work, 'day.Vantrel'));
      await chooser.locator('.buttons button', { hasText: 'Save' }).click();
      if (round === 2) {
        await chooser.locator('.replace').filter({ hasText: 'day.Vantrel already exists' }).waitFor({ timeout: 10000 });
        await chooser.locator('button[data-button="Replace"]').click();
      }
      await chooser.waitFor({ state: 'detached', timeout: 15000 });
      await waitStatus(/^Process exported to .*day\.Vantrel\.$/, `export ${round}`);
      expect(fs.existsSync(path.join(session.work, 'day.Vantrel')), 'no export file');
      // The note goes by itself after a few seconds, so the next one is seen as new.
      await statusLine.waitFor({ state: 'hidden', timeout: 30000 });
    }
  });

  await test('ticks on single trace IDs end "Select all" and the chart holds only those runs', async () => {
    await pickMenu(top, 'Charts/SPC Chart List...');
    await list.waitFor({ timeout: 15000 });
    await listItems(page, 'SPC_LIST_CHARTS').filter({ has: page.locator('.item-text', { hasText: /^PRESSURE Mean$/ }) }).click();
    await control(page, 'SPC_LIST_VIEW').locator('button').click();
    await wafers.waitFor({ timeout: 15000 });
    const traces = listItems(page, 'WAFERS_TRACE_LIST');
    for (const id of ['LOT3', 'LOT5', 'LOT7']) {
      const row = traces.filter({ has: page.locator('.item-text', { hasText: new RegExp(`^${id}$`) }) });
      await row.scrollIntoViewIfNeeded();
      await row.locator('input[type="checkbox"]').click();
      await page.waitForFunction((l) => [...document.querySelectorAll('[data-panel="WAFERS"] [data-constant="TRACE_LIST"] .list-item')]
        .some((r) => r.querySelector('.item-text')?.textContent.trim() === l && r.querySelector('input')?.checked), id, { timeout: 10000 });
    }
    const all = traces.filter({ hasText: 'Select all' }).locator('input[type="checkbox"]');
    expect(!(await all.isChecked()), '"Select all" is still ticked');
    await control(page, 'WAFERS_OK').locator('button').click();
    await spc.waitFor({ timeout: 15000 });
    // Three points: the x axis runs over three positions, not the sixty runs of the batch.
    await page.waitForFunction(() => {
      const r = document.querySelector('[data-panel="SPC"] [data-constant="CHART"]')?.dataset.range?.split(',').map(Number);
      return r && r[0] >= -4 && r[0] < 0;
    }, null, { timeout: 15000 });
    // The newest point is the newest ticked lot.
    await page.waitForFunction(() => document.querySelector('[data-panel="SPC"] [data-constant="TRACE_ID"] input')?.value.trim() === 'LOT7',
      null, { timeout: 10000 }).catch(async () => {
      throw new Error(`the newest point is ${await control(page, 'SPC_TRACE_ID').locator('input').inputValue()}`);
    });
  });

  for (const [width, height] of [[1280, 720], [1920, 1080]]) {
    await test(`tiled at ${width} x ${height}, no caption runs out of its button and no label lies over a control`, async () => {
      await page.setViewportSize({ width, height });
      await page.waitForFunction((w) => Math.abs(document.querySelector('[data-panel="TOP"]').offsetWidth - w) < 30, width, { timeout: 15000 });
      await control(page, 'SCHART_TILE').locator('button').click();
      await settled(page);
      await expectReadable(['SCHART', 'SPC', 'SPC_LIST'], `tiled at ${width} x ${height}`);
      await shootAt(`engineer_day_${edition}_tiled_${width}x${height}.png`);
    });
  }
  await page.setViewportSize({ width: 1280, height: 720 });
  await page.waitForFunction(() => Math.abs(document.querySelector('[data-panel="TOP"]').offsetWidth - 1280) < 30, null, { timeout: 15000 });
  await control(page, 'SCHART_TILE').locator('button').click();
  await settled(page);

  await test('with the SPC chart in front the dimmed menu titles look dimmed and do not open', async () => {
    // Done closes the chart list with the chart window in front of the strip chart: the menus that need the strip
    // chart in front are dimmed.
    await spc.locator(':scope > .titlebar > .title').click();
    await control(page, 'SPC_LIST_DONE').locator('button').click();
    await list.waitFor({ state: 'detached', timeout: 15000 });
    await page.waitForFunction(() => document.querySelector('[data-panel="TOP"] .menubar > .menu.dimmed'), null, { timeout: 15000 });
    for (const title of ['File', 'Configure', 'Charts']) {
      const menu = top.locator(':scope > div > .menubar > .menu').filter({ hasText: new RegExp(`^${title}`) }).first();
      expect(await menu.evaluate((el) => el.classList.contains('dimmed')), `${title} is not dimmed`);
    }
    const file = top.locator(':scope > div > .menubar > .menu.dimmed').first();
    const look = await file.evaluate((el) => ({ color: getComputedStyle(el).color, normal: getComputedStyle(el.parentElement.querySelector('.menu:not(.dimmed)')).color }));
    expect(look.color !== look.normal, `a dimmed title has the colour of an enabled one (${look.color})`);
    await file.click({ position: { x: 5, y: 5 }, force: true });
    expect(await top.locator('.menubar > .menu.open').count() === 0, 'a dimmed menu opened');
  });

  await test('a click in the chart graph brings the read-out cursor to the point there', async () => {
    const graph = control(page, 'SPC_CHART').locator('canvas');
    const point = control(page, 'SPC_POINT').locator('input');
    const before = await point.inputValue();
    expect(before !== '-2', 'the read-out is at the oldest point already');
    const box = await graph.boundingBox();
    // Near the left end of the plot area: the oldest of the three points.
    await graph.click({ position: { x: 56, y: box.height / 2 } });
    await page.waitForFunction(() => document.querySelector('[data-panel="SPC"] [data-constant="POINT"] input')?.value === '-2',
      null, { timeout: 10000 }).catch(async () => { throw new Error(`the point read-out stays ${before} (now ${await point.inputValue()})`); });
    // The oldest of the ticked lots.
    await page.waitForFunction(() => document.querySelector('[data-panel="SPC"] [data-constant="TRACE_ID"] input')?.value.trim() === 'LOT3',
      null, { timeout: 10000 }).catch(async () => {
      throw new Error(`the oldest point is ${await control(page, 'SPC_TRACE_ID').locator('input').inputValue()}`);
    });
  });

  await test('the comment field keeps Ctrl+A, X and V and stops at 64 characters', async () => {
    const comment = control(page, 'SPC_COMMENT').locator('textarea');
    await comment.click();
    await page.keyboard.press('Control+A');
    await page.keyboard.type('x'.repeat(70));
    expect((await comment.inputValue()).length === 64, `the field holds ${(await comment.inputValue()).length} characters`);
    await page.keyboard.press('Control+A');
    await page.keyboard.type('engineer note');
    expect(await comment.inputValue() === 'engineer note', `Ctrl+A did not select: ${await comment.inputValue()}`);
    await page.keyboard.press('Control+A');
    await page.keyboard.press('Control+X');
    expect(await comment.inputValue() === '', 'Ctrl+X left the text');
    await page.keyboard.press('Control+V');
    expect(await comment.inputValue() === 'engineer note', `Ctrl+V gave ${JSON.stringify(await comment.inputValue())}`);
    // Ctrl+C copies and leaves the text: pasted at the end it comes twice.
    await page.keyboard.press('Control+A');
    await page.keyboard.press('Control+C');
    await page.keyboard.press('End');
    await page.keyboard.press('Control+V');
    expect(await comment.inputValue() === 'engineer noteengineer note', `Ctrl+C, V gave ${JSON.stringify(await comment.inputValue())}`);
  });

  await test('closing the tiled chart gives the strip chart its layout back', async () => {
    const tiled = await buttonHeights();
    await control(page, 'SPC_CLOSE').locator('button').click();
    await spc.waitFor({ state: 'detached', timeout: 15000 });
    await page.waitForFunction((before) => Object.entries(before).every(([name, h]) => {
      const b = document.querySelector(`[data-panel="SCHART"] > .client > [data-constant="${name}"]`);
      return b && Math.abs(b.getBoundingClientRect().height - h) <= 1;
    }), startHeights, { timeout: 15000 }).catch(async () => {
      throw new Error(`the buttons are ${JSON.stringify(await buttonHeights())} px tall (${JSON.stringify(startHeights)} before, ${JSON.stringify(tiled)} tiled)`);
    });
    await expectClockAndLegendSeen('1280 x 720 after tiling');
    expect(await maximiseShown() === 0, 'the lone strip chart still shows a maximise button');
    await shootAt(`engineer_day_${edition}_after_tiling_1280x720.png`);
  });

  // The question about pending setup changes: asked again at each click in the chart graph, once for a drag of
  // its cursor (where it is let go), never at each step of the drag.
  const pending = popups.filter({ hasText: 'Changes are pending.' });
  let asked = 0;
  const answerNo = async () => {
    await pending.waitFor({ timeout: 10000 });
    await pending.locator('.buttons button', { hasText: 'No' }).click();
    await pending.waitFor({ state: 'detached', timeout: 10000 });
    asked++;
  };
  // Answers the questions the program asks until `done` holds.
  const answeringNo = async (done, what) => {
    const until = Date.now() + 20000;
    while (Date.now() < until) {
      if (await done()) return;
      if (await pending.count()) await answerNo();
      else await page.waitForTimeout(100);
    }
    throw new Error(`${what} not within 20 s`);
  };
  await test('after a setup change each click in the chart asks once, a cursor drag once where it is let go', async () => {
    await pickMenu(top, 'Configure/Acquisition Rate...');
    const rate = panelOf(page, 'DAQSET');
    await rate.waitFor({ timeout: 15000 });
    const ring = control(page, 'DAQSET_RATE').locator('select');
    const options = await ring.locator('option').allTextContents();
    const current = options[Number(await ring.inputValue())];
    const other = options.find((o) => o !== current);
    await ring.selectOption({ label: other });
    await control(page, 'DAQSET_OK').locator('button').click();
    await rate.waitFor({ state: 'detached', timeout: 15000 });
    await pickMenu(top, 'Charts/SPC Chart List...');
    await answeringNo(() => list.isVisible(), 'the chart list');
    await listItems(page, 'SPC_LIST_CHARTS').filter({ has: page.locator('.item-text', { hasText: /^PRESSURE Mean$/ }) }).click();
    await control(page, 'SPC_LIST_VIEW').locator('button').click();
    await answeringNo(() => wafers.isVisible(), 'the batch selection');
    await control(page, 'WAFERS_OK').locator('button').click();
    await answeringNo(() => spc.isVisible(), 'the chart window');
    await settled(page);
    if (await pending.count()) await answerNo();
    const graph = control(page, 'SPC_CHART').locator('canvas');
    const box = await graph.boundingBox();
    const y = box.y + box.height / 2;
    asked = 0;
    await page.mouse.click(box.x + box.width / 2, y);
    await answerNo();
    // The cursor is where the click put it: a drag from there to the left end of the plot.
    const at = await page.evaluate(() => {
      const el = document.querySelector('[data-panel="SPC"] [data-constant="CHART"]');
      return { range: el.dataset.range.split(',').map(Number) };
    });
    const point = Number(await control(page, 'SPC_POINT').locator('input').inputValue());
    const [x0, x1] = at.range;
    const px = (x) => box.x + 48 + ((x - x0) / (x1 - x0)) * (box.width - 62);
    await page.mouse.move(px(point), y);
    await page.mouse.down();
    for (let k = 1; k <= 8; k++) {
      await page.mouse.move(px(point) + ((px(x0) - px(point)) * k) / 8, y);
      await settled(page);
    }
    expect(await pending.count() === 0, 'the question came during the drag');
    await page.mouse.up();
    await answerNo();
    // Whatever the program asks after the No reaches the page before its answer to a later request.
    await settled(page);
    expect(await pending.count() === 0, 'the question came back after No');
    expect(asked === 2, `asked ${asked} times for a click and a drag`);
  });

  // The run commands and Import come after the setup change: they ask about it first.
  const runSelection = panelOf(page, 'SC_SEL');
  await test('a copy of runs says how many it copied and where', async () => {
    // The chart window and the chart list close first: the File menu is dimmed while one of them is in front.
    if (await spc.count()) {
      await control(page, 'SPC_CLOSE').locator('button').click();
      await answeringNo(async () => (await spc.count()) === 0, 'the closed chart window');
    }
    if (await list.count()) {
      await control(page, 'SPC_LIST_DONE').locator('button').click();
      await answeringNo(async () => (await list.count()) === 0, 'the closed chart list');
    }
    await page.waitForFunction(() => !document.querySelector('[data-panel="TOP"] .menubar > .menu.dimmed'), null, { timeout: 15000 });
    await pickMenu(top, 'File/Copy Traces and SPC Data To...');
    await answeringNo(() => runSelection.isVisible(), 'the run selection');
    const lot = listItems(page, 'SC_SEL_RUNS').filter({ hasText: 'LOT60' });
    await lot.scrollIntoViewIfNeeded();
    await lot.locator('input[type="checkbox"]').click();
    await page.waitForFunction(() => [...document.querySelectorAll('[data-panel="SC_SEL"] [data-constant="RUNS"] .list-item')]
      .some((r) => r.textContent.includes('LOT60') && r.querySelector('input')?.checked), null, { timeout: 10000 });
    await control(page, 'SC_SEL_OK').locator('button').click();
    const dialog = popups.filter({ hasText: 'Please select a location for the data.' });
    await dialog.waitFor({ timeout: 15000 });
    await dialog.locator('button.new-folder').click();
    await dialog.locator('input.folder-name').fill('Copies');
    await dialog.locator('.make-folder button').click();
    await page.waitForFunction(() => document.querySelector('.popup .where')?.textContent.endsWith('/Copies'), null, { timeout: 15000 });
    await dialog.locator('.buttons button[data-button="Select"]').click();
    await dialog.waitFor({ state: 'detached', timeout: 15000 });
    await waitStatus(/^1 run copied to .*\/Copies\.$/, 'the copy');
    expect((await popups.count()) === 0, 'a popup was shown');
    const copies = path.join(session.work, 'Copies');
    expect(fs.readdirSync(copies).some((f) => f.toUpperCase() === 'VT_INFO.DBF'), 'the folder holds no run table');
    expect(fs.readdirSync(path.join(copies, 'SC_DATA')).length === 1, 'the run\'s trace was not copied');
  });

  await test('a deletion of runs says how many it deleted', async () => {
    await pickMenu(top, 'File/Delete Runs...');
    await answeringNo(() => runSelection.isVisible(), 'the run selection');
    const lot = listItems(page, 'SC_SEL_RUNS').filter({ has: page.locator('.item-text', { hasText: /^LOT59\s*$/ }) });
    await lot.scrollIntoViewIfNeeded();
    await lot.locator('input[type="checkbox"]').click();
    await page.waitForFunction(() => [...document.querySelectorAll('[data-panel="SC_SEL"] [data-constant="RUNS"] .list-item')]
      .some((r) => /^LOT59\s*$/.test(r.querySelector('.item-text')?.textContent ?? '') && r.querySelector('input')?.checked), null, { timeout: 10000 });
    await control(page, 'SC_SEL_OK').locator('button').click();
    await waitStatus(/^1 run deleted\.$/, 'the deletion');
    expect((await popups.count()) === 0, 'a popup was shown');
  });

  await test('a new process of record says which run and wafer it is', async () => {
    await pickMenu(top, 'File/Process of Record...');
    await answeringNo(() => runSelection.isVisible(), 'the run selection');
    await listItems(page, 'SC_SEL_RUNS').filter({ has: page.locator('.item-text', { hasText: /^LOT60\s*$/ }) }).click();
    // The run's wafers that have a trace: its one wafer.
    await listItems(page, 'SC_SEL_WAFERS').filter({ hasText: /^1$/ }).waitFor({ timeout: 15000 });
    await control(page, 'SC_SEL_OK').locator('button').click();
    await answeringNo(async () => (await runSelection.count()) === 0, 'the closed run selection');
    await waitStatus(/^Process of record: LOT60, wafer 1\.$/, 'the process of record');
    expect(fs.readdirSync(session.work).some((f) => /^\d{8}\.POR$/i.test(f) && fs.statSync(path.join(session.work, f)).size > 100),
      'no process-of-record trace was written');
  });

  // Last: the imported setup becomes the current process.
  await test('Import says which setup it imported', async () => {
    await pickMenu(top, 'File/Import...');
    const chooser = popups.filter({ hasText: 'Please select a setup file...' });
    await answeringNo(() => chooser.isVisible(), 'the file dialog');
    await chooser.locator('input.response').fill(path.join(session.work, 'day.Vantrel'));
    await chooser.locator('.buttons button').first().click();
    await chooser.waitFor({ state: 'detached', timeout: 15000 });
    await waitStatus(/^Process "day" imported\.$/, 'Import');
  });

  if (session.pageErrors.length) console.log(`page errors: ${session.pageErrors.join('; ')}`);
  expect(session.pageErrors.length === 0, 'the page reported errors');
  await session.stopProgram();
  await session.done();
}

main().catch(async (e) => {
  console.error(e);
  await session.finish(1);
});

// Browser test of alarms during acquisition: the demo process on the default scenario with real-time testing on.
// Wafers are tested, alarms reach the real-time window and the alarm window, the Pareto chart shows their kinds,
// the review clears them and the status colour of the strip chart follows.
// Usage: node alarms_test.mjs <bin directory> <platform/web directory> <screenshot directory> <make_demo_dir> <setup file>
import { execFileSync } from 'node:child_process';
import {
  ProgramSession, expect, answering, panelOf, control, button, listItems, pressed, controlSelector, pickMenu,
  menuItem, expectClass, settled, shoot,
} from './harness.mjs';

const [binDir, webDir, shotDir, makeDemoDir, setupFile] = process.argv.slice(2);
const session = new ProgramSession({ binDir, edition: 'Vantrel', webDir, limitMs: 400000 });
const test = (name, body) => session.test(name, body);
const YELLOW = '#ffff00', WHITE = '#ffffff';
// The anomalies of the scenario's period and the upper limit of the demo's chart that sees each: overshoot, slow
// turn-off, late endpoint, shifted mean, noise burst. The board's chamber runs from the program's start, so
// acquisition begins part way into the schedule: the wafer it cuts may add alarms of its own, and an anomaly it
// missed comes round again a period (12 wafers) later.
const SCHEDULED = [/^RF_FWD .* > 80\.000 /, /^GAS_A_OFF .* > 1\.300 /, /^ETCH_TO_ENDPOINT .* > 13\.000 /,
  /^GAS_B .* > 47\.500 /, /^OES .* > 42\.500 /];
const ALARM_LINE = /^\S.* \(-?\d+\.\d{3}\) [<>] -?\d+\.\d{3} on trigger \d+ of \S+/;

async function main() {
  execFileSync(makeDemoDir, [setupFile, session.work], { stdio: 'inherit' });
  session.start({ VANTREL_SIM_SPEED: '20' });
  const page = await session.openPage(undefined, { scrollBars: true });

  const top = panelOf(page, 'TOP');
  const chart = panelOf(page, 'SCHART');
  const title = (panel) => panel.locator(':scope > .titlebar > .title').innerText();
  const alarms = panelOf(page, 'REVIEW');
  const apop = panelOf(page, 'APOP');
  const realtimeLines = listItems(page, 'REALTIME_ALARMS');
  const alarmLines = listItems(page, 'REVIEW_ALARMS');
  const strip = controlSelector('SCHART_STRIP');
  const background = () => page.evaluate((s) => document.querySelector(s)?.dataset.background, strip);
  const running = () => pressed(page, 'SCHART_START');
  const toggle = button(page, 'SCHART_START');
  const clearAlarms = menuItem(top, 'Alarms/Clear Alarms...');
  // A window left open by a failed step does not spoil the next one.
  const closeAlarms = async () => {
    if (!(await alarms.count())) return;
    await button(page, 'REVIEW_CLOSE').click();
    await alarms.waitFor({ state: 'detached', timeout: 15000 });
  };
  // The alarm display popup of an Alarms menu item: how many alarms, then its one offered button.
  const fromPopup = async (item, offered, count) => {
    await closeAlarms();
    await pickMenu(top, item);
    await apop.waitFor({ timeout: 15000 });
    const field = control(page, 'APOP_COUNT').locator('input');
    await field.fill(String(count));
    await field.press('Enter');
    await button(page, offered).click();
    await alarms.waitFor({ timeout: 15000 });
  };
  let lines = 0;

  await test('the demo process is current and its channels are on the strip chart', async () => {
    await chart.waitFor({ timeout: 20000 });
    await page.waitForFunction(() => document.querySelector('[data-panel="TOP"] > .titlebar > .title')?.textContent.includes('ETCH'),
      null, { timeout: 15000 });
    expect(await background() === WHITE, `the status starts ${await background()}`);
  });

  await test('real-time testing is switched on from the Configure menu', async () => {
    const item = menuItem(top, 'Configure/Real-Time Testing');
    expect(!(await item.evaluate((el) => el.classList.contains('checked'))), 'real-time testing is already on');
    await pickMenu(top, 'Configure/Real-Time Testing');
    await expectClass(item, 'checked');
  });

  await test('acquisition starts and the first alarm turns the status yellow', async () => {
    await toggle.click();
    await answering(page, 'Vantrel', async () => (await running()) && (await realtimeLines.count()) >= 1,
      'the first alarm line', 90000);
    // Chart title, value, the limit it broke, the wafer within its run and the trace id.
    const first = await realtimeLines.first().innerText();
    expect(ALARM_LINE.test(first), `the first alarm line reads ${JSON.stringify(first)}`);
    await page.waitForFunction(([s, y]) => document.querySelector(s)?.dataset.background === y, [strip, YELLOW],
      { timeout: 15000 });
    expect(!(await clearAlarms.evaluate((el) => el.classList.contains('dimmed'))),
      'Clear Alarms stays dimmed under a yellow status');
  });

  await test('the alarm list shows the alarms while acquisition goes on', async () => {
    await fromPopup('Alarms/Alarm List...', 'APOP_LIST', 20);
    expect(await title(alarms) === 'Alarm List', `the alarm window is titled ${await title(alarms)}`);
    const listed = await alarmLines.allInnerTexts();
    expect(listed.length >= 2 && listed.length % 2 === 0, `the alarm list holds ${listed.length} lines`);
    const oldest = listed.slice(-2);
    expect(/ETCH, .*#\d+$/.test(oldest[0]) && /Rule 1[ab]$/.test(oldest[1]), `the oldest alarm reads ${JSON.stringify(oldest)}`);
    expect(await running(), 'acquisition stopped while the alarm window opened');
    await closeAlarms();
  });

  await test('every anomaly of the schedule raises its alarm; then acquisition stops', async () => {
    const texts = () => realtimeLines.allInnerTexts();
    const seen = async () => { const t = await texts(); return SCHEDULED.every((re) => t.some((l) => re.test(l))); };
    await answering(page, 'Vantrel', seen, 'an alarm line of every scheduled anomaly', 240000);
    await toggle.click();
    await answering(page, 'Vantrel', async () => !(await running()), 'the toggle released', 20000);
    await settled(page);
    lines = await realtimeLines.count();
    for (const line of await texts()) expect(ALARM_LINE.test(line), `an alarm line reads ${JSON.stringify(line)}`);
    await shoot(page, shotDir, 'alarms_realtime.png');
  });

  await test('the real-time window draws scroll bars where its lines overflow, and the wheel brings every end in view', async () => {
    const listbox = control(page, 'REALTIME_ALARMS').locator('.listbox');
    // A scroll bar takes room inside the border: what the box holds less what it shows.
    const measure = () => listbox.evaluate((e) => {
      const cs = getComputedStyle(e);
      const px = (v) => parseFloat(v) || 0;
      return {
        right: e.offsetWidth - e.clientWidth - px(cs.borderLeftWidth) - px(cs.borderRightWidth),
        bottom: e.offsetHeight - e.clientHeight - px(cs.borderTopWidth) - px(cs.borderBottomWidth),
        wide: e.scrollWidth > e.clientWidth, tall: e.scrollHeight > e.clientHeight,
      };
    });
    const m = await measure();
    expect(m.wide, `the alarm lines fit the window's width (${lines} lines)`);
    expect(m.bottom >= 8, `no horizontal scroll bar under lines wider than the window (${m.bottom} px)`);
    if (m.tall) expect(m.right >= 8, `no vertical scroll bar beside more lines than the window shows (${m.right} px)`);
    else expect(m.right === 0, `a vertical scroll bar beside lines that all fit (${m.right} px)`);
    // Whether the ends a person scrolls to show: the far end of the widest line and the last line, each seen at the
    // point where its text ends.
    const endsInView = () => listbox.evaluate((e) => {
      const inside = e.getBoundingClientRect();
      const right = inside.left + e.clientLeft + e.clientWidth, bottom = inside.top + e.clientTop + e.clientHeight;
      const textOf = (row) => {
        const range = document.createRange();
        range.selectNodeContents(row.querySelector('.item-text') ?? row);
        return range.getBoundingClientRect();
      };
      const rows = [...e.querySelectorAll('.list-item')];
      const last = rows.reduce((a, r) => (Number(r.dataset.index) > Number(a.dataset.index) ? r : a));
      const widest = rows.reduce((a, r) => (textOf(r).width > textOf(a).width ? r : a));
      return [last, widest].every((row) => {
        const t = textOf(row);
        if (t.right > right + 0.5 || t.bottom > bottom + 0.5) return false;
        return row.contains(document.elementFromPoint(t.right - 2, t.top + t.height / 2));
      });
    });
    const box = await listbox.boundingBox();
    await page.mouse.move(box.x + box.width / 2, box.y + box.height / 2);
    for (let i = 0; i < 100 && !(await endsInView()); i++) {
      await page.mouse.wheel(120, 120);
      await page.evaluate(() => new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r))));
    }
    expect(await endsInView(), 'the wheel does not bring the end of the widest line and the last line into view');
    await shoot(page, shotDir, 'alarms_realtime_scrolled.png');
  });

  await test('the Pareto chart shows the alarm kinds, largest first', async () => {
    await fromPopup('Alarms/Alarm Pareto...', 'APOP_PARETO', 500);
    const graph = control(page, 'REVIEW_PARETO');
    await graph.waitFor({ timeout: 15000 });
    expect(await graph.isVisible(), 'the Pareto graph is hidden');
    await page.waitForFunction((g) => Number(document.querySelector(g)?.dataset.plots ?? 0) > 0, controlSelector('REVIEW_PARETO'),
      { timeout: 15000 });
    // Bars, not a line: some pixel column of the plot holds a tall run of the bars' red.
    const tallest = await graph.locator('canvas').evaluate((cv) => {
      const d = cv.getContext('2d').getImageData(0, 0, cv.width, cv.height).data;
      let best = 0;
      for (let x = 0; x < cv.width; x++) {
        let n = 0;
        for (let y = 0; y < cv.height; y++) {
          const i = (y * cv.width + x) * 4;
          if (d[i] === 255 && d[i + 1] === 0 && d[i + 2] === 0) n++;
        }
        best = Math.max(best, n);
      }
      return best;
    });
    expect(tallest > 20, `the tallest red column of the Pareto graph is ${tallest} pixels`);
    const kinds = await alarmLines.allInnerTexts();
    expect(kinds.length >= 5, `the Pareto lists ${kinds.length} kinds: ${JSON.stringify(kinds)}`);
    for (const name of ['RF_FWD', 'GAS_A_OFF', 'ETCH_TO_ENDPOINT', 'GAS_B', 'OES'])
      expect(kinds.some((k) => k.includes(`Rule 1a ${name}`)), `no Pareto kind is ${name} above its limit: ${JSON.stringify(kinds)}`);
    const counts = kinds.map((k) => Number(/^\s*\d+\s+(\d+)\s/.exec(k)?.[1] ?? NaN));
    expect(counts.reduce((a, b) => a + b, 0) === lines, `the kinds count ${counts} for ${lines} alarms`);
    expect(counts.every((c, i) => i === 0 || counts[i - 1] >= c), `the kinds are not largest first: ${counts}`);
    await shoot(page, shotDir, 'alarms_pareto.png');
    await closeAlarms();
  });

  await test('the review clears one kind, then all; the status follows', async () => {
    await closeAlarms();
    await pickMenu(top, 'Alarms/Clear Alarms...');
    await alarms.waitFor({ timeout: 15000 });
    expect(await title(alarms) === 'Active Alarm Pareto', `the review is titled ${await title(alarms)}`);
    const before = await alarmLines.count();
    expect(before >= 5, `the review lists ${before} kinds`);
    await alarmLines.first().click();
    await button(page, 'REVIEW_CLEAR').click();
    await page.waitForFunction(([list, n]) => document.querySelectorAll(`${list} .list-item`).length === n,
      [controlSelector('REVIEW_ALARMS'), before - 1], { timeout: 15000 });
    expect(await background() === YELLOW, `one kind cleared of several: the status is ${await background()}`);
    await button(page, 'REVIEW_CLEAR_ALL').click();
    await page.waitForFunction(([s, w]) => document.querySelector(s)?.dataset.background === w, [strip, WHITE],
      { timeout: 15000 });
    expect(await realtimeLines.count() === 0, 'the real-time window still holds alarm lines');
    await closeAlarms();
    // Nothing is left to review: the command is dimmed, out of the mouse's reach.
    await expectClass(clearAlarms, 'dimmed');
    expect(await alarms.count() === 0, 'the review is open with every alarm cleared');
  });

  await test('the page raised no script errors', async () => {
    expect(session.pageErrors.length === 0, session.pageErrors.join('; '));
  });

  await test('SIGTERM ends the program with exit code 0', () => session.stopProgram());

  await session.done();
}

main().catch((e) => { console.error(e); session.finish(1); });

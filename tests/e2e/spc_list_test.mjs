// Browser test of the SPC chart list: after the default scenario's wafers are tested, an engineer deactivates and
// activates a chart by double clicks, views it, changes its run rules and its limits in the code-built dialogs,
// and runs the chart slideshow, stopping it with its Stop toggle. Screenshots go to the screenshot directory.
// Usage: node spc_list_test.mjs <bin directory> <platform/web directory> <screenshot directory> <make_demo_dir> <setup file>
import { execFileSync } from 'node:child_process';
import {
  ProgramSession, expect, recordAlarm, panelOf, control, button, listItems, pickMenu, menuItem, settled, shoot,
} from './harness.mjs';

const [binDir, webDir, shotDir, makeDemoDir, setupFile] = process.argv.slice(2);
const session = new ProgramSession({ binDir, edition: 'Vantrel', webDir, limitMs: 420000 });
const test = (name, body) => session.test(name, body);
const RF_OVERSHOOT = /^RF_FWD .* > 80\.000 /;
const CHART = 'RF_FWD Overshoot Maximum Step 1';

async function main() {
  execFileSync(makeDemoDir, [setupFile, session.work], { stdio: 'inherit' });
  session.start({ VANTREL_SIM_SPEED: '20' });
  let page = await session.openPage();
  let top, chart, spc, list, wafers;
  const bind = () => {
    top = panelOf(page, 'TOP');
    chart = panelOf(page, 'SCHART');
    spc = panelOf(page, 'SPC');
    list = panelOf(page, 'SPC_LIST');
    wafers = panelOf(page, 'WAFERS');
  };
  bind();
  // Dialogs built in code have no constant name: they are found by their title, as a person finds them.
  const dialog = (title) => page.locator('.panel').filter({ has: page.locator(':scope > .titlebar > .title', { hasText: title }) });
  const field = (panel, label) => panel.locator(':scope > .client > .ctrl').filter({ hasText: label }).locator('input').first();
  // The colour the list shows an item's text in: red for an activated chart.
  const itemColour = (name) => listItems(page, 'SPC_LIST_CHARTS').filter({ hasText: name }).first().locator('.item-text > span').first()
    .evaluate((s) => getComputedStyle(s).color);
  const RED = 'rgb(255, 0, 0)';
  const colourIs = async (name, want, ms) => {
    const until = Date.now() + ms;
    while (Date.now() < until) {
      const c = await itemColour(name);
      if ((c === RED) === want) return true;
      await page.waitForTimeout(100);
    }
    return false;
  };
  // A double click the page redrew the list under (its first click selects the row) never arrives: a person
  // double-clicks again when nothing happened.
  const toggleByDoubleClick = async (name, want) => {
    for (let attempt = 0; attempt < 3; attempt++) {
      await listItems(page, 'SPC_LIST_CHARTS').filter({ hasText: name }).first().dblclick();
      if (await colourIs(name, want, 10000)) return;
    }
    throw new Error(`${name} is not ${want ? 'red' : 'plain'}`);
  };

  await test('acquisition with real-time testing stores test results', async () => {
    await chart.waitFor({ timeout: 20000 });
    await recordAlarm(page, 'Vantrel', RF_OVERSHOOT, 'the RF overshoot alarm');
  });

  await test('the chart list shows the process charts, the watched ones in red', async () => {
    await pickMenu(top, 'Charts/SPC Chart List...');
    await list.waitFor({ timeout: 15000 });
    await list.locator(':scope > .titlebar > .title').click();
    const labels = (await listItems(page, 'SPC_LIST_CHARTS').allInnerTexts()).map((t) => t.trim());
    expect(labels.includes(CHART), `the list holds ${labels.length} items, not ${CHART}`);
    expect(await itemColour(CHART) === RED, `${CHART} is not red`);
    const ring = (await control(page, 'SPC_LIST_PROCESS').innerText()).trim();
    expect(ring.includes('ETCH'), `the process ring reads ${ring}`);
    await shoot(page, shotDir, 'spc_list.png');
  });

  await test('double clicks deactivate and activate a chart', async () => {
    const row = listItems(page, 'SPC_LIST_CHARTS').filter({ hasText: CHART }).first();
    await row.scrollIntoViewIfNeeded();
    await toggleByDoubleClick(CHART, false);
    await toggleByDoubleClick(CHART, true);
    await shoot(page, shotDir, 'spc_list_activated.png');
  });

  await test('View Chart opens the chart through batch selection', async () => {
    await listItems(page, 'SPC_LIST_CHARTS').filter({ hasText: CHART }).first().click();
    await button(page, 'SPC_LIST_VIEW').click();
    await wafers.waitFor({ timeout: 15000 });
    await button(page, 'WAFERS_OK').click();
    await spc.waitFor({ timeout: 15000 });
    await page.waitForFunction(() => Number(document.querySelector('[data-panel="SPC"] [data-constant="CHART"]')?.dataset.plots ?? 0) >= 11,
      null, { timeout: 15000 });
    const title = await spc.locator(':scope > .titlebar > .title').innerText();
    expect(title === 'RF_FWD Step Overshoot Maximum 1', `the chart window is titled ${title}`);
  });

  await test('the rule selection stores a changed rule', async () => {
    await button(page, 'SPC_RULES_BUTTON').click();
    const rules = dialog('SPC Rule Selection');
    await rules.waitFor({ timeout: 15000 });
    const boxes = rules.locator('input[type="checkbox"]');
    expect(await boxes.count() === 13, `the rule selection has ${await boxes.count()} boxes`);
    const before = await boxes.nth(2).isChecked();
    await boxes.nth(2).click();
    await page.waitForFunction(([w]) => {
      const t = [...document.querySelectorAll('.panel')].find((p) => p.querySelector(':scope > .titlebar > .title')?.textContent.startsWith('SPC Rule Selection'));
      return t?.querySelectorAll('input[type="checkbox"]')[2]?.checked === w;
    }, [!before], { timeout: 10000 });
    await shoot(page, shotDir, 'spc_rule_selection.png');
    await rules.locator('button', { hasText: 'Ok' }).click();
    await rules.waitFor({ state: 'detached', timeout: 15000 });
    // Opened again, the dialog starts from the stored rules.
    await button(page, 'SPC_RULES_BUTTON').click();
    await rules.waitFor({ timeout: 15000 });
    expect(await rules.locator('input[type="checkbox"]').nth(2).isChecked() === !before, 'rule 2a was not stored');
    await rules.locator('button', { hasText: 'Cancel' }).click();
    await rules.waitFor({ state: 'detached', timeout: 15000 });
  });

  await test('Edit Limits stores wider specification limits', async () => {
    await button(page, 'SPC_LIMITS_BUTTON').click();
    const limits = dialog('Edit Limits');
    await limits.waitFor({ timeout: 15000 });
    const upper = field(limits, 'Upper Specification Limit'), lower = field(limits, 'Lower Specification Limit');
    const target = field(limits, 'Specification Target');
    const u = Number(await upper.inputValue()), l = Number(await lower.inputValue());
    expect(Number.isFinite(u) && Number.isFinite(l) && u > l, `the limits read ${u} and ${l}`);
    // Wider limits, centred about the target as the dialog requires.
    await upper.fill(String(u + 1));
    await upper.press('Enter');
    await lower.fill(String(l - 1));
    await lower.press('Enter');
    await target.fill(String((u + l) / 2));
    await target.press('Enter');
    // The switch is read once the program has taken the typed limits and its answer is on the page.
    await settled(page);
    const sigma = limits.locator('input[type="checkbox"]');
    expect(!(await sigma.isChecked()), 'a changed limit leaves the 3-sigma switch on');
    await shoot(page, shotDir, 'spc_edit_limits.png');
    await limits.locator('button', { hasText: /^OK$/ }).click();
    await limits.waitFor({ state: 'detached', timeout: 15000 });
    await button(page, 'SPC_LIMITS_BUTTON').click();
    await limits.waitFor({ timeout: 15000 });
    const again = Number(await field(limits, 'Upper Specification Limit').inputValue());
    expect(Math.abs(again - (u + 1)) < 1e-6, `the upper limit reads ${again}, not ${u + 1}`);
    await limits.locator('button', { hasText: 'Cancel' }).click();
    await limits.waitFor({ state: 'detached', timeout: 15000 });
    await button(page, 'SPC_CLOSE').click();
    await spc.waitFor({ state: 'detached', timeout: 15000 });
  });

  await test('Done closes the chart list', async () => {
    await button(page, 'SPC_LIST_DONE').click();
    await list.waitFor({ state: 'detached', timeout: 15000 });
  });

  // The acquisition ran 20 times faster; the slideshow's 3 s per chart are watched at the normal pace.
  await test('the program starts again at normal speed on the same working directory', async () => {
    page = await session.restartProgram();
    bind();
    await chart.waitFor({ timeout: 20000 });
  });

  const startShow = async () => {
    // The chart menus serve the strip chart: it comes to the front first.
    await chart.locator(':scope > .titlebar > .title').click();
    await pickMenu(top, 'Charts/Chart Slideshow');
    await spc.waitFor({ timeout: 15000 });
    await page.waitForFunction(() => document.querySelector('[data-panel="SPC"] > .titlebar > .title')?.textContent.length > 0,
      null, { timeout: 15000 });
  };
  const titleOf = () => spc.locator(':scope > .titlebar > .title').innerText();

  await test('the slideshow shows the charts one after another and closes after the last', async () => {
    await startShow();
    const text = (await button(page, 'SPC_CLOSE').innerText()).trim();
    expect(text === 'Stop', `the toggle reads ${text}`);
    const dimmed = await control(page, 'SPC_RULES_BUTTON').evaluate((el) => el.classList.contains('dimmed'));
    expect(dimmed, 'Run Rules... is not dimmed during the slideshow');
    const first = await titleOf();
    await shoot(page, shotDir, 'spc_slideshow.png');
    await page.waitForFunction((t) => {
      const now = document.querySelector('[data-panel="SPC"] > .titlebar > .title')?.textContent;
      return now && now !== t;
    }, first, { timeout: 15000 });
    await shoot(page, shotDir, 'spc_slideshow_next.png');
    await spc.waitFor({ state: 'detached', timeout: 60000 });
    // The window goes first and the menu comes back just after it: a loaded page may show the one before the other.
    await menuItem(top, 'Charts').locator('xpath=self::*[not(contains(concat(" ", @class, " "), " dimmed "))]')
      .waitFor({ state: 'attached', timeout: 15000 })
      .catch(() => { throw new Error('the Charts menu stays dimmed after the slideshow'); });
  });

  await test('Stop ends the slideshow after the chart on show', async () => {
    await startShow();
    // Every title the window shows from here on is noted, however briefly it stands, and the moment the toggle reads
    // "Stopping...": the program has taken the click then, whatever the page showed when it was made.
    await page.evaluate(() => {
      const spcWindow = document.querySelector('[data-panel="SPC"]');
      const title = spcWindow.querySelector(':scope > .titlebar > .title');
      const toggle = spcWindow.querySelector(':scope > .client > [data-constant="CLOSE"]');
      window.shownTitles = [title.textContent];
      // A title drawn again as it was is no new chart.
      new MutationObserver(() => {
        if (title.textContent !== window.shownTitles.findLast((t) => t !== '(stopping)')) window.shownTitles.push(title.textContent);
      }).observe(title, { childList: true, characterData: true, subtree: true });
      new MutationObserver(() => {
        if (toggle.textContent.includes('Stopping') && !window.shownTitles.includes('(stopping)')) window.shownTitles.push('(stopping)');
      }).observe(toggle, { childList: true, characterData: true, subtree: true });
    });
    await button(page, 'SPC_CLOSE').click();
    await spc.waitFor({ state: 'detached', timeout: 15000 });
    // The show ran on until the program took the click (on a loaded machine that may be a chart or two after the
    // one the click was made on), then no further chart came.
    const shown = await page.evaluate(() => window.shownTitles);
    const at = shown.indexOf('(stopping)');
    expect(at > 0, `the toggle never read Stopping... while the show ran (it showed ${shown.join(', ')})`);
    expect(at === shown.length - 1, `the slideshow went on after the stop to ${shown.slice(at + 1).join(', ')}`);
  });

  await test('the page raised no script errors', async () => {
    expect(session.pageErrors.length === 0, session.pageErrors.join('; '));
  });

  await test('SIGTERM ends the program with exit code 0', () => session.stopProgram());

  await session.done();
}

main().catch((e) => { console.error(e); session.finish(1); });

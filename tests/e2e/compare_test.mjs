// Browser test of the batch comparison: from the Charts menu an engineer defines the POR and TEST batches by
// their systems, ticks charts in the SPC chart list, picks 95 %, compares and reads PASS and FAIL per chart, saves
// the results and prints them to a new tab, ends the comparison, and reads the step set-point summary.
// Usage: node compare_test.mjs <bin directory> <platform/web directory> <screenshot directory> <make_demo_dir>
//        <setup file> <seed_compare_runs>
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { ProgramSession, expect, panelOf, control, button, listItems, pickMenu, shoot } from './harness.mjs';

const [binDir, webDir, shotDir, makeDemoDir, setupFile, seedRuns] = process.argv.slice(2);
const session = new ProgramSession({ binDir, edition: 'Vantrel', webDir, limitMs: 250000 });
const test = (name, body) => session.test(name, body);

async function main() {
  execFileSync(makeDemoDir, [setupFile, session.work], { stdio: 'inherit' });
  execFileSync(seedRuns, [session.work], { stdio: 'inherit' });
  session.start();
  const page = await session.openPage();

  const top = panelOf(page, 'TOP');
  const compare = panelOf(page, 'COMPARE');
  const wafers = panelOf(page, 'WAFERS');
  const list = panelOf(page, 'SPC_LIST');
  const level = panelOf(page, 'CONFIDENCE');
  const results = panelOf(page, 'POP');
  const steps = panelOf(page, 'MFC_SPEC');
  const popups = page.locator('.popup');
  const waitTicked = (label) => page.waitForFunction((l) => [...document.querySelectorAll('[data-panel="SPC_LIST"] [data-constant="CHARTS"] .list-item')]
    .some((r) => r.querySelector('.item-text')?.textContent.trim() === l && r.querySelector('input')?.checked), label, { timeout: 10000 });
  // Keeps only one system of the batch dialog opened by `opener` and presses its OK: the tick on the single system
  // ends "Select All" by itself.
  const batch = async (opener, system, title) => {
    await button(page, opener).click();
    await wafers.waitFor({ timeout: 15000 });
    expect((await wafers.locator('.titlebar .title').first().innerText()).trim() === title, `the dialog is not "${title}"`);
    await listItems(page, 'WAFERS_SYSTEM_LIST').filter({ hasText: system }).locator('input[type="checkbox"]').click();
    await page.waitForFunction((s) => [...document.querySelectorAll('[data-panel="WAFERS"] [data-constant="SYSTEM_LIST"] .list-item')]
      .some((r) => r.innerText.includes(s) && r.querySelector('input').checked), system, { timeout: 10000 });
    const all = listItems(page, 'WAFERS_SYSTEM_LIST').filter({ hasText: 'Select All' }).locator('input[type="checkbox"]');
    expect(!(await all.isChecked()), '"Select All" stays ticked after a single system was ticked');
    await button(page, 'WAFERS_OK').click();
    await wafers.waitFor({ state: 'detached', timeout: 15000 });
  };

  await test('Charts > Batch Comparison opens the comparison window', async () => {
    await top.waitFor({ timeout: 20000 });
    await pickMenu(top, 'Charts/Batch Comparison...');
    await compare.waitFor({ timeout: 15000 });
  });

  await test('the POR and TEST batches are chosen by system', async () => {
    await batch('COMPARE_POR', 'TOOL_A', 'Select POR Batches');
    await batch('COMPARE_TEST', 'TOOL_B', 'Select TEST Batches');
  });

  // Channels 4 and 6 have results in both batches; OES (channel 7) has none, which gives the short-batch line.
  const TICKED = ['PRESSURE Mean', 'DC_BIAS Mean', 'OES Mean'];
  const row = (label) => listItems(page, 'SPC_LIST_CHARTS').filter({ has: page.locator('.item-text', { hasText: new RegExp(`^${label}$`) }) });
  await test('Select SPC Charts opens the chart list with check boxes, and the charts are ticked', async () => {
    await button(page, 'COMPARE_CHARTS').click();
    await list.waitFor({ timeout: 15000 });
    const labels = (await listItems(page, 'SPC_LIST_CHARTS').allInnerTexts()).map((t) => t.trim());
    for (const label of TICKED) expect(labels.includes(label), `the list lacks ${label}: ${JSON.stringify(labels)}`);
    const boxes = await listItems(page, 'SPC_LIST_CHARTS').locator('input[type="checkbox"]').count();
    expect(boxes === labels.length, `${boxes} check boxes for ${labels.length} charts`);
    expect((await control(page, 'SPC_LIST_PROCESS').innerText()).includes('ETCH'), 'the list does not show the process ETCH');
    for (const label of TICKED) {
      const box = row(label).locator('input[type="checkbox"]');
      expect(await row(label).count() === 1, `${label} is listed ${await row(label).count()} times`);
      await box.scrollIntoViewIfNeeded();
      await box.click();
      // The box shows the tick once the program has taken it.
      await waitTicked(label);
    }
    const ticked = await listItems(page, 'SPC_LIST_CHARTS').evaluateAll((rows) => rows.filter((r) => r.querySelector('input')?.checked)
      .map((r) => r.querySelector('.item-text').textContent.trim()));
    expect(JSON.stringify(ticked) === JSON.stringify(TICKED), `ticked: ${JSON.stringify(ticked)}`);
    await shoot(page, shotDir, 'compare_chart_list.png');
    // Done brings the comparison back to the front; the list keeps its ticks.
    await button(page, 'SPC_LIST_DONE').click();
    await page.waitForFunction(() => {
      const z = (n) => Number(getComputedStyle(document.querySelector(`[data-panel="${n}"]`)).zIndex) || 0;
      return z('COMPARE') > z('SPC_LIST');
    }, null, { timeout: 15000 });
  });

  await test('the confidence level is set to 95%', async () => {
    await button(page, 'COMPARE_LEVEL').click();
    await level.waitFor({ timeout: 15000 });
    const ring = control(page, 'CONFIDENCE_LEVEL').locator('select');
    expect(await ring.inputValue() === '4', 'the dialog does not open at 99.9%');
    await ring.selectOption({ label: '95%' });
    await button(page, 'CONFIDENCE_OK').click();
    await level.waitFor({ state: 'detached', timeout: 15000 });
  });

  let lines = [];
  await test('Compare shows a FAIL and a PASS block and the short chart', async () => {
    await button(page, 'COMPARE_COMPARE').click();
    await results.waitFor({ timeout: 30000 });
    await page.locator('[data-panel="WAIT"]').waitFor({ state: 'detached', timeout: 30000 });
    expect((await results.locator('.titlebar .title').first().innerText()).trim() === 'Batch Comparison Results',
      'the results popup has another title');
    // Close is dimmed until the last chart is compared; the view dims the control's box, not its button.
    await page.waitForFunction(() => {
      const close = document.querySelector('[data-panel="POP"] > .client > [data-constant="CLOSE"]');
      return close && !close.classList.contains('dimmed');
    }, null, { timeout: 30000 });
    lines = (await listItems(page, 'POP_LINES').allInnerTexts()).map((l) => l.replace(/\s+/g, ' ').trim());
    const verdicts = lines.filter((l) => /POR mean - TEST mean (PASS|FAIL)$/.test(l));
    expect(verdicts.length === 3, `verdict lines: ${JSON.stringify(verdicts)}`);
    expect(/FAIL$/.test(verdicts[0]) && /PASS$/.test(verdicts[1]) && /FAIL$/.test(verdicts[2]),
      `verdicts in order: ${JSON.stringify(verdicts)}`);
    expect(lines.some((l) => /^The TEST mean is greater than the POR mean by 5\.000 \+\/- /.test(l)), 'no interpretation of the FAIL');
    expect(lines.some((l) => l === 'There is less than 95% confidence that there is a difference between the means.'),
      'no interpretation of the PASS');
    expect(lines.some((l) => l === 'Less than 3 points in TEST data. Cannot perform comparison.'), 'no short-batch line');
    expect(lines[0] === 'POR Systems:' && lines[1] === 'TOOL_A', `header: ${JSON.stringify(lines.slice(0, 3))}`);
    // PASS in green and FAIL in red, both in the verdict column to the right of the heading.
    const verdictSpans = await listItems(page, 'POP_LINES').locator('span.seg').evaluateAll((els) => els
      .filter((e) => e.textContent === 'PASS' || e.textContent === 'FAIL')
      .map((e) => `${e.textContent} ${getComputedStyle(e).color} ${e.style.left}`));
    expect(verdictSpans.includes('PASS rgb(0, 255, 0) 500px') && verdictSpans.includes('FAIL rgb(255, 0, 0) 500px'),
      `verdicts drawn as ${JSON.stringify(verdictSpans)}`);
    await shoot(page, shotDir, 'compare_results.png');
  });

  await test('Save writes the lines without codes into the chosen file', async () => {
    await pickMenu(results, 'File/Save...');
    const chooser = popups.filter({ hasText: 'Please enter a text file name.' });
    await chooser.waitFor({ timeout: 15000 });
    await chooser.locator('input.response').fill('RESULTS.TXT');
    await chooser.locator('.buttons button').first().click();
    await chooser.waitFor({ state: 'detached', timeout: 15000 });
    const file = path.join(session.work, 'RESULTS.TXT');
    await session.waitFor(() => fs.existsSync(file), 'the saved file', 15000);
    const text = fs.readFileSync(file, 'utf8');
    expect(!text.includes('\u001b'), 'the saved file holds in-line codes');
    expect(/POR mean - TEST mean FAIL\n/.test(text) && /POR mean - TEST mean PASS\n/.test(text), 'the verdicts are not saved');
  });

  await test('Print opens the printed lines in a new tab', async () => {
    const opened = session.context.waitForEvent('page', { timeout: 15000 });
    await pickMenu(results, 'File/Print');
    const tab = await opened;
    await tab.waitForURL(/PRINT\.TMP/, { timeout: 15000 });
    await tab.waitForLoadState('load', { timeout: 15000 });
    const text = await tab.locator('body').innerText();
    expect(tab.url().includes('PRINT.TMP'), `the tab shows ${tab.url()}`);
    expect(text.includes('95% Confidence Interval = ('), `the printout reads ${JSON.stringify(text.slice(0, 200))}`);
    await tab.close();
    await page.bringToFront();
  });

  await test('Close and Done end the comparison', async () => {
    await button(page, 'POP_CLOSE').click();
    await results.waitFor({ state: 'detached', timeout: 15000 });
    await button(page, 'COMPARE_DONE').click();
    await compare.waitFor({ state: 'detached', timeout: 15000 });
  });

  await test('Configure > Step Channel Setup shows the step limit summary', async () => {
    await pickMenu(top, 'Configure/Step Channel Setup...');
    await steps.waitFor({ timeout: 15000 });
    const listed = (await listItems(page, 'MFC_SPEC_STEP_CHANNEL').allInnerTexts()).map((s) => s.trim());
    expect(JSON.stringify(listed) === JSON.stringify(['RF_FWD', 'GAS_A', 'GAS_B']), `step channels: ${JSON.stringify(listed)}`);
    await button(page, 'MFC_SPEC_SUMMARY').click();
    await results.waitFor({ timeout: 15000 });
    expect((await control(page, 'POP_HEADING').innerText()).includes('Summary for all channels which have the STEP data type.'),
      'no summary heading');
    const summary = (await listItems(page, 'POP_LINES').allInnerTexts()).map((l) => l.replace(/\s+/g, ' ').trim());
    expect(summary[0] === 'RF_FWD has 2 step(s).', `summary starts ${JSON.stringify(summary.slice(0, 3))}`);
    expect(summary.some((l) => l.startsWith('UNDERSHOOT MINIMUM:')), 'no undershoot minimum line');
    await shoot(page, shotDir, 'step_summary.png');
    await button(page, 'POP_CLOSE').click();
    await results.waitFor({ state: 'detached', timeout: 15000 });
    await button(page, 'MFC_SPEC_CANCEL').click();
    await steps.waitFor({ state: 'detached', timeout: 15000 });
  });

  await test('the page raised no script errors', async () => {
    expect(session.pageErrors.length === 0, `page errors: ${session.pageErrors.join('; ')}`);
  });
  await session.stopProgram();
  await session.done();
}

main().catch(async (e) => { console.error(e); await session.finish(1); });

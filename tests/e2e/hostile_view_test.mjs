// Browser test of what a person types or breaks: a path typed into File > Export outside the working, program
// and archive directories is refused (the archive directory is taken), and a damaged panel file is named on the
// page while the program goes on.
// Usage: node hostile_view_test.mjs <bin directory> <platform/web directory> <make_demo_dir> <setup file>
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { ProgramSession, expect, panelOf, pickMenu } from './harness.mjs';

const [binDir, webDir, makeDemoDir, setupFile] = process.argv.slice(2);
const session = new ProgramSession({ binDir, edition: 'Vantrel', webDir, limitMs: 200000 });
const test = (name, body) => session.test(name, body);
const REFUSAL = 'Choose a place in the working, program or archive directory.';

async function main() {
  execFileSync(makeDemoDir, [setupFile, session.work], { stdio: 'inherit' });
  const outside = path.join(session.root, 'outside');
  const archive = path.join(session.root, 'archive');
  fs.mkdirSync(outside);
  fs.mkdirSync(archive);
  fs.appendFileSync(path.join(session.progDir, 'VANTREL.INI'), `ARCHIVE = ${archive}\n`);
  fs.writeFileSync(path.join(session.progDir, 'panels', 'about_vt.uir'), '{"panels": [ {"resource": 1, ');
  session.start();
  const page = await session.openPage({ width: 1280, height: 720 });
  const top = panelOf(page, 'TOP');
  await top.waitFor({ timeout: 30000 });
  const popups = page.locator('.popup');

  await test('a typed path outside the working, program and archive directories is refused', async () => {
    await pickMenu(top, 'File/Export...');
    const chooser = popups.filter({ hasText: 'Export setup as...' });
    await chooser.waitFor({ timeout: 15000 });
    for (const typed of [path.join(outside, 'x.Vantrel'), '../x.Vantrel', '/tmp/x.Vantrel']) {
      await chooser.locator('input.response').fill(typed);
      await chooser.locator('.buttons button').first().click();
      await chooser.locator('.refusal', { hasText: REFUSAL }).waitFor({ timeout: 10000 });
      await chooser.locator('.refusal').evaluate((el) => { el.textContent = ''; });
    }
    expect(fs.readdirSync(outside).length === 0, `written outside: ${fs.readdirSync(outside)}`);
    // The archive directory is where runs reach a shared drive: taken.
    await chooser.locator('input.response').fill(path.join(archive, 'etch.Vantrel'));
    await chooser.locator('.buttons button').first().click();
    await chooser.waitFor({ state: 'detached', timeout: 15000 });
    await session.waitFor(() => fs.existsSync(path.join(archive, 'etch.Vantrel')), 'the export in the archive', 15000);
  });

  await test('a damaged panel file is named on the page and the program goes on', async () => {
    await pickMenu(top, 'Help/About Vantrel...');
    const said = page.locator('#load-errors', { hasText: 'about_vt.uir' });
    await said.waitFor({ timeout: 15000 });
    expect((await said.innerText()).includes('not valid'), `the page says ${await said.innerText()}`);
    await top.locator(':scope > div > .menubar').waitFor({ timeout: 5000 });
    await pickMenu(top, 'File/Export...');
    const chooser = popups.filter({ hasText: 'Export setup as...' });
    await chooser.waitFor({ timeout: 15000 });
    await chooser.locator('.buttons button').last().click();
    await chooser.waitFor({ state: 'detached', timeout: 15000 });
  });

  await test('the page keeps the latest 20 load errors, as the program does', async () => {
    const lines = page.locator('#load-errors > div');
    for (let tries = 0; tries < 30 && (await lines.count()) < 20; tries++) {
      const had = await lines.count();
      await pickMenu(top, 'Help/About Vantrel...');
      await page.waitForFunction((n) => document.querySelectorAll('#load-errors > div').length > n, had,
        { timeout: 15000 });
    }
    // Five more: each time the oldest goes.
    for (let i = 0; i < 5; i++) {
      await lines.first().evaluate((el) => { el.dataset.oldest = '1'; });
      await pickMenu(top, 'Help/About Vantrel...');
      await page.waitForFunction(() => !document.querySelector('#load-errors > div[data-oldest]') ||
        document.querySelectorAll('#load-errors > div').length > 20, null, { timeout: 15000 });
    }
    expect((await lines.count()) === 20, `${await lines.count()} load errors shown`);
  });

  await test('the page raised no script errors', async () => {
    expect(session.pageErrors.length === 0, session.pageErrors.join('; '));
  });
  await session.stopProgram();
  await session.done();
}

main().catch(async (e) => { console.error(e); await session.finish(1); });

// The live view in a real browser: the simulated host with the real plug-in and --ui 0,
// Debian's chromium driven by playwright-core, the plug-in driven by cuebridge-ctl over
// TCP as the controller service would. Checks that the page follows each change within a
// second, that a click on an item selects it in the host, and saves a screenshot.
//   node live-view.test.mjs <build-dir>
import { spawn, execFile } from 'node:child_process';
import { existsSync, mkdtempSync, mkdirSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { promisify } from 'node:util';
import assert from 'node:assert/strict';
import { chromium } from 'playwright-core';

const build = process.argv[2];
assert.ok(build, 'usage: node live-view.test.mjs <build-dir>');
// The page follows the host by itself: a generous deadline, since how fast it follows is the
// benchmark's to measure, and a loaded machine (a CI run building beside it) is slow.
const follow = { timeout: 10000 };

const work = mkdtempSync(join(tmpdir(), 'cuebridge-view-'));
const home = join(work, 'home');
mkdirSync(join(home, 'Library/Application Support/Ostrel/OstrelPluginService/PluginData'), { recursive: true });
const env = { ...process.env, HOME: home };

// The host, its console on stdin/stdout, and the view's URL from its stderr.
const host = spawn(join(build, 'bin/cuebridge-hostsim'),
  ['--plugin', join(build, 'lib/Cuebridge.so'), '--ui', '0'], { env });
let stderr = '';
host.stderr.on('data', (chunk) => { stderr += chunk; });
const answers = [];
let waiting = null;
let pending = '';
host.stdout.on('data', (chunk) => {
  pending += chunk;
  let newline;
  while ((newline = pending.indexOf('\n')) >= 0) {
    answers.push(JSON.parse(pending.slice(0, newline)));
    pending = pending.slice(newline + 1);
    if (waiting) waiting();
  }
});
async function ask(line) {
  host.stdin.write(line + '\n');
  while (answers.length === 0) await new Promise((resolve) => { waiting = resolve; });
  return answers.shift();
}
const ctl = (...args) => promisify(execFile)(join(build, 'bin/cuebridge-ctl'), ['--timeout-ms', '5000', ...args], { env });

async function viewUrl() {
  for (let i = 0; i < 100; ++i) {
    const match = /live view at (http:\/\/127\.0\.0\.1:\d+\/)/.exec(stderr);
    if (match) return match[1];
    await new Promise((resolve) => setTimeout(resolve, 50));
  }
  throw new Error('the host printed no view URL; stderr:\n' + stderr);
}

// A new, empty profile; flags that keep chromium off the (closed) network. Chromium also
// writes outside its profile (its crash-report folder): that goes under the throw-away home.
const browserEnv = { ...env, XDG_CONFIG_HOME: join(home, '.config'), XDG_CACHE_HOME: join(home, '.cache') };
const browser = await chromium.launchPersistentContext(join(work, 'chromium'), {
  executablePath: '/usr/bin/chromium',
  env: browserEnv,
  args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  viewport: { width: 1280, height: 900 },
});
try {
  const page = await browser.newPage();
  await page.goto(await viewUrl());
  await ctl('wait');
  await page.waitForSelector('#controller[data-state="listening"]', { timeout: 5000 });
  const selected = () => page.$$eval('.item.selected', (rows) => rows.map((r) => Number(r.dataset.id)));
  const hostSelection = async () => (await ask('state')).state.items.filter((i) => i.selected).map((i) => i.id);

  // NavigateCommand|Next: the page's selection moves to where the host's did.
  const before = await selected();
  await ctl('navigate', 'Next');
  await page.waitForFunction((ids) => {
    const now = [...document.querySelectorAll('.item.selected')].map((r) => Number(r.dataset.id));
    return JSON.stringify(now) !== JSON.stringify(ids);
  }, before, follow);
  assert.deepEqual(await selected(), await hostSelection());
  await page.waitForSelector('#log li[data-kind="selection"]', follow);

  // InfoPanelCommand|SetInfoColor: the swatch takes the colour, channel by channel.
  await ctl('info', 'SetInfoColor');
  await page.waitForSelector('#swatch[data-rgba="150,100,50,1"]', follow);

  // A menu command: it appears at the top of the log, from the plug-in.
  await ctl('command', '2004');
  await page.waitForFunction(() => {
    const top = document.querySelector('#log li[data-kind="command"]');
    return top && top.textContent.includes('2004') && top.textContent.includes('from plugin');
  }, null, follow);
  await page.waitForSelector('#controller[data-state="listening"]', follow);

  // A controller's script on the model: the composition panel follows the playhead, the
  // selection and the selected layer's transform values.
  await ctl('script', 'var c = app.project.item(2); c.openInViewer(); c.time = 1; var l = c.layer(1); ' +
    'l.selected = true; l.transform.opacity.setValue(40); c.time');
  await page.waitForFunction(() => document.querySelector('#comp-head').textContent.startsWith('Main Comp: 1.000 s'), null, follow);
  const transform = '#comp-layers li.selected[data-index="1"] .transform';
  await page.waitForFunction((sel) => /Opacity 40\b/.test(document.querySelector(sel)?.textContent ?? ''), transform, follow);

  // Each one-shot controller shows as a connection; repeats are one row, at the host's time,
  // with their count; the filter shows one kind.
  await ctl('script', 'for (var i = 0; i < 3; ++i) app.executeCommand(2006); 0');
  const repeated = '#log li[data-kind="command"][data-count="3"]';
  await page.waitForSelector(repeated, follow);
  assert.match(await page.textContent(repeated), /^\d\d:\d\d:\d\d\.\d{3}command2006 {2}from script ×3$/);
  await page.selectOption('#log-filter', 'connection');
  const kinds = await page.$$eval('#log li', (rows) => rows.map((r) => r.dataset.kind));
  assert.ok(kinds.length > 0 && kinds.every((k) => k === 'connection'), kinds.join());
  await page.selectOption('#log-filter', '');

  // A click on an item selects it alone in the host, as scripts see it too.
  await page.click('.item[data-id="4"]');
  await page.waitForSelector('.item.selected.active[data-id="4"]', follow);
  assert.deepEqual(await hostSelection(), [4]);
  const script = await ask('script var s = app.project.selection, ids = []; for (var i = 0; i < s.length; i++) ids.push(s[i].id); ids.join(",")');
  assert.equal(script.result, '4');

  // The script the page offers, run as it stands (in the host's default dialect), comes back
  // with its result and goes in the log.
  await page.$eval('#answer', (answer) => { answer.textContent = ''; });
  await page.click('#script-form button');
  await page.waitForFunction(() => document.querySelector('#answer').textContent !== '', null, follow);
  assert.match(await page.textContent('#answer'), /"ok":true.*"result":"Interview_B\.mov"/);
  await page.waitForSelector('#log li[data-kind="script"]', follow);

  // Eight tabs of one browser, past the six connections a browser gives one host: each one
  // loads, and each follows the next change.
  const tabs = [];
  for (let i = 0; i < 8; ++i) {
    const tab = await browser.newPage();
    await tab.goto(await viewUrl(), { timeout: 5000 });
    await tab.waitForSelector('body[data-updates]', { timeout: 5000 });
    tabs.push(tab);
  }
  const counts = await Promise.all(tabs.map((tab) => tab.evaluate(() => Number(document.body.dataset.updates))));
  await ctl('command', '2005');
  await Promise.all(tabs.map((tab, i) => tab.waitForFunction((n) => Number(document.body.dataset.updates) > n, counts[i], { timeout: 5000 })));
  for (const tab of tabs) await tab.close();

  assert.equal((await ask('state')).state.thread_violations.count, 0);
  mkdirSync(join(build, 'artifacts'), { recursive: true });
  await page.screenshot({ path: join(build, 'artifacts/live-view.png'), fullPage: true });
  assert.equal((await ask('quit')).ok, true);
  const code = await new Promise((resolve) => host.on('exit', resolve));
  assert.equal(code, 0, stderr);
  console.log('live view followed the host; screenshot: ' + join(build, 'artifacts/live-view.png'));
  await browser.close();
  assert.ok(existsSync(join(home, '.config/chromium')), 'chromium wrote its own folders outside the throw-away home');
} finally {
  await browser.close();
  host.kill();
  rmSync(work, { recursive: true, force: true });
}

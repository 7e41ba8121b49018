// The browser remote as a phone uses it, in Debian's Chromium driven by playwright-core: paired
// with the PIN `kelvo --remote-pin` prints, a tap on slot 1 heard at the sink, the blink and the
// countdown, Fade, a page switch made at the desk, and an honest banner when Kelvo stops
// answering (SIGSTOP), gone again by itself once it answers (SIGCONT).
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawn, spawnSync } from 'node:child_process';
import { mkdtempSync, copyFileSync, writeFileSync, mkdirSync, rmSync } from 'node:fs';
import { createRequire } from 'node:module';
import { createServer } from 'node:net';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

const require = createRequire(process.env.KELVO_NODE_MODULES + '/');
const { chromium } = require('playwright-core');

const fixtures = process.env.KELVO_FIXTURES_DIR;
const folder = mkdtempSync(join(tmpdir(), 'kelvo-browser-'));
const kelvo = join(folder, 'kelvo');
const env = { ...process.env, XDG_CONFIG_HOME: join(folder, 'config'), QT_QPA_PLATFORM: 'offscreen' };
let program;
let browser;
let page;

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
const run = (...args) => spawnSync(kelvo, args, { env, encoding: 'utf8', timeout: 5000 });
async function until(what, check, ms) {
  const end = Date.now() + ms;
  for (;;) {
    const value = await check();
    if (value) return value;
    if (Date.now() > end) assert.fail(`${what} within ${ms} ms`);
    await sleep(50);
  }
}
const freePort = () => new Promise((resolve) => {
  const server = createServer();
  server.listen(0, '127.0.0.1', () => { const { port } = server.address(); server.close(() => resolve(port)); });
});

before(async () => {
  copyFileSync(process.env.KELVO_BINARY, kelvo);
  spawnSync('chmod', ['+x', kelvo]);
  // Slot 1 a long tone; page 2 of the default show named "Act 2".
  writeFileSync(join(folder, 'Quorbel'), `"${fixtures}/tone_440_10s.wav","Tone A"\r\n"${fixtures}/wav44_stereo.wav","Tone B"\r\n`);
  writeFileSync(join(folder, 'Quorbel.kelvo'), JSON.stringify({ 'kelvo-show': 1, pages: [{ name: 'Page 1' },
    { name: 'Act 2', carts: [{ file: `${fixtures}/wav44_stereo.wav`, caption: 'Second act' }] }] }));
  const port = await freePort();
  mkdirSync(join(folder, 'config', 'kelvo'), { recursive: true });
  writeFileSync(join(folder, 'config', 'kelvo', 'kelvo.conf'), `[remote]\nenabled=true\nport=${port}\n`);
  program = spawn(kelvo, [], { env, stdio: 'ignore' });
  const pin = await until('a PIN from kelvo --remote-pin', () => {
    const answer = run('--remote-pin');
    return answer.status === 0 && /^\d{6}$/.test(answer.stdout.trim()) ? answer.stdout.trim() : null;
  }, 10000);
  browser = await chromium.launch({ executablePath: '/usr/bin/chromium', args: ['--no-sandbox'] });
  page = await browser.newPage({ viewport: { width: 400, height: 800 }, hasTouch: true });
  await page.goto(`http://127.0.0.1:${port}/`);
  await page.getByLabel('PIN').fill(pin);
  await page.getByRole('button', { name: 'Pair' }).click();
});

after(async () => {
  if (browser) await browser.close();
  if (program) { program.kill('SIGCONT'); program.kill('SIGTERM'); }
  await sleep(300);
  rmSync(folder, { recursive: true, force: true });
});

test('a wrong PIN is refused, the right one pairs', async () => {
  // before() paired with the right one: the carts are there, named by their captions.
  await page.getByRole('button', { name: 'Tone A' }).waitFor({ timeout: 5000 });
  await page.getByLabel('PIN').waitFor({ state: 'hidden', timeout: 2000 }); // paired: no PIN asked
  const other = await browser.newPage();
  await other.goto(page.url());
  await other.getByLabel('PIN').fill('000000' === run('--remote-pin').stdout.trim() ? '111111' : '000000');
  await other.getByRole('button', { name: 'Pair' }).click();
  await other.getByText('wrong PIN').waitFor({ timeout: 5000 });
  await other.close();
});

test('a tap on slot 1 is heard at the sink, and the page blinks and counts down', async () => {
  const recorder = spawn('parec', ['-d', 'test_null.monitor', '--raw', '--format=s16le', '--rate=44100', '--channels=2']);
  const chunks = [];
  recorder.stdout.on('data', (chunk) => chunks.push(chunk));
  try {
    await sleep(500);
    await page.getByRole('button', { name: 'Tone A' }).dispatchEvent('pointerdown');
    await until('Kelvo playing slot 1', () => run('--state').stdout.startsWith('1 '), 3000);
    const button = page.getByRole('button', { name: 'Tone A' });
    const colours = new Set();
    const remaining = new Set();
    // Over 2.5 s: the display shows whole seconds, so it changes at least twice.
    for (let i = 0; i < 12; i++) {
      colours.add(await button.getAttribute('class'));
      remaining.add(await page.locator('#remaining').textContent());
      await sleep(200);
    }
    assert.ok(colours.has('red') && colours.has('blue'), `blinks: ${[...colours]}`);
    assert.ok(remaining.size >= 2, `counts down: ${[...remaining]}`);
    assert.equal(await page.locator('#total').textContent(), '00.10');
  } finally {
    recorder.kill();
  }
  const samples = new Int16Array(Buffer.concat(chunks).buffer.slice(0));
  const loud = samples.filter((v) => Math.abs(v) > 3000).length;
  assert.ok(loud > 44100, `heard: ${loud} loud samples`);
});

test('Fade fades the cart out', async () => {
  await page.getByRole('button', { name: 'Fade' }).dispatchEvent('pointerdown');
  await until('the cart faded out', () => run('--state').stdout.startsWith('0 '), 5000);
  await until('the page at rest', async () => (await page.getByRole('button', { name: 'Tone A' }).getAttribute('class')) === '', 2000);
});

test('a page switch at the desk shows on the phone', async () => {
  assert.equal(run('--page', '2').status, 0);
  await page.getByText('Page 2 of 2: Act 2').waitFor({ timeout: 3000 });
  await page.getByRole('button', { name: 'Second act' }).waitFor({ timeout: 3000 });
  assert.equal(run('--page', '1').status, 0);
  await page.getByRole('button', { name: 'Tone A' }).waitFor({ timeout: 3000 });
});

test('Kelvo silent: "Connection lost" within 3 s, the carts disabled; back by itself', async () => {
  program.kill('SIGSTOP');
  const stopped = Date.now();
  await page.getByText('Connection lost').waitFor({ state: 'visible', timeout: 3000 });
  assert.ok(Date.now() - stopped <= 3000);
  assert.equal(await page.getByRole('button', { name: 'Tone A' }).isDisabled(), true);
  program.kill('SIGCONT');
  await page.getByText('Connection lost').waitFor({ state: 'hidden', timeout: 6000 });
  assert.equal(await page.getByRole('button', { name: 'Tone A' }).isDisabled(), false);
});

// For bench_media's browser table: pairs Debian's chromium with the remote at PORT using PIN,
// then for each line "tap" on standard input taps slot 1 for real (a touch) and prints when the
// page's pointerdown fired, on the monotonic clock in milliseconds (the page's wall clock mapped
// through this process's, which share the system's).
import { createRequire } from 'node:module';
import { createInterface } from 'node:readline';

const [port, pin, modules] = process.argv.slice(2);
const require = createRequire(modules + '/');
const { chromium } = require('playwright-core');

const browser = await chromium.launch({ executablePath: '/usr/bin/chromium', args: ['--no-sandbox'] });
const page = await browser.newPage({ viewport: { width: 400, height: 800 }, hasTouch: true });
await page.goto(`http://127.0.0.1:${port}/`);
await page.getByLabel('PIN').fill(pin);
await page.getByRole('button', { name: 'Pair' }).click();
const cart = page.locator('#carts button').first();
await cart.waitFor({ state: 'visible' });
await page.waitForFunction(() => !document.querySelector('#carts button').disabled);
await page.evaluate(() => {
  window.pressedAt = 0;
  document.querySelector('#carts button').addEventListener('pointerdown', () => {
    window.pressedAt = performance.timeOrigin + performance.now();
  }, { capture: true });
});
const box = await cart.boundingBox();
console.log('ready');
for await (const line of createInterface({ input: process.stdin })) {
  if (line !== 'tap') break;
  await page.waitForFunction(() => !document.querySelector('#carts button').disabled);
  await page.touchscreen.tap(box.x + box.width / 2, box.y + box.height / 2);
  const wall = await page.evaluate(() => window.pressedAt);
  // Wall clock to monotonic: this process reads both at once.
  const offset = Number(process.hrtime.bigint()) / 1e6 - (performance.timeOrigin + performance.now());
  console.log((wall + offset).toFixed(3));
}
await browser.close();

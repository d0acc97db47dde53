// Measures how long the Conversations page takes to show its first screen on a phone with
// 100,000 messages, and how long a jump to the middle of the list takes to draw. Prints the
// numbers; run it by hand (`node first-screen.mjs`) with ZENTRO_BIN and ZENTRO_PHONE_BIN set.
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { chromium } from 'playwright-core';
import { startPhone, startUi, stop } from './harness.mjs';

const count = Number(process.env.MESSAGES || 100000);
const scenario = path.join(fs.mkdtempSync(path.join(os.tmpdir(), 'zentro-first-')), 'phone.json');
fs.writeFileSync(scenario, JSON.stringify({ devices: [{ sizes: { messages: count, contacts: 200 } }] }));
const phone = await startPhone(process.env.ZENTRO_PHONE_BIN, ['--scenario', scenario]);
const ui = await startUi(process.env.ZENTRO_BIN, phone.adbPort);
const browser = await chromium.launch({ executablePath: '/usr/bin/chromium', args: ['--no-sandbox'] });
try {
  const page = await browser.newPage({ viewport: { width: 1280, height: 800 } });
  await page.goto(ui.url);
  await page.getByRole('button', { name: 'Prepare' }).click();
  await page.locator('td', { hasText: /^ready$/ }).waitFor({ timeout: 300000 }).catch(async (e) => {
    await page.screenshot({ path: '/tmp/ui-first-fail.png' });
    throw e;
  });
  let started = Date.now();
  await page.goto(`http://127.0.0.1:${ui.port}/#messages`);
  await page.locator('.pane-list .vrow').first().waitFor({ timeout: 600000 });
  const first = Date.now() - started;
  const conversations = await page.locator('.pane-list .sub').first().textContent();
  await page.locator('.pane-list .vrow').first().click();
  started = Date.now();
  await page.locator('.pane-detail .vrow').first().waitFor();
  const open = Date.now() - started;
  started = Date.now();
  await page.locator('.pane-detail .vlist').evaluate((n) => { n.scrollTop = n.scrollHeight / 2; });
  await page.locator('.pane-detail .vrow').first().waitFor();
  const jump = Date.now() - started;
  const rows = await page.locator('.vrow').count();
  console.log(`${count} messages: first screen ${first} ms; open a conversation ${open} ms; ` +
    `jump to its middle ${jump} ms; ${rows} rows in the page (${conversations})`);
} finally {
  await browser.close();
  await stop(ui.child);
  phone.child.stdin.end();
}

// zentro ui in a real browser (Debian's chromium) against the virtual phone, as a user runs it.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import crypto from 'node:crypto';
import { chromium } from 'playwright-core';
import { startPhone, startUi, stop, control, rawRequest } from './harness.mjs';

const zentro = process.env.ZENTRO_BIN;
const phoneBin = process.env.ZENTRO_PHONE_BIN;
const shots = process.env.ZENTRO_UI_SHOTS || path.resolve('ui-screenshots');
const serial = 'ZX1G22ABCD000000';
let phone, ui, browser, page;

const shot = (name) => page.screenshot({ path: path.join(shots, `${name}.png`) });
const go = async (name) => { await page.goto(`http://127.0.0.1:${ui.port}/#${name}`); };

before(async () => {
  fs.mkdirSync(shots, { recursive: true });
  phone = await startPhone(phoneBin, ['--devices', '1', '--seed', '7']);
  ui = await startUi(zentro, phone.adbPort);
  browser = await chromium.launch({ executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    args: ['--no-sandbox', '--disable-gpu'] });
  page = await (await browser.newContext({ acceptDownloads: true, viewport: { width: 1280, height: 800 } })).newPage();
});

after(async () => {
  await browser?.close();
  if (ui) {
    const code = await stop(ui.child);
    fs.rmSync(ui.home, { recursive: true, force: true });
    assert.equal(code, 0, 'Ctrl-C ends zentro ui cleanly');
  }
  if (phone) phone.child.stdin.end();
});

test('only this page, with the token, from 127.0.0.1 gets in', async () => {
  const host = `127.0.0.1:${ui.port}`;
  const cases = [
    [{ path: '/' }, 403, 'no token'],
    [{ path: '/?token=0000' }, 403, 'wrong token'],
    [{ path: `/?token=${ui.token}`, headers: { Host: `evil.example:${ui.port}` } }, 403, 'rebound host name'],
    [{ path: '/api/phones', headers: { Cookie: `zentro-token=${ui.token}` } }, 200, 'cookie'],
    [{ method: 'POST', path: '/api/cancel', headers: { Cookie: `zentro-token=${ui.token}`, Origin: 'http://evil.example' } }, 403, 'other origin'],
    [{ method: 'POST', path: '/api/cancel', headers: { Cookie: `zentro-token=${ui.token}` } }, 403, 'POST without origin'],
    [{ method: 'OPTIONS', path: '/api/phones', headers: { Cookie: `zentro-token=${ui.token}`, Origin: `http://${host}` } }, 405, 'preflight'],
  ];
  for (const [request, status, why] of cases) {
    const res = await rawRequest(ui.port, request);
    assert.equal(res.status, status, why);
    assert.equal(res.headers['access-control-allow-origin'], undefined, `${why}: no CORS`);
  }
  const first = await rawRequest(ui.port, { path: `/?token=${ui.token}` });
  assert.equal(first.status, 303);
  assert.match(first.headers['set-cookie'][0], /HttpOnly; SameSite=Strict/);
  assert.match(first.headers['content-security-policy'], /script-src 'self'/);
});

test('phones are listed live and prepared', async () => {
  await page.goto(ui.url);
  assert.equal(new URL(page.url()).search, '', 'the token leaves the address bar');
  const row = page.locator(`tr[data-serial="${serial}"]`);
  await row.waitFor();
  await row.getByRole('button', { name: 'Prepare' }).click();
  await row.getByText('ready').waitFor({ timeout: 30000 });
  await shot('phones');

  const added = 'ZX1G22NEWPHONE01';
  const asked = Date.now();
  assert.match(await control(phone.controlPort, `add ${added}`), /ok/);
  await page.locator(`tr[data-serial="${added}"]`).waitFor({ timeout: 2000 });
  assert.ok(Date.now() - asked <= 2000);
  await control(phone.controlPort, `remove ${added}`);
  await page.locator(`tr[data-serial="${added}"]`).waitFor({ state: 'detached', timeout: 2000 });
});

test('conversations: open, search, send (as text, never markup)', async () => {
  await go('messages');
  const first = page.locator('.pane-list .vrow').first();
  await first.waitFor({ timeout: 30000 });
  await first.click();
  const bodies = page.locator('.pane-detail .vrow .body');
  await bodies.first().waitFor();
  const word = (await bodies.first().textContent()).split(/\s+/).find((w) => w.length >= 4);
  await page.getByLabel('Search in this conversation').fill(word);
  await page.waitForTimeout(600);
  const found = await bodies.allTextContents();
  assert.ok(found.length > 0 && found.every((b) => b.toLowerCase().includes(word.toLowerCase())), `search for ${word}`);
  await shot('messages');

  const body = `<b id="injected">hello</b> ${crypto.randomUUID().slice(0, 8)}`;
  await page.getByLabel('Number').fill('+15550100');
  await page.getByLabel('Message', { exact: true }).fill(body);
  await page.getByRole('button', { name: 'Send' }).click();
  await page.getByText('sent to +15550100').waitFor();
  const log = await control(phone.controlPort, `log ${serial}`);
  assert.ok(log.includes(Buffer.from(body).toString('hex').toUpperCase()), 'the phone got the message');

  await page.getByLabel('Search conversations').fill('+15550100');
  await page.locator('.pane-list .vrow', { hasText: '+15550100' }).click();
  await page.locator('.pane-detail .vrow .body', { hasText: body }).waitFor();
  assert.equal(await page.locator('#injected').count(), 0, 'phone text is never markup');
});

test('contacts: add one and find it', async () => {
  await go('contacts');
  const name = `Ada Test ${Date.now() % 10000}`;
  await page.getByLabel('Name', { exact: true }).fill(name);
  await page.getByLabel('Mobile number').fill('+15550199');
  await page.getByRole('button', { name: 'Add contact' }).click();
  await page.getByText(`added ${name}`).waitFor();
  await page.getByLabel('Search contacts').fill(name);
  await page.locator('.vrow', { hasText: name }).waitFor();
  await page.locator('.vrow').nth(1).waitFor({ state: 'detached' }); // only the match is left
  await shot('contacts');
});

test('photos: upload through the file input, listed with its size, downloaded byte for byte', async () => {
  await go('photos');
  await page.locator('.tile').first().waitFor({ timeout: 30000 });
  const bytes = crypto.randomBytes(150000);
  const name = `upload-${Date.now()}.jpg`;
  await page.locator('input[type=file]').setInputFiles({ name, mimeType: 'image/jpeg', buffer: bytes });
  const tile = page.locator(`.tile[data-name="${name}"]`);
  await tile.waitFor({ timeout: 30000 });
  assert.equal(await tile.locator('.size').textContent(), '146.5 KiB');
  await shot('photos');
  const [download] = await Promise.all([page.waitForEvent('download'), tile.getByText('Download').click()]);
  const saved = path.join(shots, 'downloaded.bin');
  await download.saveAs(saved);
  assert.ok(bytes.equals(fs.readFileSync(saved)), 'the download is the uploaded file');
  fs.rmSync(saved);
});

test('backup starts, shows progress and cancels', async () => {
  // Slow replies keep the backup running long enough to be cancelled.
  await control(phone.controlPort, `fault ${serial} * {"kind":"None","delayMs":40}`);
  await go('backup');
  await page.getByRole('button', { name: 'Start backup' }).click();
  await page.locator('tr[data-kind="messages"] td', { hasText: 'running' }).waitFor();
  await shot('backup');
  await page.getByRole('button', { name: 'Cancel' }).click();
  await page.locator('body[data-backup="cancelled"]').waitFor({ state: 'attached', timeout: 20000 });
  await control(phone.controlPort, `clearfaults ${serial}`);
});

test('every other page shows the phone', async () => {
  for (const [name, ready] of [['calls', '.vrow'], ['calendar', 'tbody tr'], ['apps', 'tbody tr td:nth-child(2)'],
    ['music', '.tile, .grid p'], ['videos', '.tile, .grid p']]) {
    await go(name);
    await page.locator(ready).first().waitFor({ timeout: 30000 });
    await shot(name);
  }
});

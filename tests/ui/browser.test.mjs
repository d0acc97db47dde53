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
const status = (text) => page.locator('#status', { hasText: text }).waitFor({ timeout: 30000 });
// Every reply of the phone delayed while `body` runs, and prompt again however it ends, so one
// failure does not slow the tests after it.
async function slowed(delayMs, body) {
  await control(phone.controlPort, `fault ${serial} * {"kind":"None","delayMs":${delayMs}}`);
  try {
    await body();
  } finally {
    await control(phone.controlPort, `clearfaults ${serial}`);
  }
}
const phoneLog = async (text) => (await control(phone.controlPort, `log ${serial}`))
  .includes(Buffer.from(text).toString('hex').toUpperCase());
async function download(link) {
  const [file] = await Promise.all([page.waitForEvent('download'), link.click()]);
  const saved = path.join(shots, 'downloaded.bin');
  await file.saveAs(saved);
  const bytes = fs.readFileSync(saved);
  fs.rmSync(saved);
  return bytes;
}
// A drop as the browser delivers one: a DataTransfer holding the file.
const drop = (name, bytes) => page.evaluate(([n, data]) => {
  const files = new DataTransfer();
  files.items.add(new File([new Uint8Array(data)], n));
  document.querySelector('.drop').dispatchEvent(new DragEvent('drop', { dataTransfer: files, bubbles: true, cancelable: true }));
}, [name, [...bytes]]);

before(async () => {
  fs.mkdirSync(shots, { recursive: true });
  phone = await startPhone(phoneBin, ['--devices', '1', '--seed', '7']);
  ui = await startUi(zentro, phone.adbPort);
  browser = await chromium.launch({ executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    args: ['--no-sandbox', '--disable-gpu'] });
  page = await (await browser.newContext({ acceptDownloads: true, viewport: { width: 1280, height: 800 } })).newPage();
  page.on('dialog', (dialog) => dialog.accept());
});

after(async () => {
  if (ui?.child.exitCode === null) ui.child.kill('SIGKILL'); // the last test stops it, unless it failed
  await browser?.close();
  if (ui) fs.rmSync(ui.home, { recursive: true, force: true });
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
  await page.getByRole('button', { name: 'Pair over WiFi' }).click();
  const qr = page.locator('img.qr');
  await qr.waitFor();
  // decode() waits for the image and fails if it is none (waitForFunction would poll through
  // eval, which the page's policy refuses once the first check comes too early).
  assert.ok(await qr.evaluate(async (img) => { await img.decode(); return img.naturalWidth >= 21 && img.naturalWidth === img.naturalHeight; }),
    'the QR image decodes');
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
  await page.locator(`input[data-shown=${JSON.stringify(word)}]`).waitFor();
  const found = await bodies.allTextContents();
  assert.ok(found.length > 0 && found.every((b) => b.toLowerCase().includes(word.toLowerCase())), `search for ${word}`);
  await shot('messages');

  const body = `<b id="injected">hello</b> ${crypto.randomUUID().slice(0, 8)}`;
  await page.getByLabel('Number').fill('+15550100');
  await page.getByLabel('Message', { exact: true }).fill(body);
  await page.getByRole('button', { name: 'Send' }).click();
  await page.getByText('sent to +15550100').waitFor();
  assert.ok(await phoneLog(body), 'the phone got the message');

  await page.getByLabel('Search conversations').fill('+15550100');
  await page.locator('.pane-list .vrow', { hasText: '+15550100' }).click();
  await page.locator('.pane-detail .vrow .body', { hasText: body }).waitFor();
  assert.equal(await page.locator('#injected').count(), 0, 'phone text is never markup');
});

test('contacts: add one, find it, change one field', async () => {
  await go('contacts');
  const name = `Ada Test ${Date.now() % 10000}`;
  await page.getByLabel('Name', { exact: true }).fill(name);
  await page.getByLabel('Mobile number').fill('+15550199');
  await page.getByRole('button', { name: 'Add contact' }).click();
  await page.getByText(`added ${name}`).waitFor();
  await page.getByLabel('Search contacts').fill(name);
  await page.locator('.vrow', { hasText: name }).waitFor();
  await page.locator('.vrow').nth(1).waitFor({ state: 'detached' }); // only the match is left
  await page.locator('.vrow', { hasText: name }).click();
  const nickname = `Nick${Date.now() % 10000}`;
  await page.getByLabel('Field').selectOption('nickname');
  await page.getByLabel('New value').fill(nickname);
  await page.getByRole('button', { name: 'Change' }).click();
  await status('changed nickname');
  await page.locator('.card td', { hasText: nickname }).waitFor();
  assert.ok(await phoneLog(nickname), 'the phone got the change');
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
  assert.ok(bytes.equals(await download(tile.getByText('Download'))), 'the download is the uploaded file');
  await tile.getByRole('button', { name: 'Delete' }).click();
  await tile.waitFor({ state: 'detached', timeout: 30000 });

  // Slow chunks keep the upload running long enough to be cancelled from the progress bar.
  const slow = `cancelled-${Date.now()}.jpg`;
  await slowed(100, async () => {
    await page.locator('input[type=file]').setInputFiles({ name: slow, mimeType: 'image/jpeg', buffer: crypto.randomBytes(3 << 20) });
    const cancel = page.locator('.progress-line').getByRole('button', { name: 'Cancel' });
    await cancel.waitFor({ timeout: 30000 });
    await cancel.click();
    await status('the upload was cancelled');
  });
  await page.getByText('Nothing here yet.').or(page.locator('.tile').first()).waitFor();
  assert.equal(await page.locator(`.tile[data-name="${slow}"]`).count(), 0, 'a cancelled upload is not listed');
});

test('apps: install by dropping an .apk, export it, uninstall it', async () => {
  await go('apps');
  await page.locator('tbody tr td:nth-child(2)').first().waitFor({ timeout: 30000 });
  const pkg = `com.example.dropped${Date.now() % 10000}`;
  const apk = Buffer.concat([Buffer.from(`package=${pkg}\n`), crypto.randomBytes(5000)]);
  await drop('dropped.apk', apk);
  const row = page.locator('tbody tr', { hasText: pkg });
  await row.waitFor({ timeout: 30000 });
  await shot('apps');
  assert.ok(apk.equals(await download(row.getByText('Export'))), 'the export is the installed package');
  await row.getByRole('button', { name: 'Uninstall' }).click();
  await row.waitFor({ state: 'detached', timeout: 30000 });
  await drop('notes.txt', Buffer.from('package=com.example.no\n'));
  await status('only .apk files can be installed');
});

test('calendar: an event added with the date picker shows in its month only', async () => {
  await go('calendar');
  await page.locator('tbody tr').first().waitFor({ timeout: 30000 });
  const title = `Dentist ${Date.now() % 10000}`;
  await page.getByLabel('Title').fill(title);
  await page.getByLabel('Start').fill('2027-03-14T10:00');
  await page.getByLabel('End').fill('2027-03-14T11:30');
  await page.getByRole('button', { name: 'Add event' }).click();
  const row = page.locator('tbody tr', { hasText: title });
  await row.waitFor({ timeout: 30000 });
  assert.equal(await page.getByLabel('Month').inputValue(), '2027-03');
  assert.match(await row.textContent(), /^2027-03-14 10:00/);
  await shot('calendar');
  await page.getByLabel('Month').fill('2027-04');
  await row.waitFor({ state: 'detached' });
});

test('backup starts, shows progress and cancels', async () => {
  // Slow replies keep the backup running long enough to be cancelled.
  await slowed(40, async () => {
    await go('backup');
    await page.getByRole('button', { name: 'Start backup' }).click();
    await page.locator('tr[data-kind="messages"] td', { hasText: 'running' }).waitFor();
    // The kind's own bar moves while it is read (its maximum is the phone's count until it ends).
    const bar = page.locator('tr[data-kind="messages"] progress');
    const moving = () => bar.evaluate((b) => b.max > 1 && b.value > 0);
    for (let i = 0; i < 100 && !(await moving()); i++) await page.waitForTimeout(100);
    assert.ok(await moving(), 'the messages bar moves during the reading');
    await shot('backup');
    await page.locator('#page').getByRole('button', { name: 'Cancel' }).click();
    await page.locator('body[data-backup="cancelled"]').waitFor({ state: 'attached', timeout: 20000 });
  });
});

test('restore: preview, add back only what the phone lacks, cancel', async () => {
  await go('backup');
  await page.getByRole('button', { name: 'Start backup' }).click();
  await page.locator('body[data-backup="done"]').waitFor({ state: 'attached', timeout: 120000 });
  await go('contacts');
  await page.getByRole('button', { name: 'Delete all contacts' }).click();
  await page.locator('.vrow').first().waitFor({ state: 'detached', timeout: 30000 });

  await go('restore');
  await page.locator('select[aria-label="Backup to restore"] option').first().waitFor({ state: 'attached' });
  const plan = (kind) => page.locator(`tr[data-kind="${kind}"] td`).first();
  const preview = async () => {
    await page.evaluate(() => delete document.body.dataset.restore);
    await page.getByRole('button', { name: 'Preview' }).click();
    await page.locator('body[data-restore="previewed"]').waitFor({ state: 'attached', timeout: 60000 });
  };
  await preview();
  const missing = Number((await plan('contacts').textContent()).match(/^(\d+) would be added/)[1]);
  assert.ok(missing > 0, 'the deleted contacts would come back');
  assert.match(await plan('calls').textContent(), /^0 would be added, [1-9]/);
  await page.getByRole('button', { name: 'Restore' }).click();
  await page.locator('body[data-restore="done"]').waitFor({ state: 'attached', timeout: 120000 });
  assert.match(await page.locator('tr[data-kind="contacts"] td').last().textContent(), new RegExp(`^${missing} added`));
  await shot('restore');
  await preview();
  assert.match(await plan('contacts').textContent(), new RegExp(`^0 would be added, ${missing} already there`));

  await slowed(40, async () => {
    await page.getByRole('button', { name: 'Restore' }).click();
    await page.locator('tr[data-kind="contacts"] td', { hasText: 'running' }).waitFor();
    await page.locator('#page').getByRole('button', { name: 'Cancel' }).click();
    await page.locator('body[data-restore="cancelled"]').waitFor({ state: 'attached', timeout: 20000 });
  });
});

test('every other page shows the phone', async () => {
  for (const [name, ready] of [['calls', '.vrow'], ['music', '.tile, .grid p'], ['videos', '.tile, .grid p']]) {
    await go(name);
    await page.locator(ready).first().waitFor({ timeout: 30000 });
    await shot(name);
  }
});

test('a channel port forwarded by another adb server: zentro ui refuses to start', async () => {
  // The first phone's server forwards 30148 since Prepare; a second server has no forward there.
  const other = await startPhone(phoneBin, ['--devices', '1', '--seed', '8']);
  try {
    await assert.rejects(startUi(zentro, other.adbPort), /local port 30148 is held by another adb server/);
  } finally {
    other.child.stdin.end();
  }
});

test('Ctrl-C while the page waits for a slow phone ends zentro ui', { timeout: 60000 }, async () => {
  // The photo list keeps the one worker busy and the music list waits in its queue; stopping
  // drops the waiting job, and its request must still be answered, or the server waits for it
  // for ever.
  await slowed(300, async () => {
    const listing = page.waitForRequest(/\/media\/photos$/);
    await go('photos');
    await listing;
    const queued = page.waitForRequest(/\/media\/music$/);
    await page.evaluate((path) => { fetch(path).catch(() => {}); }, `/api/phones/0/media/music`);
    await queued;
    assert.equal(await stop(ui.child), 0);
  });
});

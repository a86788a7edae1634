// The operator console in headless Chromium against a real orvserv, the
// local Dovecot and aiosmtpd, and a tarnwick-sim database.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import * as h from './harness.mjs';

const why = h.unavailable();
if (why && process.env.CI) throw new Error(`browser tests cannot run: ${why}`);
const opts = { skip: why || false };

let b, gw, page, problems, db;

before(async () => {
  if (why) return;
  h.peers();
  db = h.makeDatabase();
  gw = await h.startGateway(db.db);
  b = await h.browser();
  ({ page, problems } = await h.openConsole(b, gw.url));
  await h.configureMail(page);
});

after(async () => {
  if (b) await b.close();
  if (gw) await gw.stop();
  h.stopPeers();
  if (db) fs.rmSync(db.dir, { recursive: true, force: true });
});

test('Do All against the local servers fills the categories and the lists', opts, async () => {
  const delivered = h.deliver();
  await h.menu(page, 'Actions', 'Do All');
  await page.waitForFunction(() => document.body.dataset.busy === '1' ||
    document.querySelector('#categories li[data-status="2"] .label').textContent.includes('('), null, { timeout: 20000 });
  await h.idle(page);
  await page.waitForFunction(() => /\(\d+\)/.test(document.querySelector('#categories li[data-status="2"] .label').textContent));
  const total = await page.evaluate(() => [...document.querySelectorAll('#categories .label')]
    .map((l) => Number((l.textContent.match(/\((\d+)\)$/) || [0, 0])[1])).reduce((a, n) => a + n, 0));
  assert.ok(total >= delivered, `every message became a log (${total} of ${delivered})`);
  assert.match(await h.categoryText(page, 0), /^Rejected \(1\)$/);
  await page.click('#categories li[data-status="2"]');
  await page.waitForSelector('#logs[data-listed="2"] tbody tr');
  const subjects = await page.$$eval('#logs tbody tr td:nth-child(2)', (tds) => tds.map((t) => t.textContent));
  assert.ok(subjects.includes('Leaking tap in room 12'), subjects.join(' | '));
  const received = await page.textContent('#logs tbody tr td:nth-child(4)');
  assert.match(received, /^\w{3} \d\d\/\d\d\/\d\d \d\d:\d\d$/);
  const diagnostics = await page.$$eval('#diagnostics tbody tr', (r) => r.length);
  assert.ok(diagnostics >= 0);
});

test('mail holding HTML and script is shown as text and runs nothing', opts, async () => {
  await page.click('#categories li[data-status="2"]');
  const row = page.locator('#logs tbody tr', { hasText: '<script>' });
  await row.first().waitFor();
  assert.match(await row.first().locator('td').nth(1).textContent(), /^<script>window.__xss=2<\/script><img src=x/);
  await row.first().click();
  await page.waitForFunction(() => document.querySelector('#message-text').textContent.includes('<script>'));
  await row.first().dblclick();
  await page.waitForSelector('#details-dialog[open]');
  assert.match(await page.inputValue('#details-text'), /<script>window.__xss=4<\/script>/);
  await page.click('#btn-details-ok');
  assert.equal(await page.evaluate(() => window.__xss), undefined);
  assert.equal(await page.locator('#logs img, #message-text img, #logs script').count(), 0);
  assert.deepEqual(problems, []);
});

test('a log\'s details show the three sections and the requestor mail target', opts, async () => {
  await page.click('#categories li[data-status="2"]');
  const row = page.locator('#logs tbody tr', { hasText: 'Leaking tap' }).first();
  await row.dblclick();
  await page.waitForSelector('#details-dialog[open]');
  const text = await page.inputValue('#details-text');
  for (const heading of ['REQUESTOR\n=====', 'REQUEST\n=====', 'ORIGINAL E-MAIL MESSAGE\n=====']) assert.ok(text.includes(heading), heading);
  assert.ok(text.indexOf('REQUESTOR') < text.indexOf('REQUEST\n') && text.indexOf('REQUEST\n') < text.indexOf('ORIGINAL'));
  assert.match(text, /Ada Lovelace/);
  const mailto = await page.evaluate(() => fetch('/api/log?key=' + document.querySelector('#logs tbody tr.selected, #logs tbody tr').dataset.key).then((r) => r.json()));
  assert.match(mailto.mailto, /^mailto:[^?]*\?subject=RE: /);
  await page.click('#btn-details-ok');
});

test('the message pane shows the row clicked last when an earlier reply comes back after it', opts, async () => {
  await page.click('#categories li[data-status="2"]');
  await page.waitForSelector('#logs[data-listed="2"] tbody tr:nth-child(2)');
  const [first, second] = await page.$$eval('#logs tbody tr', (r) => r.slice(0, 2).map((tr) => tr.dataset.key));
  const text = (key) => page.evaluate((k) => fetch('/api/log?key=' + k).then((r) => r.json()).then((d) => d.text), key);
  const [firstText, secondText] = [await text(first), await text(second)];
  assert.notEqual(firstText, secondText);
  let release;
  const held = new Promise((r) => { release = r; });
  const slow = `**/api/log?key=${first}`;
  await page.route(slow, async (route) => {
    const response = await route.fetch();
    await held;
    await route.fulfill({ response });
  });
  try {
    await page.click(`#logs tbody tr[data-key="${first}"]`);
    await page.click(`#logs tbody tr[data-key="${second}"]`);
    await page.waitForFunction((t) => document.querySelector('#message-text').textContent === t, secondText);
    const late = page.waitForResponse((r) => r.url().endsWith(`/api/log?key=${first}`));
    release();
    await late;
    await text(second);  // one more round trip: the late reply has been handled by now
  } finally {
    release();
    await page.unroute(slow);
  }
  assert.equal(await page.textContent('#message-text'), secondText);
});

// The number a category's label shows, 0 when it shows none.
const count = async (s) => Number(((await h.categoryText(page, s)).match(/\((\d+)\)/) || [0, 0])[1]);
const countIs = (s, n) => page.waitForFunction(([s, n]) => {
  const m = document.querySelector(`#categories li[data-status="${s}"] .label`).textContent.match(/\((\d+)\)/);
  return Number(m ? m[1] : 0) === n;
}, [s, n]);

// Drag and drop through the page's own drag events with one DataTransfer.
// Playwright's mouse-driven drag loses the drop on a loaded machine and
// leaves the browser in a drag that swallows every later click.
async function dragFirstRowTo(status) {
  const dt = await page.evaluateHandle(() => new DataTransfer());
  const target = `#categories li[data-status="${status}"]`;
  await page.dispatchEvent('#logs tbody tr:first-child', 'dragstart', { dataTransfer: dt });
  await page.dispatchEvent(target, 'dragover', { dataTransfer: dt });
  await page.dispatchEvent(target, 'drop', { dataTransfer: dt });
  await page.waitForSelector('#popup:not([hidden])');
}

test('dragging logs onto a category copies and moves them; Save and Delete', opts, async () => {
  await page.click('#categories li[data-status="2"]');
  await page.waitForSelector('#logs[data-listed="2"] tbody tr');
  const before = await page.$$eval('#logs tbody tr', (r) => r.length);

  const special = await count(6);
  await dragFirstRowTo(6);
  await page.click('#popup li:text-is("Copy here")');
  await countIs(6, special + 1);
  assert.equal(await page.$$eval('#logs tbody tr', (r) => r.length), before, 'a copy leaves the original');

  await dragFirstRowTo(3);
  await page.click('#popup li:text-is("Move here")');
  await page.waitForFunction((n) => document.querySelectorAll('#logs tbody tr').length === n - 1, before);
  assert.equal(await count(3), 1);

  // An answered status enquiry may have become Saved meanwhile: count on.
  const [saved, deleted] = [await count(7), await count(9)];
  await page.click('#categories li[data-status="3"]');
  await page.waitForSelector('#logs[data-listed="3"] tbody tr');
  await page.locator('#logs tbody tr').first().click({ button: 'right' });
  await page.click('#popup li:text-is("Save")');
  await answer(true);  // a Transferred row gets notices; a Saved one does not
  await countIs(7, saved + 1);

  await page.click('#categories li[data-status="7"]');
  await page.waitForSelector('#logs[data-listed="7"] tbody tr');
  await page.locator('#logs tbody tr').first().click({ button: 'right' });
  await page.click('#popup li:text-is("Delete")');
  await countIs(9, deleted + 1);

  await page.click('#categories li[data-status="9"]');
  await page.waitForSelector('#logs[data-listed="9"] tbody tr');
  await page.locator('#logs tbody tr').first().click({ button: 'right' });
  await page.click('#popup li:text-is("Delete")');
  // Deleting from Deleted is for good: the question comes first.
  assert.match(await page.textContent('#confirm-text'), /removed for good/);
  await answer(false);
  await page.waitForTimeout(300);
  assert.equal(await count(9), deleted + 1, 'No keeps the log');
  await page.locator('#logs tbody tr').first().click({ button: 'right' });
  await page.click('#popup li:text-is("Delete")');
  await answer(true);
  await countIs(9, deleted);
});

test('the rows a menu was opened for are the ones it acts on while an earlier command is still running', opts, async () => {
  await page.click('#categories li[data-status="2"]');
  await page.waitForSelector('#logs[data-listed="2"] tbody tr:nth-child(2)');
  const second = await page.getAttribute('#logs tbody tr:nth-child(2)', 'data-key');
  const [special, saved] = [await count(6), await count(7)];
  // The copy is done on the server at once; its reply reaches the page
  // only after the operator has opened a menu on another row.
  let release;
  const held = new Promise((r) => { release = r; });
  await page.route('**/api/logs', async (route) => {
    const r = route.request();
    if (r.method() !== 'POST' || r.postDataJSON().command !== 'copy') return route.continue();
    const response = await route.fetch();
    await held;
    await route.fulfill({ response });
  });
  try {
    await dragFirstRowTo(6);
    await page.click('#popup li:text-is("Copy here")');
    await page.locator('#logs tbody tr').nth(1).click({ button: 'right' });
    await page.waitForSelector('#popup:not([hidden]) li:text-is("Save")');
    release();
    await countIs(6, special + 1);
    await page.click('#popup li:text-is("Save")');
    await answer(true);
    await countIs(7, saved + 1);
  } finally {
    release();
    await page.unroute('**/api/logs');
  }
  // The second row, not the first, left the list for Saved.
  await page.waitForSelector(`#logs tbody tr[data-key="${second}"]`, { state: 'detached' });
});

test('Preferences shows 120 minutes as 2 hours and stores 3 days as 4320', opts, async () => {
  const cfg = path.join(db.db, '@Orvane', 'orvserv.cfg');
  await h.menu(page, 'Administration', 'Preferences');
  await page.fill('#interval-quantity', '120');
  await page.selectOption('#interval-unit', '1');
  await page.dispatchEvent('#interval-unit', 'change');
  // The change is stored in the background; reopen only once it is on disk,
  // and read the fields only once the sheet has loaded them again.
  await waitFor(() => fs.readFileSync(cfg, 'latin1').includes('[151] 120\r\n'));
  await page.click('#btn-settings-close');
  await page.waitForSelector('#settings-dialog', { state: 'hidden' });
  await h.menu(page, 'Administration', 'Preferences');
  await page.waitForSelector('#settings-dialog[open]');
  assert.equal(await page.inputValue('#interval-quantity'), '2');
  assert.equal(await page.inputValue('#interval-unit'), '60');
  await page.fill('#interval-quantity', '3');
  await page.selectOption('#interval-unit', '1440');
  await page.waitForFunction(() => document.querySelector('#preferences-error').textContent === '');
  await page.click('#btn-settings-close');
  await waitFor(() => fs.readFileSync(cfg, 'latin1').includes('[151] 4320\r\n'));
});

test('an invalid return address is refused at its position and not stored', opts, async () => {
  await h.menu(page, 'Administration', 'Preferences');
  await page.fill('#s155', 'gateway@example.org x');
  await page.dispatchEvent('#s155', 'change');
  await page.waitForFunction(() => document.querySelector('#preferences-error').textContent !== '');
  assert.equal(await page.textContent('#preferences-error'), "Invalid Return E-mail Address: 'gateway@example.org x' at position 19");
  await page.click('#btn-settings-close');
  const cfg = fs.readFileSync(path.join(db.db, '@Orvane', 'orvserv.cfg'), 'latin1');
  assert.ok(cfg.includes('[155] gateway@example.org\r\n'));
});

test('an account is added from the contacts, edited, disabled and deleted', opts, async () => {
  await h.menu(page, 'Administration', 'Accounts');
  const accounts = () => page.$$eval('#accounts tbody tr td:first-child', (t) => t.map((x) => x.textContent));
  const had = await accounts();
  await page.click('#btn-acc-add');
  await page.waitForSelector('#contacts-dialog[open] #contacts tbody tr');
  const names = await page.$$eval('#contacts tbody tr td:first-child', (t) => t.map((x) => x.textContent));
  const pick = names.find((n) => !had.includes(n));
  assert.ok(pick, 'a contact without an account');
  await page.click(`#contacts tbody tr:has(td:text-is("${pick}"))`);
  await page.click('#btn-contacts-ok');
  await page.waitForFunction((n) => [...document.querySelectorAll('#accounts tbody tr td:first-child')].some((t) => t.textContent === n), pick);

  await page.click(`#accounts tbody tr:has(td:text-is("${pick}"))`);
  await page.click('#btn-acc-edit');
  await page.waitForSelector('#account-dialog[open]');
  assert.match(await page.inputValue('#account-text'), new RegExp(pick.replace(/[()]/g, '.')));
  await page.uncheck('#acc-receive');
  await page.click('#btn-account-ok');
  await page.waitForSelector('#account-dialog', { state: 'hidden' });
  const detail = await page.evaluate(async (n) => {
    const rows = (await (await fetch('/api/accounts')).json()).rows;
    const key = rows.find((r) => r.name === n).key;
    return (await fetch('/api/account?key=' + key)).json();
  }, pick);
  assert.equal(detail.receive, false);

  await page.click(`#accounts tbody tr:has(td:text-is("${pick}"))`);
  await page.check('#acc-disabled');
  await waitFor(async () => (await page.evaluate(async (n) =>
    (await (await fetch('/api/accounts')).json()).rows.find((r) => r.name === n).disabled, pick)) === true);

  await page.click(`#accounts tbody tr:has(td:text-is("${pick}"))`);
  await page.click('#btn-acc-delete');
  await answer(true);
  await page.waitForFunction((n) => ![...document.querySelectorAll('#accounts tbody tr td:first-child')].some((t) => t.textContent === n), pick);
  await page.click('#btn-settings-close');
});

test('the About box shows the version and the database', opts, async () => {
  await h.menu(page, 'Help', 'About');
  await page.waitForSelector('#about-dialog[open]');
  assert.equal(await page.textContent('#about-caption'), 'About Tarnwick @Orvane');
  assert.match(await page.textContent('#about-1'), /^Version \d+\.\d+\.\d+\.\d+$/);
  assert.equal(await page.textContent('#about-4'), `Tarnwick Database: ${db.db}`);
  await page.click('#btn-about-ok');
  await page.screenshot({ path: path.join(process.env.ORV_SCREENSHOT_DIR || db.dir, 'console.png') });
  assert.deepEqual(problems, []);
});

test('the manual is served under Help and nothing outside it', opts, async () => {
  const index = await page.evaluate(() => fetch('/help/Index.htm').then((r) => r.status));
  assert.equal(index, 200);
  const escape = await page.evaluate(() => fetch('/help/%2e%2e/msg0000.txt').then((r) => r.status));
  assert.equal(escape, 404);
});

const cfgPath = () => path.join(db.db, '@Orvane', 'orvserv.cfg');
const cfgText = () => fs.readFileSync(cfgPath(), 'latin1');
// A POST with the page's own token, as the page sends it.
const post = (url, body) => page.evaluate(([u, b]) => fetch(u, {
  method: 'POST', body: JSON.stringify(b),
  headers: { 'Content-Type': 'application/json', 'X-Orvane-Token': document.querySelector('meta[name="orv-token"]').content },
}).then((r) => r.json()), [url, body]);

test('no API answer carries a password; the E-mail page shows it only as set, and replaces or clears it', opts, async () => {
  const secret = h.peers().ORV_POP3_PASSWORD;
  assert.ok(secret && secret.length >= 4);
  const scrambled = (cfgText().match(/\[104\] (.*)\r\n/) || [])[1];
  assert.ok(scrambled, 'the password is stored');
  // Every GET the page can make, with every key it can see.
  const bodies = await page.evaluate(async () => {
    const get = async (u) => [u, await (await fetch(u)).text()];
    const out = [];
    for (const u of ['/api/session', '/api/state?notices=0&diagnostics=-1', '/api/about', '/api/settings',
      '/api/accounts', '/api/contacts', '/api/account?key=0']) out.push(await get(u));
    for (let s = 0; s < 10; s++) {
      const [u, text] = await get('/api/logs?status=' + s);
      out.push([u, text]);
      for (const r of JSON.parse(text).rows) out.push(await get('/api/log?key=' + r.key));
    }
    for (const r of JSON.parse(out.find(([u]) => u === '/api/accounts')[1]).rows) out.push(await get('/api/account?key=' + r.key));
    return out;
  });
  assert.ok(bodies.length > 15);
  for (const [u, text] of bodies) {
    assert.ok(!text.includes(secret), `${u} holds the password`);
    assert.ok(!text.includes(scrambled), `${u} holds the stored password`);
  }
  const email = JSON.parse(bodies.find(([u]) => u === '/api/settings')[1]).email;
  assert.deepEqual(email.find((f) => f.setting === 104), { setting: 104, label: 'Password:', kind: 'secret', set: true });

  await h.menu(page, 'Administration', 'E-Mail');
  assert.equal(await page.inputValue('#s104'), '');
  assert.equal(await page.textContent('#s104-state'), 'Set');
  await page.click('#s104-clear');
  await page.waitForFunction(() => document.querySelector('#s104-state').textContent === 'Not set');
  await waitFor(() => cfgText().includes('[104] \r\n'));
  await page.fill('#s104', secret);
  await page.dispatchEvent('#s104', 'change');
  await page.waitForFunction(() => document.querySelector('#s104-state').textContent === 'Set');
  assert.equal(await page.inputValue('#s104'), '', 'a stored secret does not stay in the page');
  await waitFor(() => cfgText().includes(`[104] ${scrambled}\r\n`));
  await page.click('#btn-settings-close');
});

test('mail security settings are stored from the E-mail page, the SMTP password never comes back, and Test connection shows its steps', opts, async () => {
  const env = h.peers();
  const secret = 'smtp-Secret-4711';
  await h.menu(page, 'Administration', 'E-Mail');
  await page.selectOption('#s323', 'starttls');
  await waitFor(() => cfgText().includes('[323] starttls\r\n'));
  await page.fill('#s326', secret);
  await page.dispatchEvent('#s326', 'change');
  await page.waitForFunction(() => document.querySelector('#s326-state').textContent === 'Set');
  assert.equal(await page.inputValue('#s326'), '');
  const scrambled = (cfgText().match(/\[326\] (.+)\r\n/) || [])[1];
  assert.ok(scrambled && !scrambled.includes(secret), 'stored scrambled');
  const text = await page.evaluate(() => fetch('/api/settings').then((r) => r.text()));
  assert.ok(!text.includes(secret) && !text.includes(scrambled), 'the settings answer holds no password');
  const fields = JSON.parse(text).email;
  assert.deepEqual(fields.find((f) => f.setting === 326), { setting: 326, label: 'SMTP password', kind: 'secret', set: true });
  assert.equal(fields.find((f) => f.setting === 323).value, 'starttls');
  assert.equal(fields.find((f) => f.setting === 323).group, undefined);
  assert.equal(fields.find((f) => f.setting === 102).group, 'Outgoing mail (SMTP)');

  // The local servers speak plain text: back to no encryption, and no
  // SMTP login. No encryption is a weaker way to send the SMTP password:
  // before anything is stored the page says that it will be cleared, and
  // No keeps both as they were.
  await page.selectOption('#s323', 'none');
  await page.waitForSelector('#confirm-dialog[open]');
  assert.match(await page.textContent('#confirm-text'), /enter them again:\s+SMTP password$/);
  await page.click('#btn-confirm-no');
  await page.waitForFunction(() => document.querySelector('#s323').value === 'starttls');
  assert.ok(cfgText().includes('[323] starttls\r\n') && cfgText().includes(`[326] ${scrambled}\r\n`));
  assert.equal(await page.textContent('#s326-state'), 'Set');
  await page.selectOption('#s323', 'none');
  await page.waitForSelector('#confirm-dialog[open]');
  await page.click('#btn-confirm-yes');
  await waitFor(() => cfgText().includes('[323] none\r\n'));
  await page.waitForFunction(() => document.querySelector('#s326-state').textContent === 'Not set');
  assert.ok(cfgText().includes('[326] \r\n'), 'the password went with its old connection');
  assert.match(await page.textContent('#email-error'), /enter them again: SMTP password$/);
  assert.equal(await page.inputValue('#s324'), 'none');
  await page.click('#btn-test-smtp');
  await page.waitForFunction(() => {
    const r = document.querySelector('#connection-test');
    return !r.hidden && r.textContent !== 'Testing...' && !document.querySelector('#btn-test-smtp').disabled;
  });
  assert.deepEqual((await page.textContent('#connection-test')).split('\n'),
    [`Connecting to ${env.ORV_SMTP_HOST}:${env.ORV_SMTP_PORT} (no encryption)`, 'Ready to send (no login)', 'Logged out']);
  await page.click('#btn-test-pop3');
  await page.waitForFunction(() => /Logged out|ERR|refused|failed/i.test(document.querySelector('#connection-test').textContent)
    && !document.querySelector('#btn-test-pop3').disabled);
  const pop3 = (await page.textContent('#connection-test')).split('\n');
  assert.equal(pop3[0], `Connecting to ${env.ORV_POP3_HOST}:${env.ORV_POP3_PORT} (no encryption)`);
  assert.match(pop3[1], new RegExp(`^Logged in as ${env.ORV_POP3_USER}: \\d+ message\\(s\\)$`));
  assert.equal(pop3[2], 'Logged out');
  assert.ok(!pop3.join('\n').includes(env.ORV_POP3_PASSWORD));
  await page.click('#s326-clear');
  await page.waitForFunction(() => document.querySelector('#s326-state').textContent === 'Not set');
  await page.click('#btn-settings-close');

  // A limit beyond its bound is refused with the bound, and not stored.
  await h.menu(page, 'Administration', 'Preferences');
  assert.equal(await page.getAttribute('#s380', 'placeholder'), '600');
  await page.fill('#s380', '100000');
  await page.dispatchEvent('#s380', 'change');
  await page.waitForFunction(() => document.querySelector('#preferences-error').textContent !== '');
  assert.equal(await page.textContent('#preferences-error'), 'A whole number from 0 to 86400 is expected (empty: 600)');
  assert.ok(!cfgText().includes('[380] 100000'));
  await page.fill('#s380', '');
  await page.dispatchEvent('#s380', 'change');
  await page.waitForFunction(() => document.querySelector('#preferences-error').textContent === '');
  await page.click('#btn-settings-close');
});

test('settings are checked where they are entered and nothing refused reaches the file', opts, async () => {
  const before = cfgText();
  await h.menu(page, 'Administration', 'E-Mail');
  for (const bad of ['abc', '-1', '70000', '0']) {
    await page.fill('#s105', bad);
    await page.dispatchEvent('#s105', 'change');
    await page.waitForFunction(() => document.querySelector('#email-error').textContent !== '');
    assert.equal(await page.textContent('#email-error'), 'A port is a number from 1 to 65535, or empty for the usual port');
    assert.ok(await page.$eval('#s105', (i) => i.classList.contains('invalid')));
    await page.evaluate(() => { document.querySelector('#email-error').textContent = ''; });
  }
  await page.fill('#s105', before.match(/\[105\] (.*)\r\n/)[1]);
  await page.dispatchEvent('#s105', 'change');
  await page.waitForFunction(() => !document.querySelector('#s105').classList.contains('invalid'));
  await page.fill('#s102', 'smtp\there');
  await page.dispatchEvent('#s102', 'change');
  await page.waitForFunction(() => document.querySelector('#email-error').textContent !== '');
  assert.match(await page.textContent('#email-error'), /control characters are not allowed: position 4$/);
  await page.click('#btn-settings-close');

  await h.menu(page, 'Administration', 'Preferences');
  for (const [q, unit] of [['abc', '1'], ['-1', '1'], ['53', '10080'], ['99999999', '1']]) {
    await page.fill('#interval-quantity', q);
    await page.selectOption('#interval-unit', unit);
    await page.dispatchEvent('#interval-quantity', 'change');
    await page.waitForFunction(() => document.querySelector('#preferences-error').textContent !== '');
    assert.equal(await page.textContent('#preferences-error'), 'The interval must be a whole number from 0 minutes to 52 weeks');
    await page.evaluate(() => { document.querySelector('#preferences-error').textContent = ''; });
  }
  await page.click('#btn-settings-close');

  // A line end cannot be typed into a field; sent anyway, it is refused
  // and no "[207]" line appears in the file.
  for (const [setting, value] of [[152, 'Title\r\n[207] 1'], [153, 'x\ny'], [101, 'pop\r'], [104, 'pass\nword']]) {
    const r = await post('/api/setting', { setting, value });
    assert.equal(r.ok, false, `${setting}`);
    assert.match(r.message, /control characters are not allowed/);
  }
  const r = await post('/api/setting', { interval: { quantity: 1.5, unit: 1 } });
  assert.equal(r.ok, false);
  assert.equal(cfgText(), before, 'the settings file is unchanged');
  assert.ok(!/\[207\]/.test(cfgText()));
});

test('Exit and Save ask first; No changes nothing', opts, async () => {
  await page.click('#categories li[data-status="2"]');
  await page.waitForSelector('#logs[data-listed="2"] tbody tr');
  const waiting = await count(2), saved = await count(7);
  await page.locator('#logs tbody tr').first().click({ button: 'right' });
  await page.click('#popup li:text-is("Save")');
  assert.equal(await page.textContent('#confirm-text'), 'The requestors of the selected logs will get no more notices about them. Go on?');
  await answer(false);
  await page.waitForTimeout(300);
  assert.deepEqual([await count(2), await count(7)], [waiting, saved]);

  await h.menu(page, 'Session', 'Exit');
  assert.equal(await page.textContent('#confirm-caption'), 'Exit stops the gateway for every operator');
  await answer(false);
  await page.waitForTimeout(500);
  assert.equal(gw.proc.exitCode, null, 'the gateway still runs');
  assert.equal(await page.$eval('#banner', (b) => b.hidden), true);
});

test('the menus work from the keyboard alone', opts, async () => {
  assert.equal(await page.getAttribute('#menubar', 'role'), 'menubar');
  assert.equal(await page.locator('#menubar [role="menu"] [role="menuitem"]').count() > 8, true);
  await page.focus('#message-text');
  await page.keyboard.press('F10');
  assert.equal(await page.evaluate(() => document.activeElement.textContent), 'Session');
  await page.keyboard.press('ArrowRight');
  await page.keyboard.press('ArrowRight');
  assert.equal(await page.evaluate(() => document.activeElement.textContent), 'Administration');
  await page.keyboard.press('ArrowDown');
  assert.equal(await page.evaluate(() => document.activeElement.textContent), 'Accounts');
  assert.equal(await page.getAttribute('#menubar .menu.open > button', 'aria-expanded'), 'true');
  await page.keyboard.press('Escape');
  assert.equal(await page.locator('#menubar .menu.open').count(), 0);
  assert.equal(await page.evaluate(() => document.activeElement.textContent), 'Administration');
  await page.keyboard.press('Enter');
  await page.keyboard.press('ArrowDown');
  await page.keyboard.press('ArrowLeft');  // into Actions, its first item
  assert.equal(await page.evaluate(() => document.activeElement.textContent), 'Retrieve E-mail');
  await page.keyboard.press('ArrowRight');
  await page.keyboard.press('ArrowUp');    // wraps to the last item
  assert.equal(await page.evaluate(() => document.activeElement.textContent), 'Preferences');
  await page.keyboard.press('ArrowUp');
  await page.keyboard.press('Enter');
  await page.waitForSelector('#settings-dialog[open] #page-email.active');
  await page.keyboard.press('Escape');
  await page.waitForSelector('#settings-dialog', { state: 'hidden' });
});

test('the logs list sorts by any column both ways and filters by the search box', opts, async () => {
  // Fresh mail, retrieved only: Pending Processing holds one row per message.
  h.deliver();
  await h.menu(page, 'Actions', 'Retrieve E-mail');
  await page.waitForFunction(() => Number((document.querySelector('#categories li[data-status="1"] .label')
    .textContent.match(/\((\d+)\)/) || [0, 0])[1]) >= 3, null, { timeout: 30000 });
  await h.idle(page);
  await page.click('#categories li[data-status="1"]');
  await page.waitForSelector('#logs[data-listed="1"] tbody tr:nth-child(3)');
  const column = (n) => page.$$eval(`#logs tbody tr td:nth-child(${n})`, (t) => t.map((x) => x.textContent));
  const collator = new Intl.Collator(undefined, { numeric: true, sensitivity: 'base' });
  for (const [n, name] of [[2, 'Subject'], [1, 'From'], [3, 'Ref #']]) {
    await page.click(`#logs th:text-is("${name}")`);
    const up = await column(n);
    assert.deepEqual(up, up.slice().sort(collator.compare), `${name} ascending`);
    assert.equal(await page.getAttribute(`#logs th:text-is("${name}")`, 'aria-sort'), 'ascending');
    await page.click(`#logs th:text-is("${name}")`);
    const down = await column(n);
    assert.deepEqual(down, up.slice().sort((a, b) => -collator.compare(a, b)), `${name} descending`);
    assert.equal(await page.getAttribute(`#logs th:text-is("${name}")`, 'aria-sort'), 'descending');
  }
  const all = await column(2);
  const word = all[all.length - 1].slice(0, 8);
  await page.fill('#log-search', word.toUpperCase());
  const found = await column(2);
  assert.deepEqual(found, all.filter((t) => t.toLowerCase().includes(word.toLowerCase())));
  assert.ok(found.length >= 1 && found.length < all.length);
  await page.fill('#log-search', 'no log says this');
  assert.equal(await page.locator('#logs tbody tr').count(), 0);
  await page.fill('#log-search', '');
  assert.equal((await column(2)).length, all.length);
});

test('Edit on several selected accounts edits each in turn', opts, async () => {
  await h.menu(page, 'Administration', 'Accounts');
  await page.waitForSelector('#accounts tbody tr:nth-child(2)');
  const names = await page.$$eval('#accounts tbody tr td:first-child', (t) => t.slice(0, 2).map((x) => x.textContent));
  await page.click('#accounts tbody tr:nth-child(1)');
  await page.click('#accounts tbody tr:nth-child(2)', { modifiers: ['Control'] });
  await page.click('#btn-acc-edit');
  await page.waitForSelector('#account-dialog[open]');
  assert.ok((await page.inputValue('#account-text')).includes(names[0]));
  await page.click('#btn-account-ok');
  await page.waitForFunction((n) => document.querySelector('#account-dialog').open &&
    document.querySelector('#account-text').value.includes(n), names[1]);
  await page.click('#btn-account-cancel');
  await page.waitForSelector('#account-dialog', { state: 'hidden' });
  await page.waitForTimeout(300);
  assert.equal(await page.evaluate(() => document.querySelector('#account-dialog').open), false);
  await page.click('#btn-settings-close');
});

test('the status bar says Ready once the gateway is idle', opts, async () => {
  await h.menu(page, 'Actions', 'Send Acknowledgements');
  await h.idle(page);
  await page.waitForFunction(() => document.querySelector('#status-text').textContent === 'Ready');
});

test('the page follows the server: busy shows its message and keeps working, 401 and Log out go to the login page', opts, async () => {
  // A busy gateway thread: the server's 503 answer, faked for a moment.
  const busy = { error: 'busy', message: 'The gateway is busy with a run; try again shortly' };
  await page.route('**/api/state*', (r) => r.fulfill({ status: 503, contentType: 'application/json', body: JSON.stringify(busy) }));
  await page.waitForFunction((m) => document.querySelector('#banner').textContent === m && !document.querySelector('#banner').hidden, busy.message);
  assert.ok(await page.$$eval('#menubar .menu > button', (bs) => bs.every((b) => !b.disabled)), 'busy is not offline');
  await page.unroute('**/api/state*');
  await page.waitForFunction(() => document.querySelector('#banner').hidden);

  // Without a session the page goes to "/" (the login page).
  let navigations = 0;
  const counter = (f) => { if (f === page.mainFrame()) navigations++; };
  page.on('framenavigated', counter);
  await page.route('**/api/state*', (r) => r.fulfill({ status: 401, contentType: 'application/json', body: '{"error":"login required"}' }));
  await page.waitForFunction(() => document.body.dataset.ready !== '1', null, { timeout: 10000 }).catch(() => {});
  await page.unroute('**/api/state*');
  await page.waitForSelector('body[data-ready="1"]');
  assert.ok(navigations >= 1, 'the page left for the login page');
  assert.equal(new URL(page.url()).pathname, '/');

  // Log out posts with the token, then goes to "/".
  let logout = null;
  await page.route('**/api/logout', (r) => { logout = r.request(); return r.fulfill({ status: 200, contentType: 'application/json', body: '{"ok":true}' }); });
  const before = navigations;
  await h.menu(page, 'Session', 'Log out');
  await page.waitForSelector('body[data-ready="1"]');
  assert.ok(logout, 'Log out asked the server');
  assert.equal(logout.method(), 'POST');
  assert.ok(logout.headers()['x-orvane-token']);
  await waitFor(() => navigations > before);
  page.off('framenavigated', counter);
  await page.unroute('**/api/logout');
  await page.waitForSelector('body[data-ready="1"]');
});

test('when the gateway is killed the page says so, disables its actions, and comes back with the gateway', opts, async () => {
  const port = gw.port;
  gw.proc.kill('SIGKILL');
  await gw.exited;
  await page.waitForSelector('#banner:not([hidden])', { timeout: 10000 });
  assert.equal(await page.textContent('#banner'), 'Connection to the gateway lost; reconnecting...');
  assert.ok(await page.$$eval('#menubar .menu > button', (bs) => bs.every((b) => b.disabled)));
  gw = await h.startGateway(db.db, [], { port });
  await backAfterRestart();
  assert.ok(await page.$$eval('#menubar .menu > button', (bs) => bs.every((b) => !b.disabled)));
  assert.deepEqual(problems, []);
});

test('Exit, once confirmed, stops the gateway and the page waits for it to come back', opts, async () => {
  const port = gw.port;
  await h.menu(page, 'Session', 'Exit');
  await answer(true);
  const { code } = await gw.exited;
  assert.equal(code, 0);
  await page.waitForSelector('#banner[data-kind="stopped"]:not([hidden])');
  assert.equal(await page.textContent('#banner'), 'The gateway has stopped; this page reconnects when it runs again');
  await page.waitForTimeout(1500);  // a few polls against nothing
  assert.ok(await page.$$eval('#menubar .menu > button', (bs) => bs.every((b) => b.disabled)));
  gw = await h.startGateway(db.db, [], { port });
  await backAfterRestart();
  assert.deepEqual(problems, []);
});

// Sessions live in the gateway's memory: once the gateway is back, the page
// finds its session gone and shows the login page; the operator's login
// address (the token is kept across restarts) brings the console back.
async function backAfterRestart() {
  await page.waitForSelector('#login', { timeout: 20000 });
  await page.goto(gw.url);
  await page.waitForSelector('body[data-ready="1"]');
  assert.ok(await page.$eval('#banner', (b) => b.hidden));
}

// Answers the console's own question dialog.
async function answer(yes) {
  await page.waitForSelector('#confirm-dialog[open]');
  await page.click(yes ? '#btn-confirm-yes' : '#btn-confirm-no');
  await page.waitForSelector('#confirm-dialog', { state: 'hidden' });
}

async function waitFor(check, ms = 10000) {
  const end = Date.now() + ms;
  for (;;) {
    try { if (await check()) return; } catch (e) { if (Date.now() > end) throw e; }
    if (Date.now() > end) throw new Error('condition not met in time');
    await new Promise((r) => setTimeout(r, 100));
  }
}

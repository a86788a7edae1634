// The console's login, busy answers and monitoring endpoints in headless
// Chromium (and plain HTTP) against a real orvserv.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import path from 'node:path';
import * as h from './harness.mjs';

const why = h.unavailable();
if (why && process.env.CI) throw new Error(`browser tests cannot run: ${why}`);
const opts = { skip: why || false };

const PASSWORD = 'correct horse battery';
let b, gw, db, base;

// The console's address without the login token.
function baseOf(loginUrl) {
  const u = new URL(loginUrl);
  return `${u.protocol}//${u.host}/`;
}

// A request made inside the page, with its session and CSRF token.
function api(page, method, url, body) {
  return page.evaluate(async ([method, url, body]) => {
    const token = document.querySelector('meta[name="orv-token"]').content;
    const r = await fetch(url, {
      method, credentials: 'same-origin',
      headers: method === 'POST' ? { 'Content-Type': 'application/json', 'X-Orvane-Token': token } : {},
      body: body === undefined ? undefined : JSON.stringify(body),
    });
    return { status: r.status, body: await r.text() };
  }, [method, url, body]);
}

before(async () => {
  if (why) return;
  h.peers();
  db = h.makeDatabase();
  execFileSync(path.join(h.BIN, 'orvserv'), [`/TarnwickDatabase:${db.db}`, '/ConsolePassword'],
    { input: `${PASSWORD}\n`, env: { ...process.env, LANG: 'C' } });
  gw = await h.startGateway(db.db);
  base = baseOf(gw.url);
  b = await h.browser();
});

after(async () => {
  if (b) await b.close();
  if (gw) await gw.stop();
  h.stopPeers();
  if (db) fs.rmSync(db.dir, { recursive: true, force: true });
});

test('the output names the kept token file, not the token, and opening the login address logs in', opts, async () => {
  const file = path.join(db.db, '@Orvane', 'console.token');
  const token = fs.readFileSync(file, 'utf8').trim();
  assert.equal(gw.url, `${base}?token=${token}`);
  assert.ok(!gw.output().includes(token), gw.output());
  assert.ok(gw.output().includes(file), gw.output());
  const mode = fs.statSync(path.join(db.db, '@Orvane', 'console.token')).mode & 0o777;
  assert.equal(mode, 0o600);
  const ctx = await b.newContext();
  const page = await ctx.newPage();
  await page.goto(gw.url);
  await page.waitForSelector('body[data-ready="1"]');
  assert.equal(new URL(page.url()).search, '', 'the token is not left in the address bar');
  const [cookie] = await ctx.cookies();
  assert.equal(cookie.name, 'orv_session');
  assert.equal(cookie.httpOnly, true);
  assert.equal(cookie.sameSite, 'Strict');
  await ctx.close();
});

test('without the cookie a request sees nothing and changes nothing', opts, async () => {
  for (const p of ['api/state', 'api/session', 'api/logs?status=1', 'api/settings', 'assets/console.js', 'help/Index.htm']) {
    const r = await fetch(base + p);
    assert.equal(r.status, 401, p);
    assert.deepEqual(await r.json(), { error: 'login required' }, p);
  }
  const exit = await fetch(base + 'api/command', {
    method: 'POST', headers: { 'Content-Type': 'application/json', 'X-Orvane-Token': '0'.repeat(64) },
    body: JSON.stringify({ command: 57665 }),
  });
  assert.equal(exit.status, 401);
  const setting = await fetch(base + 'api/setting', {
    method: 'POST', headers: { 'Content-Type': 'application/json' }, body: JSON.stringify({ setting: 155, value: 'x@y' }),
  });
  assert.equal(setting.status, 401);
  assert.equal(gw.proc.exitCode, null, 'orvserv is still running');
  const wrong = await fetch(`${base}?token=${'a'.repeat(64)}`, { redirect: 'manual' });
  assert.equal(wrong.status, 200);
  assert.equal(wrong.headers.get('set-cookie'), null);
  const page = await wrong.text();
  assert.match(page, /login\.js/);
  assert.doesNotMatch(page, /console\.js|orv-token/);
});

test('log in by password, refused with a wrong one, then log out', opts, async () => {
  const ctx = await b.newContext();
  const page = await ctx.newPage();
  const problems = [];
  page.on('pageerror', (e) => problems.push(String(e)));
  await page.goto(base);
  await page.fill('#password', 'not it');
  await page.click('#btn-login');
  await page.waitForFunction(() => document.querySelector('#login-error').textContent !== '');
  assert.equal(await page.textContent('#login-error'), 'Wrong password.');
  assert.equal((await ctx.cookies()).length, 0);

  await page.fill('#password', PASSWORD);
  await page.click('#btn-login');
  await page.waitForSelector('body[data-ready="1"]');
  const state = await api(page, 'GET', '/api/state');
  assert.equal(state.status, 200);

  const out = await api(page, 'POST', '/api/logout', {});
  assert.equal(out.status, 200);
  assert.deepEqual(JSON.parse(out.body), { ok: true });
  const after = await page.evaluate(async () => (await fetch('/api/state')).status);
  assert.equal(after, 401);
  await page.goto(base);
  await page.waitForSelector('#login-form');
  assert.deepEqual(problems, []);
  await ctx.close();
});

test('a request that needs the gateway while a run waits on the network answers busy', opts, async () => {
  // A POP3 server that takes the connection and never says a word.
  const sockets = [];
  const silent = net.createServer((s) => sockets.push(s));
  await new Promise((resolve) => silent.listen(0, '127.0.0.1', resolve));
  const ctx = await b.newContext();
  const page = await ctx.newPage();
  await page.goto(gw.url);
  await page.waitForSelector('body[data-ready="1"]');
  for (const [setting, value] of [[101, '127.0.0.1'], [105, String(silent.address().port)]])
    assert.equal((await api(page, 'POST', '/api/setting', { setting, value })).status, 200);
  assert.equal((await api(page, 'POST', '/api/command', { command: 32771 })).status, 200);
  await page.waitForFunction(async () => (await (await fetch('/api/state')).json()).status !== '');
  const busy = await api(page, 'GET', '/api/logs?status=1');
  assert.equal(busy.status, 503);
  const reply = JSON.parse(busy.body);
  assert.equal(reply.error, 'busy');
  assert.match(reply.message, /busy \(retrieving mail\)/);
  // Monitoring still answers during the run.
  const health = await (await fetch(base + 'healthz')).json();
  assert.equal(health.runs.retrieve.running, true);
  // Let the run end: the silent server hangs up.
  sockets.forEach((s) => s.destroy());
  silent.close();
  await page.waitForFunction(async () => (await fetch('/api/logs?status=1')).status === 200, null, { timeout: 90000 });
  const env = h.peers();
  for (const [setting, value] of [[101, env.ORV_POP3_HOST], [105, env.ORV_POP3_PORT]])
    await api(page, 'POST', '/api/setting', { setting, value });
  await ctx.close();
});

test('healthz and metrics count the work and show no mail and no secret', opts, async () => {
  const env = h.peers();
  const secretSubject = 'Leaking tap in room 12 ' + process.pid;
  const mailFile = path.join(db.dir, 'secret.eml');
  fs.writeFileSync(mailFile, `From: Nobody <nobody@example.org>\r\nTo: gw@example.org\r\nSubject: ${secretSubject}\r\n` +
    'Message-ID: <secret@example.org>\r\n\r\nThe key is under the mat.\r\n');
  h.deliver([mailFile]);
  const ctx = await b.newContext();
  const page = await ctx.newPage();
  await page.goto(gw.url);
  await page.waitForSelector('body[data-ready="1"]');
  for (const [setting, value] of [[101, env.ORV_POP3_HOST], [103, env.ORV_POP3_USER], [105, env.ORV_POP3_PORT],
    [104, env.ORV_POP3_PASSWORD], [102, env.ORV_SMTP_HOST], [106, env.ORV_SMTP_PORT], [155, 'gateway@example.org']])
    assert.equal((await api(page, 'POST', '/api/setting', { setting, value })).status, 200);
  assert.equal((await api(page, 'POST', '/api/command', { command: 32774 })).status, 200);
  await ctx.close();
  // Done when the acknowledgement run (the last of Do All) has ended.
  for (let i = 0; i < 600; i++) {
    const runs = (await (await fetch(base + 'healthz')).json()).runs;
    if (runs.acknowledge.lastEnd && !runs.acknowledge.running && !runs.retrieve.running) break;
    await new Promise((resolve) => setTimeout(resolve, 100));
  }

  const healthReply = await fetch(base + 'healthz');
  assert.equal(healthReply.status, 200);
  const healthText = await healthReply.text();
  const health = JSON.parse(healthText);
  assert.deepEqual(health.databases, { maintenance: true, gateway: true });
  for (const run of ['retrieve', 'update', 'acknowledge']) {
    assert.ok(health.runs[run].lastStart > 0, run);
    assert.ok(health.runs[run].lastEnd >= health.runs[run].lastStart, run);
    assert.ok(['ok', 'failed'].includes(health.runs[run].result), run);
  }
  assert.equal(typeof health.queues.logs.pendingAcknowledgement, 'number');

  const metricsReply = await fetch(base + 'metrics');
  assert.match(metricsReply.headers.get('content-type'), /^text\/plain; version=0\.0\.4/);
  const metrics = await metricsReply.text();
  const retrieved = Number(metrics.match(/^orvane_messages_retrieved_total (\d+)$/m)[1]);
  assert.ok(retrieved >= 1, metrics);
  assert.match(metrics, /^orvane_run_duration_seconds_count\{run="retrieve"\} [1-9]/m);
  assert.match(metrics, /^orvane_failures_total\{kind="pop3"\} \d+$/m);

  for (const text of [healthText, metrics]) {
    for (const secret of [secretSubject, 'under the mat', 'nobody@example.org', env.ORV_POP3_PASSWORD,
      PASSWORD, fs.readFileSync(path.join(db.db, '@Orvane', 'console.token'), 'utf8').trim()])
      assert.ok(!text.includes(secret), `${secret} in ${text.slice(0, 80)}`);
  }
});

test('guesses from elsewhere keep neither the login address nor a fresh password login out', opts, async () => {
  // More wrong passwords and tokens than the overall limit, from this
  // machine's address like the operator's.
  for (let i = 0; i < 30; i++) {
    await fetch(base + 'api/login', { method: 'POST', headers: { 'Content-Type': 'application/json' },
      body: JSON.stringify({ password: 'guess ' + i }) });
    await fetch(`${base}?token=${'b'.repeat(63)}${i % 10}`, { redirect: 'manual' });
  }
  const started = Date.now();
  const ctx = await b.newContext();
  const page = await ctx.newPage();
  await page.goto(gw.url);
  await page.waitForSelector('body[data-ready="1"]');
  assert.ok(Date.now() - started < 10000);
  await ctx.close();
});

test('Session > New Login Token replaces the token and ends every session, this one too', opts, async () => {
  const file = path.join(db.db, '@Orvane', 'console.token');
  const old = fs.readFileSync(file, 'utf8').trim();
  const other = await b.newContext();
  const otherPage = await other.newPage();
  await otherPage.goto(gw.url);
  await otherPage.waitForSelector('body[data-ready="1"]');

  const ctx = await b.newContext();
  const page = await ctx.newPage();
  await page.goto(gw.url);
  await page.waitForSelector('body[data-ready="1"]');
  await h.menu(page, 'Session', 'New Login Token');
  await page.waitForSelector('#confirm-dialog[open]');
  assert.match(await page.textContent('#confirm-text'), /Every console session ends/);
  // No changes nothing.
  await page.click('#btn-confirm-no');
  assert.equal(fs.readFileSync(file, 'utf8').trim(), old);
  await h.menu(page, 'Session', 'New Login Token');
  await page.waitForSelector('#confirm-dialog[open]');
  const reloaded = page.waitForNavigation();
  await page.click('#btn-confirm-yes');
  await reloaded;
  await page.waitForSelector('body[data-ready="1"]');
  const renewed = fs.readFileSync(file, 'utf8').trim();
  assert.notEqual(renewed, old);
  assert.equal(renewed.length, 64);
  assert.equal(fs.statSync(file).mode & 0o777, 0o600);
  // This browser is in again, with a new session; the other one is out,
  // and the old address no longer logs in.
  assert.equal((await api(page, 'GET', '/api/state')).status, 200);
  assert.equal(await otherPage.evaluate(async () => (await fetch('/api/state')).status), 401);
  const stale = await fetch(`${base}?token=${old}`, { redirect: 'manual' });
  assert.equal(stale.status, 200);
  assert.equal(stale.headers.get('set-cookie'), null);
  const fresh = await fetch(`${base}?token=${renewed}`, { redirect: 'manual' });
  assert.equal(fresh.status, 303);
  await other.close();
  await ctx.close();
});

// What the console's browser tests need around them: the local mail
// servers (scripts/peers.sh, unless the caller started them), a sample
// maintenance database from tarnwick-sim, a running orvserv, and headless
// Chromium (Debian's, driven by playwright-core).
import { spawn, execFileSync } from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

export const ROOT = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
export const BIN = process.env.ORV_BIN || path.join(ROOT, 'build', 'bin');
const CHROMIUM = process.env.CHROMIUM || '/usr/bin/chromium';

// Whether the tests can run here; why not, when they cannot.
export function unavailable() {
  if (!fs.existsSync(CHROMIUM)) return `no Chromium at ${CHROMIUM}`;
  if (!fs.existsSync(path.join(BIN, 'orvserv'))) return `no orvserv in ${BIN}`;
  return null;
}

let ownPeers = null;
export function peers() {
  if (process.env.ORV_POP3_PORT) return process.env;
  if (!ownPeers) {
    const out = execFileSync('bash', [path.join(ROOT, 'scripts/peers.sh'), 'start'], { encoding: 'utf8' });
    ownPeers = {};
    for (const m of out.matchAll(/^export (\w+)='?([^'\n]*)'?$/gm)) ownPeers[m[1]] = m[2];
  }
  return ownPeers;
}
export function stopPeers() {
  if (!ownPeers) return;
  execFileSync('bash', [path.join(ROOT, 'scripts/peers.sh'), 'stop'], { env: { ...process.env, ...ownPeers } });
  ownPeers = null;
}

// Drops the sample messages (or the given files) into the mailbox.
export function deliver(files) {
  const env = peers();
  const dir = path.join(env.ORV_MAILDIR, 'new');
  const sources = files || fs.readdirSync(path.join(ROOT, 'tests/browser/mail')).sort()
    .map((f) => path.join(ROOT, 'tests/browser/mail', f));
  sources.forEach((src, i) => {
    const dest = path.join(dir, `${Date.now()}.${process.pid}_${i}.orvtest`);
    fs.copyFileSync(src, dest);
    fs.chownSync(dest, Number(env.ORV_MAILDIR_UID), Number(env.ORV_MAILDIR_UID));
  });
  return sources.length;
}

export function makeDatabase() {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'orvbrowser-'));
  const db = path.join(dir, 'db');
  execFileSync(path.join(BIN, 'tarnwick-sim'), ['create', db], { stdio: 'ignore' });
  // The local mail servers speak plain text on loopback, and a settings file
  // the gateway makes forbids passwords over unencrypted connections
  // (setting 329): make it once and allow them, as their operator would.
  execFileSync(path.join(BIN, 'orvserv'), [`/TarnwickDatabase:${db}`, '/Run:update', '/Listen:off', '/AssumeYes+'],
    { stdio: 'ignore' });
  const cfg = path.join(db, '@Orvane', 'orvserv.cfg');
  fs.writeFileSync(cfg, fs.readFileSync(cfg, 'latin1').replace(/^\[329\] 0\r$/m, '[329] 1\r'), 'latin1');
  return { dir, db };
}

function freePort() {
  return new Promise((resolve, reject) => {
    const srv = net.createServer();
    srv.listen(0, '127.0.0.1', () => { const { port } = srv.address(); srv.close(() => resolve(port)); });
    srv.on('error', reject);
  });
}

// Starts orvserv on db; resolves with { url, port, proc, stop() } once the
// console answers. options.port reuses a port (a restart); options.lang
// sets the gateway's language (LANG), C by default.
export async function startGateway(db, extra = [], options = {}) {
  const port = options.port || await freePort();
  const proc = spawn(path.join(BIN, 'orvserv'), [`/TarnwickDatabase:${db}`, `/Listen:127.0.0.1:${port}`, ...extra],
    { stdio: ['ignore', 'pipe', 'pipe'], env: { ...process.env, LANG: options.lang || 'C', LC_ALL: '', LC_MESSAGES: '' } });
  let output = '';
  proc.stdout.on('data', (d) => { output += d; });
  proc.stderr.on('data', (d) => { output += d; });
  const url = await new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error('orvserv did not start:\n' + output)), 20000);
    proc.on('exit', (code) => { clearTimeout(timer); reject(new Error(`orvserv exited ${code}:\n${output}`)); });
    // Its output is a pipe, so it names the token file rather than the
    // token: the login address is made from the file, as an operator would.
    const check = () => {
      const m = output.match(/console at (http:\S+)/);
      if (!m) { setTimeout(check, 50); return; }
      clearTimeout(timer);
      const token = fs.readFileSync(path.join(db, '@Orvane', 'console.token'), 'utf8').trim();
      resolve(`${m[1]}?token=${token}`);
    };
    check();
  });
  proc.removeAllListeners('exit');
  const exited = new Promise((resolve) => proc.on('exit', (code, signal) => resolve({ code, signal })));
  return {
    url, port, proc, output: () => output, exited,
    async stop() { proc.kill('SIGTERM'); return exited; },
  };
}

export async function browser() {
  return chromium.launch({ executablePath: CHROMIUM, args: ['--no-sandbox', '--disable-gpu'] });
}

// Opens the console and waits until it has loaded its first list.
export async function openConsole(b, url) {
  const page = await b.newPage({ viewport: { width: 1280, height: 820 } });
  const problems = [];
  page.on('pageerror', (e) => problems.push(String(e)));
  page.on('dialog', async (d) => {
    if (d.type() === 'confirm') return d.accept();
    problems.push(`unexpected ${d.type()}: ${d.message()}`);
    return d.dismiss();
  });
  await page.goto(url);
  await page.waitForSelector('body[data-ready="1"]');
  return { page, problems };
}

export async function menu(page, top, item) {
  // The menu bar sits behind any modal dialog; a test that failed with a
  // dialog or popup open must not take the next tests down with it.
  await page.evaluate(() => {
    document.querySelectorAll('dialog[open]').forEach((d) => d.close());
    const p = document.querySelector('#popup');
    if (p) p.hidden = true;
  });
  await page.click(`#menubar .menu > button:text-is("${top}")`);
  await page.click(`#menubar .menu.open li:text-is("${item}")`);
}

// Fills the E-mail page with the local servers.
export async function configureMail(page) {
  const env = peers();
  await menu(page, 'Administration', 'E-Mail');
  // The password after its server and port, whose change would clear it.
  const fields = [[101, env.ORV_POP3_HOST], [103, env.ORV_POP3_USER], [105, env.ORV_POP3_PORT],
    [104, env.ORV_POP3_PASSWORD], [102, env.ORV_SMTP_HOST], [106, env.ORV_SMTP_PORT]];
  for (const [n, v] of fields) {
    await page.fill(`#s${n}`, v);
    await page.dispatchEvent(`#s${n}`, 'change');
  }
  await page.click('#settings-dialog .tab[data-page="preferences"]');
  await page.fill('#s155', 'gateway@example.org');
  await page.dispatchEvent('#s155', 'change');
  await page.waitForFunction(() => document.querySelector('#preferences-error').textContent === '');
  await page.click('#btn-settings-close');
}

export async function idle(page) {
  await page.waitForFunction(() => document.body.dataset.busy === '0', null, { timeout: 60000 });
}

export function categoryText(page, status) {
  return page.textContent(`#categories li[data-status="${status}"] .label`);
}

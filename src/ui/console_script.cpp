// The console page's script (console_assets.h). Every text that comes
// from mail, tables or settings is put into the page with textContent or
// as a form value, never as markup.
#include "ui/console_assets.h"

namespace {

constexpr std::string_view kScript = R"JS('use strict';
(() => {
const TOKEN = document.querySelector('meta[name="orv-token"]').content;
const $ = (sel) => document.querySelector(sel);
let texts = {}, statuses = [], menu = [];
let listed = 1, selectedKeys = [], anchorIndex = -1, rows = [];
let noticeAfter = 0, diagGeneration = -1, lastGeneration = -1, wasBusy = false;
let accountRows = [], accountSelection = [], contactRows = [], contactSelection = [];
let editingAccount = null, currentLog = null;
// Requests still out when a newer one of their kind is sent are ignored on
// return: replies need not come back in the order they were asked for.
let logsAsked = 0, messageAsked = 0;

const T = (key) => (key in texts ? texts[key] : key.replace(/^\*(?=.)/, ''));
const menuText = (t) => t.replace(/&(.)/g, '$1');

async function api(path, body) {
  const init = body === undefined ? {} : {
    method: 'POST', headers: {'Content-Type': 'application/json', 'X-Orvane-Token': TOKEN},
    body: JSON.stringify(body)};
  const res = await fetch(path, init);
  const data = await res.json().catch(() => ({}));
  if (!res.ok) throw new Error(data.message || ('HTTP ' + res.status));
  return data;
}

function el(tag, text, cls) {
  const e = document.createElement(tag);
  if (text !== undefined) e.textContent = text;
  if (cls) e.className = cls;
  return e;
}

function notice(icon, caption, text) {
  const box = el('div', undefined, 'notice ' + icon);
  box.append(el('h3', caption || T('*Tarnwick @Orvane')), el('pre', text));
  const ok = el('button', T('*Dismiss'));
  ok.addEventListener('click', () => box.remove());
  box.append(ok);
  $('#notices').prepend(box);
}

function applyTexts(root) {
  root.querySelectorAll('[data-text]').forEach((e) => { e.textContent = T(e.dataset.text); });
}

/* Menus */
function buildMenu() {
  const bar = $('#menubar');
  bar.replaceChildren();
  for (const top of menu) {
    const m = el('div', undefined, 'menu');
    const b = el('button', menuText(top.text));
    const list = el('ul');
    for (const item of top.items || []) {
      if (!item.text) { list.append(el('li', undefined, 'separator')); continue; }
      const li = el('li', menuText(item.text));
      li.dataset.command = item.command;
      li.addEventListener('mouseenter', () => { $('#prompt').textContent = item.prompt; });
      li.addEventListener('mouseleave', () => { $('#prompt').textContent = ''; });
      li.addEventListener('click', () => { closeMenus(); command(item.command); });
      list.append(li);
    }
    b.addEventListener('click', (ev) => {
      ev.stopPropagation();
      const open = m.classList.contains('open');
      closeMenus();
      if (!open) m.classList.add('open');
    });
    b.addEventListener('mouseenter', () => {
      if (document.querySelector('.menu.open') && !m.classList.contains('open')) { closeMenus(); m.classList.add('open'); }
    });
    m.append(b, list);
    bar.append(m);
  }
}
function closeMenus() { document.querySelectorAll('.menu.open').forEach((m) => m.classList.remove('open')); }

async function command(id) {
  switch (id) {
    case 57665:
      await api('/api/command', {command: id});
      document.body.replaceChildren(el('p', T('*Tarnwick @Orvane') + ': ' + T('*Connection to the gateway lost')));
      return;
    case 32771: case 32772: case 32773: case 32774:
      await api('/api/command', {command: id}).catch((e) => notice('error', '', e.message));
      document.body.classList.add('busy');
      $('#busy').hidden = false;
      return;
    case 32775: return openSettings('accounts');
    case 32776: return openSettings('email');
    case 32777: return openSettings('preferences');
    case 32778: window.open('/help/TableOfContents.htm', '_blank', 'noopener'); return;
    case 32779: window.open('/help/Index.htm', '_blank', 'noopener'); return;
    case 57664: return showAbout();
  }
}

/* Categories */
const ICONS = ['R', 'P', 'W', 'T', 'C', 'V', 'S', 'Sv', 'A', 'D'];
function buildCategories() {
  const list = $('#categories');
  list.replaceChildren();
  statuses.forEach((name, status) => {
    const li = el('li');
    li.dataset.status = status;
    li.setAttribute('role', 'option');
    li.append(el('span', status === 6 ? '' : ICONS[status], 'icon'), el('span', name, 'label'));
    li.addEventListener('click', () => showCategory(status));
    li.addEventListener('dragover', (ev) => { ev.preventDefault(); li.classList.add('drop'); });
    li.addEventListener('dragleave', () => li.classList.remove('drop'));
    li.addEventListener('drop', (ev) => {
      ev.preventDefault();
      li.classList.remove('drop');
      const keys = JSON.parse(ev.dataTransfer.getData('application/x-orvane-logs') || '[]');
      if (keys.length) dropMenu(ev.clientX, ev.clientY, keys, status);
    });
    list.append(li);
  });
}
function setCategoryTexts(categories) {
  document.querySelectorAll('#categories li').forEach((li) => {
    li.querySelector('.label').textContent = categories[Number(li.dataset.status)];
  });
}

/* Logs list */
async function showCategory(status) {
  listed = status;
  document.querySelectorAll('#categories li').forEach((li) =>
    li.classList.toggle('selected', Number(li.dataset.status) === status));
  $('#category-label').textContent = statuses[status];
  messageAsked++;
  $('#message-text').textContent = '';
  selectedKeys = [];
  await reloadLogs();
}
async function reloadLogs() {
  const ask = ++logsAsked;
  const data = await api('/api/logs?status=' + listed);
  if (ask !== logsAsked || data.status !== listed) return;
  rows = data.rows;
  selectedKeys = selectedKeys.filter((k) => rows.some((r) => r.key === k));
  const body = $('#logs tbody');
  body.replaceChildren();
  $('#logs').dataset.listed = listed;  // which category the rows are of
  rows.forEach((r, i) => {
    const tr = el('tr');
    tr.dataset.key = r.key;
    tr.draggable = true;
    for (const v of [r.from, r.subject, r.ref, r.received]) { const td = el('td', v); td.title = v; tr.append(td); }
    tr.classList.toggle('selected', selectedKeys.includes(r.key));
    tr.addEventListener('click', (ev) => selectRow(i, ev));
    tr.addEventListener('dblclick', () => openDetails(r.key));
    tr.addEventListener('contextmenu', (ev) => {
      ev.preventDefault();
      if (!selectedKeys.includes(r.key)) selectRow(i, {});
      contextMenu(ev.clientX, ev.clientY);
    });
    tr.addEventListener('dragstart', (ev) => {
      if (!selectedKeys.includes(r.key)) selectRow(i, {});
      ev.dataTransfer.setData('application/x-orvane-logs', JSON.stringify(selectedKeys));
      ev.dataTransfer.effectAllowed = 'copyMove';
    });
    body.append(tr);
  });
}
function selectRow(i, ev) {
  const key = rows[i].key;
  if (ev.shiftKey && anchorIndex >= 0) {
    const [a, b] = [Math.min(anchorIndex, i), Math.max(anchorIndex, i)];
    selectedKeys = rows.slice(a, b + 1).map((r) => r.key);
  } else if (ev.ctrlKey || ev.metaKey) {
    selectedKeys = selectedKeys.includes(key) ? selectedKeys.filter((k) => k !== key) : [...selectedKeys, key];
    anchorIndex = i;
  } else {
    selectedKeys = [key];
    anchorIndex = i;
  }
  document.querySelectorAll('#logs tbody tr').forEach((tr) =>
    tr.classList.toggle('selected', selectedKeys.includes(Number(tr.dataset.key))));
  showMessage(key);
}
async function showMessage(key) {
  const ask = ++messageAsked;
  const data = await api('/api/log?key=' + key);
  if (ask !== messageAsked) return;
  $('#message-text').textContent = data.found ? data.text : '';
}

function popup(x, y, items) {
  const p = $('#popup');
  p.replaceChildren();
  for (const [text, action] of items) {
    const li = el('li', text);
    li.addEventListener('click', () => { p.hidden = true; action(); });
    p.append(li);
  }
  p.style.left = x + 'px';
  p.style.top = y + 'px';
  p.hidden = false;
}
function contextMenu(x, y) {
  // The menu acts on the rows it was opened for, whatever a command still
  // in flight does to the selection meanwhile.
  const keys = selectedKeys;
  popup(x, y, [[T('*Save'), () => logCommand('save', -1, keys)], [T('*Delete'), () => logCommand('delete', -1, keys)]]);
}
function dropMenu(x, y, keys, target) {
  popup(x, y, [[T('*Copy here'), () => logCommand('copy', target, keys)],
               [T('*Move here'), () => logCommand('move', target, keys)]]);
}
async function logCommand(name, target, keys) {
  const selection = selectedKeys;
  try {
    await api('/api/logs', {command: name, keys, listed, target});
  } catch (e) { notice('error', '', e.message); }
  // A selection made while the command ran is the operator's next one.
  if (selectedKeys === selection) selectedKeys = [];
  await refreshState();
  await reloadLogs();
}

/* Log details */
async function openDetails(key) {
  const data = await api('/api/log?key=' + key);
  currentLog = data;
  $('#details-text').value = data.found ? data.details : '';
  $('#btn-mail').disabled = !data.found;
  $('#details-dialog').showModal();
}
function printDetails() {
  if (!currentLog || !currentLog.found) return;
  $('#print-area').textContent = currentLog.printLines.join('\n');
  const title = document.title;
  document.title = currentLog.printTitle;
  window.print();
  document.title = title;
}
function mailRequestor() {
  if (!currentLog || !currentLog.found) return;
  const a = document.createElement('a');
  a.href = currentLog.mailto;
  a.id = 'mailto-link';
  a.hidden = true;
  document.body.append(a);
  try { a.click(); } catch (e) { notice('warning', '', T('*Cannot launch your default e-mail program')); }
  a.remove();
}

/* Settings sheet */
function selectPage(page) {
  document.querySelectorAll('#settings-dialog .tab').forEach((t) => t.classList.toggle('active', t.dataset.page === page));
  document.querySelectorAll('#settings-dialog .page').forEach((p) => p.classList.toggle('active', p.id === 'page-' + page));
}
async function openSettings(page) {
  const data = await api('/api/settings');
  for (const [n, v] of Object.entries(data.email)) $('#s' + n).value = v;
  for (const [n, v] of Object.entries(data.texts)) $('#s' + n).value = v;
  for (const [n, v] of Object.entries(data.checks)) $('#c' + n).checked = v;
  const unit = $('#interval-unit');
  unit.replaceChildren();
  for (const u of data.interval.units) { const o = el('option', u.text); o.value = u.factor; unit.append(o); }
  unit.value = String(data.interval.unit);
  $('#interval-quantity').value = data.interval.quantity;
  document.querySelectorAll('#settings-dialog .error').forEach((e) => { e.textContent = ''; });
  document.querySelectorAll('#settings-dialog input.invalid').forEach((e) => e.classList.remove('invalid'));
  await loadAccounts();
  selectPage(page);
  const dialog = $('#settings-dialog');
  if (!dialog.open) dialog.showModal();
}
function pageError(input, message) {
  const page = input.closest('.page');
  page.querySelector('.error').textContent = message || '';
  input.classList.toggle('invalid', !!message);
}
async function storeSetting(input) {
  const r = await api('/api/setting', {setting: Number(input.dataset.setting), value: input.value});
  pageError(input, r.ok ? '' : r.message);
}
async function storeInterval() {
  const q = $('#interval-quantity');
  const quantity = Number.parseInt(q.value || '0', 10);
  const r = await api('/api/setting', {interval: {quantity: Number.isFinite(quantity) ? quantity : 0,
                                                 unit: Number($('#interval-unit').value)}});
  pageError(q, r.ok ? '' : r.message);
}
async function storeCheck(box) {
  const r = await api('/api/setting', {setting: Number(box.dataset.check), checked: box.checked});
  pageError(box, r.ok ? '' : r.message);
}

/* Accounts page */
async function loadAccounts() {
  const data = await api('/api/accounts');
  accountRows = data.rows;
  accountSelection = accountSelection.filter((k) => accountRows.some((r) => r.key === k));
  fillPickList('#accounts', accountRows, accountSelection, (keys) => {
    accountSelection = keys;
    const first = accountRows.find((r) => keys.includes(r.key));
    $('#acc-disabled').checked = !!(first && first.disabled);
  }, (key) => editAccount(key));
}
function fillPickList(table, list, selection, onSelect, onOpen) {
  const body = $(table + ' tbody');
  body.replaceChildren();
  list.forEach((r) => {
    const tr = el('tr');
    tr.dataset.key = r.key;
    for (const v of [r.name, r.phone, r.email]) tr.append(el('td', v));
    tr.classList.toggle('selected', selection.includes(r.key));
    tr.addEventListener('click', (ev) => {
      let keys = selection.slice();
      if (ev.ctrlKey || ev.metaKey || ev.shiftKey) keys = keys.includes(r.key) ? keys.filter((k) => k !== r.key) : [...keys, r.key];
      else keys = [r.key];
      selection.length = 0;
      selection.push(...keys);
      body.querySelectorAll('tr').forEach((row) => row.classList.toggle('selected', keys.includes(Number(row.dataset.key))));
      onSelect(keys);
    });
    if (onOpen) tr.addEventListener('dblclick', () => onOpen(r.key));
    body.append(tr);
  });
}
async function accountsAction(body) {
  const r = await api('/api/accounts', body);
  $('#accounts-error').textContent = r.ok ? '' : r.message;
  await loadAccounts();
}
async function editAccount(key) {
  const d = await api('/api/account?key=' + key);
  if (!d.found) { $('#accounts-error').textContent = ''; return; }
  editingAccount = key;
  $('#account-text').value = d.description;
  $('#acc-receive').checked = d.receive;
  $('#acc-dlg-disabled').checked = d.disabled;
  $('#account-dialog').showModal();
}
async function openContacts() {
  const data = await api('/api/contacts');
  contactRows = data.rows;
  contactSelection = [];
  fillPickList('#contacts', contactRows, contactSelection, () => {}, null);
  $('#contacts-dialog').showModal();
}

/* About */
async function showAbout() {
  const a = await api('/api/about');
  $('#about-caption').textContent = a.caption;
  for (const n of [1, 2, 3, 4]) $('#about-' + n).textContent = a.controls[String(n)] || '';
  $('#about-dialog').showModal();
}

/* State polling */
async function refreshState() {
  const s = await api('/api/state?notices=' + noticeAfter + '&diagnostics=' + diagGeneration);
  $('#status-text').textContent = s.busy ? (s.status || T('*Working...')) : (s.status || T('*Ready'));
  $('#busy').hidden = !s.busy;
  document.body.classList.toggle('busy', s.busy);
  setCategoryTexts(s.categories);
  for (const n of s.notices) { notice(n.icon, n.caption, n.text); noticeAfter = Math.max(noticeAfter, n.id); }
  if (s.diagnostics) {
    diagGeneration = s.diagnosticsGeneration;
    const body = $('#diagnostics tbody');
    body.replaceChildren();
    for (const [time, text] of s.diagnostics) {
      const tr = el('tr');
      const td = el('td', text);
      td.title = text;
      tr.append(el('td', time), td);
      body.append(tr);
    }
  }
  const changed = s.generation !== lastGeneration;
  lastGeneration = s.generation;
  if (!s.busy && (changed || wasBusy)) await reloadLogs();
  wasBusy = s.busy;
  document.body.dataset.generation = s.generation;
  document.body.dataset.busy = s.busy ? '1' : '0';
}
async function poll() {
  try {
    await refreshState();
    document.body.classList.remove('offline');
  } catch (e) {
    $('#status-text').textContent = T('*Connection to the gateway lost');
  }
  setTimeout(poll, 1000);
}

function wire() {
  document.addEventListener('click', () => { closeMenus(); $('#popup').hidden = true; });
  $('#btn-details-ok').addEventListener('click', () => $('#details-dialog').close());
  $('#btn-print').addEventListener('click', printDetails);
  $('#btn-mail').addEventListener('click', mailRequestor);
  document.querySelectorAll('#settings-dialog .tab').forEach((t) => t.addEventListener('click', () => selectPage(t.dataset.page)));
  $('#btn-settings-close').addEventListener('click', () => $('#settings-dialog').close());
  document.querySelectorAll('#settings-dialog input[data-setting]').forEach((i) => i.addEventListener('change', () => storeSetting(i)));
  document.querySelectorAll('#settings-dialog input[data-check]').forEach((b) => b.addEventListener('click', () => storeCheck(b)));
  $('#interval-quantity').addEventListener('change', storeInterval);
  $('#interval-unit').addEventListener('change', storeInterval);
  $('#btn-acc-add').addEventListener('click', openContacts);
  $('#btn-acc-edit').addEventListener('click', async () => { for (const k of accountSelection.slice()) await editAccount(k); });
  $('#btn-acc-everybody').addEventListener('click', () => editAccount(0));
  $('#btn-acc-delete').addEventListener('click', async () => {
    if (!accountSelection.length) return;
    if (!window.confirm(T('*Are you sure you want to permanently delete the selected account(s)?'))) return;
    await accountsAction({action: 'delete', keys: accountSelection});
  });
  $('#acc-disabled').addEventListener('click', (ev) => {
    if (accountSelection.length) accountsAction({action: 'disable', keys: accountSelection, disabled: ev.target.checked});
  });
  $('#btn-account-ok').addEventListener('click', async () => {
    $('#account-dialog').close();
    await accountsAction({action: 'edit', keys: [editingAccount], receive: $('#acc-receive').checked,
                          disabled: $('#acc-dlg-disabled').checked});
  });
  $('#btn-account-cancel').addEventListener('click', () => $('#account-dialog').close());
  $('#btn-contacts-ok').addEventListener('click', async () => {
    $('#contacts-dialog').close();
    if (contactSelection.length) await accountsAction({action: 'add', keys: contactSelection});
  });
  $('#btn-contacts-cancel').addEventListener('click', () => $('#contacts-dialog').close());
  $('#btn-about-ok').addEventListener('click', () => $('#about-dialog').close());
}

async function start() {
  const s = await api('/api/session');
  texts = s.texts; statuses = s.statuses; menu = s.menu;
  document.title = s.title;
  applyTexts(document);
  buildMenu();
  buildCategories();
  wire();
  $('#message-text').textContent = s.welcome;
  await refreshState();
  await showCategory(listed);
  $('#message-text').textContent = s.welcome;
  document.body.dataset.ready = '1';
  setTimeout(poll, 1000);
}
start().catch((e) => notice('error', '', e.message));
})();
)JS";

}  // namespace

const ConsoleAsset* consoleScriptAsset() {
  static const ConsoleAsset script{"text/javascript; charset=utf-8", kScript};
  return &script;
}

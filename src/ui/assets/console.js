'use strict';
(() => {
const TOKEN = document.querySelector('meta[name="orv-token"]').content;
const $ = (sel) => document.querySelector(sel);
let texts = {}, statuses = [], menu = [];
let listed = 1, selectedKeys = [], anchorIndex = -1, rows = [];
let noticeAfter = 0, diagGeneration = -1, lastGeneration = -1, wasBusy = false;
let accountRows = [], accountSelection = [], contactRows = [], contactSelection = [];
let editingAccount = null, currentLog = null, accountDone = null;
// The logs of the listed category as the gateway sent them, and the
// statuses whose rows still get notices (a Save or Move out of them asks).
let listedRows = [], followed = [];
let sortColumn = null, sortDirection = 1, searchText = '';
// 'lost': the gateway does not answer; 'stopped': Exit was chosen.
let offline = null, lostSince = false, answeredSinceExit = 0;
// Requests still out when a newer one of their kind is sent are ignored on
// return: replies need not come back in the order they were asked for.
let logsAsked = 0, messageAsked = 0;
// Set when this page replaced the login token and follows the new address.
let leaving = false;

const T = (key) => (key in texts ? texts[key] : key.replace(/^\*(?=.)/, ''));
const menuText = (t) => t.replace(/&(.)/g, '$1');

class ApiError extends Error {
  constructor(message, status, busy) { super(message); this.status = status; this.busy = busy; }
}
async function api(path, body) {
  const init = body === undefined ? {} : {
    method: 'POST', headers: {'Content-Type': 'application/json', 'X-Orvane-Token': TOKEN},
    body: JSON.stringify(body)};
  const res = await fetch(path, init);
  const data = await res.json().catch(() => ({}));
  if (res.status === 401) {
    // The session is over (logged out, expired, or a new gateway process):
    // the login page decides what comes next, unless the page is already
    // on its way to the new login address.
    if (!leaving) window.location.assign('/');
    throw new ApiError(data.error || 'login required', 401, false);
  }
  if (res.status === 503 && data.error === 'busy') {
    // The gateway thread is tied up (a run waiting on the network); the page
    // stays as it is and the next poll or click tries again.
    banner('busy', data.message || T('*Working...'));
    throw new ApiError(data.message || 'busy', 503, true);
  }
  if (!res.ok) throw new ApiError(data.message || ('HTTP ' + res.status), res.status, false);
  return data;
}

/* Banner: the connection's state above everything else */
function banner(kind, text) {
  const b = $('#banner');
  if (!kind) { b.hidden = true; b.textContent = ''; delete b.dataset.kind; return; }
  b.dataset.kind = kind;
  b.textContent = text;
  b.hidden = false;
}
function setOffline(kind) {
  if (offline === 'stopped' && kind === 'lost') return;
  offline = kind;
  document.body.classList.add('offline');
  document.querySelectorAll('#menubar .menu > button').forEach((btn) => { btn.disabled = true; });
  closeMenus();
  $('#popup').hidden = true;
  document.querySelectorAll('dialog[open]').forEach((d) => d.close());
  $('#busy').hidden = true;
  document.body.classList.remove('busy');
  $('#status-text').textContent = T('*Connection to the gateway lost');
  banner(kind, T(kind === 'stopped' ? '*The gateway has stopped; this page reconnects when it runs again'
                                    : '*Connection to the gateway lost; reconnecting...'));
}

/* Questions in the console's own dialog: resolves true for Yes */
function ask(caption, text) {
  const d = $('#confirm-dialog');
  $('#confirm-caption').textContent = caption || T('*Tarnwick @Orvane');
  $('#confirm-text').textContent = text;
  return new Promise((resolve) => {
    const done = (answer) => {
      $('#btn-confirm-yes').onclick = $('#btn-confirm-no').onclick = d.oncancel = null;
      if (d.open) d.close();
      resolve(answer);
    };
    $('#btn-confirm-yes').onclick = () => done(true);
    $('#btn-confirm-no').onclick = () => done(false);
    d.oncancel = (ev) => { ev.preventDefault(); done(false); };
    d.showModal();
    $('#btn-confirm-no').focus();
  });
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

/* Menus: mouse and keyboard (arrows move, Enter or Space acts, Escape
   closes), with the ARIA menu roles */
function buildMenu() {
  const bar = $('#menubar');
  bar.replaceChildren();
  for (const top of menu) {
    const m = el('div', undefined, 'menu');
    const b = el('button', menuText(top.text));
    b.setAttribute('role', 'menuitem');
    b.setAttribute('aria-haspopup', 'menu');
    b.setAttribute('aria-expanded', 'false');
    const list = el('ul');
    list.setAttribute('role', 'menu');
    list.setAttribute('aria-label', menuText(top.text));
    for (const item of top.items || []) {
      if (!item.text) { const sep = el('li', undefined, 'separator'); sep.setAttribute('role', 'separator'); list.append(sep); continue; }
      const li = el('li', menuText(item.text));
      li.setAttribute('role', 'menuitem');
      li.tabIndex = -1;
      li.dataset.command = item.command;
      li.addEventListener('mouseenter', () => { $('#prompt').textContent = item.prompt; });
      li.addEventListener('mouseleave', () => { $('#prompt').textContent = ''; });
      li.addEventListener('focus', () => { $('#prompt').textContent = item.prompt; });
      li.addEventListener('blur', () => { $('#prompt').textContent = ''; });
      li.addEventListener('click', (ev) => { ev.stopPropagation(); closeMenus(); command(item.command); });
      li.addEventListener('keydown', (ev) => itemKey(ev, m, li, item));
      list.append(li);
    }
    b.addEventListener('click', (ev) => {
      ev.stopPropagation();
      const open = m.classList.contains('open');
      closeMenus();
      if (!open) openMenu(m, false);
    });
    b.addEventListener('keydown', (ev) => topKey(ev, m));
    b.addEventListener('mouseenter', () => {
      if (document.querySelector('.menu.open') && !m.classList.contains('open')) { closeMenus(); openMenu(m, false); }
    });
    m.append(b, list);
    bar.append(m);
  }
}
const menuItems = (m) => [...m.querySelectorAll('li[role="menuitem"]')];
const topMenus = () => [...document.querySelectorAll('#menubar .menu')];
function openMenu(m, focusFirst) {
  m.classList.add('open');
  m.querySelector('button').setAttribute('aria-expanded', 'true');
  if (focusFirst) { const first = menuItems(m)[0]; if (first) first.focus(); }
}
function closeMenus() {
  document.querySelectorAll('.menu.open').forEach((m) => {
    m.classList.remove('open');
    m.querySelector('button').setAttribute('aria-expanded', 'false');
  });
}
function neighbourMenu(m, step) {
  const all = topMenus();
  return all[(all.indexOf(m) + step + all.length) % all.length];
}
function topKey(ev, m) {
  const keys = {ArrowDown: 0, Enter: 0, ' ': 0, ArrowUp: 0, ArrowRight: 1, ArrowLeft: -1, Escape: 2};
  if (!(ev.key in keys)) return;
  ev.preventDefault();
  ev.stopPropagation();
  if (ev.key === 'Escape') { closeMenus(); return; }
  if (keys[ev.key] === 0) {
    closeMenus();
    openMenu(m, true);
    if (ev.key === 'ArrowUp') { const items = menuItems(m); items[items.length - 1].focus(); }
    return;
  }
  const next = neighbourMenu(m, keys[ev.key]);
  const wasOpen = m.classList.contains('open');
  closeMenus();
  next.querySelector('button').focus();
  if (wasOpen) openMenu(next, true);
}
function itemKey(ev, m, li, item) {
  const items = menuItems(m);
  const at = items.indexOf(li);
  let handled = true;
  switch (ev.key) {
    case 'ArrowDown': items[(at + 1) % items.length].focus(); break;
    case 'ArrowUp': items[(at - 1 + items.length) % items.length].focus(); break;
    case 'Home': items[0].focus(); break;
    case 'End': items[items.length - 1].focus(); break;
    case 'ArrowRight': case 'ArrowLeft': {
      const next = neighbourMenu(m, ev.key === 'ArrowRight' ? 1 : -1);
      closeMenus();
      next.querySelector('button').focus();
      openMenu(next, true);
      break;
    }
    case 'Enter': case ' ':
      closeMenus();
      m.querySelector('button').focus();
      command(item.command);
      break;
    case 'Escape':
      closeMenus();
      m.querySelector('button').focus();
      break;
    case 'Tab': closeMenus(); handled = false; break;
    default: handled = false;
  }
  if (handled) { ev.preventDefault(); ev.stopPropagation(); }
}

async function command(id) {
  if (offline) return;
  switch (id) {
    case 57665:
      if (!await ask(T('*Exit stops the gateway for every operator'),
                     T('*No mail is retrieved and no notices are sent until the gateway is started again. Exit now?'))) return;
      try {
        await api('/api/command', {command: id});
      } catch (e) {
        if (e.busy) return;
        if (e.status) { notice('error', '', e.message); return; }
      }
      setOffline('stopped');
      return;
    case 32780:
      // Ends this browser's session only; without a session the login page
      // is where the console starts again.
      await api('/api/logout', {}).catch(() => {});
      $('#status-text').textContent = T('*Logged out');
      window.location.assign('/');
      return;
    case 32781: {
      if (!await ask(menuText(T('*&New Login Token')),
                     T('*Every console session ends, this one too, and the old login address stops working. Replace the login token?'))) return;
      // The answer carries the new login address: following it starts
      // this browser's new session.
      leaving = true;
      try {
        const r = await api('/api/newtoken', {});
        window.location.assign(r.login);
      } catch (e) {
        leaving = false;
        throw e;
      }
      return;
    }
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
  const asked = ++logsAsked;
  const data = await api('/api/logs?status=' + listed);
  if (asked !== logsAsked || data.status !== listed) return;
  listedRows = data.rows;
  followed = data.followed || [];
  renderLogs();
}
// The listed rows that match the search box, in the chosen column's order.
function shownRows() {
  const needle = searchText.trim().toLocaleLowerCase();
  let list = needle ? listedRows.filter((r) => [r.from, r.subject, r.ref, r.received]
    .some((v) => String(v).toLocaleLowerCase().includes(needle))) : listedRows.slice();
  if (sortColumn) {
    const collator = new Intl.Collator(undefined, {numeric: true, sensitivity: 'base'});
    list.sort((a, b) => sortDirection * collator.compare(String(a[sortColumn]), String(b[sortColumn])) || a.key - b.key);
  }
  return list;
}
function renderLogs() {
  rows = shownRows();
  // Rows the search hides leave the selection: nothing acts on what the
  // operator cannot see.
  selectedKeys = selectedKeys.filter((k) => rows.some((r) => r.key === k));
  const body = $('#logs tbody');
  body.replaceChildren();
  $('#logs').dataset.listed = listed;  // which category the rows are of
  document.querySelectorAll('#logs th[data-sort]').forEach((th) => {
    th.setAttribute('aria-sort', th.dataset.sort !== sortColumn ? 'none' : sortDirection > 0 ? 'ascending' : 'descending');
  });
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
function sortBy(column) {
  if (sortColumn === column) sortDirection = -sortDirection;
  else { sortColumn = column; sortDirection = 1; }
  anchorIndex = -1;
  renderLogs();
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
  const asked = ++messageAsked;
  const data = await api('/api/log?key=' + key);
  if (asked !== messageAsked) return;
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
// Asks first when the command cannot be undone, or when the rows would leave
// the statuses that get notices (their requestors would hear no more).
async function confirmLogCommand(name, target) {
  const isFollowed = (s) => followed.includes(s);
  if (name === 'delete' && listed === 9)
    return ask(T('*Delete'), T('*The selected logs will be removed for good. Delete them?'));
  const to = name === 'save' ? 7 : name === 'delete' ? 9 : name === 'move' ? target : listed;
  if (name !== 'copy' && isFollowed(listed) && !isFollowed(to))
    return ask(T(name === 'save' ? '*Save' : name === 'delete' ? '*Delete' : '*Move here'),
               T('*The requestors of the selected logs will get no more notices about them. Go on?'));
  return true;
}
async function logCommand(name, target, keys) {
  if (!await confirmLogCommand(name, target)) return;
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
// The E-mail page and the Preferences page's limits are built from the
// fields the gateway lists: each a setting, its label and its kind, maybe
// a heading above it. A secret is never sent to the page; it shows whether
// one is set and takes a new value or Clear.
function buildFields(form, fields) {
  form.replaceChildren();
  for (const f of fields) {
    if (f.group) form.append(el('h3', f.group, 'group'));
    const id = 's' + f.setting;
    const label = el('label', f.label);
    label.htmlFor = id;
    let input;
    if (f.kind === 'choice') {
      input = el('select');
      for (const c of f.choices || []) { const o = el('option', c.text); o.value = c.value; input.append(o); }
      input.value = f.value;
      input.dataset.saved = f.value;
    } else if (f.kind === 'check') {
      input = el('input');
      input.type = 'checkbox';
      input.checked = f.value === '1';
      input.dataset.saved = f.value;
    } else {
      input = el('input');
      if (f.kind === 'port' || f.kind === 'number') input.inputMode = 'numeric';
      if (f.hint) input.placeholder = f.hint;
      if (f.kind === 'secret') {
        input.type = 'password';
        input.autocomplete = 'new-password';
        input.placeholder = T('*Type a new value to replace it');
      } else {
        input.value = f.value;
        input.dataset.saved = f.value;
      }
    }
    input.id = id;
    input.dataset.setting = f.setting;
    input.dataset.kind = f.kind;
    input.addEventListener('change', () => inTurn(() => storeSetting(input)));
    if (f.kind !== 'secret') { form.append(label, input); continue; }
    const state = el('span', T(f.set ? '*Set' : '*Not set'), 'secret-state');
    state.id = id + '-state';
    const clear = el('button', T('*Clear'));
    clear.type = 'button';
    clear.id = id + '-clear';
    clear.addEventListener('click', () => inTurn(() => storeSecret(input, '')));
    const box = el('span', undefined, 'secret');
    box.append(input, state, clear);
    form.append(label, box);
  }
}
async function openSettings(page) {
  const data = await api('/api/settings');
  buildFields($('#email-form'), data.email);
  buildFields($('#limits-form'), data.limits);
  const result = $('#connection-test');
  result.hidden = true;
  result.textContent = '';
  for (const [n, v] of Object.entries(data.texts)) $('#s' + n).value = v;
  for (const [n, v] of Object.entries(data.checks)) $('#c' + n).checked = v;
  const unit = $('#interval-unit');
  unit.replaceChildren();
  for (const u of data.interval.units) { const o = el('option', u.text); o.value = u.factor; unit.append(o); }
  unit.value = String(data.interval.unit);
  $('#interval-quantity').value = data.interval.quantity;
  document.querySelectorAll('#settings-dialog .error').forEach((e) => { e.textContent = ''; });
  document.querySelectorAll('#settings-dialog .invalid').forEach((e) => e.classList.remove('invalid'));
  await loadAccounts();
  selectPage(page);
  const dialog = $('#settings-dialog');
  if (!dialog.open) dialog.showModal();
}
// Fields are stored one after the other, in the order they changed: a
// password typed right after its server's new port must reach the
// gateway after the port, which clears the old password.
let storing = Promise.resolve();
function inTurn(work) {
  const done = storing.then(work, work);
  storing = done.catch(() => {});
  return done;
}
function pageError(input, message) {
  const page = input.closest('.page');
  page.querySelector('.error').textContent = message || '';
  input.classList.toggle('invalid', !!message);
}
async function storeSetting(input) {
  if (input.dataset.kind === 'secret') {
    // An emptied secret field means "leave it"; Clear is the way to remove one.
    if (input.value !== '') await storeSecret(input, input.value);
    return;
  }
  const value = input.type === 'checkbox' ? (input.checked ? '1' : '0') : input.value;
  const setting = Number(input.dataset.setting);
  if ('saved' in input.dataset) {
    // A change of where or how a secret is sent clears that secret: the
    // gateway says which ones before anything is stored, and No keeps
    // the field as it was.
    const check = await api('/api/setting', {setting, value, dryRun: true});
    if (check.labels && check.labels.length &&
        !await ask(T('*Stored secrets will be cleared'),
                   T('*These belong to the connection as it is now and are cleared by this change; you will have to enter them again:') +
                   '\n\n' + check.labels.join('\n'))) {
      if (input.type === 'checkbox') input.checked = input.dataset.saved === '1';
      else input.value = input.dataset.saved;
      return;
    }
  }
  const r = await api('/api/setting', {setting, value});
  pageError(input, r.ok ? '' : r.message);
  if (!r.ok) return;
  if ('saved' in input.dataset) input.dataset.saved = value;
  for (const n of r.cleared || []) {
    const state = $('#s' + n + '-state');
    if (state) state.textContent = T('*Not set');
  }
  // Not an error: says which secrets must be entered again.
  if (r.message) input.closest('.page').querySelector('.error').textContent = r.message;
}
async function storeSecret(input, value) {
  const r = await api('/api/setting', {setting: Number(input.dataset.setting), value});
  pageError(input, r.ok ? '' : r.message);
  if (!r.ok) return;
  input.value = '';
  $('#' + input.id + '-state').textContent = T(value === '' ? '*Not set' : '*Set');
}
async function storeInterval() {
  // Sent as typed: the gateway refuses what is not a whole number rather
  // than storing 0 for it.
  const q = $('#interval-quantity');
  const r = await api('/api/setting', {interval: {quantity: q.value.trim(), unit: Number($('#interval-unit').value)}});
  pageError(q, r.ok ? '' : r.message);
}
async function storeCheck(box) {
  const r = await api('/api/setting', {setting: Number(box.dataset.check), checked: box.checked});
  pageError(box, r.ok ? '' : r.message);
}

// "Test connection": the gateway runs it with the settings as stored and
// the page asks for its lines until they are there (it may wait on the
// network for a while; other requests go on meanwhile).
async function testConnection(button) {
  const buttons = document.querySelectorAll('#page-email button[data-server]');
  const result = $('#connection-test');
  buttons.forEach((b) => { b.disabled = true; });
  result.hidden = false;
  result.textContent = T('*Testing...');
  try {
    const {id} = await api('/api/connectiontest', {server: button.dataset.server});
    for (;;) {
      await new Promise((resolve) => setTimeout(resolve, 400));
      const r = await api('/api/connectiontest?id=' + id);
      if (r.done) { result.textContent = r.lines.join('\n'); break; }
    }
  } catch (e) {
    result.textContent = e.message;
  } finally {
    buttons.forEach((b) => { b.disabled = false; });
  }
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
// Opens Account Details for one account; resolves when the dialog is left
// (OK stored, or Cancel), so several accounts are edited one after another.
async function editAccount(key) {
  const d = await api('/api/account?key=' + key);
  if (!d.found) { $('#accounts-error').textContent = ''; return; }
  editingAccount = key;
  $('#account-text').value = d.description;
  $('#acc-receive').checked = d.receive;
  $('#acc-dlg-disabled').checked = d.disabled;
  const closed = new Promise((resolve) => { accountDone = resolve; });
  $('#account-dialog').showModal();
  await closed;
}
async function finishAccount(save) {
  const dialog = $('#account-dialog');
  const done = accountDone;
  accountDone = null;
  if (dialog.open) dialog.close();
  try {
    if (save) await accountsAction({action: 'edit', keys: [editingAccount], receive: $('#acc-receive').checked,
                                    disabled: $('#acc-dlg-disabled').checked});
  } finally {
    if (done) done();
  }
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
  // The last run's text stays in the gateway's snapshot after it ends; idle
  // is shown as Ready whatever the last run said.
  $('#status-text').textContent = s.busy ? (s.status || T('*Working...')) : T('*Ready');
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
    // After Exit the gateway may still answer for a moment while it shuts
    // down; it is back only once it has been seen gone (or keeps running).
    if (offline === 'stopped' && !lostSince && ++answeredSinceExit < 10) { setTimeout(poll, 1000); return; }
    if (offline) {
      // The gateway answers again, perhaps a new process with a new token:
      // start over from the page it serves now.
      window.location.reload();
      return;
    }
    if ($('#banner').dataset.kind === 'busy') banner(null);
  } catch (e) {
    if (!e.busy && e.status !== 401) { setOffline(offline || 'lost'); lostSince = true; }
  }
  setTimeout(poll, 1000);
}

function wire() {
  document.addEventListener('click', () => { closeMenus(); $('#popup').hidden = true; });
  document.addEventListener('keydown', (ev) => {
    if (ev.key === 'F10' && !offline) { ev.preventDefault(); const first = $('#menubar .menu > button'); if (first) first.focus(); }
    if (ev.key === 'Escape' && !$('#popup').hidden) $('#popup').hidden = true;
  });
  document.querySelectorAll('#logs th[data-sort]').forEach((th) => {
    th.tabIndex = 0;
    th.addEventListener('click', () => sortBy(th.dataset.sort));
    th.addEventListener('keydown', (ev) => { if (ev.key === 'Enter' || ev.key === ' ') { ev.preventDefault(); sortBy(th.dataset.sort); } });
  });
  $('#log-search').placeholder = T('*Search');
  $('#log-search').setAttribute('aria-label', T('*Search'));
  $('#log-search').addEventListener('input', (ev) => { searchText = ev.target.value; anchorIndex = -1; renderLogs(); });
  $('#btn-details-ok').addEventListener('click', () => $('#details-dialog').close());
  $('#btn-print').addEventListener('click', printDetails);
  $('#btn-mail').addEventListener('click', mailRequestor);
  document.querySelectorAll('#settings-dialog .tab').forEach((t) => t.addEventListener('click', () => selectPage(t.dataset.page)));
  $('#btn-settings-close').addEventListener('click', () => $('#settings-dialog').close());
  document.querySelectorAll('#page-preferences input[data-setting]').forEach((i) => i.addEventListener('change', () => inTurn(() => storeSetting(i))));
  document.querySelectorAll('#settings-dialog input[data-check]').forEach((b) => b.addEventListener('click', () => storeCheck(b)));
  $('#interval-quantity').addEventListener('change', storeInterval);
  document.querySelectorAll('#page-email button[data-server]').forEach((b) => b.addEventListener('click', () => testConnection(b)));
  $('#interval-unit').addEventListener('change', storeInterval);
  $('#btn-acc-add').addEventListener('click', openContacts);
  $('#btn-acc-edit').addEventListener('click', async () => { for (const k of accountSelection.slice()) await editAccount(k); });
  $('#btn-acc-everybody').addEventListener('click', () => editAccount(0));
  $('#btn-acc-delete').addEventListener('click', async () => {
    if (!accountSelection.length) return;
    if (!await ask(T('*Delete'), T('*Are you sure you want to permanently delete the selected account(s)?'))) return;
    await accountsAction({action: 'delete', keys: accountSelection});
  });
  $('#acc-disabled').addEventListener('click', (ev) => {
    if (accountSelection.length) accountsAction({action: 'disable', keys: accountSelection, disabled: ev.target.checked});
  });
  $('#btn-account-ok').addEventListener('click', () => finishAccount(true));
  $('#btn-account-cancel').addEventListener('click', () => finishAccount(false));
  $('#account-dialog').addEventListener('cancel', (ev) => { ev.preventDefault(); finishAccount(false); });
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
// A request that failed inside a click handler: the gateway's refusal is
// shown, a lost connection turns the page offline; anything else is a
// fault of the page and stays an error.
window.addEventListener('unhandledrejection', (ev) => {
  const e = ev.reason;
  if (e instanceof ApiError) {
    ev.preventDefault();
    if (e.status !== 401 && !e.busy) notice('error', '', e.message);
  } else if (e instanceof TypeError && e.message === 'Failed to fetch') {
    ev.preventDefault();
    setOffline('lost');
  }
});
start().catch((e) => {
  if (e.status === 401) return;
  if (!e.status) { setOffline('lost'); setTimeout(poll, 1000); return; }
  notice('error', '', e.message);
});
})();

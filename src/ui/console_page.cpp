// The console page and its style sheet (console_assets.h).
#include "ui/console_assets.h"

namespace {

constexpr std::string_view kPage = R"HTML(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<meta name="orv-token" content="{{TOKEN}}">
<title>{{TITLE}}</title>
<link rel="stylesheet" href="/assets/console.css">
<script src="/assets/console.js" defer></script>
</head>
<body>
<div id="app">
  <nav id="menubar" role="menubar"></nav>
  <main id="frame">
    <ul id="categories" role="listbox" aria-label="categories"></ul>
    <section id="right">
      <div id="dialogbar"><span id="category-label"></span></div>
      <div id="logs-pane" class="pane">
        <table id="logs" class="grid">
          <thead><tr><th data-text="*From"></th><th data-text="*Subject"></th><th data-text="*Ref #"></th><th data-text="*Received"></th></tr></thead>
          <tbody></tbody>
        </table>
      </div>
      <pre id="message-text" class="pane" tabindex="0"></pre>
      <div id="diagnostics-pane" class="pane">
        <table id="diagnostics" class="grid">
          <thead><tr><th data-text="*Date/Time of Diagnostic Message"></th><th data-text="*Description"></th></tr></thead>
          <tbody></tbody>
        </table>
      </div>
    </section>
  </main>
  <footer id="statusbar"><span id="busy" hidden></span><span id="status-text"></span><span id="prompt"></span></footer>
</div>
<div id="notices" aria-live="polite"></div>
<ul id="popup" class="popup" hidden></ul>

<dialog id="details-dialog">
  <h2 data-text="*Log Details"></h2>
  <textarea id="details-text" readonly wrap="off"></textarea>
  <div class="buttons">
    <button id="btn-print" data-text="*Print"></button>
    <button id="btn-mail" data-text="*E-mail Requestor"></button>
    <button id="btn-details-ok" data-text="*OK" class="default"></button>
  </div>
</dialog>

<dialog id="settings-dialog">
  <h2 data-text="*Settings"></h2>
  <div class="tabs" role="tablist">
    <button class="tab" data-page="accounts" data-text="*Accounts"></button>
    <button class="tab" data-page="email" data-text="*E-mail"></button>
    <button class="tab" data-page="preferences" data-text="*Preferences"></button>
  </div>
  <section class="page" id="page-accounts">
    <div class="pane accounts-pane">
      <table id="accounts" class="grid">
        <thead><tr><th data-text="*Name"></th><th data-text="*Phone"></th><th data-text="*E-mail"></th></tr></thead>
        <tbody></tbody>
      </table>
    </div>
    <div class="buttons left">
      <button id="btn-acc-add" data-text="*Add"></button>
      <button id="btn-acc-edit" data-text="*Edit"></button>
      <button id="btn-acc-delete" data-text="*Delete"></button>
      <button id="btn-acc-everybody" data-text="*Everybody"></button>
      <label><input type="checkbox" id="acc-disabled"> <span data-text="*Disabled"></span></label>
    </div>
    <p class="error" id="accounts-error"></p>
  </section>
  <section class="page" id="page-email">
    <div class="form">
      <label data-text="*POP3 Server:" for="s101"></label><input id="s101" data-setting="101">
      <label data-text="*Account name:" for="s103"></label><input id="s103" data-setting="103">
      <label data-text="*Password:" for="s104"></label><input id="s104" data-setting="104" type="password" autocomplete="off">
      <label data-text="*POP3 port (optional):" for="s105"></label><input id="s105" data-setting="105" inputmode="numeric">
      <label data-text="*SMTP Server:" for="s102"></label><input id="s102" data-setting="102">
      <label data-text="*SMTP port (optional):" for="s106"></label><input id="s106" data-setting="106" inputmode="numeric">
    </div>
    <p class="error" id="email-error"></p>
  </section>
  <section class="page" id="page-preferences">
    <div class="form">
      <label data-text="*Send/Retrieve email and update logs every:" for="interval-quantity"></label>
      <span class="interval"><input id="interval-quantity" type="number" min="0" step="1"><select id="interval-unit"></select></span>
      <label data-text="*Title:" for="s152"></label><input id="s152" data-setting="152">
      <label data-text="*Subject line prefix:" for="s153"></label><input id="s153" data-setting="153">
      <label data-text="*First line:" for="s154"></label><input id="s154" data-setting="154">
      <label data-text="*Return e-mail address:" for="s155"></label><input id="s155" data-setting="155">
    </div>
    <div class="checks">
      <label><input type="checkbox" id="c156" data-check="156"> <span data-text="*Clear diagnostics messages when program starts"></span></label>
      <label><input type="checkbox" id="c157" data-check="157"> <span data-text="*Check Completed Bin for change "></span></label>
      <label><input type="checkbox" id="c158" data-check="158"> <span data-text="*Check Voided Bin for change"></span></label>
      <label><input type="checkbox" id="c159" data-check="159"> <span data-text="*Include the work-order's closing comments"></span></label>
    </div>
    <p class="error" id="preferences-error"></p>
  </section>
  <div class="buttons"><button id="btn-settings-close" data-text="*OK" class="default"></button></div>
</dialog>

<dialog id="account-dialog">
  <h2 data-text="*Account Details"></h2>
  <textarea id="account-text" readonly wrap="off"></textarea>
  <fieldset><legend data-text="*Permissions"></legend>
    <label><input type="checkbox" id="acc-receive"> <span data-text="*Receive acknowledgements"></span></label>
    <label><input type="checkbox" id="acc-dlg-disabled"> <span data-text="*Disabled"></span></label>
  </fieldset>
  <div class="buttons">
    <button id="btn-account-ok" data-text="*OK" class="default"></button>
    <button id="btn-account-cancel" data-text="*Cancel"></button>
  </div>
</dialog>

<dialog id="contacts-dialog">
  <h2 data-text="*Select Requestors from the Tarnwick Contacts Table"></h2>
  <div class="pane contacts-pane">
    <table id="contacts" class="grid">
      <thead><tr><th data-text="*Name"></th><th data-text="*Phone"></th><th data-text="*E-mail"></th></tr></thead>
      <tbody></tbody>
    </table>
  </div>
  <p class="note" data-text="*Note:  you must use Tarnwick CMMS to edit this Contacts Table."></p>
  <div class="buttons">
    <button id="btn-contacts-ok" data-text="*OK" class="default"></button>
    <button id="btn-contacts-cancel" data-text="*Cancel"></button>
  </div>
</dialog>

<dialog id="about-dialog">
  <h2 id="about-caption"></h2>
  <p id="about-1"></p><p id="about-2"></p><p id="about-3"></p><p id="about-4"></p>
  <div class="buttons"><button id="btn-about-ok" data-text="*OK" class="default"></button></div>
</dialog>

<pre id="print-area"></pre>
</body>
</html>
)HTML";

constexpr std::string_view kStyle = R"CSS(
:root { --cat-bg: rgb(80,80,110); --line: #c8c8d0; --sel: #2f5fb3; --face: #f3f3f6; }
* { box-sizing: border-box; }
html, body { margin: 0; height: 100%; font: 13px/1.35 system-ui, "Segoe UI", "DejaVu Sans", sans-serif; color: #1d1d22; }
#app { display: flex; flex-direction: column; height: 100vh; }
#menubar { display: flex; gap: 2px; background: var(--face); border-bottom: 1px solid var(--line); padding: 2px 4px; user-select: none; }
.menu { position: relative; }
.menu > button { background: none; border: 0; padding: 4px 10px; font: inherit; cursor: default; }
.menu > button:hover, .menu.open > button { background: #dde3f0; }
.menu ul { display: none; position: absolute; left: 0; top: 100%; z-index: 20; min-width: 220px; margin: 0; padding: 3px 0; list-style: none; background: #fff; border: 1px solid #999; box-shadow: 2px 3px 8px rgba(0,0,0,.2); }
.menu.open ul { display: block; }
.menu li { padding: 4px 18px; white-space: nowrap; }
.menu li:hover { background: var(--sel); color: #fff; }
.menu li.separator { padding: 0; margin: 3px 0; border-top: 1px solid var(--line); }
.menu li.separator:hover { background: none; }
#frame { flex: 1; display: flex; min-height: 0; }
#categories { width: 170px; flex: none; margin: 0; padding: 6px 0; list-style: none; background: var(--cat-bg); color: #fff; overflow-y: auto; }
#categories li { display: flex; align-items: center; gap: 8px; padding: 7px 10px; cursor: pointer; border: 1px solid transparent; }
#categories li .icon { width: 22px; height: 22px; border-radius: 4px; flex: none; display: grid; place-items: center; font-size: 12px; font-weight: 600; background: rgba(255,255,255,.16); }
#categories li.selected { background: rgba(255,255,255,.22); border-color: rgba(255,255,255,.5); }
#categories li.drop { border: 1px dashed #fff; background: rgba(255,255,255,.3); }
#right { flex: 1; display: flex; flex-direction: column; min-width: 0; }
#dialogbar { padding: 4px 8px; background: var(--face); border-bottom: 1px solid var(--line); font-weight: 600; }
.pane { overflow: auto; border-bottom: 1px solid var(--line); }
#logs-pane { height: 190px; flex: none; }
#message-text { height: 150px; flex: none; margin: 0; padding: 6px 8px; white-space: pre-wrap; overflow-wrap: anywhere; font: 12px/1.4 ui-monospace, "DejaVu Sans Mono", monospace; background: #fff; }
#diagnostics-pane { flex: 1; min-height: 80px; }
table.grid { border-collapse: collapse; width: 100%; table-layout: fixed; }
table.grid th { position: sticky; top: 0; background: var(--face); text-align: left; font-weight: 500; padding: 3px 6px; border-right: 1px solid var(--line); border-bottom: 1px solid var(--line); overflow: hidden; text-overflow: ellipsis; white-space: nowrap; }
table.grid td { padding: 2px 6px; white-space: nowrap; overflow: hidden; text-overflow: ellipsis; }
table.grid tbody tr { cursor: default; }
table.grid tbody tr.selected { background: var(--sel); color: #fff; }
#logs th:nth-child(1) { width: 200px; } #logs th:nth-child(2) { width: 300px; } #logs th:nth-child(3) { width: 150px; }
#diagnostics th:nth-child(1) { width: 190px; }
#statusbar { display: flex; gap: 10px; align-items: center; padding: 3px 8px; background: var(--face); border-top: 1px solid var(--line); min-height: 24px; }
#prompt { margin-left: auto; color: #555; }
#busy { width: 14px; height: 14px; border: 2px solid #aab; border-top-color: var(--sel); border-radius: 50%; animation: spin .8s linear infinite; }
body.busy, body.busy * { cursor: progress; }
@keyframes spin { to { transform: rotate(360deg); } }
#notices { position: fixed; right: 12px; top: 36px; z-index: 50; display: flex; flex-direction: column; gap: 6px; max-width: 420px; }
.notice { background: #fff; border-left: 5px solid #3b82c4; box-shadow: 0 2px 10px rgba(0,0,0,.25); padding: 8px 10px; }
.notice.error { border-left-color: #c43b3b; } .notice.warning { border-left-color: #d99a1e; } .notice.question { border-left-color: #7a4fc4; }
.notice h3 { margin: 0 0 4px; font-size: 13px; }
.notice pre { margin: 0 0 6px; white-space: pre-wrap; overflow-wrap: anywhere; font: inherit; }
.popup { position: fixed; z-index: 40; margin: 0; padding: 3px 0; list-style: none; background: #fff; border: 1px solid #999; box-shadow: 2px 3px 8px rgba(0,0,0,.2); }
.popup li { padding: 4px 18px; cursor: default; } .popup li:hover { background: var(--sel); color: #fff; }
dialog { border: 1px solid #888; padding: 12px 16px; box-shadow: 0 6px 30px rgba(0,0,0,.35); max-width: 92vw; }
dialog::backdrop { background: rgba(20,20,40,.25); }
dialog h2 { margin: 0 0 10px; font-size: 15px; }
#details-dialog textarea, #account-dialog textarea { width: 720px; max-width: 86vw; height: 360px; font: 12px/1.4 ui-monospace, "DejaVu Sans Mono", monospace; }
#account-dialog textarea { height: 140px; width: 520px; }
.buttons { display: flex; gap: 8px; justify-content: flex-end; margin-top: 10px; align-items: center; }
.buttons.left { justify-content: flex-start; }
button { font: inherit; padding: 4px 14px; }
button.default { font-weight: 600; }
#settings-dialog { width: 640px; }
.tabs { display: flex; gap: 2px; border-bottom: 1px solid var(--line); margin-bottom: 10px; }
.tab { border: 1px solid var(--line); border-bottom: 0; background: var(--face); }
.tab.active { background: #fff; position: relative; top: 1px; font-weight: 600; }
.page { display: none; } .page.active { display: block; }
.form { display: grid; grid-template-columns: max-content 1fr; gap: 6px 10px; align-items: center; }
.form input { width: 100%; }
.interval { display: flex; gap: 6px; } .interval input { width: 90px; }
.checks { display: flex; flex-direction: column; gap: 4px; margin-top: 12px; }
.accounts-pane, .contacts-pane { height: 230px; border: 1px solid var(--line); }
.error { color: #b42318; min-height: 1.2em; margin: 6px 0 0; white-space: pre-wrap; }
input.invalid { outline: 2px solid #b42318; }
.note { font-size: 12px; color: #444; }
#print-area { display: none; }
@media print {
  #app, #notices, dialog, .popup { display: none !important; }
  #print-area { display: block; margin: 0; font: 10pt/1.33 "DejaVu Sans Mono", monospace; white-space: pre; }
  @page { margin: 0.5in; }
}
)CSS";

}  // namespace

std::string_view consolePage() { return kPage; }

const ConsoleAsset* consoleScriptAsset();

const ConsoleAsset* consoleAsset(std::string_view name) {
  static const ConsoleAsset style{"text/css; charset=utf-8", kStyle};
  if (name == "console.css") return &style;
  if (name == "console.js") return consoleScriptAsset();
  return nullptr;
}

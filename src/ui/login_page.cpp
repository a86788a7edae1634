#include "ui/login_page.h"

#include "common/string_mapper.h"
#include "ui/console_security.h"

namespace {

constexpr std::string_view kPage = R"HTML(<!DOCTYPE html>
<html>
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>{{TITLE}}</title>
<link rel="stylesheet" href="/assets/login.css">
<script src="/assets/login.js" defer></script>
</head>
<body>
<main id="login">
  <h1>{{TITLE}}</h1>
  <p id="login-hint">{{HINT}}</p>
  <form id="login-form" {{FORM}}>
    <label for="password">{{PASSWORD}}</label>
    <input id="password" name="password" type="password" autocomplete="current-password" autofocus>
    <button id="btn-login" type="submit" class="default">{{LOGIN}}</button>
  </form>
  <p id="login-error" role="alert"></p>
</main>
</body>
</html>
)HTML";

constexpr std::string_view kStyle = R"CSS(
* { box-sizing: border-box; }
html, body { margin: 0; height: 100%; font: 13px/1.35 system-ui, "Segoe UI", "DejaVu Sans", sans-serif; color: #1d1d22; background: rgb(80,80,110); }
#login { max-width: 380px; margin: 12vh auto 0; padding: 18px 22px 14px; background: #f3f3f6; border: 1px solid #c8c8d0; box-shadow: 2px 3px 8px rgba(0,0,0,.25); }
h1 { margin: 0 0 10px; font-size: 16px; font-weight: 600; }
#login-hint { margin: 0 0 12px; }
form { display: grid; grid-template-columns: auto 1fr; gap: 8px; align-items: center; }
form[hidden] { display: none; }
input { font: inherit; padding: 3px 5px; border: 1px solid #999; }
button { grid-column: 2; justify-self: end; font: inherit; padding: 3px 14px; }
button.default { border: 1px solid #2f5fb3; }
#login-error { min-height: 1.35em; margin: 10px 0 0; color: #b00020; }
)CSS";

constexpr std::string_view kScript = R"JS('use strict';
// Posts the password; the server sets the session cookie on success.
document.addEventListener('DOMContentLoaded', () => {
  const form = document.getElementById('login-form');
  const error = document.getElementById('login-error');
  const button = document.getElementById('btn-login');
  form.addEventListener('submit', async (event) => {
    event.preventDefault();
    error.textContent = '';
    button.disabled = true;
    try {
      const reply = await fetch('/api/login', {
        method: 'POST',
        headers: { 'Content-Type': 'application/json' },
        body: JSON.stringify({ password: document.getElementById('password').value }),
        credentials: 'same-origin',
      });
      let body = {};
      try { body = await reply.json(); } catch (e) { /* not JSON: shown as the status */ }
      if (reply.ok && body.ok) { window.location.replace('/'); return; }
      error.textContent = body.error || String(reply.status);
    } catch (e) {
      error.textContent = String(e);
    } finally {
      button.disabled = false;
    }
  });
});
)JS";

std::string replaceAll(std::string text, std::string_view what, std::string_view with) {
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
    text.replace(at, what.size(), with);
  return text;
}

std::string text(const char* marked) { return htmlEscape(translate(marked).view()); }

}  // namespace

std::string loginPage(bool passwordSet) {
  std::string page(kPage);
  page = replaceAll(std::move(page), "{{TITLE}}", text("*Tarnwick @Orvane"));
  page = replaceAll(std::move(page), "{{HINT}}",
                    passwordSet ? text("*Enter the console password, or open the login address that orvserv printed when it started.")
                                : text("*Open the login address that orvserv printed when it started (it is also in @Orvane/console.token)."));
  page = replaceAll(std::move(page), "{{FORM}}", passwordSet ? "" : "hidden");
  page = replaceAll(std::move(page), "{{PASSWORD}}", text("*Password"));
  page = replaceAll(std::move(page), "{{LOGIN}}", text("*Log In"));
  return page;
}

const ConsoleAsset* loginAsset(std::string_view name) {
  static const ConsoleAsset style{"text/css; charset=utf-8", kStyle};
  static const ConsoleAsset script{"text/javascript; charset=utf-8", kScript};
  if (name == "login.css") return &style;
  if (name == "login.js") return &script;
  return nullptr;
}

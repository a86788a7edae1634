// The console's security checks, its HTTP gate, and the texts of the
// main window's lists and details.
#include <gtest/gtest.h>
#include <httplib.h>

#include <filesystem>
#include <fstream>

#include "common/string_mapper.h"
#include "db/log_record.h"
#include "mail/mail_message.h"
#include "ui/console_api.h"
#include "ui/console_security.h"
#include "ui/console_server.h"
#include "ui/log_views.h"

namespace fs = std::filesystem;

TEST(ConsoleSecurity, LoopbackPeersAndHosts) {
  for (const char* a : {"127.0.0.1", "127.8.9.10", "::1", "::ffff:127.0.0.1"}) EXPECT_TRUE(isLoopbackAddress(a)) << a;
  for (const char* a : {"10.0.0.1", "::ffff:10.0.0.1", "0.0.0.0", "localhost", "", "128.0.0.1"})
    EXPECT_FALSE(isLoopbackAddress(a)) << a;
  EXPECT_TRUE(hostAllowed("127.0.0.1:7480", "127.0.0.1"));
  EXPECT_TRUE(hostAllowed("LOCALHOST:7480", "127.0.0.1"));
  EXPECT_TRUE(hostAllowed("[::1]:7480", "127.0.0.1"));
  EXPECT_TRUE(hostAllowed("gw.example.org:80", "gw.example.org"));
  EXPECT_FALSE(hostAllowed("evil.example.com:7480", "127.0.0.1"));
  EXPECT_FALSE(hostAllowed("", "127.0.0.1"));
}

TEST(ConsoleSecurity, TokensAndEscaping) {
  std::string a = makeProcessToken(), b = makeProcessToken();
  EXPECT_EQ(a.size(), 64u);
  EXPECT_NE(a, b);
  EXPECT_TRUE(tokensEqual(a, a));
  EXPECT_FALSE(tokensEqual(a, b));
  EXPECT_FALSE(tokensEqual(a, a.substr(0, 63)));
  EXPECT_FALSE(tokensEqual("", ""));
  EXPECT_EQ(htmlEscape("<a href=\"x\">'&'</a>"), "&lt;a href=&quot;x&quot;&gt;&#39;&amp;&#39;&lt;/a&gt;");
}

TEST(ConsoleSecurity, ManualPathsStayInside) {
  fs::path root = fs::temp_directory_path() / ("orvmanual" + std::to_string(::getpid()));
  fs::create_directories(root / "manual" / "sub");
  std::ofstream(root / "manual" / "Index.htm") << "x";
  std::ofstream(root / "manual" / "sub" / "a.htm") << "y";
  std::ofstream(root / "secret.txt") << "z";
  fs::create_symlink(root / "secret.txt", root / "manual" / "link.htm");
  std::string manual = (root / "manual").string();
  EXPECT_TRUE(resolveUnder(manual, "Index.htm"));
  EXPECT_TRUE(resolveUnder(manual, "sub/a.htm"));
  for (const char* bad : {"../secret.txt", "sub/../../secret.txt", "/etc/passwd", "sub//a.htm", "./Index.htm",
                          "sub\\a.htm", "link.htm", "sub", "missing.htm", ""})
    EXPECT_FALSE(resolveUnder(manual, bad)) << bad;
  fs::remove_all(root);
}

// The session cookie set by a login answer ("orv_session=...; ...").
std::string sessionCookieOf(const httplib::Result& r) {
  std::string set = r->get_header_value("Set-Cookie");
  return set.substr(0, set.find(';'));
}

std::string csrfTokenOf(const std::string& page) {
  const std::string meta = "name=\"orv-token\" content=\"";
  size_t at = page.find(meta);
  if (at == std::string::npos) return std::string();
  at += meta.size();
  return page.substr(at, page.find('"', at) - at);
}

TEST(ConsoleServer, WithoutASessionOnlyTheLoginIsServed) {
  ConsoleApi api(ConsoleContext{});
  ConsoleConfig config;
  config.manualDirectory = fs::temp_directory_path().string();
  ConsoleServer server(config, api);
  std::string error;
  ASSERT_TRUE(server.start(&error)) << error;
  httplib::Client client("127.0.0.1", server.port());

  auto page = client.Get("/");
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 200);
  EXPECT_NE(page->body.find("/assets/login.js"), std::string::npos);
  EXPECT_EQ(page->body.find("console.js"), std::string::npos);
  EXPECT_EQ(csrfTokenOf(page->body), "");
  EXPECT_NE(page->get_header_value("Content-Security-Policy").find("script-src 'self'"), std::string::npos);
  for (const char* path : {"/api/state", "/api/session", "/api/logs?status=1", "/assets/console.js", "/help/Index.htm"}) {
    auto r = client.Get(path);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 401) << path;
    EXPECT_EQ(r->body, "{\"error\":\"login required\"}") << path;
  }
  for (const char* path : {"/assets/login.js", "/assets/login.css"}) {
    auto r = client.Get(path);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200) << path;
  }
  // A change without a session changes nothing, whatever token it carries.
  httplib::Headers guessed{{"X-Orvane-Token", std::string(64, '0')}};
  auto exit = client.Post("/api/command", guessed, "{\"command\":32774}", "application/json");
  ASSERT_TRUE(exit);
  EXPECT_EQ(exit->status, 401);

  // A wrong or short token logs nobody in.
  for (const std::string& wrong : {std::string("0"), std::string(64, 'a'), std::string()}) {
    auto r = client.Get(("/?token=" + wrong).c_str());
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200);
    EXPECT_EQ(r->get_header_value("Set-Cookie"), "");
  }
  // No password set: a password login is refused with a text that says how.
  auto password = client.Post("/api/login", "{\"password\":\"\"}", "application/json");
  ASSERT_TRUE(password);
  EXPECT_EQ(password->status, 401);
  EXPECT_NE(password->body.find("login address"), std::string::npos);
  server.stop();
}

TEST(ConsoleServer, TheLoginUrlStartsASessionBoundToItsToken) {
  ConsoleApi api(ConsoleContext{});
  ConsoleConfig config;
  config.loginToken = "abcdefghijklmnopqrstuvwxyz012345";
  ConsoleServer server(config, api);
  std::string error;
  ASSERT_TRUE(server.start(&error)) << error;
  EXPECT_EQ(server.loginUrl(), server.url() + "?token=" + config.loginToken);
  httplib::Client client("127.0.0.1", server.port());

  auto login = client.Get(("/?token=" + config.loginToken).c_str());
  ASSERT_TRUE(login);
  EXPECT_EQ(login->status, 303);
  EXPECT_EQ(login->get_header_value("Location"), "/");
  EXPECT_FALSE(login->has_header("Strict-Transport-Security"));  // plain HTTP: not ours to promise
  std::string setCookie = login->get_header_value("Set-Cookie");
  EXPECT_NE(setCookie.find("HttpOnly"), std::string::npos);
  EXPECT_NE(setCookie.find("SameSite=Strict"), std::string::npos);
  EXPECT_EQ(setCookie.find("Secure"), std::string::npos);  // plain HTTP on loopback
  httplib::Headers session{{"Cookie", sessionCookieOf(login)}};

  auto page = client.Get("/", session);
  ASSERT_TRUE(page);
  std::string csrf = csrfTokenOf(page->body);
  EXPECT_EQ(csrf.size(), 64u);
  EXPECT_NE(page->body.find("console.js"), std::string::npos);
  auto script = client.Get("/assets/console.js", session);
  ASSERT_TRUE(script);
  EXPECT_EQ(script->status, 200);
  EXPECT_EQ(script->body.find("innerHTML"), std::string::npos);

  auto noToken = client.Post("/api/command", session, "{\"command\":0}", "application/json");
  ASSERT_TRUE(noToken);
  EXPECT_EQ(noToken->status, 403);
  // The CSRF token of another session is no good in this one.
  auto other = client.Get(("/?token=" + config.loginToken).c_str());
  auto otherPage = client.Get("/", httplib::Headers{{"Cookie", sessionCookieOf(other)}});
  httplib::Headers foreign = session;
  foreign.emplace("X-Orvane-Token", csrfTokenOf(otherPage->body));
  auto crossed = client.Post("/api/command", foreign, "{\"command\":0}", "application/json");
  ASSERT_TRUE(crossed);
  EXPECT_EQ(crossed->status, 403);

  httplib::Headers good = session;
  good.emplace("X-Orvane-Token", csrf);
  auto notJson = client.Post("/api/command", good, "{nope", "application/json");
  ASSERT_TRUE(notJson);
  EXPECT_EQ(notJson->status, 400);

  auto rebound = client.Get("/", httplib::Headers{{"Host", "attacker.example:80"}, {"Cookie", sessionCookieOf(login)}});
  ASSERT_TRUE(rebound);
  EXPECT_EQ(rebound->status, 403);
  auto deleteMethod = client.Delete("/api/logs", session);
  ASSERT_TRUE(deleteMethod);
  EXPECT_EQ(deleteMethod->status, 405);
  for (const char* path : {"/assets/../console.js", "/assets/nothing.js", "/help/..%2f..%2fetc%2fpasswd"}) {
    auto r = client.Get(path, session);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 404) << path;
  }

  auto logout = client.Post("/api/logout", good, "{}", "application/json");
  ASSERT_TRUE(logout);
  EXPECT_EQ(logout->status, 200);
  EXPECT_EQ(logout->body, "{\"ok\":true}");
  auto after = client.Get("/api/state", session);
  ASSERT_TRUE(after);
  EXPECT_EQ(after->status, 401);
  server.stop();
}

TEST(ConsoleServer, NoOtherAddressWithoutTlsAndNoShortLoginToken) {
  ConsoleApi api(ConsoleContext{});
  ConsoleConfig config;
  config.address = "0.0.0.0";
  ConsoleServer server(config, api);
  std::string error;
  EXPECT_FALSE(server.start(&error));
  EXPECT_NE(error.find("TLS"), std::string::npos);

  ConsoleConfig shortToken;
  shortToken.loginToken = "x";
  ConsoleServer refused(shortToken, api);
  EXPECT_FALSE(refused.start(&error));
  EXPECT_NE(error.find("shorter"), std::string::npos);
}

TEST(LogViews, CategoryTextsAndMailTargets) {
  EXPECT_EQ(categoryText(0, 0), "Rejected") ;
  EXPECT_EQ(categoryText(0, 3), "Rejected (3)");

  EXPECT_EQ(escapeMailtoSubject("Tap #3 leaks"), "Tap%20%233%20leaks");
  EXPECT_EQ(escapeMailtoSubject("\xe9t\xe9"), "%e9t%e9");
  LogRecord record(MailMessage("From: Ada <ada@example.org>\r\nSubject: x\r\n\r\nbody"));
  record.set(105, "Tap #3");
  EXPECT_EQ(mailtoTarget(record), "mailto:ada@example.org?subject=RE: Tap%20%233");
  LogRecord bare(MailMessage("From: ada@example.org\r\n\r\nbody"));
  bare.set(105, "Hi");
  EXPECT_EQ(mailtoTarget(bare), "mailto:?subject=RE: Hi");
  // A quoted display name holding brackets does not hide the address.
  LogRecord quoted(MailMessage("From: \"<b>Mallory</b><img src=x>\" <mallory@example.org>\r\n\r\nbody"));
  quoted.set(105, "Hi");
  EXPECT_EQ(mailtoTarget(quoted), "mailto:mallory@example.org?subject=RE: Hi");
}

TEST(LogViews, RowsShowDecodedSenderAndSubject) {
  LogRecord record(MailMessage(
      "From: \"<b>Mallory</b>\" <mallory@example.org>\r\nSubject: =?utf-8?q?Caf=C3=A9_=E2=82=AC?=\r\n\r\nbody"));
  LogRow row = logRow(record, std::nullopt);
  EXPECT_EQ(row.from, "<b>Mallory</b> <mallory@example.org>");
  EXPECT_EQ(row.subject, "Caf\xC3\xA9 \xE2\x82\xAC");
  LogRecord bare(MailMessage("From: ada@example.org\r\n\r\nbody"));
  EXPECT_EQ(logRow(bare, std::nullopt).from, "ada@example.org");
}

TEST(LogViews, DetailsHaveThreeSectionsAndPrintCutsLines) {
  LogRecord record(MailMessage("From: a@b.c\r\n\r\nraw body"));
  record.set(105, "Subject text");
  stringT details = detailsText(record, stringT("Name: Ada\r\n"));
  std::string d = details.str();
  size_t requestor = d.find("REQUESTOR\r\n=====\r\nName: Ada\r\n\r\n");
  size_t request = d.find("REQUEST\r\n=====\r\n");
  size_t original = d.find("ORIGINAL E-MAIL MESSAGE\r\n=====\r\nFrom: a@b.c");
  ASSERT_NE(requestor, std::string::npos);
  ASSERT_NE(request, std::string::npos);
  ASSERT_NE(original, std::string::npos);
  EXPECT_LT(requestor, request);
  EXPECT_LT(request, original);
  EXPECT_EQ(d.substr(d.size() - 8), "raw body");
  EXPECT_EQ(detailsText(record, std::nullopt).str().find("REQUESTOR"), std::string::npos);

  std::vector<stringT> lines = printLines("abcdefg\r\n\r\nxy", 3);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], "abc");
  EXPECT_EQ(lines[1], "def");
  EXPECT_EQ(lines[2], "g");
  EXPECT_EQ(lines[3], "");
  EXPECT_EQ(lines[4], "xy");
  EXPECT_EQ(printLines("abcdef", 3).size(), 2u);
}

TEST(LogViews, ReceivedColumn) {
  EXPECT_EQ(receivedText("20231207", "090102"), "Thu 12/07/23 09:01");  // no message file: shown without its marker
  stringMapper().setEntry("*%a %m/%d/%y %H:%M", "%a %d/%m/%y %H:%M");
  EXPECT_EQ(receivedText("20231207", "090102"), "Thu 07/12/23 09:01");
  stringMapper().clear();
  EXPECT_EQ(receivedText("garbage", ""), "garbage");
}

TEST(ConsoleServer, OverTlsTheSessionCookieIsSecure) {
  fs::path dir = fs::temp_directory_path() / ("orvtls" + std::to_string(::getpid()));
  fs::create_directories(dir);
  std::string key = (dir / "key.pem").string(), cert = (dir / "cert.pem").string();
  std::string make = "openssl req -x509 -newkey rsa:2048 -nodes -keyout '" + key + "' -out '" + cert +
                     "' -days 1 -subj /CN=localhost >/dev/null 2>&1";
  ASSERT_EQ(std::system(make.c_str()), 0);
  auto slurp = [](const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  ConsoleApi api(ConsoleContext{});
  ConsoleConfig config;
  config.loginToken = "0123456789abcdef0123456789abcdef";
  config.certificatePem = slurp(cert);
  config.keyPem = slurp(key);
  ConsoleServer server(config, api);
  std::string error;
  ASSERT_TRUE(server.start(&error)) << error;
  EXPECT_EQ(server.url().rfind("https://127.0.0.1:", 0), 0u);

  httplib::SSLClient client("127.0.0.1", server.port());
  client.enable_server_certificate_verification(false);
  auto login = client.Get(("/?token=" + config.loginToken).c_str());
  ASSERT_TRUE(login);
  EXPECT_EQ(login->status, 303);
  EXPECT_NE(login->get_header_value("Set-Cookie").find("; Secure"), std::string::npos);
  EXPECT_EQ(login->get_header_value("Strict-Transport-Security"), "max-age=31536000");
  httplib::Client plain("127.0.0.1", server.port());
  auto clear = plain.Get("/");
  EXPECT_TRUE(!clear || clear->status != 200);  // no page in clear text on the TLS port
  server.stop();
  fs::remove_all(dir);
}

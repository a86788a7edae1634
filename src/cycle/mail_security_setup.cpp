#include "cycle/mail_security_setup.h"

#include "common/configurations.h"
#include "mail/mail_text.h"

namespace {

stringT unknownWord(int number, const stringT& value) {
  return formatMarked("*Setting %d holds \"%s\": that is not one of its choices", number, value.c_str());
}

int fetchToken(OAuthToken& oauth, const FieldMap& settings, std::string& token, stringT& error) {
  oauth.configure(oauthSettings(settings));
  std::string why;
  if (oauth.accessToken(token, why) != 0) {
    error = formatMarked("*No OAuth access token: %s", why.c_str());
    return -1;
  }
  return 0;
}

}  // namespace

bool plaintextPasswordAllowed(const FieldMap& settings) {
  stringT value = settings.get(kAllowPlaintextPassword);
  return value.empty() || settings.getNumber(kAllowPlaintextPassword) != 0;
}

OAuthSettings oauthSettings(const FieldMap& s) {
  return OAuthSettings{s.get(kOAuthClientId).str(),
                       unscramble(s.get(kOAuthClientSecret)).str(),
                       unscramble(s.get(kOAuthRefreshToken)).str(),
                       s.get(kOAuthTokenUrl).str(),
                       s.get(kOAuthScope).str(),
                       s.get(kTlsCaFile).str()};
}

int setUpPop3(const FieldMap& s, POP3Manager& pop3, OAuthToken& oauth, stringT& secret, stringT& error) {
  TransportSecurity security;
  if (!parseTransportSecurity(s.get(kPop3Security).view(), security)) {
    error = unknownWord(kPop3Security, s.get(kPop3Security));
    return -1;
  }
  Pop3Login method;
  if (!parsePop3Login(s.get(kPop3Login).view(), method)) {
    error = unknownWord(kPop3Login, s.get(kPop3Login));
    return -1;
  }
  pop3.setSecurity(security);
  pop3.setLoginMethod(method);
  pop3.setAllowPlaintextPassword(plaintextPasswordAllowed(s));
  pop3.setTlsOptions(s.get(kTlsCaFile).str(), s.get(kPop3CertificatePin).str());
  if (method != Pop3Login::XOAuth2) {
    secret = unscramble(s.get(kPop3Password));
    return 0;
  }
  std::string token;
  if (fetchToken(oauth, s, token, error) != 0) return -1;
  secret = stringT(token);
  return 0;
}

int setUpSmtp(const FieldMap& s, SMTPManager& smtp, OAuthToken& oauth, stringT& error) {
  TransportSecurity security;
  if (!parseTransportSecurity(s.get(kSmtpSecurity).view(), security)) {
    error = unknownWord(kSmtpSecurity, s.get(kSmtpSecurity));
    return -1;
  }
  SmtpLogin method;
  if (!parseSmtpLogin(s.get(kSmtpLogin).view(), method)) {
    error = unknownWord(kSmtpLogin, s.get(kSmtpLogin));
    return -1;
  }
  smtp.setSecurity(security);
  smtp.setAllowPlaintextPassword(plaintextPasswordAllowed(s));
  smtp.setTlsOptions(s.get(kTlsCaFile).str(), s.get(kSmtpCertificatePin).str());
  std::string secret;
  if (method == SmtpLogin::XOAuth2) {
    if (fetchToken(oauth, s, secret, error) != 0) return -1;
  } else if (method != SmtpLogin::None) {
    secret = unscramble(s.get(kSmtpPassword)).str();
  }
  smtp.setLogin(method, s.get(kSmtpUser).str(), secret);
  return 0;
}

// Copyright 2026 The twist_arbiter authors.
//
// Who may talk to the console: the holder of the start-up token (query parameter once, then an
// HttpOnly cookie), through a Host header that cannot be a rebound DNS name, and never from a
// page of another origin. Knows HTTP only as header strings, so every refusal is testable.

#ifndef TWIST_ARBITER_CONSOLE__ACCESS_GUARD_HPP_
#define TWIST_ARBITER_CONSOLE__ACCESS_GUARD_HPP_

#include <optional>
#include <string>
#include <vector>

namespace twist_arbiter_console
{

/// A fresh random token: @p bytes from the kernel's generator, as lower-case hex.
/// @throws std::runtime_error when the generator cannot be read.
std::string MakeToken(std::size_t bytes = 32);

/// Compares in time that depends on the lengths only, never on where the texts differ.
bool ConstantTimeEquals(const std::string & a, const std::string & b);

/// The value of cookie @p name in a Cookie header ("a=1; b=2"), if present.
std::optional<std::string> CookieValue(const std::string & header, const std::string & name);

enum class Verdict
{
  kAllowed,
  kBadHost,       // 421-worthy: the Host is not one of ours (DNS rebinding)
  kBadOrigin,     // 403: a page of another origin
  kNoToken,       // 401
};

class AccessGuard
{
public:
  /// @p port the port the browser sees; @p extra_hosts host names (no port) that are accepted
  /// besides IP literals and "localhost".
  AccessGuard(std::string token, int port, std::vector<std::string> extra_hosts);

  const std::string & token() const {return token_;}
  /// Cookie name; it carries the port since browsers share cookies between ports of one host.
  std::string cookie_name() const;
  /// The Set-Cookie value handed out after a valid query token.
  std::string SetCookieHeader() const;

  /// A Host header is ours when its port is ours and its name is an IP literal (a name that a
  /// DNS answer could point elsewhere is not), "localhost" or one of the extra hosts.
  bool HostAllowed(const std::string & host) const;

  /// Origin absent (a non-browser client, which still needs the token) or the page's own.
  static bool OriginAllowed(const std::string & origin, const std::string & host);

  /// The full check of one request. @p query_token is the query parameter, if any.
  Verdict Check(
    const std::string & host, const std::string & origin, const std::string & sec_fetch_site,
    const std::string & cookie_header, const std::optional<std::string> & query_token) const;

  /// True when @p query_token alone is a valid token (the page then sets the cookie).
  bool TokenMatches(const std::string & candidate) const;

private:
  std::string token_;
  int port_;
  std::vector<std::string> extra_hosts_;
};

}  // namespace twist_arbiter_console

#endif  // TWIST_ARBITER_CONSOLE__ACCESS_GUARD_HPP_

// Copyright 2026 The twist_arbiter authors.

#include "twist_arbiter_console/access_guard.hpp"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace twist_arbiter_console
{

std::string MakeToken(std::size_t bytes)
{
  std::ifstream random("/dev/urandom", std::ios::binary);
  std::string raw(bytes, '\0');
  if (!random.read(&raw[0], static_cast<std::streamsize>(bytes))) {
    throw std::runtime_error("cannot read /dev/urandom for the access token");
  }
  static const char * digits = "0123456789abcdef";
  std::string hex;
  hex.reserve(bytes * 2);
  for (const char c : raw) {
    const auto byte = static_cast<unsigned char>(c);
    hex.push_back(digits[byte >> 4]);
    hex.push_back(digits[byte & 0xf]);
  }
  return hex;
}

bool ConstantTimeEquals(const std::string & a, const std::string & b)
{
  if (a.size() != b.size()) {
    return false;
  }
  volatile unsigned char diff = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    diff |= static_cast<unsigned char>(a[i] ^ b[i]);
  }
  return diff == 0;
}

namespace
{

std::string Trim(const std::string & text)
{
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) {
    return "";
  }
  const auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

std::string Lower(std::string text)
{
  std::transform(
    text.begin(), text.end(), text.begin(),
    [](unsigned char c) {return static_cast<char>(std::tolower(c));});
  return text;
}

bool IsIpLiteral(const std::string & name)
{
  unsigned char buffer[16];
  if (name.size() > 2 && name.front() == '[' && name.back() == ']') {
    return inet_pton(AF_INET6, name.substr(1, name.size() - 2).c_str(), buffer) == 1;
  }
  return inet_pton(AF_INET, name.c_str(), buffer) == 1;
}

}  // namespace

std::optional<std::string> CookieValue(const std::string & header, const std::string & name)
{
  std::size_t start = 0;
  while (start <= header.size()) {
    auto end = header.find(';', start);
    if (end == std::string::npos) {
      end = header.size();
    }
    const std::string pair = Trim(header.substr(start, end - start));
    const auto eq = pair.find('=');
    if (eq != std::string::npos && Trim(pair.substr(0, eq)) == name) {
      return Trim(pair.substr(eq + 1));
    }
    start = end + 1;
  }
  return std::nullopt;
}

AccessGuard::AccessGuard(std::string token, int port, std::vector<std::string> extra_hosts)
: token_(std::move(token)), port_(port), extra_hosts_(std::move(extra_hosts))
{
  for (auto & host : extra_hosts_) {
    host = Lower(host);
  }
}

std::string AccessGuard::cookie_name() const
{
  return "twist_arbiter_console_" + std::to_string(port_);
}

std::string AccessGuard::SetCookieHeader() const
{
  return cookie_name() + "=" + token_ + "; Path=/; HttpOnly; SameSite=Strict";
}

bool AccessGuard::HostAllowed(const std::string & host_header) const
{
  const std::string host = Lower(Trim(host_header));
  // The port is whatever follows the last ':' outside an IPv6 literal's brackets.
  const auto colon = host.rfind(':');
  const auto bracket = host.rfind(']');
  if (colon == std::string::npos || (bracket != std::string::npos && colon < bracket)) {
    return false;  // browsers always send the port of a non-default port
  }
  const std::string name = host.substr(0, colon);
  if (host.substr(colon + 1) != std::to_string(port_) || name.empty()) {
    return false;
  }
  return IsIpLiteral(name) || name == "localhost" ||
         std::find(extra_hosts_.begin(), extra_hosts_.end(), name) != extra_hosts_.end();
}

bool AccessGuard::OriginAllowed(const std::string & origin, const std::string & host)
{
  if (origin.empty()) {
    return true;
  }
  return Lower(Trim(origin)) == "http://" + Lower(Trim(host));
}

bool AccessGuard::TokenMatches(const std::string & candidate) const
{
  return ConstantTimeEquals(candidate, token_);
}

Verdict AccessGuard::Check(
  const std::string & host, const std::string & origin, const std::string & sec_fetch_site,
  const std::string & cookie_header, const std::optional<std::string> & query_token) const
{
  if (!HostAllowed(host)) {
    return Verdict::kBadHost;
  }
  if (!OriginAllowed(origin, host) || Lower(sec_fetch_site) == "cross-site") {
    return Verdict::kBadOrigin;
  }
  if (query_token && TokenMatches(*query_token)) {
    return Verdict::kAllowed;
  }
  const auto cookie = CookieValue(cookie_header, cookie_name());
  if (cookie && TokenMatches(*cookie)) {
    return Verdict::kAllowed;
  }
  return Verdict::kNoToken;
}

}  // namespace twist_arbiter_console

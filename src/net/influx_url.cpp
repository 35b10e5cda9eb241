// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/influx_url.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <optional>

#include "core/base/error.h"

namespace talphex {
namespace {

Error UrlError(std::string what) { return Error{ErrorKind::kUsage, std::move(what)}; }

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(), [](char lower, char given) {
           return std::tolower(static_cast<unsigned char>(given)) == lower;
         });
}

// The value of `key` in a query "a=1&b=2"; none when the key is not there.
std::optional<std::string_view> QueryValue(std::string_view query, std::string_view key) {
  while (!query.empty()) {
    const std::size_t end = std::min(query.find('&'), query.size());
    const std::string_view pair = query.substr(0, end);
    const std::size_t equals = pair.find('=');
    if (pair.substr(0, equals) == key) {
      return equals == std::string_view::npos ? std::string_view() : pair.substr(equals + 1);
    }
    query.remove_prefix(std::min(end + 1, query.size()));
  }
  return std::nullopt;
}

bool ValidPort(std::string_view digits) {
  int port = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
  return error == std::errc() && end == digits.data() + digits.size() && port >= 1 && port <= 65535;
}

}  // namespace

Expected<InfluxUrl> ParseInfluxUrl(std::string_view text) {
  if (std::any_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte <= 0x20 || byte >= 0x7F;
      })) {
    return UrlError("the URL holds a space or a byte that is not printable ASCII");
  }
  std::string_view rest = text;
  if (StartsWithNoCase(rest, "http://")) {
    rest.remove_prefix(7);
  } else if (StartsWithNoCase(rest, "https://")) {
    rest.remove_prefix(8);
  } else {
    return UrlError("the URL must start with http:// or https://");
  }
  InfluxUrl url;
  url.text = std::string(text);
  const std::size_t path_start = std::min(rest.find_first_of("/?#"), rest.size());
  const std::string_view authority = rest.substr(0, path_start);
  if (authority.find('@') != std::string_view::npos) {
    return UrlError("put no user or password in the URL; the token comes from INFLUX_TOKEN");
  }
  // A port is there when a ":" follows the host (after the brackets of an IPv6 address).
  const std::size_t closing = authority.starts_with('[') ? authority.find(']') : 0;
  if (closing == std::string_view::npos) return UrlError("the URL names no host");
  const std::size_t colon = authority.find(':', closing);
  const std::string_view host = authority.substr(0, colon);
  if (host.empty() || host == "[]") return UrlError("the URL names no host");
  if (colon != std::string_view::npos && !ValidPort(authority.substr(colon + 1))) {
    return UrlError("the URL's port must be a number from 1 to 65535");
  }
  url.host = std::string(authority);

  const std::string_view target = rest.substr(path_start);
  const std::size_t question = std::min(target.find('?'), target.size());
  const std::string_view path = target.substr(0, question);
  const std::string_view query = target.substr(std::min(question + 1, target.size()));
  const auto given = [&query](std::string_view key) {
    const std::optional<std::string_view> value = QueryValue(query, key);
    return value && !value->empty();
  };
  if (target.find('#') != std::string_view::npos) {
    return UrlError("the URL must end with its query, without a #fragment");
  }
  if (path == "/write" && given("db")) {
    url.api = InfluxApi::kV1;
  } else if (path == "/api/v2/write" && given("org") && given("bucket")) {
    url.api = InfluxApi::kV2;
  } else {
    return UrlError(
        "the URL must be the write endpoint: .../write?db=NAME (InfluxDB 1) or "
        ".../api/v2/write?org=ORG&bucket=BUCKET (InfluxDB 2)");
  }
  if (QueryValue(query, "u") || QueryValue(query, "p")) {
    return UrlError("put no user or password in the URL; the token comes from INFLUX_TOKEN");
  }
  if (const std::optional<std::string_view> precision = QueryValue(query, "precision");
      precision && *precision != "ns") {
    return UrlError("the points are in nanoseconds: leave precision out or give precision=ns");
  }
  return url;
}

std::string InfluxCacheFolder(const char* xdg_cache_home, const char* home) {
  if (xdg_cache_home != nullptr && *xdg_cache_home == '/') {
    return std::string(xdg_cache_home) + "/talphex";
  }
  if (home != nullptr && *home != '\0') return std::string(home) + "/.cache/talphex";
  return {};
}

}  // namespace talphex

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace talphex {

// One HTTP(S) POST: the body is sent as it is, with its content type and any further header
// lines ("Authorization: Token ...").
struct HttpRequest {
  std::string url;
  std::string body;
  std::string content_type;
  std::vector<std::string> headers;
  std::chrono::milliseconds timeout{10'000};
};

// The server's answer, or why none came.
struct HttpResponse {
  long status = 0;    // the HTTP status; 0 when no answer came
  std::string body;   // the answer's first kHttpBodyLimit bytes, as the server sent them
  std::string error;  // why no answer came (refused, timed out, ...); empty when one came
  bool Success() const { return error.empty() && status >= 200 && status < 300; }
};

// The most of an answer's body that is kept: enough for a server's reason.
inline constexpr std::size_t kHttpBodyLimit = 64 * 1024;

// Sends the request with libcurl and waits for the answer, at most the request's timeout. Only
// http:// and https:// are followed; redirects are not.
HttpResponse HttpPost(const HttpRequest& request);

}  // namespace talphex

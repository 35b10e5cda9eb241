// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/http_post.h"

#include <curl/curl.h>

#include <algorithm>
#include <memory>
#include <mutex>

namespace talphex {
namespace {

// Keeps the answer's body up to kHttpBodyLimit; the rest is read and dropped.
std::size_t KeepBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto& body = *static_cast<std::string*>(user);
  const std::size_t bytes = size * count;
  if (body.size() < kHttpBodyLimit) {
    body.append(data, std::min(bytes, kHttpBodyLimit - body.size()));
  }
  return bytes;
}

void InitialiseCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct CurlFree {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

}  // namespace

HttpResponse HttpPost(const HttpRequest& request) {
  InitialiseCurlOnce();
  HttpResponse response;
  std::unique_ptr<CURL, CurlFree> curl(curl_easy_init());
  if (!curl) {
    response.error = "the HTTP library could not start";
    return response;
  }
  std::unique_ptr<curl_slist, CurlFree> headers;
  auto add_header = [&headers](const std::string& line) {
    curl_slist* more = curl_slist_append(headers.get(), line.c_str());
    if (more != nullptr) {
      static_cast<void>(headers.release());
      headers.reset(more);
    }
  };
  if (!request.content_type.empty()) add_header("Content-Type: " + request.content_type);
  for (const std::string& line : request.headers) add_header(line);
  // No "Expect: 100-continue" round trip before larger bodies.
  add_header("Expect:");

  char reason[CURL_ERROR_SIZE] = {};
  CURL* c = curl.get();
  curl_easy_setopt(c, CURLOPT_URL, request.url.c_str());
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_POST, 1L);
  curl_easy_setopt(c, CURLOPT_POSTFIELDS, request.body.data());
  curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, static_cast<long>(request.timeout.count()));
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, KeepBody);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &response.body);
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, reason);
  const CURLcode code = curl_easy_perform(c);
  if (code != CURLE_OK) {
    response.error = reason[0] != '\0' ? reason : curl_easy_strerror(code);
    return response;
  }
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &response.status);
  return response;
}

}  // namespace talphex

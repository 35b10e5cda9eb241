// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/influx_writer.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "gtest/gtest.h"
#include "testkit/test_support.h"

namespace talphex {
namespace {

using std::chrono::milliseconds;
using testing::ReadFile;

std::string Line(int i) { return "p,n=" + std::to_string(i) + " v=1i " + std::to_string(i) + "\n"; }

// A server that answers the requests from a script, then 204; it keeps what it took.
class FakeServer {
 public:
  explicit FakeServer(std::vector<HttpResponse> script = {}) : script_(std::move(script)) {}
  InfluxSend Sender() {
    return [this](const std::string& body) {
      const std::lock_guard lock(mutex_);
      bodies_.push_back(body);
      HttpResponse response;
      response.status = 204;
      if (!script_.empty()) {
        response = script_.front();
        script_.erase(script_.begin());
      }
      if (response.Success()) taken_ += body;
      return response;
    };
  }
  std::vector<std::string> bodies() const {
    const std::lock_guard lock(mutex_);
    return bodies_;
  }
  std::string taken() const {
    const std::lock_guard lock(mutex_);
    return taken_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<HttpResponse> script_;
  std::vector<std::string> bodies_;
  std::string taken_;
};

HttpResponse NoAnswer() { return {0, "", "Couldn't connect to server"}; }
HttpResponse Answer(long status, std::string body = "") { return {status, std::move(body), ""}; }

// Fast retries, so that a test runs in milliseconds.
InfluxWriterSettings Settings(const std::string& folder) {
  InfluxWriterSettings settings;
  settings.host = "db:8086";
  settings.folder = folder;
  settings.first_retry = milliseconds(1);
  settings.last_retry = milliseconds(4);
  return settings;
}

// Whether `text` matches `glob`, where "*" stands for any run of bytes and "#" for a digit.
bool Matches(std::string_view text, std::string_view glob) {
  if (glob.empty()) return text.empty();
  if (glob[0] == '*') {
    for (std::size_t skip = 0; skip <= text.size(); ++skip) {
      if (Matches(text.substr(skip), glob.substr(1))) return true;
    }
    return false;
  }
  if (text.empty()) return false;
  const bool same = glob[0] == '#' ? text[0] >= '0' && text[0] <= '9' : text[0] == glob[0];
  return same && Matches(text.substr(1), glob.substr(1));
}

struct Events {
  std::mutex mutex;
  std::vector<std::string> lines;
  InfluxWriter::EventSink Sink() {
    return [this](const std::string& line) {
      const std::lock_guard lock(mutex);
      lines.push_back(line);
    };
  }
  // The lines that match `glob`.
  int Count(const std::string& glob) {
    const std::lock_guard lock(mutex);
    return static_cast<int>(std::count_if(
        lines.begin(), lines.end(), [&glob](const auto& line) { return Matches(line, glob); }));
  }
};

TEST(InfluxWriter, RetriesFailuresUntilTakenAndSendsEveryPointOnceInOrder) {
  const testing::TempDir dir;
  FakeServer server({NoAnswer(), Answer(503, R"({"error":"engine is busy"})"), Answer(500)});
  Events events;
  InfluxWriter writer(Settings(dir.path()), server.Sender(), events.Sink());
  ASSERT_TRUE(writer.Open().ok());
  writer.Start();
  std::string all;
  for (int i = 0; i < 12'001; ++i) {
    all += Line(i);
    writer.Add(Line(i));
  }
  writer.Finish(milliseconds(20'000));
  EXPECT_EQ(server.taken(), all);
  for (const std::string& body : server.bodies()) {
    EXPECT_LE(std::count(body.begin(), body.end(), '\n'), kInfluxBatchPoints);
  }
  const InfluxCounts counts = writer.counts();
  EXPECT_EQ(counts.sent, 12'001);
  EXPECT_EQ(counts.waiting + counts.rejected + counts.dropped, 0);
  const std::string spool = dir.File(kInfluxSpoolName);
  EXPECT_EQ(events.Count("InfluxDB db:8086: cannot write: Couldn't connect to server; #* points "
                         "wait in " +
                         spool + ", retrying in 0 s"),
            1);
  EXPECT_EQ(events.Count("InfluxDB db:8086: cannot write: HTTP 503: engine is busy; *"), 1);
  EXPECT_EQ(events.Count("InfluxDB db:8086: writing again; #* points waiting"), 1);
  EXPECT_EQ(ReadFile(spool), "");
}

// Which answers are retried and which end in a rejected file.
TEST(InfluxWriter, RetriesServerErrorsAndKeepsRejectedBatchesOnce) {
  struct AnswerCase {
    const char* name;
    HttpResponse first;
    std::size_t requests;  // until the batch is taken or rejected
    bool rejected;
  };
  const AnswerCase cases[] = {
      {"Taken", Answer(204), 1, false},
      {"NoAnswer", NoAnswer(), 2, false},
      {"ServerError", Answer(500), 2, false},
      {"Unavailable", Answer(503), 2, false},
      {"TooManyRequests", Answer(429), 2, false},
      {"RequestTimeout", Answer(408), 2, false},
      {"BadRequest", Answer(400, R"({"error":"partial write: field type conflict"})"), 1, true},
      {"NotFound", Answer(404, R"({"error":"database not found: \"x\""})"), 1, true},
      {"Unauthorized", Answer(401), 1, true},
  };
  for (const AnswerCase& c : cases) {
    SCOPED_TRACE(c.name);
    const testing::TempDir dir;
    FakeServer server({c.first});
    Events events;
    InfluxWriter writer(Settings(dir.path()), server.Sender(), events.Sink());
    ASSERT_TRUE(writer.Open().ok());
    writer.Start();
    for (int i = 0; i < 3; ++i) writer.Add(Line(i));
    writer.Finish(milliseconds(20'000));
    EXPECT_EQ(server.bodies().size(), c.requests);
    const InfluxCounts counts = writer.counts();
    EXPECT_EQ(counts.sent, c.rejected ? 0 : 3);
    EXPECT_EQ(counts.rejected, c.rejected ? 3 : 0);
    EXPECT_EQ(counts.waiting, 0);
    std::vector<std::string> rejected_files;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
      if (entry.path().filename() != kInfluxSpoolName) rejected_files.push_back(entry.path());
    }
    ASSERT_EQ(rejected_files.size(), c.rejected ? 1u : 0u);
    if (!c.rejected) continue;
    EXPECT_TRUE(Matches(rejected_files[0], dir.path() + "/rejected-########T######-1.lp"));
    EXPECT_EQ(ReadFile(rejected_files[0]), Line(0) + Line(1) + Line(2));
    EXPECT_EQ(events.Count("InfluxDB db:8086: rejected 3 points: " +
                           InfluxServerReason(c.first.status, c.first.body) + "; kept in " +
                           rejected_files[0]),
              1);
  }
}

TEST(InfluxWriter, PointsLeftByARunAreSentFirstByTheNext) {
  const testing::TempDir dir;
  const std::string spool = dir.File(kInfluxSpoolName);
  {
    FakeServer away(std::vector<HttpResponse>(1000, NoAnswer()));
    InfluxWriter writer(Settings(dir.path()), away.Sender(), nullptr);
    ASSERT_TRUE(writer.Open().ok());
    writer.Start();
    for (int i = 0; i < 5; ++i) writer.Add(Line(i));
    writer.Finish(milliseconds(50));
    EXPECT_EQ(writer.counts().waiting, 5);
  }
  EXPECT_EQ(ReadFile(spool), Line(0) + Line(1) + Line(2) + Line(3) + Line(4));
  FakeServer server;
  Events events;
  InfluxWriter writer(Settings(dir.path()), server.Sender(), events.Sink());
  ASSERT_TRUE(writer.Open().ok());
  EXPECT_EQ(events.Count("InfluxDB db:8086: 5 points left by an earlier run in " + spool +
                         " are sent first"),
            1);
  writer.Start();
  writer.Add(Line(5));
  writer.Finish(milliseconds(20'000));
  EXPECT_TRUE(server.taken().starts_with(Line(0) + Line(1) + Line(2) + Line(3) + Line(4)));
  EXPECT_EQ(writer.counts().sent, 6);
  EXPECT_EQ(ReadFile(spool), "");
}

TEST(InfluxWriter, AFullSpoolDropsTheOldestAndCountsEveryPoint) {
  const testing::TempDir dir;
  InfluxWriterSettings settings = Settings(dir.path());
  settings.spool_limit = 4 * Line(0).size();
  settings.batch_points = 2;
  FakeServer away(std::vector<HttpResponse>(100'000, NoAnswer()));
  Events events;
  InfluxWriter writer(settings, away.Sender(), events.Sink());
  ASSERT_TRUE(writer.Open().ok());
  writer.Start();
  for (int i = 0; i < 9; ++i) writer.Add(Line(i));
  writer.Finish(milliseconds(50));
  const InfluxCounts counts = writer.counts();
  EXPECT_EQ(counts.sent, 0);
  EXPECT_EQ(counts.waiting + counts.dropped, 9);
  EXPECT_LE(counts.waiting, 4);
  EXPECT_GE(counts.dropped, 5);
  EXPECT_EQ(events.Count("InfluxDB db:8086: the spool * is full (0 MB): the oldest points are "
                         "dropped"),
            1);
  // The newest points are the ones kept.
  EXPECT_TRUE(ReadFile(dir.File(kInfluxSpoolName)).ends_with(Line(8)));
}

// Regression: a point that came while the sender slept was sent only when a batch filled.
TEST(InfluxWriter, ALonePointIsSentAfterTheBatchAgeWithoutWaitingForMore) {
  const testing::TempDir dir;
  InfluxWriterSettings settings = Settings(dir.path());
  settings.batch_age = milliseconds(5);
  FakeServer server;
  InfluxWriter writer(settings, server.Sender(), nullptr);
  ASSERT_TRUE(writer.Open().ok());
  writer.Start();
  writer.Add(Line(1));
  for (int i = 0; i < 1000 && server.taken().empty(); ++i) {
    std::this_thread::sleep_for(milliseconds(10));
  }
  EXPECT_EQ(server.taken(), Line(1));
  writer.Finish(milliseconds(0));
}

TEST(InfluxWriter, RetryWaitsDoubleUpToTheLast) {
  constexpr int kSeconds[] = {1, 2, 4, 8, 16, 30, 30};
  for (int failures = 1; failures <= 7; ++failures) {
    EXPECT_EQ(InfluxRetryWait(failures, milliseconds(1000), milliseconds(30'000)),
              std::chrono::seconds(kSeconds[failures - 1]))
        << failures;
  }
}

TEST(InfluxWriter, ServerReasonIsTheErrorOfItsAnswer) {
  struct ReasonCase {
    long status;
    std::string body;
    std::string reason;
  };
  const ReasonCase cases[] = {
      {400, R"({"error":"partial write: field type conflict: input field \"v\" is type string"})",
       R"(HTTP 400: partial write: field type conflict: input field "v" is type string)"},
      {404, "page not found\r\nmore", "HTTP 404: page not found"},
      {502, "", "HTTP 502"},
      {400, R"({"code":"invalid","message":"x"})", R"(HTTP 400: {"code":"invalid","message":"x"})"},
      {413, std::string(400, 'a'), "HTTP 413: " + std::string(300, 'a') + "..."},
  };
  for (const ReasonCase& c : cases) {
    EXPECT_EQ(InfluxServerReason(c.status, c.body), c.reason);
  }
}

}  // namespace
}  // namespace talphex

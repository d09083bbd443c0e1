#include "support/fake_gateway.h"

#include <string_view>
#include <utility>

#include "common/text.h"
#include "gateway/submit.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "sim/submission_server.h"

namespace {

constexpr std::string_view kBasicPrefix = "Authorization: Basic ";

std::string_view FirstLine(std::string_view request) {
  return request.substr(0, request.find_first_of("\r\n"));
}

// Fills sender, phone number and text from the request line's query.
void ReadQuery(std::string_view line, Submission* submission) {
  const size_t start = line.find('?');
  if (start == std::string_view::npos) return;
  std::string_view query = line.substr(start + 1);
  query = query.substr(0, query.rfind(" HTTP/"));
  while (!query.empty()) {
    const size_t amp = query.find('&');
    const std::string_view pair = query.substr(0, amp);
    const size_t equals = pair.find('=');
    const std::string_view key = pair.substr(0, equals);
    const std::string value =
        equals == std::string_view::npos ? std::string() : PercentDecode(pair.substr(equals + 1));
    if (key == "sender") submission->sender = value;
    if (key == "phonenumber") submission->phone_number = value;
    if (key == "text") submission->text = value;
    if (amp == std::string_view::npos) break;
    query.remove_prefix(amp + 1);
  }
}

void ReadCredentials(std::string_view request, Submission* submission) {
  size_t at = 0;
  while (at < request.size()) {
    const size_t end = request.find('\n', at);
    const std::string_view line = request.substr(at, end - at);
    if (StartsWithNoCase(line, kBasicPrefix)) {
      std::string_view encoded = line.substr(kBasicPrefix.size());
      if (!encoded.empty() && encoded.back() == '\r') encoded.remove_suffix(1);
      std::string credentials;
      Base64Decode(encoded, &credentials);
      const size_t colon = credentials.find(':');
      submission->has_credentials = true;
      submission->user = credentials.substr(0, colon);
      if (colon != std::string::npos) submission->password = credentials.substr(colon + 1);
      return;
    }
    if (end == std::string_view::npos) return;
    at = end + 1;
  }
}

}  // namespace

FakeGateway::FakeGateway() {
  server_.SetResponder([this](const std::string& request, size_t) { return Answer(request); });
}

FakeGateway::~FakeGateway() { server_.Stop(); }

bool FakeGateway::WriteHollinIni(const std::string& data_dir) const {
  std::string path = data_dir;
  if (!path.empty() && path.back() != platform::PathSeparator()) {
    path += platform::PathSeparator();
  }
  path += kGatewayConfigName;
  return platform::ProfileWriteString(path, kGatewaySection, kIpAddressKey, "127.0.0.1") &&
         platform::ProfileWriteString(path, kGatewaySection, kWebPortKey, std::to_string(port()));
}

std::vector<Submission> FakeGateway::Submissions() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return submissions_;
}

std::vector<Submission> FakeGateway::Accepted() const {
  std::vector<Submission> accepted;
  for (Submission& submission : Submissions()) {
    if (submission.status == 200) accepted.push_back(std::move(submission));
  }
  return accepted;
}

void FakeGateway::FailSubmission(size_t nth) {
  std::lock_guard<std::mutex> lock(mutex_);
  failing_.insert(nth);
}

void FakeGateway::ScriptSubmission(size_t nth, ServerScript script) {
  std::lock_guard<std::mutex> lock(mutex_);
  scripted_[nth] = std::move(script);
}

void FakeGateway::RequireAccounts(std::map<std::string, std::string> accounts) {
  std::lock_guard<std::mutex> lock(mutex_);
  accounts_ = std::move(accounts);
}

void FakeGateway::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  submissions_.clear();
}

ServerScript FakeGateway::Answer(const std::string& request) {
  Submission submission;
  submission.request_line = FirstLine(request);
  ReadQuery(submission.request_line, &submission);
  ReadCredentials(request, &submission);

  std::lock_guard<std::mutex> lock(mutex_);
  const size_t number = ++seen_;
  const auto scripted = scripted_.find(number);
  if (scripted != scripted_.end()) {
    submissions_.push_back(submission);  // status 0: no answer of the fake's own
    return scripted->second;
  }
  submission.status = 200;
  if (accounts_) {
    const auto account = accounts_->find(submission.user);
    if (!submission.has_credentials || account == accounts_->end() ||
        account->second != submission.password) {
      submission.status = 401;
    }
  }
  if (submission.status == 200 && failing_.count(number) != 0) submission.status = 500;
  submissions_.push_back(submission);

  switch (submission.status) {
    case 401:
      return Reply(
          HttpAnswer(401, "Unauthorized", "", "WWW-Authenticate: Basic realm=\"gateway\"\r\n"));
    case 500:
      return Reply(HttpAnswer(500, "Internal Server Error", "failed"));
    default:
      return Reply(HttpAnswer(200, "OK", "OK", "Content-Type: text/plain\r\n"));
  }
}

#include "processor/dispatch.h"

#include <string>

#include "common/text.h"
#include "processor/handlers.h"
#include "processor/vocabulary.h"

namespace {

// One row of the dispatch: up to two English keywords, each matched as a
// prefix over its own length or by its translation.
struct DispatchRow {
  std::string_view keywords[2];
  Command command;
};

constexpr DispatchRow kRows[] = {
    {{"JOIN", "START"}, Command::kJoin}, {{"LEAVE", "STOP"}, Command::kLeave},
    {{"INVITE", ""}, Command::kInvite},  {{"CREATE", ""}, Command::kCreate},
    {{"ADMIN", ""}, Command::kAdmin},    {{"YES", ""}, Command::kYes},
    {{"TEST", ""}, Command::kTest},      {{"HELP", ""}, Command::kHelp},
};

// A first word that begins with this is ignored; it has no translation.
constexpr std::string_view kIdTag = "id:";

bool RowMatches(const DispatchRow& row, std::string_view word) {
  for (std::string_view keyword : row.keywords) {
    if (!keyword.empty() && MatchesCommand(word, keyword, /*prefix=*/true)) return true;
  }
  return false;
}

}  // namespace

Command SelectCommand(std::string_view word) {
  for (const DispatchRow& row : kRows) {
    if (RowMatches(row, word)) return row.command;
  }
  if (StartsWithNoCase(word, kIdTag)) return Command::kIdTag;
  return Command::kPost;
}

void Dispatch(Request* request) {
  switch (SelectCommand(request->Word(0))) {
    case Command::kJoin:
      return HandleJoin(request);
    case Command::kLeave:
      return HandleLeave(request);
    case Command::kCreate:
      return HandleCreate(request);
    case Command::kAdmin:
      return HandleAdmin(request);
    case Command::kYes:
      return HandleYes(request);
    case Command::kTest:
      return HandleTest(request);
    case Command::kHelp:
      return HandleHelp(request);
    case Command::kInvite:
    case Command::kIdTag:
      return;
    case Command::kPost:
      return HandlePost(request);
  }
}

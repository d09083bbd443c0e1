// The processor's vocabulary: command words and their translations, the
// reply text table, property words, and the small word tests the handlers
// share. Translations come from TessaryTranslate.INI beside the program,
// read afresh at every lookup.
#ifndef PROCESSOR_VOCABULARY_H_
#define PROCESSOR_VOCABULARY_H_

#include <string>
#include <string_view>

constexpr char kTranslationFileName[] = "TessaryTranslate.INI";
constexpr char kCommandsSection[] = "Commands";
constexpr char kTextSection[] = "Text";

// The reply texts, in table order; each key's name is its name in the Text
// section of the translation file.
enum class ReplyKey {
  kAdminApproveReplyYes,
  kJoinNeedGroupName,
  kJoinNeedUserName,
  kJoinGroupNotExist,
  kJoinUserBlocked,
  kJoinAlreadyJoined,
  kJoinNameTaken,
  kJoinOK,
  kJoinOKCanSend,
  kJoinError,
  kJoinErrorAdminQ,
  kLeaveOK,
  kLeaveError,
  kLeaveNotJoined,
  kLeaveNoGroups,
  kCreateNoRights,
  kCreateNeedGroup,
  kCreateGroupExists,
  kAdminPropsPublicPrivate,
  kAdminPropsModUnmod,
  kAdminPropsNotify,
  kCreateInvalidName,
  kCreateOK,
  kAdminNoRights,
  kAdminRemoveNotJoined,
  kAdminRemoveError,
  kAdminRemoveOK,
  kAdminBlockOK,
  kAdminUnblockAll,
  kAdminUnblockOK,
  kAdminUnblockNotBlocked,
  kAdminPropsUpdated,
  kAdminUnknownCommand,
  kInvalidRequest,
  kUserNotJoined,
  kMessageAdminApproval,
  kMessageAdminQError,
  kMessagePrivate,
  kMessageForwardError,
  kMessageForwardUserError,
  kMessageForwardUserOK,
  kMessageForwardOnlyMember,
  kMessageForwardOK,
  kAdminAuthAddInvalid,
  kAdminAuthAddOK,
  kAdminAuthRemoveInvalid,
  kAdminAuthRemoveOK,
  kAdminAuthInvalid,
  kAdminAddAlreadyExists,
  kAdminAddOK,
  kAdminAddError,
  kAdminAddInvalidNumber,
  kCount
};

// The translation file beside the running program, or the one a test set.
std::string TranslationFilePath();
// Makes every lookup read `path` instead of the file beside the program; an
// empty path goes back to that file. For tests only.
void SetTranslationFileForTesting(std::string path);

std::string_view ReplyKeyName(ReplyKey key);
std::string_view DefaultReplyText(ReplyKey key);

// The Text value for the key (cut to 249 characters), or the default when it
// is missing, empty, or its conversions differ from the default's.
std::string GetReplyText(ReplyKey key);

// The Commands value for the English command word (cut to 99 characters), or
// the word itself when there is none.
std::string TranslateCommand(std::string_view word);

// True when `word` selects the command `keyword`: in English its first
// characters equal the keyword (a prefix test over the keyword's length when
// `prefix` is set, else the whole word), or the whole word equals the
// keyword's translation; all without regard to case.
bool MatchesCommand(std::string_view word, std::string_view keyword, bool prefix);

// True when the name is one of the 11 command words or a translation of one.
bool IsCommandWord(std::string_view name);

// 7 to 15 characters, one optional leading '+', decimal digits otherwise.
bool IsPhoneNumber(std::string_view text);

// The choices made by property words (CREATE, PROP).
struct PropertyChoices {
  bool is_public = false;
  bool is_private = false;
  bool moderated = false;
  bool unmoderated = false;
  bool broadcast = false;
  bool notify_on = false;
  bool notify_off = false;
};

// Classifies one word by its first three letters; other words are ignored.
void ClassifyPropertyWord(std::string_view word, PropertyChoices* choices);

enum class PropertyConflict { kNone, kPublicPrivate, kModUnmod, kNotify };

// The first conflict, in the order PUBLIC/PRIVATE, MOD/UNMOD/BROADCAST,
// NOTIFY/NONOTIFY.
PropertyConflict FirstConflict(const PropertyChoices& choices);

#endif  // PROCESSOR_VOCABULARY_H_

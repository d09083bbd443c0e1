// Limits shared by both programs. Each constant is a visible length in
// characters (bytes); a buffer that must hold it is one larger.
#ifndef COMMON_LIMITS_H_
#define COMMON_LIMITS_H_

#include <cstddef>
#include <cstdint>

// Texts of a run of the processor.
constexpr size_t kMaxPhoneChars = 49;          // sender, receiving number
constexpr size_t kMaxGroupChars = 149;         // group name in the processor
constexpr size_t kMaxToolGroupChars = 249;     // group name in the tool
constexpr size_t kMaxUserNameChars = 149;      // a member's user name
constexpr size_t kMaxCommandLineChars = 16383; // the joined arguments of a run
constexpr size_t kMaxReplyChars = 1023;        // what the sender is told
constexpr size_t kMaxWorkChars = 8191;         // joined words, values read
constexpr size_t kMaxEnvValueChars = 8191;     // value of an environment read
constexpr size_t kMaxFormattedPieceChars = 1024;  // one formatted piece

// Store.
constexpr size_t kMaxPathChars = 259;          // any path the store builds
constexpr size_t kProfileValueBuffer = 500;    // single profile value reads
constexpr size_t kOwnerBuffer = 100;           // GetGroupOwner
constexpr size_t kSectionBuffer = 8192;        // whole-section reads
constexpr size_t kDataDirectoryBuffer = 264;   // data directory paths

// Translation file.
constexpr size_t kMaxTranslatedCommandChars = 99;
constexpr size_t kMaxReplyTextChars = 249;

// Approval queue: what a re-run copies out of a stored request.
constexpr size_t kMaxStoredFieldChars = 149;
constexpr size_t kMaxStoredCommandChars = 2047;
constexpr size_t kMaxStoredDateChars = 49;
constexpr size_t kMaxRerunCommandLineChars = 8191;

// Administrator notices.
constexpr size_t kMaxNotifyChars = 251;
constexpr size_t kMaxApprovalChars = 2047;
constexpr size_t kMaxForwardChars = 8095;

// The tool's list actions and list targets.
constexpr size_t kMaxListWordChars = 49;

// Counts and times.
constexpr unsigned kQuietAfterFailures = 10;   // quiet when the count exceeds it
constexpr uint32_t kChildWaitMs = 60000;       // approved re-run, tool's POST
constexpr unsigned kSubmitIdleSeconds = 60;    // gateway submissions

static_assert(kMaxPhoneChars < kMaxGroupChars);
static_assert(kMaxGroupChars < kMaxToolGroupChars);
static_assert(kMaxToolGroupChars < kMaxPathChars);
static_assert(kMaxStoredCommandChars < kMaxRerunCommandLineChars);

#endif  // COMMON_LIMITS_H_

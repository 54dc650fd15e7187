#pragma once
// How long the full dialogue waits, and how often it looks: for FullDialogue's two files.

#include <chrono>

namespace pelvaro::dialogue {

using namespace std::chrono_literals;

// Peers look at a module every 10 to 30 s: one that stopped routing without a word, or stored a
// message silently, is found within this.
inline constexpr auto kCheckEvery = 10s;
// After a command went unanswered, what it may have changed is looked at again this soon.
inline constexpr auto kCheckSoon = 1s;
// A SIM that is starting or checking its PIN is asked again after this.
inline constexpr auto kSetUpAgainAfter = 2s;
// A set-up that failed is tried again after this, in case the modem is put right meanwhile.
inline constexpr auto kSetUpAfterFailure = 10s;
inline constexpr auto kReopenEvery = 10s;
// A listing that failed, and a deletion that the modem did not answer, are tried again after
// these.
inline constexpr auto kSweepAgainAfter = 2s;
inline constexpr auto kRemovalAgainAfter = 5s;
// A full storage takes a few seconds to list at 57600 baud; slow modems take more.
inline constexpr auto kListingDeadline = 30s;
inline constexpr auto kIdle = 50ms;
inline constexpr int kUnansweredChecksForLost = 2;
// Modems wait 10 to 60 s for an acknowledgement.
inline constexpr auto kAckPatience = 10s;

}  // namespace pelvaro::dialogue

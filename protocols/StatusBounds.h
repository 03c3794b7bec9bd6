#pragma once

#include "protocols/ServerStatus.h"

// How much of a game server's answer is kept, the same for the three games. Real servers stay
// far below every bound; a hostile one may claim thousands of players and colour every
// letter, and its page must still be small and quick to write. Each game's reader applies the
// bounds it can while reading, so that memory is not spent first; every status is bounded
// again when its query ends.
namespace utq::protocols::bounds {

inline constexpr int kMaxPlayers = 256; // and as many spectators
inline constexpr int kMaxRules = 256;
inline constexpr int kMaxTeams = 16;
// A name's colour runs; the text of any further run goes on in the last one's colour.
inline constexpr int kMaxRunsPerName = 16;
// The runs of all names of one status: each costs more to write than its text, so names past
// this bound are plain.
inline constexpr int kMaxRuns = 1024;
// Characters of one text. The readers of UT99 and UT2004 cut theirs shorter, at 255.
inline constexpr qsizetype kMaxText = 1024;
// Characters of all texts of one status together, a coloured name's counted twice (it is
// written as text and as runs): the largest status renders in a few milliseconds.
inline constexpr qsizetype kMaxTotalText = 64 * 1024;

// `runs` cut to kMaxRunsPerName, the text of those past it added to the last.
TextRuns boundedRuns(TextRuns runs);

// `status` within every bound: players, spectators, teams and rules past their bounds are
// dropped, texts are cut (a name's runs with it), names whose runs would pass kMaxRuns lose
// their colours, and once all texts reach kMaxTotalText, later entries are dropped. Filled in
// this order: the server's facts, players, spectators, teams, rules.
ServerStatus bounded(ServerStatus status);

// About the memory `status` holds, in bytes: for keeping answers within a budget.
qint64 estimatedBytes(const ServerStatus& status);

} // namespace utq::protocols::bounds

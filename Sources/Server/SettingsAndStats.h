// The settings and statistics trees on disk: settings.plist and stats.plist
// below the root, both XML property lists with a dictionary at the root.
#pragma once

#include "ServerData.h"

namespace corvane {

// Loads both files into *data; a missing, damaged or non-dictionary file
// gives an empty tree and a log line. Both trees exist afterwards.
void LoadSettingsAndStats(ServerData* data);

// Writes settings.plist, then stats.plist, each atomically and durably, and
// clears save_pending. A failed write is logged; memory keeps the newer data
// for the next save.
void SaveSettingsAndStats(ServerData& data);

// Saves when a SaveCredit or MinuteUsed is not yet on disk; true when it
// did.
bool SaveIfPending(ServerData& data);

}  // namespace corvane

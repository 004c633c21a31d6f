// The settings and statistics trees on disk: settings.plist and stats.plist
// below the root, both XML property lists with a dictionary at the root.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "ServerData.h"

namespace corvane {

// Loads both files into *data; a missing, damaged or non-dictionary file
// gives an empty tree and a log line. Both trees exist afterwards.
void LoadSettingsAndStats(ServerData* data);

// Writes settings.plist, then stats.plist, each atomically and durably, and
// clears save_pending. A failed write is logged; memory keeps the newer data
// for the next save.
void SaveSettingsAndStats(ServerData& data);

// Saves when a SaveCredit or MinuteUsed is not yet on disk.
void SaveIfPending(ServerData& data);

// A save in two steps, for a save made by a forked copy of the server: the
// documents of both files as of now (serialising what changed), then the
// writing, which touches nothing of the server's state and logs nothing.
struct SaveDocuments {
  std::vector<std::string_view> files[2];  // settings.plist, stats.plist
  bool ok[2] = {false, false};
};
// The pieces stay valid until the trees' next change.
void PrepareSave(ServerData& data, SaveDocuments* documents);
// Bit 0 set: settings.plist was not written; bit 1: stats.plist.
uint8_t WriteSave(const SaveDocuments& documents);
void LogSaveFailures(int failed);

}  // namespace corvane

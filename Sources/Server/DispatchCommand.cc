#include "DispatchCommand.h"

#include <assert.h>

#include "CommandHandlers.h"
#include "HomeFolderSizeCommand.h"
#include "ServerLog.h"
#include "WireCodec.h"

namespace corvane {

std::optional<std::string> DispatchCommand(ServerData& data, std::span<const uint8_t> request,
                                           const RequestOrigin& origin) {
  assert(request.size() >= kRequestHeaderSize &&
         "DispatchCommand: a request frame is at least its 9-byte header");
  auto command = static_cast<int8_t>(request[4]);
  switch (command) {
    case kGetCredit:
      return HandleGetCredit(data, request);
    case kSaveCredit:
      HandleSaveCredit(data, request, origin);
      return std::nullopt;
    case kAutoUpdateCredit:
      HandleAutoUpdateCredit(data, request, origin);
      return std::nullopt;
    case kGetEnabledApps:
      return HandleGetEnabledApps(data, request);
    case kGetStats:
      return HandleGetStats(data, request);
    case kMinuteUsed:
      HandleMinuteUsed(data, request, origin);
      return std::nullopt;
    case kDisconnectionRequest:
      HandleDisconnectionRequest(data, request, origin);
      return std::nullopt;
    case kHomeFolderSize:
      return HandleHomeFolderSize(data, origin);
    case kAgentAlive:
      HandleAgentAlive(data, origin);
      return std::nullopt;
    default:
      ConsoleMessage("Handling command %d\n", command);
      return std::nullopt;
  }
}

}  // namespace corvane

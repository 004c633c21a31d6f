// HomeFolderSize: the size of the asking user's own home folder, measured
// as root so that nothing the user hides behind permissions is missed.
#pragma once

#include <optional>
#include <string>

#include "RequestOrigin.h"
#include "ServerData.h"

namespace corvane {

// Only a peer on this machine whose user is known is measured, and only its
// own user's home folder: the request names no user, so there is nothing to
// choose. Others get the empty reply at once (the agent then measures
// itself). The measured reply goes out through origin.reply_later; none is
// returned then.
std::optional<std::string> HandleHomeFolderSize(ServerData& data, const RequestOrigin& origin);

}  // namespace corvane

#include "HomeFolderSizeRequest.h"

#include <memory>

#include "CorvaneLoader.h"
#include "HomeFolderSize.h"
#include "HomeFolderSizeReply.h"
#include "Platform/System/Deadline.h"
#include "Platform/Network/StreamSocket.h"
#include "ReplyAssembler.h"
#include "WireCodec.h"

namespace corvane {
namespace {

std::unique_ptr<StreamSocket> ConnectLocally(uint16_t port, const Deadline& deadline) {
  for (const SocketAddress& address : LookUpHost(kLocalServerHost, port)) {
    std::unique_ptr<StreamSocket> socket = StreamSocket::Create(address.family);
    if (socket == nullptr || !socket->StartConnect(address)) continue;
    while (socket->CheckState() == StreamSocket::State::kOpening && !deadline.Passed()) {
      socket->Wait(false, deadline.RemainingMilliseconds());
    }
    if (socket->CheckState() == StreamSocket::State::kOpen) return socket;
  }
  return nullptr;
}

}  // namespace

std::optional<uint64_t> RequestHomeFolderSize(uint16_t port, double timeout_seconds) {
  Deadline deadline = Deadline::After(timeout_seconds);
  std::unique_ptr<StreamSocket> socket = ConnectLocally(port, deadline);
  if (socket == nullptr) return std::nullopt;
  Bytes request = BuildRequest(kHomeFolderSize, {});
  size_t written = 0;
  while (written < request.size()) {
    if (deadline.Passed() || socket->CheckState() != StreamSocket::State::kOpen) {
      return std::nullopt;
    }
    long n = socket->Write(std::span<const uint8_t>(request).subspan(written));
    if (n < 0) return std::nullopt;
    written += static_cast<size_t>(n);
    if (written < request.size()) socket->Wait(false, deadline.RemainingMilliseconds());
  }
  ReplyAssembler assembler;
  while (!assembler.complete() && !assembler.refused()) {
    if (deadline.Passed() || socket->CheckState() != StreamSocket::State::kOpen) {
      return std::nullopt;
    }
    if (!socket->HasBytesAvailable()) {
      socket->Wait(true, deadline.RemainingMilliseconds());
      continue;
    }
    uint8_t chunk[kReplyReadSize];
    long n = socket->Read(chunk, assembler.NextReadSize());
    if (n < 0) return std::nullopt;
    if (n > 0) assembler.Append(chunk, static_cast<size_t>(n));
  }
  if (assembler.refused()) return std::nullopt;
  return ReadHomeFolderSizeReply(assembler.TakeBody());
}

uint64_t MeasureHomeFolderSize(uint16_t port, double timeout_seconds) {
  if (auto size = RequestHomeFolderSize(port, timeout_seconds)) return *size;
  return HomeFolderSize();
}

}  // namespace corvane

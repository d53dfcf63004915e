// The socket and timer components on non-blocking sockets and an EventLoop.
#pragma once
#include <functional>
#include <memory>
#include <string>

#include "platform/platform.h"
#include "posix/event_loop.h"

namespace moravex {

// Resolves a host name to an IPv4/IPv6 address text off the loop thread.
// Tests substitute a resolver that hangs or fails.
using Resolver = std::function<bool(const std::string& host, int port, std::string& error_description,
                                    struct sockaddr_storage& address, unsigned& address_length)>;

std::unique_ptr<SocketComponent> MakePosixSocket(EventLoop& loop, Resolver resolver = {});
std::unique_ptr<TimerComponent> MakePosixTimer(EventLoop& loop, std::string name);

// Everything one control needs: socket, three timers, native table and
// Windows-1252 conversions.
Components MakePosixComponents(EventLoop& loop);

}  // namespace moravex

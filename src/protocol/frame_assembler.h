// Cuts the inbound stream into messages across any split of notifications:
// it takes what the socket holds into the receive fields of the client's
// state and says when a message is whole. It knows nothing of the control or
// its handlers, so it is driven, and tested, by whoever reads the socket.
#pragma once
#include "platform/socket_component.h"
#include "protocol/dispatch_levels.h"
#include "session/client_state.h"

namespace moravex {

// A header that announces more than the largest payload.
struct BogusPayloadLength {};

// True once a message is whole: its type in HeaderBuffer, its payload in the
// first PayloadLength bytes of PayloadBuffer, and the state already awaiting
// the next header (so that a nested notification starts on the next message).
// False when the socket holds no more of it. `levels` lends out the
// collection buffer while an outer handler still reads it.
bool CollectMessage(ClientState& state, DispatchLevels& levels, SocketComponent& socket);

}  // namespace moravex

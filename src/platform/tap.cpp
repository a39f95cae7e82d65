// The capture tap of the platform layer, shared by its implementations.
#include <atomic>

#include "platform/net.h"

namespace zel::platform {

namespace {
std::atomic<Tap> currentTap{nullptr};
}  // namespace

void setTap(Tap tap) { currentTap.store(tap); }

void tapDatagram(SocketHandle socket, bool outgoing, const Peer& remote, const void* data,
                 long length) {
    const Tap tap = currentTap.load();
    if (tap == nullptr || length < 0) return;
    Peer local;
    localAddress(socket, &local);
    // A socket bound to any address: the address the route gives.
    if (local.address == 0) local.address = sourceAddressTowards(remote.address);
    tap(outgoing, local, remote, data, static_cast<std::size_t>(length));
}

}  // namespace zel::platform

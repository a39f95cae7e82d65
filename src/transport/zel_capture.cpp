// ZelCapture: the platform layer's tap, writing into one pcap file.
#include "transport/zel_capture.h"

#include <mutex>

#include "platform/net.h"
#include "platform/pcap_writer.h"

namespace net = zel::platform;

namespace {

std::mutex captureMutex;
net::PcapWriter captureFile;

void write(bool outgoing, const net::Peer& local, const net::Peer& remote, const void* data,
           std::size_t length) {
    std::lock_guard<std::mutex> lock(captureMutex);
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    if (outgoing) {
        captureFile.write(local.address, local.port, remote.address, remote.port, bytes, length);
    } else {
        captureFile.write(remote.address, remote.port, local.address, local.port, bytes, length);
    }
}

}  // namespace

bool ZelCapture::start(const char* pcapFile) {
    if (pcapFile == nullptr) return false;
    std::lock_guard<std::mutex> lock(captureMutex);
    net::setTap(nullptr);
    captureFile.close();
    if (!captureFile.open(pcapFile)) return false;
    net::setTap(write);
    return true;
}

void ZelCapture::stop() {
    net::setTap(nullptr);
    std::lock_guard<std::mutex> lock(captureMutex);
    captureFile.close();
}

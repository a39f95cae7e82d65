// The answer parsing of every module kind, with the fuzz bytes served as the
// module's answers by a responder on loopback.
//
// Input: byte 0 picks the kind; the rest is a list of answers, each a length
// byte and that many bytes. An answer's first byte selects how it is sent:
// below 0xF0 the responder puts the answer type the request expects in front
// of the remaining bytes (parameter count, lengths, data), so the fuzzer
// reaches the decoders; from 0xF0 on the remaining bytes go out as they are.
// When the list is used up, every request gets a negative answer (type 17),
// so nothing waits for a time-out. The operations run on a clock that does
// not sleep. Their results are dropped: any code is a right answer to
// garbage, the fuzzer looks for crashes and reads out of bounds.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "modules/zel_1vpp_module.h"
#include "modules/zel_analog_module.h"
#include "modules/zel_io_module.h"
#include "modules/zel_kalix_module.h"
#include "modules/zel_lvdt_module.h"
#include "modules/zel_ttl_module.h"
#include "platform/clock.h"
#include "platform/net.h"

namespace net = zel::platform;

namespace {

constexpr const char* kModuleAddress = "127.251.0.10";

class NoSleepClock : public net::Clock {
  public:
    unsigned long tickMs() const override { return now += 1; }
    void sleepMs(unsigned long ms) const override { now += ms; }
    long long wallSeconds() const override { return static_cast<long long>(now / 1000); }

  private:
    mutable unsigned long now = 0;
};

// Answers each request with the next answer of the input until `stop`.
class Responder {
  public:
    Responder() {
        socket = net::openUdpSocket();
        net::bindSocket(socket, net::parseAddress(kModuleAddress), 27015);
    }
    ~Responder() { net::closeSocket(socket); }

    void serve(const std::uint8_t* data, std::size_t size) {
        std::vector<std::vector<std::uint8_t>> answers;
        for (std::size_t at = 0; at < size;) {
            std::size_t length = data[at++];
            if (length > size - at) length = size - at;
            answers.emplace_back(data + at, data + at + length);
            at += length;
        }
        next = 0;
        stop = false;
        thread = std::thread([this, answers] { run(answers); });
    }
    void finish() {
        stop = true;
        thread.join();
    }

  private:
    void run(const std::vector<std::vector<std::uint8_t>>& answers) {
        unsigned char request[512];
        while (!stop) {
            if (net::waitReadable(socket, 0, 2000) != net::Readiness::Ready) continue;
            net::Peer from;
            long n = net::receiveFrom(socket, request, sizeof(request), &from);
            if (n < 1) continue;
            std::vector<std::uint8_t> out;
            if (next < answers.size() && !answers[next].empty()) {
                const auto& a = answers[next];
                if (a[0] < 0xF0) out.push_back(request[0] == 0 ? 18 : request[0]);
                out.insert(out.end(), a.begin() + 1, a.end());
            } else {
                out = {17, 0, 0};
            }
            ++next;
            net::sendTo(socket, out.data(), out.size(), from.address, from.port);
        }
    }

    net::SocketHandle socket;
    std::thread thread;
    std::atomic<bool> stop{false};
    std::size_t next = 0;
};

template <typename Kind>
Kind& prepared(Kind& module, const NoSleepClock& clock) {
    module.setClock(&clock);
    module.setUdpTimeout(20);
    module.setUdpNumRetries(1);
    (void)module.initializeModule(kModuleAddress, true);
    return module;
}

void commonReads(ZelModule& m) {
    unsigned long counts[8];
    (void)m.getCounts(counts, 8, COUNT_REQUEST_NORMAL);
    unsigned char latch[8];
    (void)m.getLatch(latch, 8);
    short adc[8];
    (void)m.getAdcValues(adc, 8);
    unsigned long errors[8];
    double values[8];
    (void)m.getIntegrity(errors, values, 8);
    char ip[16], boot[32], firmware[32];
    bool dhcp;
    (void)m.getConfig(ip, &dhcp, boot, firmware);
    LeftData left;
    (void)m.getLeft(&left);
    unsigned short port;
    (void)m.getAsyncPort(&port);
}

void exercise(std::uint8_t kind, const NoSleepClock& clock) {
    double positions[8];
    switch (kind % 7) {
        case 0: {
            ZelKalixModule m;
            prepared(m, clock);
            commonReads(m);
            long revolutions[8];
            unsigned long counts[8];
            (void)m.getCounts(counts, revolutions, 8, COUNT_REQUEST_NORMAL);
            (void)m.getPositions(positions, revolutions, 8, COUNT_REQUEST_NORMAL);
            char name[10], id[11], serial[17];
            m.getEncoderName(name, 0);
            m.getEncoderId(id, 0);
            m.getSerialNumber(serial, 0);
            KALIX_ERROR_RESULT flags[16];
            (void)m.getErrors(0, flags, 16);
            (void)m.getWarnings(0, flags, 16);
            unsigned char presence;
            (void)m.getChannelPresence(&presence, 0);
            break;
        }
        case 1: {
            Zel1VppModule m;
            prepared(m, clock);
            commonReads(m);
            (void)m.getPositions(positions, 8, COUNT_REQUEST_NORMAL);
            double diag[8];
            (void)m.getDiag(0, diag, 8);
            REF_MARK_STATE state;
            (void)m.getReferencingState(0, &state);
            SIGNAL_TYPE type;
            (void)m.getSignalType(0, &type);
            break;
        }
        case 2: {
            ZelTtlModule m;
            prepared(m, clock);
            commonReads(m);
            (void)m.getPositions(positions, 8, COUNT_REQUEST_NORMAL);
            unsigned char presence;
            (void)m.getChannelPresence(&presence, 0);
            unsigned short revision;
            (void)m.getFpgaRevision(&revision);
            break;
        }
        case 3: {
            ZelLvdtModule m;
            prepared(m, clock);
            commonReads(m);
            (void)m.getPositions(positions, 8, COUNT_REQUEST_NORMAL);
            double volts, kilohertz;
            (void)m.getExcitationValues(&volts, &kilohertz);
            long reading;
            (void)m.getVoltage(0, &volts, &reading);
            unsigned char gain;
            (void)m.getSensorGain(0, &gain);
            break;
        }
        case 4: {
            ZelAnalogModule m;
            prepared(m, clock);
            commonReads(m);
            (void)m.getVoltage(positions, 8, COUNT_REQUEST_NORMAL);
            (void)m.getScaledValues(positions, 8, COUNT_REQUEST_NORMAL);
            (void)m.getDiagVoltages(positions, 8);
            break;
        }
        case 5: {
            ZelIoModule m;
            prepared(m, clock);
            commonReads(m);
            unsigned char inputs[8], outputs[8];
            (void)m.getIO(inputs, outputs, COUNT_REQUEST_NORMAL);
            (void)m.getInputs(inputs);
            break;
        }
        default: {
            ZelPneumaticModule m;
            prepared(m, clock);
            commonReads(m);
            unsigned char state;
            (void)m.getOutput(&state, COUNT_REQUEST_NORMAL);
            break;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    static Responder responder;
    NoSleepClock clock;
    responder.serve(data + 1, size - 1);
    exercise(data[0], clock);
    responder.finish();
    return 0;
}

// A Mosquitto broker of the test's own on a free loopback port, and a
// subscriber that keeps every message it gets, for the MQTT publisher's tests.
#ifndef ZEL_TESTS_MQTT_BROKER_H
#define ZEL_TESTS_MQTT_BROKER_H

#include <arpa/inet.h>
#include <mosquitto.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace mqtttest {

namespace fs = std::filesystem;

// A loopback port nobody listens on now.
inline unsigned short freePort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(s);
    return ntohs(a.sin_port);
}

inline bool accepts(unsigned short port) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(s);
    return ok;
}

// mosquitto from Debian's package, with persistence in `dir`, so that a
// subscriber's session (its subscription and what is queued for it)
// outlives a restart of the broker.
class Broker {
  public:
    Broker(const fs::path& dir, unsigned short port) : dir_(dir), port_(port) {
        std::ofstream(dir / "mosquitto.conf")
            << "listener " << port << " 127.0.0.1\nallow_anonymous true\npersistence true\n"
            << "persistence_location " << dir.string() << "/\nautosave_interval 1\n";
        // Run as root, the broker would become the user "mosquitto", who
        // may not write the test's folder.
        if (const passwd* me = ::getpwuid(::getuid()))
            std::ofstream(dir / "mosquitto.conf", std::ios::app) << "user " << me->pw_name << "\n";
    }
    ~Broker() { stop(); }
    bool start() {
        pid_ = ::fork();
        if (pid_ == 0) {
            const std::string conf = (dir_ / "mosquitto.conf").string();
            const std::string log = (dir_ / "mosquitto.log").string();
            std::freopen(log.c_str(), "a", stdout);
            std::freopen(log.c_str(), "a", stderr);
            ::execl(MOSQUITTO_PATH, "mosquitto", "-c", conf.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        for (int i = 0; i < 200; ++i) {
            if (accepts(port_)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }
    void stop() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    unsigned short port() const { return port_; }

  private:
    fs::path dir_;
    unsigned short port_;
    pid_t pid_ = -1;
};

// A subscriber to `topic` with a session the broker keeps (QoS 1), which
// reconnects on its own.
class Subscriber {
  public:
    struct Message {
        std::string topic, payload;
        bool retained;
    };
    Subscriber(unsigned short port, const std::string& topic, const std::string& id)
        : topic_(topic) {
        mosquitto_lib_init();
        client_ = mosquitto_new(id.c_str(), false, this);
        mosquitto_connect_callback_set(client_, [](mosquitto* m, void* self, int rc) {
            if (rc == 0)
                mosquitto_subscribe(m, nullptr, static_cast<Subscriber*>(self)->topic_.c_str(), 1);
        });
        mosquitto_message_callback_set(
            client_, [](mosquitto*, void* self, const mosquitto_message* m) {
                auto* s = static_cast<Subscriber*>(self);
                std::lock_guard<std::mutex> lock(s->mutex_);
                s->messages_.push_back({m->topic,
                                        std::string(static_cast<const char*>(m->payload),
                                                    static_cast<std::size_t>(m->payloadlen)),
                                        m->retain});
            });
        mosquitto_subscribe_callback_set(client_, [](mosquitto*, void* self, int, int, const int*) {
            static_cast<Subscriber*>(self)->subscribed_ = true;
        });
        mosquitto_reconnect_delay_set(client_, 1, 1, false);
        mosquitto_connect(client_, "127.0.0.1", port, 30);
        mosquitto_loop_start(client_);
    }
    ~Subscriber() {
        mosquitto_disconnect(client_);
        mosquitto_loop_stop(client_, true);
        mosquitto_destroy(client_);
    }
    bool waitSubscribed() {
        for (int i = 0; i < 200 && !subscribed_; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return subscribed_;
    }
    std::vector<Message> messages() {
        std::lock_guard<std::mutex> lock(mutex_);
        return messages_;
    }

  private:
    std::string topic_;
    mosquitto* client_ = nullptr;
    std::mutex mutex_;
    std::vector<Message> messages_;
    std::atomic<bool> subscribed_{false};
};

}  // namespace mqtttest

#endif  // ZEL_TESTS_MQTT_BROKER_H

/// @file
/// How a station publishes to an MQTT broker: the broker, the session, the
/// topics, the batching and the store-and-forward backlog. Plain values, so
/// a host reads them from its settings without the client library.
#ifndef ZEL_STATION_ZEL_MQTT_OPTIONS_H
#define ZEL_STATION_ZEL_MQTT_OPTIONS_H

#include <cstddef>
#include <string>

/// What ZelMqttPublisher connects to and how it publishes.
struct ZelMqttOptions {
    std::string host = "127.0.0.1";   ///< the broker
    unsigned short port = 1883;       ///< 8883 is the usual port with TLS
    std::string clientId;             ///< empty: "zelstation-" and the station's name
    std::string station = "station";  ///< the station's name: the second level of every topic
    std::string topicPrefix = "zel";  ///< the first level of every topic
    int qos = 1;                      ///< 0, 1 or 2 for samples and states
    int keepaliveS = 30;              ///< the session's keep-alive, seconds
    /// A batch is published when it holds this many samples, or when its
    /// first sample is this old, whichever comes first.
    std::size_t batchSamples = 10;
    long batchIntervalMs = 100;
    /// TLS: a CA certificate file (or a folder of them) switches it on; a
    /// client certificate and key are optional.
    std::string caFile;
    std::string caPath;
    std::string certFile;
    std::string keyFile;
    std::string user;  ///< empty: no user name
    std::string password;
    /// The store-and-forward backlog: an SQLite file of its own (created
    /// when missing; empty: one in memory, lost with the process). Every
    /// batch passes through it and leaves once the broker acknowledged it.
    std::string backlogFile;
    /// The most samples the backlog holds; when a new batch finds it full,
    /// the oldest batches not in flight are dropped and counted.
    unsigned long long backlogSamples = 360000;
    std::size_t inflight = 20;    ///< batches published and not yet acknowledged, at most
    long reconnectFirstMs = 250;  ///< the first pause before a new connection attempt
    long reconnectMaxMs = 4000;   ///< the longest pause (the back-off's bound)
};

#endif  // ZEL_STATION_ZEL_MQTT_OPTIONS_H

/// @file
/// ZelWebServer: the station's live page, its JSON interface and its
/// metrics over HTTP, read from a ZelStationView.
///
///  - `GET /`: the live page (one file, scripts and styles inline, built
///    into the program): the chain in physical order with each module's
///    kind, label, health and values in their units, and a plot of the
///    channels the viewer picks over the last minute;
///  - `GET /api/chain`: the chain and each module's health (JSON);
///  - `GET /api/samples?since=N&limit=M`: the records numbered above N
///    (JSON, at most M);
///  - `GET /api/events?since=N`: the same records as they come, as
///    server-sent events (a bounded number of clients at once);
///  - `GET /metrics`: the counts in the Prometheus text format 0.0.4.
///
/// Read-only: nothing here changes a module; every other method is refused
/// with 405. A bad request is answered with a 4xx and a JSON reason. It
/// listens on loopback unless given another address. Each connection is
/// served by a thread of a fixed pool.
#ifndef ZEL_STATION_ZEL_WEB_H
#define ZEL_STATION_ZEL_WEB_H

#include <cstddef>
#include <memory>
#include <string>

#include "station/zel_station_view.h"

/// Where and how the server listens.
struct ZelWebOptions {
    std::string address = "127.0.0.1";  ///< the address to listen on
    int port = 8080;                    ///< 0: a free port the system picks
    std::size_t maxEventClients = 8;    ///< event streams served at once (1 to 64)
    std::size_t maxRecords = 2000;      ///< records in one answer or event at most
    std::size_t maxQueryLength = 256;   ///< longest query string taken (bytes)
};

/// The station's web server; see the file's description.
class ZelWebServer {
  public:
    /// The view must outlive the server.
    explicit ZelWebServer(const ZelStationView& view);
    /// Stops the server if it runs.
    ~ZelWebServer();
    ZelWebServer(const ZelWebServer&) = delete;
    ZelWebServer& operator=(const ZelWebServer&) = delete;

    /// Binds and starts serving on a thread of its own. False with the
    /// reason in *error when the options are out of range or the address
    /// cannot be bound; nothing runs then.
    bool start(const ZelWebOptions& options, std::string* error);
    /// Ends the event streams, stops serving and joins its threads. Idempotent.
    void stop();
    /// The port it listens on (0 when not running).
    int port() const;

    /// The answers themselves, for the server and its tests: the metrics
    /// page, and the JSON of the chain and of the records above `after`.
    static std::string metricsText(const ZelStationView& view);
    static std::string chainJson(const ZelStationView& view);
    static std::string recordsJson(const ZelStationView& view, unsigned long long after,
                                   std::size_t limit);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};

#endif  // ZEL_STATION_ZEL_WEB_H

// The browser test's station: the sample chain simulated on loopback with
// its control port, opened from its configuration file, sampled at a rate,
// every record handed to a view served by the web server. Prints
// "control PORT" and "web PORT" once serving, and runs until its standard
// input closes.
//
//   station_web_runner CHAIN.xml RATE_HZ
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "sim_chain_file.h"
#include "sim_chains.h"
#include "sim_control.h"
#include "sim_segment.h"
#include "station/zel_acquisition_station.h"
#include "station/zel_web.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: station_web_runner CHAIN.xml RATE_HZ\n");
        return 2;
    }
    const std::string file = argv[1];
    const double rate = std::atof(argv[2]);
    std::vector<zelsim::PlannedModule> plan;
    std::string error;
    if (!zelsim::chainFromFile(file, plan, error)) {
        std::fprintf(stderr, "station_web_runner: %s\n", error.c_str());
        return 1;
    }
    zelsim::Segment segment;
    zelsim::addChain(segment, plan);
    zelsim::ControlPort control(segment);
    if (!segment.start() || !control.open(0)) {
        std::fprintf(stderr, "station_web_runner: cannot start the simulated chain\n");
        return 1;
    }
    ZelStation station;
    ZelStationStatus s = station.load(file.c_str());
    for (unsigned short i = 0; s.ok() && i < station.getNumModules(); ++i) {
        const std::string address =
            "127." + std::to_string(segment.subnet()) + ".0." + std::to_string(plan[i].host);
        s = station.setModuleAddress(i, address.c_str());
    }
    if (s.ok()) s = station.open(ZelStationOptions{});
    if (!s.ok()) {
        std::fprintf(stderr, "station_web_runner: %s\n", s.message);
        return 1;
    }
    ZelStationView view(rate);
    view.setChain(ZelStationView::describe(station));
    std::vector<ZelModule*> list = stationModules(station);
    ZelStationRestorer restorer(station);
    ZelAcquisition engine(list.data(), static_cast<unsigned short>(list.size()));
    ZelAcquisitionOptions options;
    options.rateHz = rate;
    options.restorer = &restorer;
    if (engine.start(options).getCode() != ZEL_OK) {
        std::fprintf(stderr, "station_web_runner: the acquisition does not start\n");
        return 1;
    }
    ZelWebServer server(view);
    ZelWebOptions web;
    web.port = 0;
    if (!server.start(web, &error)) {
        std::fprintf(stderr, "station_web_runner: %s\n", error.c_str());
        return 1;
    }
    std::thread consumer([&] {
        ZelAcqRecord r;
        for (;;) {
            if (engine.next(r, 200))
                view.onRecord(r);
            else if (!engine.isRunning())
                break;
            view.onStatistics(engine.statistics());
        }
    });
    std::printf("control %d\nweb %d\n", control.port(), server.port());
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    engine.stop();
    consumer.join();
    server.stop();
    return 0;
}

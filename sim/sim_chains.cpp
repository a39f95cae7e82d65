#include "sim_chains.h"

#include "modules/module_id_table.h"

namespace zelsim {

namespace {

ModuleState base(std::uint32_t id, std::uint8_t channels, int index) {
    ModuleState s;
    s.moduleId = id;
    s.numChannels = channels;
    s.mac[5] = static_cast<std::uint8_t>(0x10 + index);
    s.serial = "AB1200" + std::to_string(10 + index);
    return s;
}

ModuleState kalix(int index) {
    ModuleState s = base(58030501, 4, index);  // ZEL 4105
    KalixEncoder& linear = s.kalix[0];
    linear.present = true;
    linear.measuringStep = 100;  // nm per count
    linear.revolutions = 1;
    linear.name = "KX-LIN";
    linear.id = "KXL-0001";
    linear.serial = "70010001";
    s.axes[0].set(125000, 2000.0);  // 12.5 mm, moving at 0.2 mm/s
    KalixEncoder& multi = s.kalix[1];
    multi.present = true;
    multi.rotary = true;
    multi.measuringStep = 8192;
    multi.revolutions = 4096;
    multi.positionBits = 25;
    multi.name = "KX-MT";
    multi.id = "KXM-0002";
    multi.serial = "70010002";
    s.axes[1].set(3 * 8192 + 2048, 1024.0);  // three and a quarter turns, 1/8 turn per second
    return s;
}

ModuleState incremental(std::uint32_t id, std::uint8_t channels, int index) {
    ModuleState s = base(id, channels, index);
    for (int ch = 0; ch < channels && ch < 4; ++ch) {
        s.axes[ch].set(4000L * (ch + 1), 250.0 * (ch + 1));
    }
    return s;
}

ModuleState lvdt(int index) {
    ModuleState s = base(58031601, 2, index);  // ZEL 4116
    s.lvdt.readings = {1200000, -350000, 0, 0, 0, 0, 0, 0};
    s.lvdt.millivolts = {310, -92, 0, 0, 0, 0, 0, 0};
    return s;
}

ModuleState analog(int index) {
    ModuleState s = base(58031101, 4, index);  // ZEL 4111
    s.analog.setVolts(0, 2.5);
    s.analog.setMilliamps(0, 12.0);
    s.analog.setVolts(1, -1.25);
    s.analog.setMilliamps(1, 4.0);
    return s;
}

ModuleState io(std::uint32_t id, int index, std::uint8_t inputs) {
    ModuleState s = base(id, 3, index);
    s.inputs = inputs;
    return s;
}

}  // namespace

std::vector<PlannedModule> defaultChain() {
    // Physical order left to right; the host numbers are shuffled against it.
    std::vector<PlannedModule> plan = {
        {23, kalix(0)},
        {11, incremental(58031501, 8, 1)},  // TTL, ZEL 4115
        {31, base(58030301, 0, 2)},         // power supply, ZEL 4103
        {14, incremental(58030701, 4, 3)},  // 1 Vpp, ZEL 4107
        {27, lvdt(4)},
        {12, analog(5)},
        {19, io(58030901, 6, 0x05)},  // ZEL 4109, inputs 1 and 3 high
        {16, io(58031001, 7, 0x00)},  // pneumatic, ZEL 4110
    };
    plan.front().state.connectFlag = true;
    return plan;
}

void addChain(Segment& segment, const std::vector<PlannedModule>& plan) {
    for (const PlannedModule& m : plan) segment.addModule(m.host, m.state);
}

std::string modelOf(std::uint32_t moduleId) {
    switch (moduleId) {
#define ZEL_SIM_MODEL(name, value, idText, model, kind, priority, base, channels) \
    case value:                                                                   \
        return model;
        ZEL_MODULE_ID_TABLE(ZEL_SIM_MODEL)
#undef ZEL_SIM_MODEL
        default:
            return "unknown";
    }
}

}  // namespace zelsim

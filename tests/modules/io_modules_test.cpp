// The I/O and pneumatic modules against simulated modules: outputs switched
// one exchange each in order, the masks read back, the valve as output 4.
#include "modules/zel_io_module.h"
#include "sim_fixture.h"

namespace {

zelsim::ModuleState ioModule(std::uint32_t id) {
    zelsim::ModuleState s;
    s.moduleId = id;
    s.numChannels = 3;
    return s;
}

using IoModule = SimulatedModule<ZelIoModule>;

TEST_F(IoModule, OutputsGoOutInOrderAndMasksReadBack) {
    startAndInitialise(ioModule(ZEL_4109_01));
    EXPECT_EQ(module.getNumChannels(), 8);
    const unsigned char mask = 0xF5;  // bits 4 to 7 are no outputs
    ASSERT_EQ(module.setOutputs(&mask).getCode(), ZEL_OK);
    const auto requests = segment.requests(0);
    ASSERT_EQ(requests.size(), 4u);
    const zelsim::Bytes expected[] = {
        {2, 2, 2, 1, 1}, {2, 2, 2, 2, 0}, {2, 2, 2, 3, 1}, {2, 2, 2, 4, 0}};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(requests[i].bytes, expected[i]) << i;
    EXPECT_EQ(state().outputs, 0x05);

    unsigned char outputs = 0, inputs = 0;
    ASSERT_EQ(module.setOutput(4, true).getCode(), ZEL_OK);
    ASSERT_EQ(module.getOutputs(&outputs).getCode(), ZEL_OK);
    EXPECT_EQ(outputs, 0x0D);
    const std::size_t before = requestCount();
    EXPECT_EQ(module.setOutput(0, true).getCode(), ZEL_OUT_OF_RANGE);
    EXPECT_EQ(module.setOutput(5, true).getCode(), ZEL_OUT_OF_RANGE);
    EXPECT_EQ(requestCount(), before);

    edit([](zelsim::ModuleState& s) {
        s.inputs = 0xFA;
        s.outputs = 0x35;
    });
    ASSERT_EQ(module.getInputs(&inputs).getCode(), ZEL_OK);
    EXPECT_EQ(inputs, 0x0A);
    ASSERT_EQ(module.getIO(&inputs, &outputs, static_cast<COUNT_REQUEST_OPTION>(7)).getCode(),
              ZEL_OK);
    EXPECT_EQ(lastRequest(), (zelsim::Bytes{1, 2, 3, 7, 0, 0})) << "the option goes unchanged";
    EXPECT_EQ(inputs, 0x0A);
    EXPECT_EQ(outputs, 0x05);
    EXPECT_EQ(module.getIO(&inputs, nullptr, COUNT_REQUEST_NORMAL).getCode(), ZEL_NULL_POINTER);
}

TEST_F(IoModule, AFailingOutputStopsTheRest) {
    startAndInitialise(ioModule(ZEL_4109_02));
    segment.setHandler(0, 2, [](zelsim::ModuleState& s, const zelsim::Bytes& r) {
        if (r[3] == 3) return std::optional<zelsim::Bytes>(zelsim::frame(17, 0, {}));
        s.outputs = static_cast<std::uint8_t>(s.outputs | (r[4] << (r[3] - 1)));
        return std::optional<zelsim::Bytes>(zelsim::frame(2, 0, {}));
    });
    const unsigned char all = 0x0F;
    EXPECT_EQ(module.setOutputs(&all).getCode(), ZEL_COMMAND_TYPE_MISMATCH);
    EXPECT_EQ(state().outputs, 0x03) << "outputs before the failure stay switched";
    EXPECT_EQ(requestCount(), 3u);

    ZelIoModule fresh;
    unsigned char mask = 0;
    EXPECT_EQ(fresh.setOutputs(&mask).getCode(), ZEL_COMM_NOT_INITIALIZED);
    EXPECT_EQ(fresh.setOutput(1, true).getCode(), ZEL_COMM_NOT_INITIALIZED);
    EXPECT_EQ(fresh.getInputs(&mask).getCode(), ZEL_COMM_NOT_INITIALIZED);
    EXPECT_EQ(fresh.getOutputs(nullptr).getCode(), ZEL_COMM_NOT_INITIALIZED)
        << "the flag comes first";
}

using PneumaticModule = SimulatedModule<ZelPneumaticModule>;

TEST_F(PneumaticModule, TheValveIsOutputFour) {
    startAndInitialise(ioModule(ZEL_4110_01));
    EXPECT_EQ(module.getNumChannels(), 1);
    ASSERT_EQ(module.setOutput(true).getCode(), ZEL_OK);
    EXPECT_EQ(lastRequest(), (zelsim::Bytes{2, 2, 2, 4, 1}));
    unsigned char valve = 0;
    ASSERT_EQ(module.getOutput(&valve, COUNT_REQUEST_NORMAL).getCode(), ZEL_OK);
    EXPECT_EQ(valve, 1);
    ASSERT_EQ(module.setOutput(false).getCode(), ZEL_OK);
    ASSERT_EQ(module.getOutput(&valve, COUNT_REQUEST_NORMAL).getCode(), ZEL_OK);
    EXPECT_EQ(valve, 0);

    for (const std::uint8_t first : {std::uint8_t{0x08}, std::uint8_t{0x07}}) {
        segment.setHandler(0, 1, [first](zelsim::ModuleState&, const zelsim::Bytes&) {
            return std::optional<zelsim::Bytes>(zelsim::frame(1, 1, {first}));
        });
        ASSERT_EQ(module.getOutput(&valve, COUNT_REQUEST_NORMAL).getCode(), ZEL_OK);
        EXPECT_EQ(valve, first == 0x08 ? 1 : 0);
    }
    ZelPneumaticModule fresh;
    EXPECT_EQ(fresh.setOutput(true).getCode(), ZEL_COMM_NOT_INITIALIZED);
    EXPECT_EQ(fresh.initializeModule(nullptr, false).getCode(), ZEL_NULL_POINTER);
}

}  // namespace

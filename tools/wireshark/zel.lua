-- Wireshark / tshark dissector of the ZEL module protocol: command frames
-- to UDP port 27015, answers from it, and the messages a module sends to
-- its host's asynchronous port (set in the preferences).
--
--   tshark -X lua_script:zel.lua -2 -r capture.pcap
--   wireshark: copy to ~/.local/lib/wireshark/plugins/
--
-- Frame: byte 0 command (in an answer: the answer type), byte 1 parameter
-- count, byte 2 parameter length, then the parameters.

local zel = Proto("zel", "ZEL module protocol")

local MODULE_PORT = 27015

local commands = {
    [0] = "connect", [1] = "get counts", [2] = "set outputs", [3] = "reset", [4] = "set IP",
    [5] = "set DHCP", [6] = "force firmware reinstall", [7] = "get configuration", [8] = "get left",
    [9] = "set right", [10] = "get module type", [11] = "Kalix parameters", [12] = "Kalix information",
    [13] = "asynchronous port", [15] = "module settings", [16] = "Kalix channel presence",
    [17] = "negative answer", [18] = "connect message", [22] = "latch", [23] = "ADC values", [24] = "FRAM",
    [25] = "asynchronous mode", [26] = "integrity", [27] = "sampling settings", [28] = "programming init",
    [29] = "programming data", [30] = "programming finished", [31] = "enable diagnostics",
    [32] = "channel settings", [33] = "channel status", [34] = "factory defaults",
}

local f = zel.fields
f.cmd = ProtoField.uint8("zel.cmd", "Command", base.DEC, commands)
f.answer = ProtoField.uint8("zel.answer", "Answer type", base.DEC, commands)
f.count = ProtoField.uint8("zel.count", "Parameter count", base.DEC)
f.length = ProtoField.uint8("zel.length", "Parameter length", base.DEC)
f.params = ProtoField.bytes("zel.params", "Parameters")
f.response_in = ProtoField.framenum("zel.response_in", "Answer in", base.NONE, frametype.RESPONSE)
f.response_to = ProtoField.framenum("zel.response_to", "Answer to", base.NONE, frametype.REQUEST)
f.rtt = ProtoField.double("zel.rtt", "Round trip (ms)")
f.retry = ProtoField.bool("zel.retry", "Retry of an unanswered request")
-- Request parameters
f.option = ProtoField.uint8("zel.option", "Option", base.DEC)
f.host = ProtoField.string("zel.host", "Host address (first three octets)")
f.host_port = ProtoField.uint16("zel.host_port", "Host port", base.DEC)
f.channel = ProtoField.uint8("zel.channel", "Channel", base.DEC)
f.subop = ProtoField.uint8("zel.subop", "Sub-operation", base.DEC)
f.value = ProtoField.uint32("zel.value", "Value", base.DEC)
f.mask = ProtoField.uint8("zel.mask", "Mask", base.HEX)
f.fram_op = ProtoField.uint8("zel.fram.op", "FRAM operation", base.DEC, {[0] = "read", [1] = "write"})
f.fram_field = ProtoField.uint8("zel.fram.field", "FRAM field", base.DEC)
f.fram_data = ProtoField.bytes("zel.fram.data", "FRAM data")
f.choice = ProtoField.uint8("zel.program.choice", "Programming choice", base.DEC,
    {[1] = "bootloader", [2] = "firmware", [3] = "bootloader (new)", [4] = "firmware (new)"})
f.checksum = ProtoField.uint32("zel.program.checksum", "Image checksum", base.DEC)
f.record = ProtoField.string("zel.program.record", "S-record")
f.async_port = ProtoField.uint16("zel.async.port", "Asynchronous port", base.DEC)
f.async_mode = ProtoField.bool("zel.async.mode", "Asynchronous mode")
-- Answer payloads
f.ip = ProtoField.ipv4("zel.ip", "Address")
f.netmask = ProtoField.ipv4("zel.netmask", "Netmask")
f.ip_static = ProtoField.ipv4("zel.ip_static", "Static address")
f.netmask_static = ProtoField.ipv4("zel.netmask_static", "Static netmask")
f.port = ProtoField.uint16("zel.port", "Module port", base.DEC)
f.connected = ProtoField.bool("zel.connect_flag", "Plugged into the host")
f.dhcp = ProtoField.bool("zel.dhcp", "DHCP")
f.mac = ProtoField.ether("zel.mac", "MAC")
f.serial = ProtoField.string("zel.serial", "Serial number")
f.revision = ProtoField.string("zel.revision", "Revision")
f.bootloader = ProtoField.string("zel.bootloader", "Bootloader version")
f.firmware = ProtoField.string("zel.firmware", "Firmware version")
f.module_id = ProtoField.uint32("zel.module_id", "Module identity", base.DEC)
f.module_number = ProtoField.uint32("zel.module_number", "Module number", base.DEC)
f.type_byte = ProtoField.uint8("zel.type_byte", "Type byte", base.HEX)
f.channels = ProtoField.int8("zel.channels", "Channels", base.DEC)
f.counts = ProtoField.uint32("zel.counts", "Count", base.DEC)
f.counts_extra = ProtoField.uint32("zel.counts.extra", "Count, upper word", base.DEC)
f.latch = ProtoField.uint8("zel.latch", "Latch", base.DEC)
f.adc = ProtoField.int16("zel.adc", "ADC value", base.DEC)
f.errors = ProtoField.uint32("zel.integrity.errors", "Error word", base.HEX)
f.integrity = ProtoField.int32("zel.integrity.value", "Integrity value", base.DEC)
f.left = ProtoField.bool("zel.left", "Left input high")
f.status = ProtoField.uint8("zel.status", "Channel status", base.HEX)

local e_malformed = ProtoExpert.new("zel.malformed", "Malformed frame", expert.group.MALFORMED, expert.severity.ERROR)
local e_unknown = ProtoExpert.new("zel.unknown", "Unknown command", expert.group.UNDECODED, expert.severity.WARN)
local e_unanswered = ProtoExpert.new("zel.unanswered", "Request not answered", expert.group.SEQUENCE,
    expert.severity.WARN)
local e_retry = ProtoExpert.new("zel.retry.expert", "Retry: the same request again before an answer",
    expert.group.SEQUENCE, expert.severity.NOTE)
local e_negative = ProtoExpert.new("zel.negative", "Negative answer", expert.group.RESPONSE_CODE,
    expert.severity.WARN)
local e_short = ProtoExpert.new("zel.short", "Answer shorter than its header announces", expert.group.MALFORMED,
    expert.severity.ERROR)
local e_mismatch = ProtoExpert.new("zel.mismatch", "Answer of another type than its request",
    expert.group.SEQUENCE, expert.severity.WARN)
zel.experts = {e_malformed, e_unknown, e_unanswered, e_retry, e_negative, e_short, e_mismatch}

zel.prefs.async_port = Pref.uint("Asynchronous port", 0, "The host's port for the modules' own messages (0: none)")

-- Pairing state, filled on the first pass.
local pending = {}   -- conversation key -> list of {frame, time, bytes}
local frames = {}    -- frame number -> {response_in, response_to, rtt, retry}

local function info(n)
    local t = frames[n]
    if not t then
        t = {}
        frames[n] = t
    end
    return t
end

function zel.init()
    pending = {}
    frames = {}
end

local function version(p, at)
    return string.format("%d.%d.%d", p(at, 1):uint(), p(at + 2, 1):uint(), p(at + 4, 1):uint())
end

local function reversed_ip(tree, field, p, at)
    -- the host sends and the module reports these addresses first octet last
    local octets = {}
    for i = 3, 0, -1 do octets[#octets + 1] = p(at + i, 1):uint() end
    tree:add(field, p(at, 4), Address.ip(table.concat(octets, ".")))
end

local function request(tree, cmd, count, p)
    local n = p:len()
    if cmd == 0 and n >= 9 then
        tree:add(f.option, p(0, 1))
        if p(0, 1):uint() == 1 then
            tree:add(f.host, p(1, 3), string.format("%d.%d.%d", p(3, 1):uint(), p(2, 1):uint(), p(1, 1):uint()))
            tree:add_le(f.host_port, p(4, 2))
        end
    elseif (cmd == 1 or cmd == 23 or cmd == 26 or cmd == 31) and n >= 1 then
        tree:add(f.option, p(0, 1))
    elseif cmd == 2 and n >= 1 then
        tree:add(f.mask, p(0, 1))
    elseif cmd == 4 and n >= 8 then
        reversed_ip(tree, f.ip, p, 0)
        reversed_ip(tree, f.netmask, p, 4)
    elseif cmd == 5 and n >= 1 then
        tree:add(f.dhcp, p(0, 1))
    elseif cmd == 9 and n >= 1 then
        tree:add(f.option, p(0, 1))
    elseif (cmd == 11 or cmd == 12) and n >= 1 then
        tree:add(f.channel, p(0, 1))
    elseif cmd == 13 and n >= 3 then
        tree:add(f.subop, p(0, 1))
        tree:add(f.async_port, p(1, 2))
    elseif cmd == 15 and n >= 1 then
        tree:add(f.subop, p(0, 1))
        if n >= 2 then tree:add(f.channel, p(1, 1)) end
    elseif cmd == 22 and n >= 2 then
        tree:add(f.option, p(0, 1))
        tree:add(f.subop, p(1, 1))
    elseif cmd == 24 and n >= 2 then
        tree:add(f.fram_op, p(0, 1))
        tree:add(f.fram_field, p(1, 1))
        if n > 2 then tree:add(f.fram_data, p(2, n - 2)) end
    elseif cmd == 25 and n >= 1 then
        tree:add(f.async_mode, p(0, 1))
    elseif cmd == 27 and n >= 2 then
        tree:add(f.channel, p(0, 1))
        tree:add(f.value, p(1, 1))
    elseif cmd == 28 and n >= 5 then
        tree:add(f.choice, p(0, 1))
        tree:add_le(f.checksum, p(1, 4))
    elseif cmd == 29 and n >= 1 then
        local text = (p(0, n):string():gsub("[\r\n]+$", ""))
        tree:add(f.record, p(0, n), text)
    elseif cmd == 32 and n >= 3 then
        tree:add(f.subop, p(0, 1))
        tree:add(f.channel, p(1, 1))
        tree:add(f.value, p(2, 2))
    elseif cmd == 33 and n >= 2 then
        tree:add(f.channel, p(0, 1))
        tree:add(f.subop, p(1, 1))
    end
end

local function answer(tree, kind, count, p, item)
    local n = p:len()
    if kind == 18 and n >= 37 then
        tree:add(f.ip, p(0, 4))
        tree:add(f.port, p(6, 2))
        tree:add(f.connected, p(8, 1))
        tree:add(f.dhcp, p(9, 1))
        tree:add(f.mac, p(10, 6))
        tree:add(f.netmask, p(16, 4))
        tree:add(f.serial, p(20, 8))
        tree:add(f.ip_static, p(28, 4))
        tree:add(f.netmask_static, p(32, 4))
        tree:add(f.revision, p(36, 1))
    elseif kind == 7 and n >= 10 then
        reversed_ip(tree, f.ip, p, 0)
        tree:add(f.dhcp, p(4, 1))
        tree:add(f.bootloader, p(5, 5), version(p, 5))
        if count > 3 and n >= 15 then
            if p(10, 1):uint() >= 0x30 then
                tree:add(f.firmware, p(10, n - 10), p(10, n - 10):stringz())
            else
                tree:add(f.firmware, p(10, 5), version(p, 10))
            end
        end
    elseif kind == 10 and n >= 10 then
        tree:add_le(f.module_id, p(0, 4))
        tree:add_le(f.module_number, p(4, 4))
        tree:add(f.type_byte, p(8, 1))
        tree:add(f.channels, p(9, 1))
    elseif kind == 1 then
        for i = 0, count - 1 do
            if 8 * i + 8 > n then break end
            tree:add_le(f.counts, p(8 * i, 4)):append_text(string.format(" (channel %d)", i))
            tree:add_le(f.counts_extra, p(8 * i + 4, 4))
        end
    elseif kind == 22 then
        for i = 0, n - 1 do tree:add(f.latch, p(i, 1)) end
    elseif kind == 23 then
        for i = 0, n / 2 - 1 do tree:add(f.adc, p(2 * i, 2)) end
    elseif kind == 26 and n >= 4 then
        tree:add_le(f.errors, p(0, 4))
        for i = 1, n / 4 - 1 do tree:add_le(f.integrity, p(4 * i, 4)) end
    elseif kind == 8 and n >= 5 then
        reversed_ip(tree, f.ip, p, 0)
        tree:add(f.left, p(4, 1))
    elseif kind == 33 and n >= 2 then
        local c = p(0, 1):uint()
        tree:add(f.channel, p(0, 1), c >= 0x30 and c - 0x30 or c)
        tree:add(f.status, p(1, 1))
    elseif kind == 13 and n >= 2 then
        tree:add(f.async_port, p(0, 2))
    end
end

-- The answer type a request expects: its own code, but the connect message
-- (18) for a connect request (0). A negative answer (17) fits any request.
local function expected_answer(code)
    return code == 0 and 18 or code
end

function zel.dissector(buffer, pinfo, root)
    local length = buffer:len()
    if length == 0 then return 0 end
    pinfo.cols.protocol = "ZEL"
    local fromModule = pinfo.src_port == MODULE_PORT
    local tree = root:add(zel, buffer(), "ZEL module protocol")
    local code = buffer(0, 1):uint()
    local name = commands[code] or "unknown"
    if fromModule then
        tree:add(f.answer, buffer(0, 1))
        -- Negative answers usually carry no parameters at all.
        if code == 17 then tree:add_proto_expert_info(e_negative) end
    else
        tree:add(f.cmd, buffer(0, 1))
        if commands[code] == nil or code == 17 or code == 18 then tree:add_proto_expert_info(e_unknown) end
    end
    if length < 3 then
        tree:add_proto_expert_info(fromModule and e_short or e_malformed)
        pinfo.cols.info = (fromModule and "Answer " or "Request ") .. name .. " (malformed)"
        return length
    end
    local count = buffer(1, 1):uint()
    local plength = buffer(2, 1):uint()
    tree:add(f.count, buffer(1, 1))
    tree:add(f.length, buffer(2, 1))
    local available = length - 3
    if plength > available then
        tree:add_proto_expert_info(fromModule and e_short or e_malformed,
            string.format("Parameter length %d, %d bytes present", plength, available))
        plength = available
    end
    if plength > 0 then
        local p = buffer(3, plength)
        tree:add(f.params, p)
        local ok, err = pcall(fromModule and answer or request, tree, code, count, p:tvb())
        if not ok then tree:add_proto_expert_info(e_malformed, tostring(err)) end
    end

    -- Pairing: a request waits in its conversation until an answer comes
    -- from the module it went to (or from any module, for a broadcast).
    local host = tostring(fromModule and pinfo.dst or pinfo.src)
    local hostPort = fromModule and pinfo.dst_port or pinfo.src_port
    local module = tostring(fromModule and pinfo.src or pinfo.dst)
    local key = host .. ":" .. hostPort .. ">" .. module
    local anyKey = host .. ":" .. hostPort .. ">*"
    local n = pinfo.number
    if not pinfo.visited then
        if not fromModule then
            local broadcast = tostring(pinfo.dst):match("%.255$") ~= nil
            local k = broadcast and anyKey or key
            local list = pending[k]
            if not list then
                list = {}
                pending[k] = list
            end
            local bytes = tostring(buffer():bytes())
            for _, earlier in ipairs(list) do
                if earlier.bytes == bytes then info(n).retry = true end
            end
            list[#list + 1] = {frame = n, time = pinfo.abs_ts, bytes = bytes, code = code}
        else
            local list = pending[key]
            local broadcast = false
            if not list or #list == 0 then
                list = pending[anyKey]
                broadcast = true
            end
            if list and #list > 0 then
                -- The latest request; earlier ones of the conversation were
                -- lost (and retried) or answered late.
                local req = list[#list]
                local r = info(req.frame)
                if not r.response_in then r.response_in = n end
                local a = info(n)
                a.response_to = req.frame
                a.request_code = req.code
                a.rtt = (pinfo.abs_ts - req.time) * 1000
                -- Every module answers a broadcast; one answer settles a request.
                if not broadcast then pending[key] = {} end
            end
        end
    end
    local t = frames[n]
    if fromModule then
        if t and t.response_to then
            tree:add(f.response_to, t.response_to)
            tree:add(f.rtt, t.rtt)
            if code ~= 17 and code ~= expected_answer(t.request_code) then
                tree:add_proto_expert_info(e_mismatch, string.format(
                    "Answer %s (%d) to the request %s (%d) of frame %d", name, code,
                    commands[t.request_code] or "unknown", t.request_code, t.response_to))
            end
        end
        local what = (t and t.response_to) and "Answer" or "Message"
        pinfo.cols.info = string.format("%s %s (%d)", what, name, code)
    else
        if t and t.retry then
            tree:add(f.retry, true)
            tree:add_proto_expert_info(e_retry)
        end
        if t and t.response_in then
            tree:add(f.response_in, t.response_in)
        elseif pinfo.visited and code ~= 34 then
            tree:add_proto_expert_info(e_unanswered)
        end
        pinfo.cols.info = string.format("Request %s (%d)", name, code)
    end
    return length
end

local udp = DissectorTable.get("udp.port")
udp:add(MODULE_PORT, zel)
local registeredAsync = 0

function zel.prefs_changed()
    if registeredAsync ~= 0 then udp:remove(registeredAsync, zel) end
    registeredAsync = zel.prefs.async_port
    if registeredAsync ~= 0 then udp:add(registeredAsync, zel) end
end

#include "sim/sim_options.h"

#include <cstring>

#include "sim/sim_world.h"

namespace {

// Board patience when it withholds the format echo or the length answer:
// longer than the host's read time-out, so that what the host sends once it
// has given up waiting still counts as part of the upload.
constexpr std::uint64_t PATIENT_US = 2'000'000;

enum class Value { None, Count, Byte, Index, Length, Size };

struct FaultEntry {
    const char* name;
    Value value;
    const char* meaning;
    void (*apply)(SimWorld& world, std::int64_t value);
};

std::uint32_t u32(std::int64_t value)
{
    return static_cast<std::uint32_t>(value);
}

const FaultEntry FAULTS[] = {
    {"no-board", Value::None, "no device is attached",
     [](SimWorld& world, std::int64_t) { world.devices = 0; }},
    {"two-boards", Value::None, "a second device is attached",
     [](SimWorld& world, std::int64_t) { world.devices = 2; }},
    {"baud-refused", Value::None, "the driver refuses the baud rate",
     [](SimWorld&, std::int64_t) { sim_fail(SimOp::SetBaudRate, DRV_INVALID_BAUD_RATE); }},
    {"status-fails", Value::Count, "the queue status fails after N console passes",
     [](SimWorld&, std::int64_t n) { sim_fail(SimOp::GetStatus, DRV_IO_ERROR, u32(n)); }},
    {"read-fails", Value::Count, "reads fail after N good ones",
     [](SimWorld&, std::int64_t n) { sim_fail(SimOp::Read, DRV_IO_ERROR, u32(n)); }},
    {"write-fails", Value::Count, "writes fail after N good ones",
     [](SimWorld&, std::int64_t n) { sim_fail(SimOp::Write, DRV_IO_ERROR, u32(n)); }},
    {"number-echo", Value::Byte, "the board echoes B for the message number",
     [](SimWorld& world, std::int64_t b) { world.board.faults.number_echo = static_cast<int>(b); }},
    {"format-echo", Value::Byte, "the board echoes B for the format byte",
     [](SimWorld& world, std::int64_t b) { world.board.faults.format_echo = static_cast<int>(b); }},
    {"no-number-echo", Value::None, "the board does not echo the message number",
     [](SimWorld& world, std::int64_t) { world.board.faults.no_number_echo = true; }},
    {"no-format-echo", Value::None, "the board does not echo the format byte",
     [](SimWorld& world, std::int64_t) {
         world.board.faults.no_format_echo = true;
         world.board.upload_patience_us = PATIENT_US;
     }},
    {"no-length-answer", Value::None, "no length answer; the payload is taken",
     [](SimWorld& world, std::int64_t) {
         world.board.faults.no_length_answer = true;
         world.board.upload_patience_us = PATIENT_US;
     }},
    {"length-answer", Value::Length, "the board answers R to any length",
     [](SimWorld& world, std::int64_t r) {
         world.board.faults.fixed_length_answer = true;
         world.board.faults.length_answer = static_cast<std::int32_t>(r);
     }},
    {"change-echo-at", Value::Index, "payload byte K is echoed inverted",
     [](SimWorld& world, std::int64_t k) { world.board.faults.change_echo_at = k; }},
    {"stop-echo-at", Value::Index, "no echo from payload byte K on",
     [](SimWorld& world, std::int64_t k) { world.board.faults.stop_echo_at = k; }},
    {"drop-echo-at", Value::Index, "the echo of payload byte K is lost",
     [](SimWorld& world, std::int64_t k) { world.board.faults.drop_echo_at = k; }},
    {"capacity", Value::Size, "the board takes at most N bytes",
     [](SimWorld& world, std::int64_t n) { world.board.capacity = u32(n); }},
};
constexpr int FAULT_COUNT = sizeof FAULTS / sizeof FAULTS[0];

const char* value_name(Value value)
{
    switch (value) {
    case Value::None: return "";
    case Value::Count: return "=N";
    case Value::Byte: return "=B";
    case Value::Index: return "=K";
    case Value::Length: return "=R";
    case Value::Size: return "=N";
    }
    return "";
}

// Decimal, or hexadecimal after 0x; a sign only where negative values make
// sense. False when the text is not such a number or it is out of range.
bool parse_value(const char* text, Value value, std::int64_t& result)
{
    bool negative = false;
    if (value == Value::Length && (*text == '-' || *text == '+')) {
        negative = *text == '-';
        ++text;
    }
    int base = 10;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text += 2;
    }
    if (*text == '\0')
        return false;
    std::int64_t number = 0;
    for (; *text != '\0'; ++text) {
        int digit;
        if (*text >= '0' && *text <= '9')
            digit = *text - '0';
        else if (base == 16 && *text >= 'a' && *text <= 'f')
            digit = *text - 'a' + 10;
        else if (base == 16 && *text >= 'A' && *text <= 'F')
            digit = *text - 'A' + 10;
        else
            return false;
        number = number * base + digit;
        if (number > 0xFFFFFFFFll)
            return false;
    }
    if (negative)
        number = -number;
    std::int64_t low = 0;
    std::int64_t high = 0xFFFFFFFFll;
    switch (value) {
    case Value::None:
        return false;
    case Value::Byte:
        high = 0xFF;
        break;
    case Value::Index:
        high = INT32_MAX;
        break;
    case Value::Length:
        low = INT32_MIN;
        high = INT32_MAX;
        break;
    case Value::Count:
    case Value::Size:
        break;
    }
    if (number < low || number > high)
        return false;
    result = number;
    return true;
}

int parse_fault(const std::string& text, SimOptions& options, std::string& error)
{
    const std::size_t equals = text.find('=');
    const std::string name = text.substr(0, equals);
    for (int kind = 0; kind < FAULT_COUNT; ++kind) {
        const FaultEntry& entry = FAULTS[kind];
        if (name != entry.name)
            continue;
        std::int64_t value = 0;
        if (entry.value == Value::None) {
            if (equals != std::string::npos) {
                error = "fault " + name + " takes no value";
                return 1;
            }
        } else if (equals == std::string::npos) {
            error = "fault " + name + " needs a value: " + name + value_name(entry.value);
            return 1;
        } else if (!parse_value(text.c_str() + equals + 1, entry.value, value)) {
            error = "bad value in --fault " + text;
            return 1;
        }
        options.faults.push_back(SimFault{kind, value});
        return 0;
    }
    error = "unknown fault: " + name;
    return 1;
}

// The value of an option given as "--name value" or "--name=value"; nullptr
// when argv[i] is another option.
const char* option_value(int argc, const char* const* argv, int& i, const char* name, bool& missing)
{
    const std::size_t length = std::strlen(name);
    const char* argument = argv[i];
    if (std::strncmp(argument, name, length) != 0)
        return nullptr;
    if (argument[length] == '=')
        return argument + length + 1;
    if (argument[length] != '\0')
        return nullptr;
    if (i + 1 >= argc) {
        missing = true;
        return nullptr;
    }
    return argv[++i];
}

}  // namespace

int parse_sim_options(int argc, const char* const* argv, SimOptions& options, std::string& error)
{
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        bool missing = false;
        if (argument == "--help" || argument == "-h") {
            options.help = true;
        } else if (argument == "--realtime") {
            options.realtime = true;
        } else if (const char* board = option_value(argc, argv, i, "--board", missing)) {
            if (*board == '\0') {
                error = "--board needs a folder";
                return 1;
            }
            options.board = board;
        } else if (const char* fault = option_value(argc, argv, i, "--fault", missing)) {
            if (parse_fault(fault, options, error) != 0)
                return 1;
        } else if (missing) {
            error = argument + " needs a value";
            return 1;
        } else {
            error = "unknown option: " + argument;
            return 1;
        }
    }
    return 0;
}

void apply_sim_faults(const SimOptions& options, SimWorld& world)
{
    for (const SimFault& fault : options.faults)
        FAULTS[fault.kind].apply(world, fault.value);
}

std::string sim_usage()
{
    std::string text =
        "usage: mensagens-sim [--board DIR] [--realtime] [--fault NAME[=VALUE]]... [--help]\n"
        "\n"
        "Runs the mensagens operator console with a simulated message board as its one\n"
        "attached device. Lists and message files are looked up in the current folder.\n"
        "\n"
        "  --board DIR   the board's message memory (default: board), kept across runs:\n"
        "                NNN.bin holds the payload stored under message NNN, and NNN.wav\n"
        "                or NNN.gsm a copy to play\n"
        "  --realtime    the line takes the time a real one does: 115200 baud 8N1 each\n"
        "                way, and the USB chip's 2 ms latency timer\n"
        "  --fault NAME[=VALUE]\n"
        "                a fault of the board or its driver, for every upload of the run;\n"
        "                may be given more than once:\n";
    for (const FaultEntry& entry : FAULTS) {
        std::string name = std::string("    ") + entry.name + value_name(entry.value);
        name.resize(24, ' ');
        text += name + entry.meaning + "\n";
    }
    text +=
        "                B is a byte 0 to 255, K a payload index from 0, R a signed length;\n"
        "                numbers in decimal or 0x hexadecimal\n"
        "  --help        this text\n";
    return text;
}

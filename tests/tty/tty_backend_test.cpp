// The tty backend against a simulated board behind a pseudo-terminal, which a
// fake sysfs tree shows as a tty of ftdi_sio. These tests run on real time,
// with time-outs of a few tens of milliseconds.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <sys/file.h>
#include <sys/mman.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "console/console.h"
#include "console/terminal.h"
#include "link/board_link.h"
#include "link/tty_driver.h"
#include "sim/sim_tty_board.h"

namespace {

constexpr char NO_BOARD[] = "\n\n  Nao foi detectada nenhuma placa!!!";
constexpr char TWO_BOARDS[] = "\n\n  Foram detectadas mais de uma placa!!!";

std::string read_fd(int fd)
{
    std::string text;
    char chunk[4096];
    off_t offset = 0;
    ssize_t got;
    while ((got = pread(fd, chunk, sizeof chunk, offset)) > 0) {
        text.append(chunk, static_cast<std::size_t>(got));
        offset += got;
    }
    return text;
}

// What body prints through the terminal layer.
std::string printed_by(const std::function<void()>& body)
{
    const int out = memfd_create("screen", 0);
    term_set_fds(0, out);
    body();
    term_set_fds(0, 1);
    std::string text = read_fd(out);
    close(out);
    return text;
}

std::string text_of(const std::vector<std::uint8_t>& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

termios settings_of(int fd)
{
    termios settings{};
    EXPECT_EQ(tcgetattr(fd, &settings), 0);
    return settings;
}

bool same_settings(const termios& a, const termios& b)
{
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && cfgetispeed(&a) == cfgetispeed(&b) &&
           cfgetospeed(&a) == cfgetospeed(&b) && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

double elapsed_ms(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
}

class TtyBackend : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sim_tty_board_start(board));
        ASSERT_TRUE(sim_tty_board_start(other));
        char pattern[] = "/tmp/mensagens-tty-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
        tty_set_sysfs_root((root + "/sys").c_str());
        tty_set_dev_root((root + "/dev").c_str());
    }

    void TearDown() override
    {
        if (link.handle != nullptr)
            close_board(link);
        sim_tty_board_stop(board);
        sim_tty_board_stop(other);
        tty_set_sysfs_root(nullptr);
        tty_set_dev_root(nullptr);
        std::filesystem::remove_all(root);
    }

    // The machine's usual ttys, which are not ours, and the given ones.
    void attach(std::vector<SimTtyEntry> devices)
    {
        devices.push_back({"ttyS0", "serial8250", "/dev/null"});
        devices.push_back({"tty0", "", "/dev/null"});
        ASSERT_TRUE(sim_tty_tree_create(root, devices));
    }

    void attach_one_board()
    {
        attach({{"ttyUSB0", "ftdi_sio", board.slave_path}});
    }

    void open_one_board()
    {
        attach_one_board();
        ASSERT_EQ(printed_by([&] { ASSERT_EQ(open_board(link), 0); }), "");
    }

    std::string latency_attribute(const std::string& name) const
    {
        std::ifstream file(root + "/sys/class/tty/" + name + "/device/latency_timer");
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }

    SimTtyBoard board;
    SimTtyBoard other;
    std::string root;
    BoardLink link;
};

TEST_F(TtyBackend, OpenBoardLeavesTheLineRaw115200With8N1AndNoFlowControl)
{
    open_one_board();
    const termios line = settings_of(board.slave_fd);
    EXPECT_EQ(cfgetospeed(&line), B115200);
    EXPECT_EQ(cfgetispeed(&line), B115200);
    EXPECT_EQ(line.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(line.c_cflag & (CSTOPB | PARENB | CRTSCTS), 0u);
    EXPECT_EQ(line.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(line.c_iflag & (IXON | IXOFF | IXANY | ICRNL | INLCR | IGNCR | ISTRIP | INPCK), 0u);
    EXPECT_EQ(line.c_oflag & OPOST, 0u);
    EXPECT_EQ(line.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(latency_attribute("ttyUSB0"), "2\n");
}

TEST_F(TtyBackend, RawLineCarriesEveryByteValueUnchanged)
{
    open_one_board();
    {
        std::lock_guard<std::mutex> lock(board.mutex);
        board.answering = false;
    }
    std::vector<std::uint8_t> all(256);
    for (int i = 0; i < 256; ++i)
        all[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
    EXPECT_EQ(board_write(link, all.data(), 256), DRV_OK);
    ASSERT_TRUE(sim_tty_board_wait_received(board, 256, 2000));
    EXPECT_EQ(sim_tty_board_received(board), all);

    sim_tty_board_say(board, std::string(all.begin(), all.end()));
    board_set_timeouts(link, 1000, 1000);
    std::vector<std::uint8_t> got(256);
    std::uint32_t count = 0;
    EXPECT_EQ(board_read(link, got.data(), 256, &count), DRV_OK);
    EXPECT_EQ(count, 256u);
    EXPECT_EQ(got, all);
}

struct ProbeCase {
    const char* name;
    const char* second;  // "none", "board" (a second pty) or "missing" (a dangling node)
    bool first_held;     // another program holds index 0
    bool second_held;    // another program holds index 1
    bool opens;
    const char* printed;
};

class OpenPolicy : public TtyBackend, public testing::WithParamInterface<ProbeCase> {};

TEST_P(OpenPolicy, CountsTheTtysOfFtdiSioOnly)
{
    const ProbeCase& c = GetParam();
    std::vector<SimTtyEntry> devices = {{"ttyUSB0", "ftdi_sio", board.slave_path}};
    if (std::strcmp(c.second, "board") == 0)
        devices.push_back({"ttyUSB1", "ftdi_sio", other.slave_path});
    else if (std::strcmp(c.second, "missing") == 0)
        devices.push_back({"ttyUSB1", "ftdi_sio", root + "/gone"});
    attach(devices);
    // Another program's hold on a device: an exclusive lock on the node.
    const int first_holder = c.first_held ? open(board.slave_path.c_str(), O_RDWR | O_NOCTTY) : -1;
    const int second_holder = c.second_held ? open(other.slave_path.c_str(), O_RDWR | O_NOCTTY) : -1;
    if (first_holder >= 0) {
        ASSERT_EQ(flock(first_holder, LOCK_EX | LOCK_NB), 0);
    }
    if (second_holder >= 0) {
        ASSERT_EQ(flock(second_holder, LOCK_EX | LOCK_NB), 0);
    }
    const termios second_before = settings_of(other.slave_fd);

    int result = -1;
    EXPECT_EQ(printed_by([&] { result = open_board(link); }), c.printed);
    EXPECT_EQ(result == 0, c.opens);
    if (result != 0)
        link.handle = nullptr;
    // Counting a second device leaves its line as it was.
    EXPECT_TRUE(same_settings(settings_of(other.slave_fd), second_before));

    if (first_holder >= 0)
        close(first_holder);
    if (second_holder >= 0)
        close(second_holder);
    // Nothing is left open or locked by a failed start-up.
    if (result != 0 && std::strcmp(c.second, "board") == 0) {
        DriverHandle first = nullptr;
        DriverHandle second = nullptr;
        EXPECT_EQ(drv_open(0, &first), DRV_OK);
        EXPECT_EQ(drv_open(1, &second), DRV_OK);
        drv_close(first);
        drv_close(second);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OpenPolicy,
    testing::Values(ProbeCase{"OneBoard", "none", false, false, true, ""},
                    ProbeCase{"TwoBoards", "board", false, false, false, TWO_BOARDS},
                    ProbeCase{"SecondNodeMissing", "missing", false, false, true, ""},
                    ProbeCase{"SecondHeldElsewhere", "board", false, true, true, ""},
                    ProbeCase{"FirstHeldElsewhere", "none", true, false, false, NO_BOARD}),
    [](const testing::TestParamInfo<ProbeCase>& param_info) { return param_info.param.name; });

TEST_F(TtyBackend, NoFtdiTtyMeansNoBoard)
{
    attach({});
    int result = 0;
    EXPECT_EQ(printed_by([&] { result = open_board(link); }), NO_BOARD);
    EXPECT_NE(result, 0);

    tty_set_sysfs_root((root + "/nowhere").c_str());
    EXPECT_EQ(printed_by([&] { result = open_board(link); }), NO_BOARD);
    EXPECT_NE(result, 0);
    link.handle = nullptr;
}

TEST_F(TtyBackend, DeviceIndexFollowsTheNaturalOrderOfTtyNames)
{
    attach({{"ttyUSB10", "ftdi_sio", other.slave_path}, {"ttyUSB2", "ftdi_sio", board.slave_path}});
    DriverHandle first = nullptr;
    ASSERT_EQ(drv_open(0, &first), DRV_OK);
    std::uint32_t written = 0;
    EXPECT_EQ(drv_write(first, "Q", 1, &written), DRV_OK);
    EXPECT_TRUE(sim_tty_board_wait_received(board, 1, 2000));
    EXPECT_TRUE(sim_tty_board_received(other).empty());
    drv_close(first);
    DriverHandle none = nullptr;
    EXPECT_EQ(drv_open(2, &none), DRV_DEVICE_NOT_FOUND);
}

TEST_F(TtyBackend, SecondOpenOfABoardInUseFails)
{
    open_one_board();
    DriverHandle again = nullptr;
    EXPECT_NE(drv_open(0, &again), DRV_OK);
    // A second program sees no board; after the first lets go it does.
    BoardLink second;
    int result = 0;
    EXPECT_EQ(printed_by([&] { result = open_board(second); }), NO_BOARD);
    EXPECT_NE(result, 0);
    close_board(link);
    ASSERT_EQ(drv_open(0, &again), DRV_OK);
    EXPECT_EQ(drv_close(again), DRV_OK);
}

struct FrameCase {
    std::uint8_t bits;
    std::uint8_t stop;
    std::uint8_t parity;
    bool accepted;
    tcflag_t flags;  // CSIZE, CSTOPB, PARENB, PARODD, CMSPAR afterwards
};

// A pseudo-terminal keeps only 8 data bits and no parity, so of the codes
// that a real tty takes only the stop bits can be seen here.
TEST_F(TtyBackend, DataCharacteristicsMapTheD2xxCodes)
{
    open_one_board();
    const tcflag_t mask = CSIZE | CSTOPB | PARENB | PARODD | CMSPAR;
    const FrameCase cases[] = {
        {8, 2, 0, true, CS8 | CSTOPB},
        {8, 0, 0, true, CS8},
        {6, 0, 0, false, CS8},
        {8, 1, 0, false, CS8},
        {8, 0, 5, false, CS8},
    };
    for (const FrameCase& c : cases) {
        SCOPED_TRACE(testing::Message() << int{c.bits} << " " << int{c.stop} << " " << int{c.parity});
        const DriverStatus status = drv_set_data_characteristics(link.handle, c.bits, c.stop, c.parity);
        EXPECT_EQ(status, c.accepted ? DRV_OK : DRV_INVALID_PARAMETER);
        EXPECT_EQ(settings_of(board.slave_fd).c_cflag & mask, c.flags);
    }
}

TEST_F(TtyBackend, BaudRatesMapTheStandardRatesAndRefuseOthers)
{
    open_one_board();
    const std::pair<std::uint32_t, speed_t> standard[] = {
        {9600, B9600}, {57600, B57600}, {230400, B230400}, {921600, B921600}, {115200, B115200}};
    for (const auto& [baud, code] : standard) {
        EXPECT_EQ(drv_set_baud_rate(link.handle, baud), DRV_OK);
        const termios line = settings_of(board.slave_fd);
        EXPECT_EQ(cfgetospeed(&line), code) << baud;
    }
    for (std::uint32_t odd : {0u, 12345u, 115201u})
        EXPECT_NE(drv_set_baud_rate(link.handle, odd), DRV_OK) << odd;
    const termios line = settings_of(board.slave_fd);
    EXPECT_EQ(cfgetospeed(&line), B115200);
}

TEST_F(TtyBackend, ReadThatRunsOutOfTimeReturnsWhatArrived)
{
    open_one_board();
    board_set_timeouts(link, 30, 30);
    sim_tty_board_say(board, "ab");
    std::uint8_t buffer[8] = {};
    std::uint32_t got = 99;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(board_read(link, buffer, 5, &got), DRV_OK);
    EXPECT_EQ(got, 2u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 2), "ab");
    EXPECT_GE(elapsed_ms(start), 25.0);

    start = std::chrono::steady_clock::now();
    EXPECT_EQ(board_read(link, buffer, 4, &got), DRV_OK);
    EXPECT_EQ(got, 0u);
    EXPECT_GE(elapsed_ms(start), 25.0);
}

TEST_F(TtyBackend, NoTimeOutWaitsForTheWholeCount)
{
    open_one_board();
    std::thread late([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        sim_tty_board_say(board, "la");
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        sim_tty_board_say(board, "te");
    });
    char buffer[4] = {};
    std::uint32_t got = 0;
    EXPECT_EQ(board_read(link, buffer, 4, &got), DRV_OK);
    late.join();
    EXPECT_EQ(got, 4u);
    EXPECT_EQ(std::string(buffer, 4), "late");
}

TEST_F(TtyBackend, ZeroCountsReturnAtOnceAndSendNothing)
{
    open_one_board();
    std::uint8_t buffer[1] = {0x55};
    std::uint32_t got = 7;
    EXPECT_EQ(board_write(link, buffer, 0), DRV_OK);
    EXPECT_EQ(board_read(link, buffer, 0, &got), DRV_OK);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(board_write(link, "*", 1), DRV_OK);
    ASSERT_TRUE(sim_tty_board_wait_received(board, 1, 2000));
    EXPECT_EQ(text_of(sim_tty_board_received(board)), "*");
}

TEST_F(TtyBackend, QueueCountAndReceivePurge)
{
    open_one_board();
    sim_tty_board_say(board, "hello");
    std::uint32_t queued = 0;
    for (int tries = 0; tries < 1000 && queued < 5; ++tries) {
        ASSERT_EQ(board_queued(link, &queued), DRV_OK);
        if (queued < 5)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(queued, 5u);
    board_purge_rx(link);
    EXPECT_EQ(board_queued(link, &queued), DRV_OK);
    EXPECT_EQ(queued, 0u);
    board_set_timeouts(link, 20, 20);
    char buffer[5];
    std::uint32_t got = 9;
    EXPECT_EQ(board_read(link, buffer, 5, &got), DRV_OK);
    EXPECT_EQ(got, 0u);
}

TEST_F(TtyBackend, WriteThatRunsOutOfTimeReportsTheShortCount)
{
    open_one_board();
    board.reading = false;
    drv_set_timeouts(link.handle, 20, 20);
    const std::vector<std::uint8_t> lots(1 << 20, 0x55);
    std::uint32_t written = 0;
    EXPECT_EQ(drv_write(link.handle, lots.data(), static_cast<std::uint32_t>(lots.size()), &written), DRV_OK);
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, lots.size());
}

TEST_F(TtyBackend, FullUploadThroughTheLink)
{
    open_one_board();
    std::vector<std::uint8_t> payload(100);
    for (std::size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<std::uint8_t>(i * 7 + 3);
    const auto length = static_cast<std::uint32_t>(payload.size());

    board_set_timeouts(link, 1000, 1000);
    board_purge_rx(link);
    std::uint8_t answer[16] = {};
    std::uint32_t got = 0;
    ASSERT_EQ(board_write(link, ">>>", 3), DRV_OK);
    const std::uint8_t number = 7;
    const std::uint8_t format = 3;
    ASSERT_EQ(board_write(link, &number, 1), DRV_OK);
    ASSERT_EQ(board_read(link, answer, 1, &got), DRV_OK);
    ASSERT_EQ(got, 1u);
    EXPECT_EQ(answer[0], number);
    ASSERT_EQ(board_write(link, &format, 1), DRV_OK);
    ASSERT_EQ(board_read(link, answer, 1, &got), DRV_OK);
    EXPECT_EQ(answer[0], format);
    const std::uint8_t announced[4] = {0, 0, 0, static_cast<std::uint8_t>(length)};
    ASSERT_EQ(board_write(link, announced, 4), DRV_OK);
    ASSERT_EQ(board_read(link, answer, 4, &got), DRV_OK);
    ASSERT_EQ(got, 4u);
    EXPECT_EQ(std::memcmp(answer, announced, 4), 0);
    for (std::uint32_t at = 0; at < length; at += 16) {
        const std::uint32_t block = std::min<std::uint32_t>(16, length - at);
        ASSERT_EQ(board_write(link, payload.data() + at, block), DRV_OK);
        ASSERT_EQ(board_read(link, answer, block, &got), DRV_OK);
        ASSERT_EQ(got, block);
        EXPECT_EQ(std::memcmp(answer, payload.data() + at, block), 0) << at;
    }
    ASSERT_EQ(board_write(link, "<", 1), DRV_OK);
    char closed[sizeof SIM_LINE_CLOSED - 1] = {};
    ASSERT_EQ(board_read(link, closed, sizeof closed, &got), DRV_OK);
    EXPECT_EQ(std::string(closed, got), SIM_LINE_CLOSED);

    std::lock_guard<std::mutex> lock(board.mutex);
    ASSERT_EQ(board.board.messages.count(7), 1u);
    EXPECT_EQ(board.board.messages[7].format, 3);
    EXPECT_EQ(board.board.messages[7].payload, payload);
}

TEST_F(TtyBackend, IdleWaitEndsWhenTheBoardOrTheOtherDescriptorHasSomething)
{
    open_one_board();
    int keys[2];
    ASSERT_EQ(pipe(keys), 0);
    // Nothing comes: the whole wait, no failure.
    EXPECT_EQ(board_wait(link, keys[0], 20), DRV_OK);

    std::thread speaker([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        sim_tty_board_say(board, "x");
    });
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(board_wait(link, keys[0], 5000), DRV_OK);
    EXPECT_LT(elapsed_ms(start), 4000.0);
    speaker.join();
    // Bytes already queued end the wait at once.
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(board_wait(link, keys[0], 5000), DRV_OK);
    EXPECT_LT(elapsed_ms(start), 4000.0);
    board_purge_rx(link);

    std::thread typist([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(write(keys[1], "k", 1), 1);
    });
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(board_wait(link, keys[0], 5000), DRV_OK);
    EXPECT_LT(elapsed_ms(start), 4000.0);
    typist.join();
    close(keys[0]);
    close(keys[1]);
}

TEST_F(TtyBackend, UnpluggedBoardGivesFailuresNotHangs)
{
    open_one_board();
    sim_tty_board_stop(board);  // the pty's master end goes: the tty hangs up
    std::uint32_t queued = 0;
    std::uint8_t buffer[4];
    std::uint32_t got = 0;
    std::uint32_t written = 0;
    EXPECT_NE(board_queued(link, &queued), DRV_OK);
    // With no time-out in force a read would wait for ever on a live line.
    EXPECT_NE(board_read(link, buffer, 4, &got), DRV_OK);
    EXPECT_NE(drv_write(link.handle, "CCC", 3, &written), DRV_OK);
    EXPECT_NE(board_wait(link, -1, 5000), DRV_OK);
    close_board(link);
}

// The console's whole run over the tty backend, keys from a pipe.
struct ConsoleRun {
    int keys[2] = {-1, -1};
    int screen = -1;
    std::thread thread;
    int result = -1;
};

void record_pause(unsigned) {}

void start_console(ConsoleRun& run)
{
    ASSERT_EQ(pipe(run.keys), 0);
    run.screen = memfd_create("screen", 0);
    term_set_pause_function(record_pause);
    term_set_fds(run.keys[0], run.screen);
    run.thread = std::thread([&run] { run.result = run_console(); });
}

void finish_console(ConsoleRun& run)
{
    run.thread.join();
    term_set_fds(0, 1);
    term_set_pause_function(nullptr);
    close(run.keys[0]);
    close(run.keys[1]);
    close(run.screen);
}

bool screen_shows(const ConsoleRun& run, const std::string& text, int max_ms)
{
    for (int waited = 0; waited <= max_ms; waited += 2) {
        if (read_fd(run.screen).find(text) != std::string::npos)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}

TEST_F(TtyBackend, ConsoleEchoesTheBoardAndEndsOnEsc)
{
    attach_one_board();
    ConsoleRun run;
    start_console(run);
    EXPECT_TRUE(screen_shows(run, "Programacao liberada\n", 3000));
    EXPECT_EQ(write(run.keys[1], "5", 1), 1);
    EXPECT_TRUE(screen_shows(run, "firmware 3.07\n", 3000));
    EXPECT_EQ(write(run.keys[1], "\x1b", 1), 1);
    finish_console(run);
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(text_of(sim_tty_board_received(board)), "CCC*");
}

TEST_F(TtyBackend, ConsoleEndsTheRunWhenTheBoardIsUnplugged)
{
    attach_one_board();
    ConsoleRun run;
    start_console(run);
    ASSERT_TRUE(sim_tty_board_wait_received(board, 3, 3000));
    sim_tty_board_stop(board);
    EXPECT_TRUE(screen_shows(run, "\n\n  Nao conseguiu ler status do USB!!!", 3000));
    EXPECT_EQ(write(run.keys[1], "x", 1), 1);
    finish_console(run);
    EXPECT_EQ(run.result, 0);
}

}  // namespace

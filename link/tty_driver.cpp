// The driver over Linux's own FTDI support: the ftdi_sio kernel driver makes
// every FTDI chip a tty, and this backend gives those ttys the behaviour of the
// D2XX calls (time-outs, short reads, statuses).

#include "link/tty_driver.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <memory>
#include <poll.h>
#include <string>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

#include "link/ftdi_driver.h"

namespace {

std::string sysfs_root = "/sys";
std::string dev_root = "/dev";

struct TtyDevice {
    int fd = -1;
    std::string name;  // the tty's name in sysfs and /dev, e.g. ttyUSB0
    // The line is set up on first use, not at open: opening a device only to
    // count it must leave its settings alone.
    bool line_taken = false;
    std::uint32_t read_timeout_ms = 0;  // 0: no limit, D2XX's default
    std::uint32_t write_timeout_ms = 0;
};

TtyDevice* device_of(DriverHandle handle)
{
    return static_cast<TtyDevice*>(handle);
}

std::size_t digits_end(const std::string& text, std::size_t from)
{
    while (from < text.size() && std::isdigit(static_cast<unsigned char>(text[from])))
        ++from;
    return from;
}

// ttyUSB2 before ttyUSB10: runs of digits compare by their value.
int natural_compare(const std::string& a, const std::string& b)
{
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        const bool a_digit = std::isdigit(static_cast<unsigned char>(a[i])) != 0;
        const bool b_digit = std::isdigit(static_cast<unsigned char>(b[j])) != 0;
        if (a_digit && b_digit) {
            const std::size_t a_end = digits_end(a, i);
            const std::size_t b_end = digits_end(b, j);
            while (i + 1 < a_end && a[i] == '0')
                ++i;
            while (j + 1 < b_end && b[j] == '0')
                ++j;
            if (a_end - i != b_end - j)
                return a_end - i < b_end - j ? -1 : 1;
            const int order = a.compare(i, a_end - i, b, j, b_end - j);
            if (order != 0)
                return order;
            i = a_end;
            j = b_end;
            continue;
        }
        if (a[i] != b[j])
            return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]) ? -1 : 1;
        ++i;
        ++j;
    }
    if (a.size() - i != b.size() - j)
        return a.size() - i < b.size() - j ? -1 : 1;
    return a.compare(b);
}

bool served_by_ftdi_sio(const std::string& class_dir, const char* name)
{
    const std::string link = class_dir + "/" + name + "/device/driver";
    char target[PATH_MAX];
    const ssize_t length = readlink(link.c_str(), target, sizeof target - 1);
    if (length <= 0)
        return false;
    target[length] = '\0';
    const char* slash = std::strrchr(target, '/');
    return std::strcmp(slash != nullptr ? slash + 1 : target, "ftdi_sio") == 0;
}

// The device index counts these, in this order.
std::vector<std::string> ftdi_ttys()
{
    std::vector<std::string> names;
    const std::string class_dir = sysfs_root + "/class/tty";
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(class_dir.c_str()), closedir);
    if (!dir)
        return names;
    while (const dirent* entry = readdir(dir.get())) {
        if (entry->d_name[0] != '.' && served_by_ftdi_sio(class_dir, entry->d_name))
            names.emplace_back(entry->d_name);
    }
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return natural_compare(a, b) < 0; });
    return names;
}

using SettingsChange = void (*)(termios& settings, unsigned value);

DriverStatus change_settings(TtyDevice& device, SettingsChange change, unsigned value)
{
    termios settings{};
    if (tcgetattr(device.fd, &settings) != 0)
        return DRV_IO_ERROR;
    change(settings, value);
    return tcsetattr(device.fd, TCSANOW, &settings) == 0 ? DRV_OK : DRV_IO_ERROR;
}

// Raw bytes both ways with no flow control and no modem-line dependence, as
// the board and D2XX know the line. VMIN 1 keeps a read of an empty queue
// from returning 0, which is what a hung-up line returns.
void make_raw(termios& settings, unsigned)
{
    cfmakeraw(&settings);
    settings.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | IGNPAR);
    settings.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
}

DriverStatus take_line(TtyDevice& device)
{
    if (device.line_taken)
        return DRV_OK;
    const DriverStatus status = change_settings(device, make_raw, 0);
    if (status != DRV_OK)
        return status;
    // The lock already keeps other instances out; this keeps out programs
    // that do not lock (terminal emulators, modem managers).
    ioctl(device.fd, TIOCEXCL);
    device.line_taken = true;
    return DRV_OK;
}

// Looks up the handle and sets the line up on its first use.
DriverStatus ready_device(DriverHandle handle, TtyDevice*& device)
{
    device = device_of(handle);
    if (device == nullptr)
        return DRV_INVALID_HANDLE;
    return take_line(*device);
}

struct Deadline {
    bool limited = false;
    timespec at{};
};

Deadline deadline_after(std::uint32_t ms)
{
    Deadline deadline;
    if (ms == 0)
        return deadline;
    deadline.limited = true;
    clock_gettime(CLOCK_MONOTONIC, &deadline.at);
    deadline.at.tv_sec += static_cast<time_t>(ms / 1000);
    deadline.at.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
    if (deadline.at.tv_nsec >= 1000000000L) {
        deadline.at.tv_sec += 1;
        deadline.at.tv_nsec -= 1000000000L;
    }
    return deadline;
}

// Waits for the descriptor to become ready for `events` until the deadline.
// DRV_OK when it is ready or the time is up (expired says which); an error
// status when the line has failed.
DriverStatus wait_for(int fd, short events, const Deadline& deadline, bool& expired)
{
    expired = false;
    timespec remaining{};
    timespec* limit = nullptr;
    if (deadline.limited) {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        remaining.tv_sec = deadline.at.tv_sec - now.tv_sec;
        remaining.tv_nsec = deadline.at.tv_nsec - now.tv_nsec;
        if (remaining.tv_nsec < 0) {
            remaining.tv_sec -= 1;
            remaining.tv_nsec += 1000000000L;
        }
        if (remaining.tv_sec < 0) {
            expired = true;
            return DRV_OK;
        }
        limit = &remaining;
    }
    pollfd entry{fd, events, 0};
    const int ready = ppoll(&entry, 1, limit, nullptr);
    if (ready < 0)
        return errno == EINTR ? DRV_OK : DRV_IO_ERROR;
    if (ready == 0) {
        expired = true;
        return DRV_OK;
    }
    if ((entry.revents & events) == 0 && (entry.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0)
        return DRV_IO_ERROR;
    return DRV_OK;
}

speed_t speed_code(std::uint32_t baud)
{
    switch (baud) {
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 500000: return B500000;
    case 576000: return B576000;
    case 921600: return B921600;
    case 1000000: return B1000000;
    case 1500000: return B1500000;
    case 2000000: return B2000000;
    case 3000000: return B3000000;
    default: return B0;
    }
}

void set_speed(termios& settings, unsigned code)
{
    cfsetispeed(&settings, static_cast<speed_t>(code));
    cfsetospeed(&settings, static_cast<speed_t>(code));
}

void set_frame(termios& settings, unsigned flags)
{
    settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CSTOPB | PARENB | PARODD | CMSPAR);
    settings.c_cflag |= static_cast<tcflag_t>(flags);
}

}  // namespace

void tty_set_sysfs_root(const char* root)
{
    sysfs_root = root != nullptr ? root : "/sys";
}

void tty_set_dev_root(const char* root)
{
    dev_root = root != nullptr ? root : "/dev";
}

DriverStatus drv_open(int index, DriverHandle* handle)
{
    const std::vector<std::string> names = ftdi_ttys();
    if (index < 0 || static_cast<std::size_t>(index) >= names.size())
        return DRV_DEVICE_NOT_FOUND;
    const std::string path = dev_root + "/" + names[static_cast<std::size_t>(index)];
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? DRV_DEVICE_NOT_FOUND : DRV_DEVICE_NOT_OPENED;
    // A device that another program holds does not open, as with D2XX; this
    // is what keeps a second mensagens off a board in use.
    if (isatty(fd) == 0 || flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return DRV_DEVICE_NOT_OPENED;
    }
    auto* device = new TtyDevice;
    device->fd = fd;
    device->name = names[static_cast<std::size_t>(index)];
    *handle = device;
    return DRV_OK;
}

DriverStatus drv_close(DriverHandle handle)
{
    const std::unique_ptr<TtyDevice> device(device_of(handle));
    if (!device)
        return DRV_INVALID_HANDLE;
    if (device->line_taken)
        ioctl(device->fd, TIOCNXCL);
    return close(device->fd) == 0 ? DRV_OK : DRV_IO_ERROR;
}

DriverStatus drv_read(DriverHandle handle, void* buffer, std::uint32_t count, std::uint32_t* read_count)
{
    *read_count = 0;
    if (handle == nullptr)
        return DRV_INVALID_HANDLE;
    if (count == 0)
        return DRV_OK;
    TtyDevice* device = nullptr;
    if (const DriverStatus status = ready_device(handle, device); status != DRV_OK)
        return status;
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    const Deadline deadline = deadline_after(device->read_timeout_ms);
    while (*read_count < count) {
        const ssize_t got = read(device->fd, bytes + *read_count, count - *read_count);
        if (got > 0) {
            *read_count += static_cast<std::uint32_t>(got);
            continue;
        }
        if (got == 0)
            return DRV_IO_ERROR;  // a hung-up line: the device has gone
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN)
            return DRV_IO_ERROR;
        bool expired = false;
        if (const DriverStatus status = wait_for(device->fd, POLLIN, deadline, expired); status != DRV_OK)
            return status;
        if (expired)
            break;
    }
    return DRV_OK;
}

DriverStatus drv_write(DriverHandle handle, const void* buffer, std::uint32_t count,
                       std::uint32_t* written)
{
    *written = 0;
    if (handle == nullptr)
        return DRV_INVALID_HANDLE;
    if (count == 0)
        return DRV_OK;
    TtyDevice* device = nullptr;
    if (const DriverStatus status = ready_device(handle, device); status != DRV_OK)
        return status;
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    const Deadline deadline = deadline_after(device->write_timeout_ms);
    while (*written < count) {
        const ssize_t done = write(device->fd, bytes + *written, count - *written);
        if (done > 0) {
            *written += static_cast<std::uint32_t>(done);
            continue;
        }
        if (done < 0 && errno == EINTR)
            continue;
        if (done < 0 && errno != EAGAIN)
            return DRV_IO_ERROR;
        // Like D2XX, a write that runs out of time is no failure: the count
        // tells how far it got.
        bool expired = false;
        if (const DriverStatus status = wait_for(device->fd, POLLOUT, deadline, expired); status != DRV_OK)
            return status;
        if (expired)
            break;
    }
    return DRV_OK;
}

DriverStatus drv_get_status(DriverHandle handle, std::uint32_t* rx_queue, std::uint32_t* tx_queue,
                            std::uint32_t* event_status)
{
    *rx_queue = 0;
    *tx_queue = 0;
    *event_status = 0;
    const TtyDevice* device = device_of(handle);
    if (device == nullptr)
        return DRV_INVALID_HANDLE;
    int received = 0;
    int unsent = 0;
    // Both fail with EIO once the device is unplugged.
    if (ioctl(device->fd, FIONREAD, &received) != 0 || ioctl(device->fd, TIOCOUTQ, &unsent) != 0)
        return DRV_IO_ERROR;
    *rx_queue = static_cast<std::uint32_t>(std::max(received, 0));
    *tx_queue = static_cast<std::uint32_t>(std::max(unsent, 0));
    return DRV_OK;
}

DriverStatus drv_purge(DriverHandle handle, std::uint32_t mask)
{
    const TtyDevice* device = device_of(handle);
    if (device == nullptr)
        return DRV_INVALID_HANDLE;
    const bool rx = (mask & DRV_PURGE_RX) != 0;
    const bool tx = (mask & DRV_PURGE_TX) != 0;
    if (!rx && !tx)
        return DRV_OK;
    const int queues = rx && tx ? TCIOFLUSH : rx ? TCIFLUSH : TCOFLUSH;
    return tcflush(device->fd, queues) == 0 ? DRV_OK : DRV_IO_ERROR;
}

DriverStatus drv_set_timeouts(DriverHandle handle, std::uint32_t read_ms, std::uint32_t write_ms)
{
    TtyDevice* device = device_of(handle);
    if (device == nullptr)
        return DRV_INVALID_HANDLE;
    device->read_timeout_ms = read_ms;
    device->write_timeout_ms = write_ms;
    return DRV_OK;
}

DriverStatus drv_set_baud_rate(DriverHandle handle, std::uint32_t baud)
{
    TtyDevice* device = nullptr;
    if (const DriverStatus status = ready_device(handle, device); status != DRV_OK)
        return status;
    const speed_t code = speed_code(baud);
    if (code == B0)
        return DRV_INVALID_BAUD_RATE;
    return change_settings(*device, set_speed, static_cast<unsigned>(code));
}

DriverStatus drv_set_data_characteristics(DriverHandle handle, std::uint8_t word_length,
                                          std::uint8_t stop_bits, std::uint8_t parity)
{
    TtyDevice* device = nullptr;
    if (const DriverStatus status = ready_device(handle, device); status != DRV_OK)
        return status;
    tcflag_t flags = 0;
    switch (word_length) {
    case 8: flags |= CS8; break;
    case 7: flags |= CS7; break;
    default: return DRV_INVALID_PARAMETER;
    }
    switch (stop_bits) {
    case 0: break;                  // 1 stop bit
    case 2: flags |= CSTOPB; break;  // 2 stop bits; D2XX's 1 (1.5 bits) has no tty setting
    default: return DRV_INVALID_PARAMETER;
    }
    switch (parity) {
    case 0: break;
    case 1: flags |= PARENB | PARODD; break;
    case 2: flags |= PARENB; break;
    case 3: flags |= PARENB | CMSPAR | PARODD; break;  // mark
    case 4: flags |= PARENB | CMSPAR; break;           // space
    default: return DRV_INVALID_PARAMETER;
    }
    return change_settings(*device, set_frame, static_cast<unsigned>(flags));
}

DriverStatus drv_set_latency_timer(DriverHandle handle, std::uint8_t ms)
{
    TtyDevice* device = nullptr;
    if (const DriverStatus status = ready_device(handle, device); status != DRV_OK)
        return status;
    const std::string attribute = sysfs_root + "/class/tty/" + device->name + "/device/latency_timer";
    const int fd = open(attribute.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd >= 0) {
        char text[8];
        const int length = std::snprintf(text, sizeof text, "%u\n", static_cast<unsigned>(ms));
        bool stored = write(fd, text, static_cast<std::size_t>(length)) == length;
        stored = close(fd) == 0 && stored;
        if (stored)
            return DRV_OK;
    }
    // The attribute is root's by default. The low-latency flag, which any
    // user of the tty may set, makes ftdi_sio use 1 ms instead of its 16.
    serial_struct serial{};
    if (ioctl(device->fd, TIOCGSERIAL, &serial) != 0)
        return DRV_IO_ERROR;
    constexpr int low_latency = ASYNC_LOW_LATENCY;
    if (ms < 16)
        serial.flags |= low_latency;
    else
        serial.flags &= ~low_latency;
    return ioctl(device->fd, TIOCSSERIAL, &serial) == 0 ? DRV_OK : DRV_IO_ERROR;
}

DriverStatus drv_wait_readable(DriverHandle handle, std::intptr_t key_wait, std::uint32_t max_ms)
{
    TtyDevice* device = nullptr;
    if (const DriverStatus status = ready_device(handle, device); status != DRV_OK)
        return status;
    int received = 0;
    if (ioctl(device->fd, FIONREAD, &received) != 0)
        return DRV_IO_ERROR;
    if (received > 0)
        return DRV_OK;
    // On POSIX the operator's input is a descriptor, waited on with the tty.
    const auto key_fd = static_cast<int>(key_wait);
    pollfd entries[2] = {{device->fd, POLLIN, 0}, {key_fd, POLLIN, 0}};
    const nfds_t count = key_fd >= 0 ? 2 : 1;
    const int ready = poll(entries, count, static_cast<int>(std::min<std::uint32_t>(max_ms, INT_MAX)));
    if (ready < 0)
        return errno == EINTR ? DRV_OK : DRV_IO_ERROR;
    if ((entries[0].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0)
        return DRV_IO_ERROR;
    return DRV_OK;
}

#include "platform/run_guard.h"

#include <dbus/dbus.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <string>

namespace platform {

namespace {

// How long logind may take to answer; the run starts without the lock after that.
constexpr int kInhibitReplyMs = 2000;

void sayOnce(const std::string& why) {
    static std::atomic<bool> said{false};
    if (!said.exchange(true))
        std::fprintf(stderr,
                     "Sleep and shutdown are not held off while the camera is written: %s.\n",
                     why.c_str());
}

// Closing the descriptor that logind handed out releases the lock.
class InhibitorLock : public RunGuard {
public:
    explicit InhibitorLock(int fd) : fd_(fd) {}
    ~InhibitorLock() override { ::close(fd_); }

private:
    int fd_;
};

class Connection {
public:
    explicit Connection(DBusConnection* connection) : connection_(connection) {}
    ~Connection() {
        if (connection_ != nullptr) {
            dbus_connection_close(connection_);
            dbus_connection_unref(connection_);
        }
    }
    DBusConnection* get() const { return connection_; }

private:
    DBusConnection* connection_;
};

struct Error {
    Error() { dbus_error_init(&error); }
    ~Error() { dbus_error_free(&error); }
    DBusError error;
};

// The locked descriptor, or -1 after saying why there is none.
int inhibit() {
    Error failure;
    // A private connection of our own: closing it cannot disturb another user of the bus.
    const Connection bus(dbus_bus_get_private(DBUS_BUS_SYSTEM, &failure.error));
    if (bus.get() == nullptr) {
        sayOnce("no system bus");
        return -1;
    }
    dbus_connection_set_exit_on_disconnect(bus.get(), FALSE);
    DBusMessage* call = dbus_message_new_method_call(
        "org.freedesktop.login1", "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
        "Inhibit");
    const char* what = "sleep:shutdown:idle";
    const char* who = "kelvoflash";
    const char* why = kRunGuardReason;
    const char* mode = "block";
    if (call == nullptr ||
        !dbus_message_append_args(call, DBUS_TYPE_STRING, &what, DBUS_TYPE_STRING, &who,
                                  DBUS_TYPE_STRING, &why, DBUS_TYPE_STRING, &mode,
                                  DBUS_TYPE_INVALID)) {
        if (call != nullptr)
            dbus_message_unref(call);
        sayOnce("out of memory");
        return -1;
    }
    DBusMessage* reply = dbus_connection_send_with_reply_and_block(bus.get(), call,
                                                                   kInhibitReplyMs, &failure.error);
    dbus_message_unref(call);
    int fd = -1;
    if (reply != nullptr) {
        dbus_message_get_args(reply, &failure.error, DBUS_TYPE_UNIX_FD, &fd, DBUS_TYPE_INVALID);
        dbus_message_unref(reply);
    }
    if (fd >= 0)
        return fd;
    if (dbus_error_has_name(&failure.error, DBUS_ERROR_SERVICE_UNKNOWN) ||
        dbus_error_has_name(&failure.error, DBUS_ERROR_NAME_HAS_NO_OWNER))
        sayOnce("no logind on the system bus");
    else
        sayOnce(failure.error.message != nullptr ? failure.error.message : "no answer from logind");
    return -1;
}

}  // namespace

std::unique_ptr<RunGuard> guardRun() {
    const int fd = inhibit();
    if (fd < 0)
        return std::make_unique<RunGuard>();
    return std::make_unique<InhibitorLock>(fd);
}

}  // namespace platform

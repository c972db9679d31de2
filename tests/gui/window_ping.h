#pragma once
// A second party on the X display that asks the program's window whether it still answers, as a
// desktop does before it offers to force the program to quit: it waits for the first top-level
// window to be mapped, then sends it _NET_WM_PING every 20 ms and times each answer (the toolkit
// answers from its event loop, to the root window). Runs on a thread of its own with its own
// display connection.

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

namespace guitest {

class WindowPing {
public:
    using Ms = std::chrono::milliseconds;
    using Clock = std::chrono::steady_clock;

    // Starts watching; the times count from here.
    bool start() {
        display_ = XOpenDisplay(nullptr);
        if (display_ == nullptr)
            return false;
        protocols_ = XInternAtom(display_, "WM_PROTOCOLS", False);
        ping_ = XInternAtom(display_, "_NET_WM_PING", False);
        // Maps come with SubstructureNotify; toolkits send their answers to the root window with
        // StructureNotify or SubstructureNotify in the mask.
        XSelectInput(display_, DefaultRootWindow(display_),
                     SubstructureNotifyMask | StructureNotifyMask);
        XSync(display_, False);
        started_ = Clock::now();
        thread_ = std::thread([this] { loop(); });
        return true;
    }
    // Stops and counts a ping still unanswered as answered now.
    void stop() {
        stopping_ = true;
        if (thread_.joinable())
            thread_.join();
        if (display_ != nullptr)
            XCloseDisplay(display_);
        display_ = nullptr;
    }
    ~WindowPing() { stop(); }

    // Time from start() until a top-level window was on screen and answered; negative when none
    // did. A window that is mapped but does not answer stays blank to the user.
    Ms firstWindow() const { return Ms(firstWindowMs_.load()); }
    // The longest time a ping waited for its answer, once the window had answered.
    Ms worstAnswer() const { return Ms(worstMs_.load()); }
    int answers() const { return answers_.load(); }
    // When the ping that waited longest was sent, from start().
    Ms worstAt() const { return Ms(worstAtMs_.load()); }

private:
    static long msSince(Clock::time_point then) {
        return long(std::chrono::duration_cast<Ms>(Clock::now() - then).count());
    }

    bool answersPing(Window window) {
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(display_, window, &attributes) ||
            attributes.override_redirect || attributes.map_state != IsViewable)
            return false;
        Atom* atoms = nullptr;
        int count = 0;
        bool found = false;
        if (XGetWMProtocols(display_, window, &atoms, &count)) {
            found = std::find(atoms, atoms + count, ping_) != atoms + count;
            XFree(atoms);
        }
        return found;
    }

    void sendPing() {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = target_;
        event.xclient.message_type = protocols_;
        event.xclient.format = 32;
        event.xclient.data.l[0] = long(ping_);
        event.xclient.data.l[1] = ++stamp_;
        event.xclient.data.l[2] = long(target_);
        XSendEvent(display_, target_, False, NoEventMask, &event);
        XFlush(display_);
        sent_ = Clock::now();
        waiting_ = true;
        countsToWorst_ = firstWindowMs_ >= 0;
    }

    // Pings sent before the window first answered count to its showing (firstWindow), not here.
    void noteWait() {
        if (!countsToWorst_ || msSince(sent_) <= worstMs_)
            return;
        worstMs_ = msSince(sent_);
        worstAtMs_ = long(std::chrono::duration_cast<Ms>(sent_ - started_).count());
    }

    void answered() {
        waiting_ = false;
        noteWait();
        ++answers_;
        if (firstWindowMs_ < 0)
            firstWindowMs_ = msSince(started_);
        nextPing_ = Clock::now() + Ms(20);
    }

    void handle(const XEvent& event) {
        switch (event.type) {
            case MapNotify:
                if (target_ == 0 && answersPing(event.xmap.window)) {
                    target_ = event.xmap.window;
                    nextPing_ = Clock::now();
                }
                break;
            case UnmapNotify:
            case DestroyNotify:
                // The window went (the dialog ended); its last ping is not its fault.
                if (event.xany.window == target_ || event.xunmap.window == target_) {
                    target_ = 0;
                    waiting_ = false;
                }
                break;
            case ClientMessage:
                if (waiting_ && Atom(event.xclient.data.l[0]) == ping_ &&
                    event.xclient.data.l[1] == stamp_)
                    answered();
                break;
            default:
                break;
        }
    }

    void loop() {
        while (!stopping_) {
            while (XPending(display_) > 0) {
                XEvent event;
                XNextEvent(display_, &event);
                handle(event);
            }
            if (target_ != 0 && !waiting_ && Clock::now() >= nextPing_)
                sendPing();
            if (waiting_)
                noteWait();
            pollfd descriptor{ConnectionNumber(display_), POLLIN, 0};
            poll(&descriptor, 1, 5);
        }
    }

    Display* display_ = nullptr;
    Atom protocols_ = 0;
    Atom ping_ = 0;
    Window target_ = 0;
    long stamp_ = 0;
    bool waiting_ = false;
    bool countsToWorst_ = false;
    Clock::time_point started_;
    Clock::time_point sent_;
    Clock::time_point nextPing_;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::atomic<long> firstWindowMs_{-1};
    std::atomic<long> worstMs_{0};
    std::atomic<long> worstAtMs_{0};
    std::atomic<int> answers_{0};
};

}  // namespace guitest

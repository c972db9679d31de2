#include "sim/sim_server.h"

#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>

namespace sim {

namespace {
constexpr std::chrono::milliseconds kSaveAfterIdle{400};
constexpr int kPacedNice = -10;
constexpr std::chrono::milliseconds kHangupPause{50};
// Output nobody has taken for this long is dropped, as a PC's full receive queue would lose it.
constexpr std::chrono::milliseconds kDropBlockedOutput{1000};
}  // namespace

SimServer::SimServer(const SimOptions& options, DeviceStore& store, PtyEndpoint& port,
                     CamLinkEndpoint* camLink)
    : paceReport_(options.paceReport),
      paced_(options.paceBaud > 0),
      store_(store),
      port_(port),
      camLink_(camLink),
      model_(options, store),
      reader_(options.paceBaud),
      output_(options.paceBaud) {}

int SimServer::run(int stopFd, int stdinFd) {
    const int status = serve(stopFd, stdinFd);
    if (paceReport_) reportPace();
    return status;
}

namespace {
// "bytes over the time they took" beside the wire time at the pace: 1.00000 is a line that kept
// its pace to the last byte of every send.
void printLineCheck(const char* line, const LineCheck& check) {
    if (check.bytes == 0) {
        std::fprintf(stderr, "camsim: pace check, %s: nothing sent paced\n", line);
        return;
    }
    const double taken = std::chrono::duration<double>(check.taken).count();
    const double wire = std::chrono::duration<double>(check.wire).count();
    std::fprintf(stderr,
                 "camsim: pace check, %s: %llu bytes sent in %.6f s against %.6f s of wire time: "
                 "%.5f of the wire time, %.1f baud delivered\n",
                 line, (unsigned long long)check.bytes, taken, wire, wire > 0 ? taken / wire : 0.0,
                 taken > 0 ? double(check.bytes) * 10.0 / taken : 0.0);
}
}  // namespace

void SimServer::replay(Replayer* replayer) {
    replayer_ = replayer;
    if (camLink_ && replayer_) camLink_->followClient();
}

void SimServer::reportPace() const {
    printLineCheck("port", output_.check());
    if (camLink_) printLineCheck("Camera Link", camLink_->lineCheck());
}

int SimServer::serve(int stopFd, int stdinFd) {
    // Timed waits may otherwise end up to 50 us late; paced, two of them lie on the path of every
    // command and reply.
    ::prctl(PR_SET_TIMERSLACK, 1000UL, 0UL, 0UL, 0UL);
    // A paced line is only as exact as camsim's wake-ups: ask to be scheduled ahead of the
    // machine's other work (where allowed; camsim needs little CPU).
    if (paced_) ::setpriority(PRIO_PROCESS, 0, kPacedNice);
    while (true) {
        const Clock::time_point now = Clock::now();
        advanceTimers(now);
        processInput(now);
        writePort(now);
        if (camLink_) camLink_->writeClient(now);
        saveIfIdle(now);

        pollfd fds[5] = {};
        fds[0].fd = port_.masterFd();
        if (now >= portQuietUntil_) fds[0].events = POLLIN;
        if (output_.due(now) > 0) fds[0].events |= POLLOUT;
        if (fds[0].events == 0) fds[0].fd = -1;
        fds[1].fd = stopFd;
        fds[1].events = POLLIN;
        fds[2].fd = stdinFd;
        fds[2].events = POLLIN;
        fds[3].fd = fds[4].fd = -1;
        if (camLink_) {
            fds[3] = camLink_->listenPoll();
            fds[4] = camLink_->clientPoll(now);
        }
        // Nanosecond time-outs: a paced byte lasts well under a millisecond, and waking on a
        // millisecond grid would stretch every telegram by up to one.
        const std::optional<std::chrono::nanoseconds> wait = pollTimeout(now);
        timespec limit{};
        if (wait) {
            limit.tv_sec = time_t(wait->count() / 1'000'000'000);
            limit.tv_nsec = long(wait->count() % 1'000'000'000);
        }
        const int ready = ::ppoll(fds, 5, wait ? &limit : nullptr, nullptr);
        if (ready < 0) {
            if (errno == EINTR) continue;
            std::perror("camsim: poll");
            return 1;
        }
        if (fds[1].revents) return 0;
        if (fds[2].revents) {
            char scratch[256];
            const ssize_t n = ::read(stdinFd, scratch, sizeof scratch);
            if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) return 0;
        }
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) readPort(Clock::now());
        if (camLink_ && (fds[4].revents & (POLLIN | POLLHUP | POLLERR)))
            camLink_->readClient(Clock::now(),
                                 state_ == State::Listening || state_ == State::Working);
        if (camLink_ && fds[3].revents) camLink_->acceptClient();
    }
}

void SimServer::advanceTimers(Clock::time_point now) {
    if (state_ == State::Working && now >= stateUntil_) {
        state_ = State::Listening;
        // A grabber that reopened its port meanwhile did not ask for this answer.
        if (pendingLine_ == Line::CamLink && camLink_->client() != pendingClient_)
            pending_.bytes.clear();
        startSending(pending_, pendingLine_, stateUntil_);
        pending_ = {};
    }
    if (state_ == State::Offline && now >= stateUntil_) {
        state_ = State::Listening;
        clearInput();  // whatever arrived while the camera was away is lost
    }
}

void SimServer::clearInput() {
    reader_.clear();
    if (camLink_) camLink_->reader().clear();
}

void SimServer::processInput(Clock::time_point now) {
    // The lines take turns, so neither can starve the other.
    bool any = true;
    while (state_ == State::Listening && any) {
        any = false;
        for (Line line : {Line::Pty, Line::CamLink}) {
            if (state_ != State::Listening) return;
            if (line == Line::CamLink && !camLink_) continue;
            TelegramReader& reader = line == Line::Pty ? reader_ : camLink_->reader();
            auto telegram = reader.next(now);
            if (!telegram) continue;
            any = true;
            lastActivity_ = now;
            // The camera answers as its last byte comes in, whenever camsim got round to it.
            if (replayer_)
                react(replayer_->handle(telegram->bytes), line, telegram->arrived);
            else
                react(telegram->checksumOk ? model_.handle(telegram->bytes)
                                           : model_.handleBadChecksum(telegram->bytes),
                      line, telegram->arrived);
        }
    }
}

void SimServer::react(const Reaction& reaction, Line line, Clock::time_point now) {
    if (reaction.workTime.count() > 0) {
        state_ = State::Working;
        stateUntil_ = now + reaction.workTime;
        pending_ = reaction;
        pendingLine_ = line;
        if (camLink_) pendingClient_ = camLink_->client();
        return;
    }
    startSending(reaction, line, now);
}

void SimServer::startSending(const Reaction& reaction, Line line, Clock::time_point now) {
    if (line == Line::Pty)
        output_.push(reaction.bytes, now);
    else
        camLink_->push(reaction.bytes, now);
    // A new Camera Link rate (SET_CL_BAUDRATE, a reboot) takes effect once the answer is out.
    // A replay answers at the rate each request came at.
    if (camLink_ && !replayer_) camLink_->followRate(model_.clBaud());
    if (reaction.offlineForever) {
        state_ = State::Gone;
    } else if (reaction.offlineTime.count() > 0) {
        state_ = State::Offline;
        stateUntil_ = now + reaction.offlineTime;
    }
    if (state_ != State::Listening) clearInput();
}

void SimServer::readPort(Clock::time_point now) {
    uint8_t buffer[1024];
    while (true) {
        const ssize_t n = ::read(port_.masterFd(), buffer, sizeof buffer);
        if (n > 0) {
            // A camera that reboots or is gone hears nothing; a working one buffers the input.
            if (state_ == State::Listening || state_ == State::Working)
                reader_.feed(buffer, size_t(n), now);
            lastActivity_ = now;
            // A short read took all there was; poll tells when more comes.
            if (size_t(n) < sizeof buffer) return;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) return;
        // EIO or end of file: no slave side open. Look again a little later.
        portQuietUntil_ = now + kHangupPause;
        return;
    }
}

void SimServer::writePort(Clock::time_point now) {
    uint8_t buffer[1024];
    while (size_t due = output_.due(now)) {
        const size_t count = output_.peek(buffer, std::min(due, sizeof buffer));
        const ssize_t n = ::write(port_.masterFd(), buffer, count);
        if (n > 0) {
            output_.consume(size_t(n), Clock::now());
            blockedSince_.reset();
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) {
            if (!blockedSince_) blockedSince_ = now;
            if (now - *blockedSince_ < kDropBlockedOutput) return;
        }
        output_.clear();  // nobody can receive it
        blockedSince_.reset();
        return;
    }
}

void SimServer::saveIfIdle(Clock::time_point now) {
    if (!store_.unsaved() || now - lastActivity_ < kSaveAfterIdle) return;
    std::string error;
    if (!store_.saveChanged(error)) {
        std::fprintf(stderr, "camsim: %s\n", error.c_str());
        lastActivity_ = now;  // try again later instead of at once
    }
}

std::optional<std::chrono::nanoseconds> SimServer::pollTimeout(Clock::time_point now) const {
    std::optional<Clock::time_point> wake;
    auto consider = [&](std::optional<Clock::time_point> t) {
        if (t && (!wake || *t < *wake)) wake = t;
    };
    if (state_ == State::Working || state_ == State::Offline) consider(stateUntil_);
    if (state_ == State::Listening) {
        consider(reader_.staleDeadline());
        consider(reader_.arrivalDue());
    }
    // Output the pty does not take waits for POLLOUT, not for a time that has passed already.
    if (!blockedSince_) consider(output_.nextDue(now));
    if (blockedSince_) consider(*blockedSince_ + kDropBlockedOutput);
    if (now < portQuietUntil_) consider(portQuietUntil_);
    // Without a state folder changes stay unsaved for good: a save time that has passed would
    // end every poll at once, and an idle camsim would spin.
    if (store_.unsaved()) consider(lastActivity_ + kSaveAfterIdle);
    if (camLink_) consider(camLink_->wakeTime(now, state_ == State::Listening));
    if (!wake) return std::nullopt;
    if (*wake <= now) return std::chrono::nanoseconds(0);
    const Clock::duration wait = std::min<Clock::duration>(*wake - now, std::chrono::seconds(60));
    return std::chrono::nanoseconds(wait);
}

}  // namespace sim

#pragma once
// libclsersim loaded the way a host loads a frame grabber's serial library (dlopen, functions
// bound by name), and a camsim with its Camera Link socket.

#include <stdlib.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "../tessiport/test_support.h"
#include "platform/dynamic_library.h"
#include "tools/camsim_process.h"

namespace cltest {

using libtest::Bytes;
using libtest::telegram;
using libtest::u16At;
using libtest::u32At;
using libtest::u32Bytes;
using SteadyClock = std::chrono::steady_clock;

inline std::string libraryPath(const std::string& name) {
    return KF_BINARY_DIR "/lib/lib" + name + ".so";
}

struct Grabber {
    explicit Grabber(const std::string& name = "clsersim") {
        library.open(libraryPath(name));
        init = library.function<decltype(init)>("clSerialInit");
        read = library.function<decltype(read)>("clSerialRead");
        write = library.function<decltype(write)>("clSerialWrite");
        close = library.function<decltype(close)>("clSerialClose");
        getBaudRates = library.function<decltype(getBaudRates)>("clGetSupportedBaudRates");
        setBaudRate = library.function<decltype(setBaudRate)>("clSetBaudRate");
        flush = library.function<decltype(flush)>("clFlushPort");
    }

    // Sends `bytes`; the write's result.
    int32_t send(void* ref, Bytes bytes, uint32_t timeoutMs = 200) {
        uint32_t count = uint32_t(bytes.size());
        return write(ref, reinterpret_cast<char*>(bytes.data()), &count, timeoutMs);
    }
    // Reads `count` bytes; `rc` gets the result, the bytes that came are returned.
    Bytes receive(void* ref, uint32_t count, uint32_t timeoutMs, int32_t& rc) {
        Bytes buffer(count + 1, 0xEE);
        uint32_t got = count;
        rc = read(ref, reinterpret_cast<char*>(buffer.data()), &got, timeoutMs);
        buffer.resize(got);
        return buffer;
    }

    // One command and its reply as a host would read it: the header, then the rest its length
    // field announces. Empty when a write or read fails.
    Bytes transact(void* ref, const Bytes& command, uint32_t timeoutMs = 500) {
        int32_t rc = 0;
        if (send(ref, command) != 0) return {};
        Bytes reply = receive(ref, 4, timeoutMs, rc);
        const uint16_t length = u16At(reply, 2);
        if (rc != 0 || length < 5 || length > 512) return {};
        const Bytes body = receive(ref, length - 4u, timeoutMs, rc);
        if (rc != 0) return {};
        reply.insert(reply.end(), body.begin(), body.end());
        return reply;
    }

    platform::DynamicLibrary library;  // unloaded with the grabber
    int32_t (*init)(uint32_t, void**) = nullptr;
    int32_t (*read)(void*, char*, uint32_t*, uint32_t) = nullptr;
    int32_t (*write)(void*, char*, uint32_t*, uint32_t) = nullptr;
    void (*close)(void*) = nullptr;
    int32_t (*getBaudRates)(void*, uint32_t*) = nullptr;
    int32_t (*setBaudRate)(void*, uint32_t) = nullptr;
    int32_t (*flush)(void*) = nullptr;
};

// A camsim with a Camera Link socket; serial index `index` leads to it.
struct CamLinkCamera {
    explicit CamLinkCamera(std::vector<std::string> args, uint32_t index = 0) {
        args.insert(args.begin(), {"--camlink-port", "0"});
        started = sim.start(KF_BINARY_DIR "/bin/camsim", args);
        ::setenv(("CLSERSIM_PORT" + std::to_string(index)).c_str(), sim.camlinkAddress().c_str(),
                 1);
    }
    tools::CamsimProcess sim;
    bool started = false;
};

// A camsim and a grabber port opened on it through serial index 0; closed at the end.
struct Link {
    explicit Link(std::vector<std::string> args = {}) : cam(std::move(args)) {
        rc = grabber.init(0, &ref);
    }
    ~Link() {
        if (rc == 0) grabber.close(ref);
    }
    // The reply's code, 0 when no readable reply came; the reply is kept in `last`.
    uint16_t code(const Bytes& command, uint32_t timeoutMs = 300) {
        grabber.flush(ref);
        last = grabber.transact(ref, command, timeoutMs);
        return last.empty() ? 0 : u16At(last, 0);
    }

    CamLinkCamera cam;
    Grabber grabber;
    void* ref = nullptr;
    int32_t rc = -1;
    Bytes last;
};

}  // namespace cltest

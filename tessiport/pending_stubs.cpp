// Temporary stand-ins for the log writer and the serial binding, until their real
// implementations are merged. Kept just good enough for the library frame's tests.

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "tessiport/include/tessiport.h"
#include "tessiport/library_log.h"
#include "tessiport/serial_binding.h"

namespace tessiport {

namespace {
uint32_t logBits = 3;
FILE* logFile = nullptr;
uint32_t errorFlags = 0;
TP_ErrorCallback errorCallback = nullptr;
}  // namespace

void LogMessage(uint32_t levelBits, uint32_t value, const char* format, ...) {
    if (levelBits == 0) levelBits = 1;
    if ((levelBits & logBits) == 0) return;
    char line[300];
    int used = std::snprintf(line, sizeof line, "0x%04x %s", value,
                             (levelBits & level::kError) ? "ERROR " : "");
    va_list args;
    va_start(args, format);
    std::vsnprintf(line + used, sizeof line - size_t(used), format, args);
    va_end(args);
    if (levelBits & level::kError) ShowErrorMessage("%s", line);
    if (logFile != nullptr) {
        std::fprintf(logFile, "%s\r\n", line);
        std::fflush(logFile);
    }
}

void ShowErrorMessage(const char* format, ...) {
    if (!(errorFlags & 1)) return;
    char text[1000];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if ((errorFlags & 4) && errorCallback != nullptr) errorCallback(text);
    if (errorFlags & 8) std::printf("%s\n", text);
}

uint32_t get_param_file(TransferParametersBlock*) { return TP_ERR_PARAMETER_FILE; }
void logCommandDump(uint32_t, const uint8_t*, uint32_t) {}
void logReplyDump(uint32_t, const uint8_t*, uint32_t) {}

void setUpLog(char* folder, char* logPath, char* paramPath) {
    const char* base = std::getenv("QEL_DATA_DIR");
    std::snprintf(folder, 260, "%s", base != nullptr ? base : "");
    std::snprintf(logPath, 260, "%s/tessiport.log", folder);
    std::snprintf(paramPath, 260, "%s/km4_cl_param.ini", folder);
}
void usePaths(const char*, const char*, const char*) {}
void endLog() {
    if (logFile != nullptr) std::fclose(logFile);
    logFile = nullptr;
}

uint32_t Get_Serial_Functions(DriverEntry& entry, const char* name) {
    if (name == nullptr) return TP_ERR_NO_SERIAL_LIBRARY;
    std::snprintf(entry.libraryPath, sizeof entry.libraryPath, "%s", name);
    int port = 0;
    if (strncasecmp(name, "comport", 7) == 0 && std::sscanf(name + 7, "%d", &port) == 1) {
        entry.comPortNumber = port;
        return 0;
    }
    if (entry.library.open(name) != 0) return TP_ERR_NO_SERIAL_LIBRARY;
    const bool imaq = entry.initmode & INITMODE_IMAQ;
    const platform::DynamicLibrary& lib = entry.library;
    entry.pclSerialRead = lib.function<ClSerialReadFn>(imaq ? "imgSessionSerialReadBytes"
                                                            : "clSerialRead");
    entry.pclSerialWrite = lib.function<ClSerialWriteFn>(imaq ? "imgSessionSerialWrite"
                                                              : "clSerialWrite");
    entry.pclSerialFlush = lib.function<ClFlushPortFn>(imaq ? "imgSessionSerialFlush"
                                                            : "clFlushPort");
    if (!imaq) {
        entry.pclSerialInit = lib.function<ClSerialInitFn>("clSerialInit");
        entry.pclSerialClose = lib.function<ClSerialCloseFn>("clSerialClose");
        entry.pclGetSupportedBaudRates =
            lib.function<ClGetSupportedBaudRatesFn>("clGetSupportedBaudRates");
        entry.pclSetBaudRate = lib.function<ClSetBaudRateFn>("clSetBaudRate");
    }
    if (entry.pclSerialRead == nullptr || entry.pclSerialWrite == nullptr ||
        (!imaq && entry.pclSerialInit == nullptr)) {
        releaseSerialFunctions(entry);
        return TP_ERR_MISSING_FUNCTION;
    }
    return 0;
}

void releaseSerialFunctions(DriverEntry& entry) {
    entry.library.close();
    entry.pclSerialInit = nullptr;
    entry.pclSerialRead = nullptr;
    entry.pclSerialWrite = nullptr;
    entry.pclSerialClose = nullptr;
    entry.pclGetSupportedBaudRates = nullptr;
    entry.pclSetBaudRate = nullptr;
    entry.pclSerialFlush = nullptr;
}

}  // namespace tessiport

extern "C" uint32_t Enable_Error_Messages(uint32_t mode, TP_ErrorCallback callback) {
    tessiport::errorFlags = mode;
    tessiport::errorCallback = callback;
    return 0;
}

extern "C" uint32_t Enable_Message_Log(uint32_t bits, const char* name) {
    tessiport::endLog();
    if (bits == 0) return 0;
    tessiport::logBits = bits;
    tessiport::logFile = std::fopen(name != nullptr ? name : "tessiport.log", "ab");
    return tessiport::logFile != nullptr ? 0 : TP_ERR_MISSING_FUNCTION;
}

extern "C" uint32_t Register_User_Interface(const TP_UserInterface*) { return 0; }

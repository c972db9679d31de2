// The serial interface library's parameter file: any content is read without reading past it,
// and the transfer parameters it sets come from its keys.

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "tessiport/driver_entry.h"
#include "tessiport/library_log.h"
#include "tessiport/log_file.h"

namespace {
std::string folder;
std::string paramPath;
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char pattern[] = "/tmp/fuzz_parameter_file.XXXXXX";
    if (::mkdtemp(pattern) == nullptr) std::abort();
    folder = pattern;
    paramPath = folder + "/km4_cl_param.ini";
    const std::string logPath = folder + "/tessiport.log";
    tessiport::usePaths(folder.c_str(), logPath.c_str(), paramPath.c_str());
    if (std::string(tessiport::parameterFilePath()) != paramPath) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int fd = ::open(paramPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) std::abort();
    if (::write(fd, data, size) != ssize_t(size)) std::abort();
    ::close(fd);
    tessiport::TransferParametersBlock block{};
    if (tessiport::get_param_file(&block) != 0) std::abort();
    return 0;
}

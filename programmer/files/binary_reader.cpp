#include "programmer/files/binary_reader.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "programmer/files/device_file_result.h"
#include "programmer/files/file_io.h"

namespace files {

protocol::ErrorCode readFileInto(const std::string& path, uint8_t* destination, size_t capacity,
                                 size_t& length) {
    int fd = -1;
    size_t size = 0;
    if (const protocol::ErrorCode refused =
            deviceFileOpenResult(openRegularFile(path, capacity, fd, size)))
        return refused;
    protocol::ErrorCode result = READ_OK;
    length = 0;
    while (length < size) {
        const ssize_t got = ::read(fd, destination + length, size - length);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            result = ERR_FILE_READ;
            break;
        }
        length += size_t(got);
    }
    ::close(fd);
    return result;
}

protocol::ErrorCode ReadBinaryBytes(const uint8_t* bytes, size_t size, uint8_t* image,
                                    size_t imageSize, DeviceImageInfo& info) {
    if (size > imageSize)
        return ERR_FILE_DATA;
    // An empty file would give an image of negative length.
    if (size == 0)
        return ERR_FILE_DATA;
    std::memcpy(image, bytes, size);
    info.lowestOffset = 0;
    info.highestOffset = size - 1;
    return READ_OK;
}

protocol::ErrorCode ReadBinary(const std::string& path, uint8_t* image, size_t imageSize,
                               DeviceImageInfo& info) {
    size_t length = 0;
    if (protocol::ErrorCode result = readFileInto(path, image, imageSize, length))
        return result;
    if (length == 0)
        return ERR_FILE_DATA;
    info.lowestOffset = 0;
    info.highestOffset = length - 1;
    return READ_OK;
}

}  // namespace files

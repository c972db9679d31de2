#include "programmer/files/binary_reader.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "programmer/files/device_file_result.h"

namespace files {

protocol::ErrorCode readFileInto(const std::string& path, uint8_t* destination, size_t capacity,
                                 size_t& length) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return ERR_FILE_OPEN;
    protocol::ErrorCode result = READ_OK;
    struct stat info {};
    if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode)) {
        result = ERR_FILE_READ;
    } else if (uint64_t(info.st_size) > capacity) {
        result = ERR_FILE_DATA;
    } else {
        length = size_t(info.st_size);
        if (std::fread(destination, 1, length, file) != length)
            result = ERR_FILE_READ;
    }
    std::fclose(file);
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

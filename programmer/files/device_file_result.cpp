#include "programmer/files/device_file_result.h"

namespace files {

const char* deviceFileErrorText(protocol::ErrorCode code) {
    switch (code) {
        case ERR_FILE_OPEN:
            return "Cannot open file";
        case ERR_FILE_READ:
            return "Error while reading from file";
        case ERR_FILE_WRITE:
            return "Error while writing to file";
        case ERR_FILE_CHECKSUM:
            return "Checksum error in file";
        case ERR_FILE_FORMAT:
            return "File has unknown format";
        case ERR_FILE_DATA:
            return "File data inconsistent";
        case ERR_FILE_NAME:
            return "Filename invalid for this dataformat";
        default:
            return "";
    }
}

const char* deviceFileResultName(protocol::ErrorCode code) {
    switch (code) {
        case READ_OK:
            return "READ_OK";
        case ERR_FILE_OPEN:
            return "ERR_FILE_OPEN";
        case ERR_FILE_READ:
            return "ERR_FILE_READ";
        case ERR_FILE_WRITE:
            return "ERR_FILE_WRITE";
        case ERR_FILE_CHECKSUM:
            return "ERR_FILE_CHECKSUM";
        case ERR_FILE_FORMAT:
            return "ERR_FILE_FORMAT";
        case ERR_FILE_DATA:
            return "ERR_FILE_DATA";
        case ERR_FILE_NAME:
            return "ERR_FILE_NAME";
        default:
            return "unknown";
    }
}

}  // namespace files

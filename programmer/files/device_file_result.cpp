#include "programmer/files/device_file_result.h"

#include "programmer/files/file_io.h"

namespace files {

protocol::ErrorCode deviceFileOpenResult(int openError) {
    switch (openError) {
        case 0:
            return READ_OK;
        case kErrNotRegularFile:
            return ERR_FILE_NOT_REGULAR;
        case kErrFileTooLarge:
            return ERR_FILE_TOO_LARGE;
        default:
            return ERR_FILE_OPEN;
    }
}

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
        case ERR_FILE_NOT_REGULAR:
            return "Not a regular file";
        case ERR_FILE_TOO_LARGE:
            return "File larger than its format allows";
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
        case ERR_FILE_NOT_REGULAR:
            return "ERR_FILE_NOT_REGULAR";
        case ERR_FILE_TOO_LARGE:
            return "ERR_FILE_TOO_LARGE";
        default:
            return "unknown";
    }
}

}  // namespace files

#pragma once
// 32-bit result codes: 0 is success, bit 31 set is failure, bits 16-23 name the reporting layer
// (0x0B transport and telegram layer, 0x33 the serial interface library). Camera codes from error
// replies are passed on unchanged.

#include <cstdint>

namespace protocol {

using ErrorCode = uint32_t;

constexpr ErrorCode kOk = 0;

// Transport and telegram layer.
constexpr ErrorCode kErrPortIndex = 0xA00B2002;          // programmer: index out of range / open failed
constexpr ErrorCode kErrLibraryPortOpen = 0x800B2006;    // library: COM port cannot be opened
constexpr ErrorCode kErrPortIo = 0xA00B2005;             // write/read failed or no reply header
constexpr ErrorCode kErrChecksum = 0x800B2008;           // programmer checksum functions
constexpr ErrorCode kErrLibraryChecksum = 0x80332008;    // library checksum functions
constexpr ErrorCode kErrReplyCode = 0x800B200C;          // reply code != command | 0x80
// A reply whose length field ends before a field the caller reads from it.
constexpr ErrorCode kErrReplyShort = 0x800B200E;
// A reply that echoes other addresses (or another sum) than the request asked for.
constexpr ErrorCode kErrReplyEcho = 0x800B200F;

// The serial interface library's results that a caller of its transaction tells apart.
constexpr ErrorCode kErrLibraryArgument = 0xA0332001;  // telegram refused, nothing sent
constexpr ErrorCode kErrLibraryHandle = 0x80332006;    // handle not valid, nothing sent
constexpr ErrorCode kErrLibraryLineIo = 0x80332007;    // flush, write or read failed; no reply
constexpr ErrorCode kErrLibraryReplyCode = 0x8033200C; // reply code != command | 0x80

// Camera codes the system interprets.
constexpr ErrorCode kCamNoDeviceOpen = 0x80001053;       // CLOSE_DEVICE with nothing open
constexpr ErrorCode kCamNoDeviceOpenCl = 0x80031053;     // the same over Camera Link
constexpr ErrorCode kCamPagedUnsupportedMask = 0x80001020;
constexpr ErrorCode kCamEmergencyConnected = 0x80001050;
// The bits of kCamPagedUnsupportedMask that stay the same whatever module byte the camera sets.
constexpr ErrorCode kCamUnknownCommandMask = 0xF000FFFF;

// Further codes the simulated camera sends in error replies.
namespace camerr {
constexpr ErrorCode kUnknownCommand = 0x80001001;
constexpr ErrorCode kBadChecksum = 0x80001002;
constexpr ErrorCode kBadLength = 0x80001003;
constexpr ErrorCode kValueNotSupported = 0x80001004;
constexpr ErrorCode kNotSupported = kCamPagedUnsupportedMask;
constexpr ErrorCode kNoDeviceOpen = kCamNoDeviceOpen;
constexpr ErrorCode kDeviceAlreadyOpen = 0x80001055;
constexpr ErrorCode kOpenRefused = 0x80001056;
constexpr ErrorCode kAddressRange = 0x80001057;
constexpr ErrorCode kWrongDeviceCommand = 0x80001058;
constexpr ErrorCode kChecksumMismatch = 0x80001060;
constexpr ErrorCode kEraseFailed = 0x80001061;
constexpr ErrorCode kWriteFailed = 0x80001062;
constexpr ErrorCode kReadFailed = 0x80001063;
constexpr ErrorCode kCloseFailed = 0x80001064;
}  // namespace camerr

// Programmer camera access.
constexpr ErrorCode kErrNoCamera = 0x80001054;
constexpr ErrorCode kErrGrabberLibrary = 0x8000300D;
// A block read back from the device differs from the image: the flash does not hold what was
// written, so the device must not count as programmed.
constexpr ErrorCode kErrReadBackMismatch = 0x80003011;
// A request that cannot be carried out as asked: device row outside 0-4, block count outside
// 1-256, or a device image that is empty or lies outside the loaded file.
constexpr ErrorCode kErrBadDeviceRequest = 0x80003012;
// A checked device that the camera did not report when the run reached it (outside emergency
// mode): it is not touched, and the run names it as failed.
constexpr ErrorCode kErrDeviceNotReported = 0x80003013;

}  // namespace protocol

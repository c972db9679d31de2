#pragma once
// The variants of libclsersim (clsersim.dll on Windows) and the functions each exports.

#include <set>
#include <string>
#include <vector>

namespace cltest {

struct Variant {
    const char* name;
    std::set<std::string> exports;
};

inline const std::vector<Variant> kVariants = {
    {"clsersim",
     {"clSerialInit", "clSerialRead", "clSerialWrite", "clSerialClose", "clGetSupportedBaudRates",
      "clSetBaudRate", "clFlushPort"}},
    {"clsersim_noclose",
     {"clSerialInit", "clSerialRead", "clSerialWrite", "clGetSupportedBaudRates", "clSetBaudRate",
      "clFlushPort"}},
    {"clsersim_minimal", {"clSerialInit", "clSerialRead", "clSerialWrite", "clSerialClose"}},
    {"clsersim_imaq",
     {"imgSessionSerialReadBytes", "imgSessionSerialWrite", "imgSessionSerialFlush"}},
};

}  // namespace cltest

#include "programmer/cli/recording_report.h"
#include "programmer/cli/file_report_command.h"

#include <cstdio>
#include <iostream>
#include <memory>
#include <vector>

#include <nlohmann/json.hpp>

#include "programmer/cli/devices.h"
#include "programmer/cli/signing_options.h"
#include "programmer/files/device_file.h"
#include "programmer/files/device_file_result.h"
#include "programmer/files/file_io.h"
#include "programmer/files/update_file_reader.h"
#include "protocol/commands.h"

namespace cli {

namespace {

using nlohmann::json;

std::string format(const char* pattern, auto... values) {
    char text[512];
    std::snprintf(text, sizeof text, pattern, values...);
    return text;
}

std::string versionText(const files::VersionBlock& v) {
    return protocol::formatVersion(v.variant, v.versionMajor, v.versionMinor);
}
std::string timeStampText(const files::VersionBlock& v) {
    return format("%04d-%02d-%02d %02d:%02d", v.year, v.month, v.day, v.hour, v.minute);
}
std::string hex32(uint64_t value) {
    return format("0x%08llX", (unsigned long long)value);
}

// Messages end in "\n" for their message boxes; a console line adds its own.
std::string oneLine(std::string text) {
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    return text;
}

bool isUpdateFile(const std::string& path) {
    if (path.size() < 4)
        return false;
    std::string extension = path.substr(path.size() - 4);
    for (char& c : extension)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return extension == ".qup";
}

void print(std::ostream& out, const json& report, bool asJson) {
    if (asJson) {
        out << report.dump(2, ' ', false, json::error_handler_t::replace) << "\n";
        return;
    }
    auto line = [&](const char* label, const std::string& text) {
        out << label << ": " << text << "\n";
    };
    line("File", report["file"].get<std::string>());
    if (report["kind"] == "update file") {
        line("Kind", "update file");
        if (report.contains("openError")) {
            line("Verdict", "refused: " + oneLine(report["message"].get<std::string>()));
            return;
        }
        line("Tag", report["tagValid"].get<bool>() ? "valid" : "wrong");
        for (const json& r : report["records"]) {
            out << "Record at " << hex32(r["fileOffset"].get<uint64_t>()) << ": device "
                << r["deviceIndex"].get<int>() << " (" << r["device"].get<std::string>()
                << "), dataLength " << r["dataLength"].get<uint64_t>() << ", startOffset "
                << hex32(r["startOffset"].get<uint64_t>()) << ", version "
                << r["version"].get<std::string>() << ", time stamp "
                << r["timeStamp"].get<std::string>() << ", data at "
                << hex32(r["dataOffset"].get<uint64_t>()) << "\n";
        }
        for (const json& warning : report["warnings"])
            line("Warning", warning.get<std::string>());
        if (report.contains("signature"))
            line("Signature", oneLine(report["signature"]["message"].get<std::string>()));
        if (report["endRecordOffset"].is_number())
            line("End record", "at " + hex32(report["endRecordOffset"].get<uint64_t>()));
        if (report["checksumStored"].is_number())
            line("Checksum", "stored " + hex32(report["checksumStored"].get<uint64_t>()) +
                                 ", computed " + hex32(report["checksumComputed"].get<uint64_t>()));
    } else {
        line("Kind", "device file");
        line("Result", report["resultCode"].get<std::string>() + " " +
                           report["resultName"].get<std::string>());
        line("Version", report["version"].get<std::string>());
        if (report.contains("timeStamp"))
            line("Time stamp", report["timeStamp"].get<std::string>());
        if (report.contains("length")) {
            line("Lowest offset", hex32(report["lowestOffset"].get<uint64_t>()));
            line("Highest offset", hex32(report["highestOffset"].get<uint64_t>()));
            line("Length", std::to_string(report["length"].get<uint64_t>()));
        }
    }
    if (report["valid"].get<bool>()) {
        line("Verdict", "valid");
    } else {
        std::string verdict = "refused";
        const std::string message = oneLine(report["message"].get<std::string>());
        if (!message.empty())
            verdict += ": " + message;
        if (report.contains("reason"))
            verdict += " (" + report["reason"].get<std::string>() + ")";
        line("Verdict", verdict);
    }
}

json reportUpdateFile(const std::string& path, const files::SigningPolicy& policy) {
    json report = {{"file", path}, {"kind", "update file"}};
    std::vector<uint8_t> bytes;
    if (const int error = files::readWholeFile(path, bytes)) {
        report["valid"] = false;
        report["openError"] = error;
        report["message"] = files::cantOpenFileMessage(path, error);
        return report;
    }
    std::vector<files::WalkedRecord> walked;
    const files::UpdateFileReadResult result =
        files::readUpdateFile(bytes.data(), bytes.size(), &walked);
    report["size"] = bytes.size();
    report["tagValid"] = result.tagValid;
    report["records"] = json::array();
    for (const files::WalkedRecord& record : walked) {
        const files::DeviceRecordHeader& h = record.header;
        report["records"].push_back({
            {"fileOffset", record.fileOffset},
            {"deviceIndex", h.deviceIndex},
            {"device", deviceCaption(h.deviceIndex)},
            {"dataLength", h.dataLength},
            {"startOffset", h.startOffset},
            {"version", versionText(h.version)},
            {"timeStamp", timeStampText(h.version)},
            {"dataOffset", record.fileOffset + files::kRecordHeaderSize},
        });
    }
    // Program refuses a device whose image is empty; the file itself is well formed.
    report["warnings"] = json::array();
    for (const files::WalkedRecord& record : walked)
        if (record.header.dataLength == 0)
            report["warnings"].push_back(deviceCaption(record.header.deviceIndex) +
                                         ": the image is empty (dataLength 0); program refuses it");
    report["endRecordOffset"] = result.endRecordFound ? json(result.endRecordOffset) : json();
    report["checksumStored"] = result.endRecordFound ? json(result.storedChecksum) : json();
    report["checksumComputed"] = result.endRecordFound ? json(result.computedChecksum) : json();
    report["valid"] = result.ok();
    report["message"] = result.message();
    if (!result.ok()) {
        report["reason"] = format("%s at offset %s", files::updateFileFaultText(result.fault),
                                  hex32(result.faultOffset).c_str());
    }
    const files::TrustVerdict verdict = files::checkUpdateFileTrust(path, bytes, policy);
    const char* const outcomes[] = {"signed", "unsigned", "refused"};
    report["signature"] = {{"outcome", outcomes[int(verdict.outcome)]},
                           {"message", oneLine(verdict.message)}};
    if (result.ok() && verdict.outcome == files::TrustOutcome::kRefused) {
        report["valid"] = false;
        report["message"] = verdict.message;
    }
    return report;
}

json reportDeviceFile(const std::string& path) {
    json report = {{"file", path}, {"kind", "device file"}};
    std::vector<uint8_t> image(files::kDeviceImageSize, 0xFF);
    files::DeviceImageInfo info;
    const protocol::ErrorCode code = files::ReadDeviceFile(path, image.data(), image.size(), info);
    report["resultCode"] = hex32(code);
    report["resultName"] = files::deviceFileResultName(code);
    report["message"] = files::deviceFileErrorText(code);

    // Variant and version from the name, also when the contents were refused.
    files::VersionBlock version;
    if (files::ParseDeviceFileName(path, version)) {
        report["variant"] = version.variant;
        report["versionMajor"] = version.versionMajor;
        report["versionMinor"] = version.versionMinor;
        report["version"] = versionText(version);
        report["timeStamp"] = timeStampText(version);
    } else {
        report["version"] = protocol::kNoVersionText;
    }
    if (code == files::READ_OK) {
        report["lowestOffset"] = info.lowestOffset;
        report["highestOffset"] = info.highestOffset;
        report["length"] = info.length();
    }
    report["valid"] = code == files::READ_OK;
    return report;
}

}  // namespace

int reportFile(const std::string& path, bool json, std::ostream& out, bool requireSigned) {
    const nlohmann::json report =
        isUpdateFile(path) ? reportUpdateFile(path, *loadPolicyFor(requireSigned, std::cerr))
                           : reportDeviceFile(path);
    print(out, report, json);
    return report["valid"].get<bool>() ? kExitOk : kExitFailed;
}

Subcommand addFileReportCommand(CLI::App& app) {
    CLI::App* command = app.add_subcommand(
        "inspect",
        "check an update file (.qup) or a device file and show what it holds, or show a\n"
        "recording (.jsonl, .jsonl.gz) as a transcript");
    auto path = std::make_shared<std::string>();
    auto json = std::make_shared<bool>(false);
    auto requireSigned = std::make_shared<bool>(false);
    command->add_option("FILE", *path, "the file to check")->required();
    command->add_flag("--json", *json, "print the result as one JSON object");
    addRequireSignedFlag(*command, *requireSigned);
    return {command, [path, json, requireSigned] {
                if (isRecordingName(*path)) return reportRecording(*path, std::cout, std::cerr);
                return reportFile(*path, *json, std::cout, *requireSigned);
            }};
}

}  // namespace cli

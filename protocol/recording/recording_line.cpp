#include "protocol/recording/recording_line.h"

#include <cstdio>
#include <map>
#include <variant>

namespace recording {

namespace {

struct KindName {
    EventKind kind;
    const char* name;
};
constexpr KindName kKinds[] = {
    {EventKind::Header, "header"}, {EventKind::Open, "open"},     {EventKind::Close, "close"},
    {EventKind::Flush, "flush"},   {EventKind::Reboot, "reboot"}, {EventKind::Rate, "rate"},
    {EventKind::Sent, "tx"},       {EventKind::Reply, "rx"},      {EventKind::Timeout, "timeout"},
};

void appendString(std::string& out, const std::string& text) {
    out += '"';
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", unsigned(u));
            out += escaped;
        } else {
            out += c;
        }
    }
    out += '"';
}

void appendHex(std::string& out, const Bytes& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    out += '"';
    for (const uint8_t b : bytes) {
        out += kDigits[b >> 4];
        out += kDigits[b & 0x0F];
    }
    out += '"';
}

void appendField(std::string& out, const char* key) {
    if (out.size() > 1) out += ',';
    out += '"';
    out += key;
    out += "\":";
}

// A flat object's values: text, a whole number, or a list of whole numbers.
using Value = std::variant<std::string, uint64_t, std::vector<uint64_t>>;

class Scanner {
public:
    explicit Scanner(const std::string& text) : text_(text) {}

    bool object(std::map<std::string, Value>& fields, std::string& error) {
        skipBlanks();
        if (!take('{')) return fail("not a JSON object", error);
        skipBlanks();
        if (take('}')) return end(error);
        while (true) {
            std::string key;
            skipBlanks();
            if (!string(key)) return fail("a field name is not a string", error);
            skipBlanks();
            if (!take(':')) return fail("no ':' after \"" + key + "\"", error);
            skipBlanks();
            Value value;
            if (!this->value(value)) return fail("bad value of \"" + key + "\"", error);
            if (!fields.emplace(key, std::move(value)).second)
                return fail("\"" + key + "\" given twice", error);
            skipBlanks();
            if (take('}')) return end(error);
            if (!take(',')) return fail("no ',' or '}' after \"" + key + "\"", error);
        }
    }

private:
    bool end(std::string& error) {
        skipBlanks();
        return at_ == text_.size() || fail("text after the object", error);
    }
    static bool fail(const std::string& what, std::string& error) {
        error = what;
        return false;
    }
    void skipBlanks() {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\r'))
            ++at_;
    }
    bool take(char c) {
        if (at_ < text_.size() && text_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }
    bool value(Value& value) {
        if (at_ < text_.size() && text_[at_] == '"') {
            std::string s;
            if (!string(s)) return false;
            value = std::move(s);
            return true;
        }
        if (take('[')) {
            std::vector<uint64_t> list;
            skipBlanks();
            if (take(']')) {
                value = list;
                return true;
            }
            while (true) {
                skipBlanks();
                uint64_t n = 0;
                if (!number(n)) return false;
                list.push_back(n);
                skipBlanks();
                if (take(']')) break;
                if (!take(',')) return false;
            }
            value = std::move(list);
            return true;
        }
        uint64_t n = 0;
        if (!number(n)) return false;
        value = n;
        return true;
    }
    bool number(uint64_t& n) {
        const size_t first = at_;
        n = 0;
        while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') {
            if (at_ - first >= 19) return false;  // beyond what a field can hold
            n = n * 10 + uint64_t(text_[at_] - '0');
            ++at_;
        }
        return at_ > first;
    }
    static int hexDigit(char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }
    bool string(std::string& out) {
        if (!take('"')) return false;
        while (at_ < text_.size()) {
            const char c = text_[at_++];
            if (c == '"') return true;
            if (static_cast<unsigned char>(c) < 0x20) return false;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (at_ >= text_.size()) return false;
            const char e = text_[at_++];
            switch (e) {
                case '"': case '\\': case '/': out += e; break;
                case 'n': out += '\n'; break;
                case 't': out += '\t'; break;
                case 'r': out += '\r'; break;
                case 'u': {
                    if (text_.size() - at_ < 4) return false;
                    int code = 0;
                    for (int i = 0; i < 4; ++i) {
                        const int d = hexDigit(text_[at_++]);
                        if (d < 0) return false;
                        code = code * 16 + d;
                    }
                    if (code >= 0x80) return false;  // only what encodeLine writes
                    out += char(code);
                    break;
                }
                default: return false;
            }
        }
        return false;
    }

    const std::string& text_;
    size_t at_ = 0;
};

bool toBytes(const std::string& hex, Bytes& bytes) {
    if (hex.size() % 2 != 0) return false;
    bytes.clear();
    bytes.reserve(hex.size() / 2);
    auto digit = [](char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    for (size_t i = 0; i < hex.size(); i += 2) {
        const int high = digit(hex[i]);
        const int low = digit(hex[i + 1]);
        if (high < 0 || low < 0) return false;
        bytes.push_back(uint8_t(high << 4 | low));
    }
    return true;
}

class Fields {
public:
    Fields(std::map<std::string, Value>& fields, std::string& error)
        : fields_(fields), error_(error) {}

    bool text(const char* key, std::string& out, bool required = true) {
        auto it = fields_.find(key);
        if (it == fields_.end()) return !required || missing(key);
        const auto* s = std::get_if<std::string>(&it->second);
        if (!s) return wrong(key, "text");
        out = *s;
        return true;
    }
    template <typename T>
    bool number(const char* key, T& out, uint64_t max, bool required = true) {
        auto it = fields_.find(key);
        if (it == fields_.end()) return !required || missing(key);
        const auto* n = std::get_if<uint64_t>(&it->second);
        if (!n || *n > max) return wrong(key, "number up to " + std::to_string(max));
        out = T(*n);
        return true;
    }
    bool bytes(const char* key, Bytes& out) {
        std::string hex;
        if (!text(key, hex)) return false;
        if (!toBytes(hex, out)) return wrong(key, "string of hex bytes");
        if (out.size() > 512) return wrong(key, "string of at most 512 bytes");
        return true;
    }
    bool list(const char* key, std::vector<uint32_t>& out) {
        auto it = fields_.find(key);
        if (it == fields_.end()) return missing(key);
        const auto* l = std::get_if<std::vector<uint64_t>>(&it->second);
        if (!l) return wrong(key, "list of numbers");
        for (const uint64_t n : *l) {
            if (n > 0xFFFFFFFFu) return wrong(key, "list of numbers");
            out.push_back(uint32_t(n));
        }
        return true;
    }

private:
    bool missing(const char* key) {
        error_ = std::string("no \"") + key + "\"";
        return false;
    }
    bool wrong(const char* key, const std::string& expected) {
        error_ = std::string("\"") + key + "\" is not a " + expected;
        return false;
    }
    std::map<std::string, Value>& fields_;
    std::string& error_;
};

}  // namespace

const char* kindName(EventKind kind) {
    for (const KindName& k : kKinds)
        if (k.kind == kind) return k.name;
    return "?";
}

std::string encodeLine(const Event& e) {
    std::string out = "{";
    appendField(out, "ev");
    appendString(out, kindName(e.kind));
    appendField(out, "ms");
    out += std::to_string(e.ms);
    switch (e.kind) {
        case EventKind::Header:
            appendField(out, "program");
            appendString(out, e.program);
            appendField(out, "version");
            appendString(out, e.version);
            appendField(out, "interface");
            appendString(out, e.interface);
            appendField(out, "port");
            out += std::to_string(e.port < 0 ? 0 : e.port);
            appendField(out, "device");
            appendString(out, e.device);
            appendField(out, "grabber");
            appendString(out, e.grabber);
            appendField(out, "rates");
            out += '[';
            for (size_t i = 0; i < e.rates.size(); ++i)
                out += (i ? "," : "") + std::to_string(e.rates[i]);
            out += ']';
            appendField(out, "start");
            appendString(out, e.start);
            break;
        case EventKind::Open:
            appendField(out, "port");
            out += std::to_string(e.port < 0 ? 0 : e.port);
            break;
        case EventKind::Rate:
            appendField(out, "rate");
            out += std::to_string(e.rate);
            appendField(out, "result");
            out += std::to_string(e.result);
            break;
        case EventKind::Sent:
            appendField(out, "bytes");
            appendHex(out, e.bytes);
            break;
        case EventKind::Reply:
            appendField(out, "result");
            out += std::to_string(e.result);
            appendField(out, "bytes");
            appendHex(out, e.bytes);
            break;
        case EventKind::Timeout:
            appendField(out, "result");
            out += std::to_string(e.result);
            break;
        case EventKind::Close:
        case EventKind::Flush:
        case EventKind::Reboot:
            break;
    }
    out += '}';
    return out;
}

bool parseLine(const std::string& line, Event& e, std::string& error) {
    std::map<std::string, Value> map;
    if (!Scanner(line).object(map, error)) return false;
    Fields f(map, error);
    std::string kind;
    if (!f.text("ev", kind)) return false;
    bool known = false;
    for (const KindName& k : kKinds) {
        if (kind == k.name) {
            e.kind = k.kind;
            known = true;
        }
    }
    if (!known) {
        error = "unknown event \"" + kind + "\"";
        return false;
    }
    if (!f.number("ms", e.ms, 0xFFFFFFFFFFFFull)) return false;
    constexpr uint64_t kU32 = 0xFFFFFFFFu;
    switch (e.kind) {
        case EventKind::Header:
            return f.text("program", e.program) && f.text("version", e.version) &&
                   f.text("interface", e.interface) && f.number("port", e.port, 0xFFFF) &&
                   f.text("device", e.device, false) && f.text("grabber", e.grabber, false) &&
                   f.list("rates", e.rates) && f.text("start", e.start);
        case EventKind::Open:
            return f.number("port", e.port, 0xFFFF);
        case EventKind::Rate:
            return f.number("rate", e.rate, kU32) && f.number("result", e.result, kU32);
        case EventKind::Sent:
            if (!f.bytes("bytes", e.bytes)) return false;
            if (e.bytes.size() < 5) {
                error = "\"bytes\" is not a telegram of at least 5 bytes";
                return false;
            }
            return true;
        case EventKind::Reply:
            return f.number("result", e.result, kU32) && f.bytes("bytes", e.bytes);
        case EventKind::Timeout:
            return f.number("result", e.result, kU32);
        case EventKind::Close:
        case EventKind::Flush:
        case EventKind::Reboot:
            return true;
    }
    return true;
}

}  // namespace recording

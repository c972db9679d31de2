#pragma once
// The flows' texts are 8-bit Latin-1 ("Main \xB5P"); Qt's are Unicode.

#include <QString>
#include <string>

namespace gui {

inline QString fromLatin1(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// Characters outside Latin-1 become '?'.
inline std::string toLatin1(const QString& text) {
    const QByteArray bytes = text.toLatin1();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

}  // namespace gui

#include "programmer/gui/file_filter.h"

#include <QStringList>


namespace gui {

namespace {

// "Intel HEX" and "*.hex;*.eep" -> "Intel HEX (*.hex *.eep)"; a description that already names
// its patterns in parentheses stays as it is.
QString qtEntry(const QString& description, const QString& patterns) {
    const QString spaced = patterns.split(';', Qt::SkipEmptyParts).join(' ').trimmed();
    const QString trimmed = description.trimmed();
    if (spaced.isEmpty() || trimmed.endsWith(')'))
        return trimmed;
    if (trimmed.isEmpty())
        return spaced;
    return trimmed + " (" + spaced + ")";
}

}  // namespace

QString qtFileFilter(const std::string& filter) {
    const QString text = QString::fromStdString(filter);
    if (!text.contains('|'))
        return text;
    const QStringList parts = text.split('|');
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty() && parts[i + 1].isEmpty())
            break;  // the closing "||"
        entries << qtEntry(parts[i], parts[i + 1]);
    }
    return entries.join(";;");
}

}  // namespace gui

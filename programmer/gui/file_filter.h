#pragma once
// File dialog filters as the flows write them, in Qt's form. The flows use either Qt's form
// ("qel.update file (*.qup)") or the Windows form with '|' between description and pattern and
// ';' between patterns ("Intel HEX|*.hex;*.eep|All files|*.*||").

#include <QString>
#include <string>

namespace gui {

QString qtFileFilter(const std::string& filter);

}  // namespace gui

#pragma once
// Text where the model meets Qt widgets: the model's Windows-1251 bytes to QString and back.
#include <QString>

#include <string>

#include "common/text.h"

namespace orv {

inline QString ToQ(const std::string& cp1251) { return QString::fromStdString(Cp1251ToUtf8(cp1251)); }
inline std::string FromQ(const QString& text) { return Utf8ToCp1251(text.toStdString()); }
// A UTF-8 literal of the source as a widget text.
inline QString RuQ(const char* utf8) { return QString::fromUtf8(utf8); }

}  // namespace orv

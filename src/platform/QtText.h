#pragma once

#include <QString>

#include <string>
#include <string_view>

namespace vardelo {

// The core keeps its texts as UTF-8 std::string.
inline QString toQt(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string toStd(const QString& text) {
    return text.toStdString();
}

} // namespace vardelo

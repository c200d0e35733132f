#include "Morvo/Platform/ByteCountFormatter.h"

#include <QLocale>

#include <array>
#include <cmath>

namespace morvo {

QString formatByteCount(std::int64_t bytes) {
    if (bytes == 0) return QStringLiteral("Zero KB");
    const bool negative = bytes < 0;
    // Magnitude as unsigned so that the smallest 64-bit value does not overflow.
    const std::uint64_t magnitude = negative ? ~static_cast<std::uint64_t>(bytes) + 1 : static_cast<std::uint64_t>(bytes);
    const QString sign = negative ? QStringLiteral("-") : QString();
    if (magnitude < 1000) return sign + QString::number(magnitude) + (magnitude == 1 ? QStringLiteral(" byte") : QStringLiteral(" bytes"));

    static constexpr std::array<const char*, 6> units = {"KB", "MB", "GB", "TB", "PB", "EB"};
    static constexpr std::array<int, 6> fractionDigits = {0, 1, 2, 2, 2, 2};
    std::size_t unit = 0;
    double value = static_cast<double>(magnitude) / 1000.0;
    while (unit + 1 < units.size() && value >= 1000.0) {
        value /= 1000.0;
        ++unit;
    }
    const double scale = std::pow(10.0, fractionDigits[unit]);
    double rounded = std::round(value * scale) / scale;
    if (rounded >= 1000.0 && unit + 1 < units.size()) {  // 999.96 MB reads as 1 GB
        ++unit;
        rounded = std::round(rounded / 1000.0 * std::pow(10.0, fractionDigits[unit])) / std::pow(10.0, fractionDigits[unit]);
    }
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    QString number = locale.toString(rounded, 'f', fractionDigits[unit]);
    const QString point = locale.decimalPoint();
    if (fractionDigits[unit] > 0 && number.contains(point)) {
        while (number.endsWith(QLatin1Char('0'))) number.chop(1);
        if (number.endsWith(point)) number.chop(point.size());
    }
    return sign + number + QLatin1Char(' ') + QLatin1String(units[unit]);
}

} // namespace morvo

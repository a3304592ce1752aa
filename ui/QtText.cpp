#include "ui/QtText.h"

#include "core/Text.h"

QString toQString(const std::string& cp1250) {
    std::u16string wide = cp1250ToUtf16(cp1250);
    return QString::fromUtf16(wide.data(), static_cast<qsizetype>(wide.size()));
}

std::string fromQString(const QString& text) {
    return utf16ToCp1250(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                             static_cast<std::size_t>(text.size())));
}

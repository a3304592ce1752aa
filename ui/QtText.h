#pragma once
// The bench's Windows-1250 text at the widget edge.

#include <QString>
#include <string>

QString toQString(const std::string& cp1250);
std::string fromQString(const QString& text);

// Readable Qt texts in test failures: quoted and escaped as GoogleTest prints a std::string.
#pragma once

#include <QByteArray>
#include <QString>
#include <gtest/gtest.h>
#include <ostream>

inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << ::testing::PrintToString(text.toStdString());
}

inline void PrintTo(const QByteArray& bytes, std::ostream* out)
{
    *out << ::testing::PrintToString(bytes.toStdString());
}

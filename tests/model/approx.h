#pragma once

#include <QtTest>
#include <cmath>

// Compares two numbers within a tolerance and says which, by how much.
#define QCOMPARE_NEAR(actual, expected, tolerance)                                                                 \
    QVERIFY2(std::fabs(double(actual) - double(expected)) <= double(tolerance),                                    \
             qPrintable(QStringLiteral("%1 is %2, expected %3 +- %4")                                                \
                            .arg(#actual)                                                                          \
                            .arg(double(actual))                                                                   \
                            .arg(double(expected))                                                                 \
                            .arg(double(tolerance))))

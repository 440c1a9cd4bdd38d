#include "core/Version.h"

#include <gtest/gtest.h>

#include <QString>

using pelorin::isNewer;

TEST(Version, IsNewer)
{
    struct Case { const char* a; const char* b; bool newer; };
    const Case cases[] = {
        {"1.10", "1.9", true},         // numbers, not text
        {"1.9", "1.10", false},
        {"1.9.0", "1.9", false},       // a missing piece counts as 0
        {"2.0", "2", false},
        {"2.0.1", "2", true},
        {"1.2.3-beta4", "1.2.33", true}, // only the digits of a piece count: 34
        {"1..2", "1.2", false},        // empty pieces are dropped
        {"1.x", "1.0", false},         // a piece without digits is 0
        {"", "0", false},
        {"0.0.1", "", true},
        {"99999999999999999999999", "1", false}, // too large to parse: 0
        {"1.4", "1.4", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(isNewer(QString::fromLatin1(c.a), QString::fromLatin1(c.b)), c.newer) << c.a << " vs " << c.b;
}

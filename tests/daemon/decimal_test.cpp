#include "daemon/decimal.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

TEST(PutDecimal, WritesEveryIntAsPrintfWould)
{
    for (int value : {0, 7, 10, 16, -1, -10, 1800, INT_MAX, INT_MIN}) {
        char out[DECIMAL_MAX + 4];
        char *end = put_decimal(out, value);
        EXPECT_EQ(std::string(out, end), std::to_string(value));
        EXPECT_LE(end - out, DECIMAL_MAX);
    }
}

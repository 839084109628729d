#include "daemon/decimal.h"

char *put_decimal(char *out, int value)
{
    // Unsigned arithmetic so that INT_MIN has a magnitude too.
    unsigned magnitude =
        value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
    char digits[DECIMAL_MAX];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0)
        *out++ = '-';
    while (count > 0)
        *out++ = digits[--count];
    return out;
}

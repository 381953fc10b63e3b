#include "fixed.h"

Fixed fixMul(Fixed a, Fixed b)
{
    return (Fixed)(((long long)a * b) / FIX_ONE);
}

Fixed fixDiv(Fixed a, Fixed b)
{
    if (b == 0)
        return a < 0 ? -0x7fffffff : 0x7fffffff;
    return (Fixed)(((long long)a * FIX_ONE) / b);
}

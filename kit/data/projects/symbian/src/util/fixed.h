/* 16.16 fixed-point numbers: phones without a floating-point unit. */
#ifndef DEMO_FIXED_H
#define DEMO_FIXED_H

#ifdef __cplusplus
extern "C" {
#endif

typedef int Fixed;

#define FIX_ONE 65536

static inline Fixed fixFromInt(int value)
{
    return value * FIX_ONE;
}

static inline int fixToInt(Fixed value)
{
    return value / FIX_ONE;
}

Fixed fixMul(Fixed a, Fixed b);
Fixed fixDiv(Fixed a, Fixed b);

#ifdef __cplusplus
}
#endif

#endif

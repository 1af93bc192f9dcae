/* A small program whose includes vimbo can guard. */
#include <stdio.h>

#include "config.h"
#include <util.h>
#include <legacy.h>
#include <shapes.h>
#include <noguard.h>

int main(void)
{
    printf("%s %d %d %d %d\n", GREETING, util_twice(2), legacy_answer(), shape_sides(), noguard_value());
    return 0;
}

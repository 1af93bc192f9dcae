/* noguard.h relies on #pragma once: there is no guard macro to test. */
#pragma once

static int noguard_value(void) { return 7; }

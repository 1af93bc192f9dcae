/* legacy.h: the older "#if !defined" style. */
#if !defined(LEGACY_H)
#define LEGACY_H

static int legacy_answer(void) { return 42; }

#endif
